// Native half of the code-page conversions: iconv for CP936, a UTF-8 codec of our own.
// It reproduces what the Windows converters do with codes they cannot map, because iconv
// would stop at the first of them.
#include "text/codepage.h"

#include <errno.h>
#include <iconv.h>

#include <iterator>

#include "text/codepage_half.h"

namespace codepage {
namespace {

constexpr char16_t kGbkDefault = u'?';  // CP936's default character
constexpr char16_t kReplacement = 0xFFFD;

class Iconv {
  public:
    Iconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) iconv_close(handle_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return handle_ != reinterpret_cast<iconv_t>(-1); }
    // Converts as much as possible; returns errno of the stop (0 when all was converted).
    int run(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            std::size_t r = iconv(handle_, const_cast<char**>(&in), &inLeft, &outPtr, &outLeft);
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return errno;
        }
        return 0;
    }

  private:
    iconv_t handle_;
};

void appendUnit(std::string& out, char16_t unit) {
    out += static_cast<char>(unit & 0xFF);
    out += static_cast<char>(unit >> 8);
}

// Canonical compositions of a Latin letter with one combining mark (U+0300..U+036F), the
// part of composition that matters for CP936: its pinyin letters are all of this kind.
struct Composition {
    char16_t base, mark, composed;
};
#include "text/compositions.inc"

char16_t compose(char16_t base, char16_t mark) {
    for (const Composition& c : kCompositions)
        if (c.base == base && c.mark == mark) return c.composed;
    return 0;
}

#include "text/cp936_private.inc"

// Windows' CP936 maps the user-defined areas of GBK, and the codes GBK leaves unassigned
// among its symbols, into the private use area, where iconv's CP936 knows nothing;
// anything else unmapped becomes the default character.
char16_t userDefined(unsigned char lead, unsigned char trail) {
    const unsigned short code = static_cast<unsigned short>(lead << 8 | trail);
    for (std::size_t i = 0; i < std::size(kPrivateTail); ++i)
        if (kPrivateTail[i] == code) return static_cast<char16_t>(0xE766 + i);
    if (lead >= 0xAA && lead <= 0xAF && trail >= 0xA1 && trail <= 0xFE)
        return static_cast<char16_t>(0xE000 + (lead - 0xAA) * 94 + (trail - 0xA1));
    if (lead >= 0xF8 && lead <= 0xFE && trail >= 0xA1 && trail <= 0xFE)
        return static_cast<char16_t>(0xE234 + (lead - 0xF8) * 94 + (trail - 0xA1));
    if (lead >= 0xA1 && lead <= 0xA7 && trail >= 0x40 && trail <= 0xA0 && trail != 0x7F)
        return static_cast<char16_t>(0xE4C6 + (lead - 0xA1) * 96 + (trail - 0x40) -
                                     (trail > 0x7F ? 1 : 0));
    return kGbkDefault;
}

// The reverse of userDefined, and 0xFF for U+F8F5; an empty text when there is none.
std::string privateToGbk(char16_t unit) {
    auto pair = [](unsigned code) {
        return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    };
    if (unit == 0xF8F5) return "\xFF";
    if (unit < 0xE000 || unit > 0xE864) return {};
    unsigned k = unit - 0xE000u;
    if (k < 0x234) return pair((0xAA + k / 94) << 8 | (0xA1 + k % 94));
    if (k < 0x4C6) return pair((0xF8 + (k - 0x234) / 94) << 8 | (0xA1 + (k - 0x234) % 94));
    if (k < 0x766) {
        unsigned row = (k - 0x4C6) / 96, col = (k - 0x4C6) % 96;
        return pair((0xA1 + row) << 8 | (0x40 + col + (col >= 0x3F ? 1 : 0)));
    }
    return pair(kPrivateTail[k - 0x766]);
}

}  // namespace

std::u16string half::wellFormedGbkToUtf16(std::string_view gbk) {
    Iconv cd("UTF-16LE", "CP936");
    if (!cd.ok()) return {};
    std::string out;
    const char* in = gbk.data();
    std::size_t left = gbk.size();
    while (left > 0) {
        if (cd.run(in, left, out) == 0) break;
        // iconv stops at each pair it does not map; Windows maps every well-formed pair.
        const std::size_t skip = gbkCharLength(std::string_view(in, left), 0);
        appendUnit(out, skip == 2 ? userDefined(static_cast<unsigned char>(in[0]),
                                                static_cast<unsigned char>(in[1]))
                                  : kGbkDefault);
        in += skip;
        left -= skip;
    }
    return utf16FromBytes(out, false);
}

std::string utf16ToGbk(const std::u16string& text) {
    std::string units;
    units.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        // One mark at most is folded in, as the Windows converter does.
        if (i + 1 < text.size() && text[i + 1] >= 0x300 && text[i + 1] <= 0x36F) {
            char16_t composed = compose(c, text[i + 1]);
            if (composed) {
                c = composed;
                ++i;
            }
        }
        appendUnit(units, c);
    }
    Iconv cd("CP936", "UTF-16LE");
    if (!cd.ok()) return {};
    std::string out;
    const char* in = units.data();
    std::size_t left = units.size();
    while (left > 0) {
        if (cd.run(in, left, out) == 0) break;
        // One "?" per UTF-16 unit that cannot be held, as the Windows converter does.
        char16_t unit =
            static_cast<char16_t>(static_cast<unsigned char>(in[0]) |
                                  (left > 1 ? static_cast<unsigned char>(in[1]) << 8 : 0));
        std::string mapped = left > 1 ? privateToGbk(unit) : std::string();
        out += mapped.empty() ? std::string("?") : mapped;
        in += 2;
        left -= left >= 2 ? 2 : left;
    }
    return out;
}

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = decodeUtf8(utf8, i);
        i += c.length;
        if (c.code >= 0x10000) {
            const char32_t above = c.code - 0x10000;
            out += static_cast<char16_t>(0xD800 + (above >> 10));
            out += static_cast<char16_t>(0xDC00 + (above & 0x3FF));
        } else {
            out += static_cast<char16_t>(c.code);
        }
    }
    return out;
}

std::string utf16ToUtf8(const std::u16string& text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace codepage
