// Native half of the code-page conversions: iconv for CP936, a UTF-8 codec of our own.
// It reproduces what the Windows converters do with bytes they cannot map, because
// iconv would stop at the first of them.
#include <errno.h>
#include <iconv.h>

#include "text/codepage.h"

namespace codepage {
namespace {

constexpr char16_t kGbkDefault = 0x30FB;  // CP936's default character
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

std::u16string fromLe(const std::string& bytes) {
    std::u16string result(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return result;
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

}  // namespace

std::u16string gbkToUtf16(const std::string& gbk) {
    Iconv cd("UTF-16LE", "CP936");
    if (!cd.ok()) return {};
    std::string out;
    const char* in = gbk.data();
    std::size_t left = gbk.size();
    while (left > 0) {
        if (cd.run(in, left, out) == 0) break;
        // A lead byte takes its follower with it, mapped or not, as on Windows.
        std::size_t skip = (static_cast<unsigned char>(*in) >= 0x81 && left > 1) ? 2 : 1;
        appendUnit(out, kGbkDefault);
        in += skip;
        left -= skip;
    }
    return fromLe(out);
}

std::string utf16ToGbk(const std::u16string& text) {
    std::string units;
    units.reserve(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char16_t c = text[i];
        while (i + 1 < text.size() && text[i + 1] >= 0x300 && text[i + 1] <= 0x36F) {
            char16_t composed = compose(c, text[i + 1]);
            if (!composed) break;
            c = composed;
            ++i;
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
        out += '?';
        in += 2;
        left -= left >= 2 ? 2 : left;
    }
    return out;
}

std::u16string utf8ToUtf16(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(utf8[k]); };
    while (i < n) {
        unsigned char c = byte(i);
        if (c < 0x80) {
            out += static_cast<char16_t>(c);
            ++i;
            continue;
        }
        // Length and the allowed range of the second byte (no overlong forms, no
        // surrogates, nothing above U+10FFFF); an invalid run gives one U+FFFD for the
        // longest prefix that could have begun a valid sequence.
        int length = 0;
        unsigned char low = 0x80, high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            if (c == 0xE0) low = 0xA0;
            if (c == 0xED) high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            if (c == 0xF0) low = 0x90;
            if (c == 0xF4) high = 0x8F;
        }
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        char32_t code = c & (0xFF >> (length + 1));
        std::size_t k = 1;
        for (; k < static_cast<std::size_t>(length) && i + k < n; ++k) {
            unsigned char t = byte(i + k);
            if (t < (k == 1 ? low : 0x80) || t > (k == 1 ? high : 0xBF)) break;
            code = code << 6 | (t & 0x3F);
        }
        if (k < static_cast<std::size_t>(length)) {
            out += kReplacement;
            i += k;
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += static_cast<std::size_t>(length);
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
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace codepage
