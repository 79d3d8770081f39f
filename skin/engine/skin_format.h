// The compiled skin: what skinc.py writes and the engine reads. Free of the C runtime and
// of Windows headers, so the engine, the native tests and the fuzz target share it.
//
// Layout (little-endian), version 1:
//   header, 16 bytes: "VSKN", u16 version, u16 record count, u32 total length,
//                     u32 FNV-1a hash of the bytes after the header
//   records: u8 kind, u8 name length, u16 value length, name (ASCII), value
//     kind 1 colour: r, g, b, 0      kind 2 metric: i32
//     kind 3 font:   i32 height, u16 weight, face name in UTF-8 (the rest of the value)
// Records of an unknown kind or name are skipped; every length is checked against the
// bytes that remain.
#pragma once

#include <stdint.h>

namespace skin {

enum ColourIndex {
    CaptionActiveTop,
    CaptionActiveBottom,
    CaptionInactiveTop,
    CaptionInactiveBottom,
    CaptionText,
    CaptionTextInactive,
    FrameActive,
    FrameInactive,
    FrameEdge,
    CaptionButtonHot,
    CaptionButtonPressed,
    CaptionCloseHot,
    CaptionGlyph,
    WindowBackground,
    LabelText,
    ButtonTop,
    ButtonBottom,
    ButtonHotTop,
    ButtonHotBottom,
    ButtonPressedTop,
    ButtonPressedBottom,
    ButtonBorder,
    ButtonDefaultBorder,
    ButtonText,
    ButtonDisabledText,
    GroupFrame,
    GroupFill,
    GroupCaptionFill,
    GroupCaptionText,
    ToolbarTop,
    ToolbarBottom,
    ToolbarText,
    ToolbarHot,
    ToolbarHotBorder,
    ToolbarLine,
    StatusTop,
    StatusBottom,
    StatusText,
    StatusSeparator,
    HeaderTop,
    HeaderBottom,
    HeaderText,
    HeaderSeparator,
    HeaderLine,
    ListBackground,
    ListText,
    EditBackground,
    EditText,
    EditBorder,
    EditBorderFocus,
    ColourCount
};
enum MetricIndex { CaptionButtonRadius, ButtonRadius, GroupRadius, FrameRadius, MetricCount };
enum FontIndex { CaptionFont, GroupCaptionFont, FontCount };

enum RecordKind { KindColour = 1, KindMetric = 2, KindFont = 3 };
constexpr int kMaxFaceChars = 32;
constexpr uint16_t kVersion = 1;
constexpr unsigned kHeaderSize = 16;

struct FontStyle {
    int32_t height;
    uint16_t weight;
    char16_t face[kMaxFaceChars];
};

struct Skin {
    uint32_t colour[ColourCount];  // 0x00BBGGRR, as Windows keeps colours
    int32_t metric[MetricCount];
    FontStyle font[FontCount];
};

struct ColourName {
    const char* name;
    uint32_t fallback;  // used when the skin does not name this colour
};

inline constexpr ColourName kColourNames[ColourCount] = {
    {"caption.active.top", 0x806B1F},
    {"caption.active.bottom", 0x4A3C0F},
    {"caption.inactive.top", 0xAFA78A},
    {"caption.inactive.bottom", 0x8E8567},
    {"caption.text", 0xFFFFFF},
    {"caption.text.inactive", 0xF5F4EE},
    {"frame.active", 0x4A3C0F},
    {"frame.inactive", 0x8E8567},
    {"frame.edge", 0x2C2306},
    {"caption.button.hot", 0xAB932E},
    {"caption.button.pressed", 0x382D0A},
    {"caption.close.hot", 0x4F53D9},
    {"caption.glyph", 0xFFFFFF},
    {"window.background", 0xEEF0E4},
    {"label.text", 0x383016},
    {"button.top", 0xFFFFFF},
    {"button.bottom", 0xDEE2C5},
    {"button.hot.top", 0xFCFFF2},
    {"button.hot.bottom", 0xCED898},
    {"button.pressed.top", 0xB8C07F},
    {"button.pressed.bottom", 0xDFE4BF},
    {"button.border", 0x938E4A},
    {"button.default.border", 0x4A3C0F},
    {"button.text", 0x40330F},
    {"button.disabled.text", 0xA6A38A},
    {"group.frame", 0xACA86F},
    {"group.fill", 0xF7F8F1},
    {"group.caption.fill", 0x806B1F},
    {"group.caption.text", 0xFFFFFF},
    {"toolbar.top", 0xEFF2E2},
    {"toolbar.bottom", 0xD0D6AE},
    {"toolbar.text", 0x40330F},
    {"toolbar.hot", 0xFFFFFF},
    {"toolbar.hot.border", 0x938E4A},
    {"toolbar.line", 0x806B1F},
    {"status.top", 0x806B1F},
    {"status.bottom", 0x4A3C0F},
    {"status.text", 0xFFFFFF},
    {"status.separator", 0xAEA35F},
    {"header.top", 0xFBFCF7},
    {"header.bottom", 0xDCE1C3},
    {"header.text", 0x40330F},
    {"header.separator", 0xB6B986},
    {"header.line", 0x806B1F},
    {"list.background", 0xFFFFFF},
    {"list.text", 0x000000},
    {"edit.background", 0xFFFFFF},
    {"edit.text", 0x000000},
    {"edit.border", 0xACA86F},
    {"edit.border.focus", 0x806B1F},
};

struct MetricName {
    const char* name;
    int32_t fallback, low, high;
};
inline constexpr MetricName kMetricNames[MetricCount] = {
    {"caption.button.radius", 4, 0, 12},
    {"button.radius", 5, 0, 12},
    {"group.radius", 7, 0, 16},
    {"frame.radius", 7, 0, 16},
};

inline constexpr const char* kFontNames[FontCount] = {"caption", "group.caption"};

namespace detail {
inline uint16_t u16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t u32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline bool sameName(const unsigned char* p, unsigned length, const char* name) {
    unsigned i = 0;
    for (; i < length; ++i)
        if (name[i] == 0 || static_cast<unsigned char>(name[i]) != p[i]) return false;
    return name[i] == 0;
}
inline int32_t clampMetric(int32_t v, int32_t low, int32_t high) {
    return v < low ? low : v > high ? high : v;
}

// UTF-8 to UTF-16 with a terminating zero; false on malformed input or when it does not fit.
inline bool utf8ToUtf16(const unsigned char* p, unsigned length, char16_t* out, unsigned capacity) {
    unsigned o = 0;
    for (unsigned i = 0; i < length;) {
        uint32_t c = p[i];
        unsigned extra = c < 0x80             ? 0
                         : (c & 0xE0) == 0xC0 ? 1
                         : (c & 0xF0) == 0xE0 ? 2
                         : (c & 0xF8) == 0xF0 ? 3
                                              : 9;
        if (extra == 9 || length - i <= extra) return false;
        if (extra) c &= 0x3F >> extra;
        for (unsigned k = 1; k <= extra; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        static const uint32_t kSmallest[4] = {0, 0x80, 0x800, 0x10000};
        if (c < kSmallest[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF) || c == 0)
            return false;
        i += extra + 1;
        if (c >= 0x10000) {
            if (o + 2 >= capacity) return false;
            c -= 0x10000;
            out[o++] = static_cast<char16_t>(0xD800 + (c >> 10));
            out[o++] = static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            if (o + 1 >= capacity) return false;
            out[o++] = static_cast<char16_t>(c);
        }
    }
    out[o] = 0;
    return true;
}
}  // namespace detail

inline uint32_t fnv1a(const unsigned char* p, unsigned length) {
    uint32_t h = 0x811C9DC5u;
    for (unsigned i = 0; i < length; ++i) h = (h ^ p[i]) * 0x01000193u;
    return h;
}

inline void setDefaults(Skin& s) {
    for (int i = 0; i < ColourCount; ++i) s.colour[i] = kColourNames[i].fallback;
    for (int i = 0; i < MetricCount; ++i) s.metric[i] = kMetricNames[i].fallback;
    static const char16_t kFace[] = u"Tahoma";
    for (int f = 0; f < FontCount; ++f) {
        s.font[f].height = f == CaptionFont ? -13 : -12;
        s.font[f].weight = 700;
        for (int i = 0; i < kMaxFaceChars; ++i) s.font[f].face[i] = i < 7 ? kFace[i] : 0;
    }
}

// Fills `out` only when the whole resource is sound.
inline bool parse(const unsigned char* data, unsigned length, Skin& out) {
    using namespace detail;
    if (!data || length < kHeaderSize) return false;
    if (data[0] != 'V' || data[1] != 'S' || data[2] != 'K' || data[3] != 'N') return false;
    if (u16(data + 4) != kVersion) return false;
    unsigned count = u16(data + 6);
    uint32_t total = u32(data + 8);
    if (total < kHeaderSize || total > length) return false;
    if (fnv1a(data + kHeaderSize, total - kHeaderSize) != u32(data + 12)) return false;
    Skin s;
    setDefaults(s);
    unsigned at = kHeaderSize;
    for (unsigned r = 0; r < count; ++r) {
        if (total - at < 4) return false;
        unsigned kind = data[at], nameLength = data[at + 1], valueLength = u16(data + at + 2);
        at += 4;
        if (nameLength == 0 || total - at < nameLength) return false;
        const unsigned char* name = data + at;
        at += nameLength;
        if (total - at < valueLength) return false;
        const unsigned char* value = data + at;
        at += valueLength;
        if (kind == KindColour) {
            if (valueLength != 4) return false;
            for (int i = 0; i < ColourCount; ++i)
                if (sameName(name, nameLength, kColourNames[i].name))
                    s.colour[i] = static_cast<uint32_t>(value[0]) |
                                  (static_cast<uint32_t>(value[1]) << 8) |
                                  (static_cast<uint32_t>(value[2]) << 16);
        } else if (kind == KindMetric) {
            if (valueLength != 4) return false;
            for (int i = 0; i < MetricCount; ++i)
                if (sameName(name, nameLength, kMetricNames[i].name))
                    s.metric[i] = clampMetric(static_cast<int32_t>(u32(value)), kMetricNames[i].low,
                                              kMetricNames[i].high);
        } else if (kind == KindFont) {
            if (valueLength < 7) return false;
            for (int i = 0; i < FontCount; ++i) {
                if (!sameName(name, nameLength, kFontNames[i])) continue;
                FontStyle f;
                f.height = clampMetric(static_cast<int32_t>(u32(value)), -96, 96);
                f.weight = static_cast<uint16_t>(clampMetric(u16(value + 4), 0, 1000));
                if (!utf8ToUtf16(value + 6, valueLength - 6, f.face, kMaxFaceChars)) return false;
                s.font[i] = f;
            }
        }
    }
    if (at != total) return false;
    out = s;
    return true;
}

}  // namespace skin
