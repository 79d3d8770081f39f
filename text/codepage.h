// The code-page conversions under gbkToUtf8 and utf8ToGbk: the platform converters on
// Windows (codepage_win.cpp), iconv and a UTF-8 codec of our own natively (codepage.cpp).
// Both halves give the same results; tests/text holds them to one table.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace codepage {

// Bytes that do not form a GBK character never swallow text, as in the WHATWG GBK decoder:
// a lead byte whose follower is no trail gives U+FFFD, and the follower, when it is ASCII,
// is read again as itself ("x\x81" "1.2.3.4" keeps its address); a lead byte at the end
// and 0xFF give U+FFFD too. 0x80 is the euro sign, as in CP936. GB18030's four-byte forms
// are no GBK: each of their halves is a bad pair. What is well formed goes through the
// platform's CP936 converter, user-defined codes to the private use area.
std::u16string gbkToUtf16(const std::string& gbk);
// Characters GBK cannot hold become "?"; a base letter followed by combining marks is
// first replaced by its precomposed form where one exists.
std::string utf16ToGbk(const std::u16string& text);
// The same, with the number of characters that became "?" (a character beyond the BMP is
// one, though it gives "??").
std::string utf16ToGbk(const std::u16string& text, std::size_t& unmappable);
// Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(const std::string& utf8);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);
// One code point (at most U+10FFFF, no surrogate) as UTF-8 at the end of `out`.
void appendUtf8(std::string& out, char32_t codePoint);
// UTF-16 code units from their bytes; half a unit at the end becomes U+FFFD.
std::u16string utf16FromBytes(std::string_view bytes, bool bigEndian);

// The byte-order marks a text file may start with, and how many bytes each takes.
enum class Mark { None, Utf8, Utf16Le, Utf16Be };
struct ByteOrderMark {
    Mark mark;
    std::size_t length;  // 0 for None
};
ByteOrderMark byteOrderMark(std::string_view head);
// Whether `head`, shorter than a mark, may still grow into one.
bool mayGrowIntoMark(std::string_view head);

// Whether a text without a byte-order mark is UTF-8 rather than GBK (the rule is beside
// its code, in decode.cpp). ASCII alone is not: it reads the same either way.
bool isUtf8Text(std::string_view bytes);

// One step of the UTF-8 decoder every reader of UTF-8 uses. A valid character is a shortest
// form, no surrogate, at most U+10FFFF. An invalid one is U+FFFD over the bytes Windows'
// decoder takes as one bad sequence: continuation bytes are taken one by one, and the byte
// that breaks a sequence starts the next step.
struct Utf8Char {
    char32_t code;
    std::size_t length;  // at least 1
    bool valid;
};

// `at` lies inside `bytes`.
inline Utf8Char decodeUtf8(std::string_view bytes, std::size_t at) {
    const auto lead = static_cast<unsigned char>(bytes[at]);
    if (lead < 0x80) return {lead, 1, true};
    const int more = lead >= 0xC2 && lead <= 0xDF   ? 1
                     : lead >= 0xE0 && lead <= 0xEF ? 2
                     : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                    : 0;
    char32_t code = lead & (0x7F >> (more + 1));
    std::size_t taken = 1;
    const auto joined = [&] {  // the next byte joined to `code`, when it continues
        if (at + taken >= bytes.size()) return false;
        const unsigned t = static_cast<unsigned char>(bytes[at + taken]) ^ 0x80u;
        if (t >= 0x40) return false;
        code = code << 6 | t;
        return true;
    };
    const auto bad = [&taken] { return Utf8Char{0xFFFD, taken, false}; };
    if (more == 0) return bad();
    if (more == 3) {
        if (!joined()) return bad();
        ++taken;
        if (code < 0x10) return bad();  // overlong
    }
    if (more >= 2) {
        if (!joined() || code >= (0x110000 >> 6)) return bad();
        ++taken;
        // Overlong, or a surrogate.
        if (code < 0x20 || (code >= (0xD800 >> 6) && code <= (0xDFFF >> 6))) return bad();
    }
    if (!joined()) return bad();
    ++taken;
    if (code < 0x80) return bad();
    return {code, taken, true};
}

// Whether every byte of `bytes` belongs to a valid UTF-8 character.
inline bool isValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const Utf8Char c = decodeUtf8(bytes, at);
        if (!c.valid) return false;
        at += c.length;
    }
    return true;
}

// `bytes` with what is no UTF-8 character made U+FFFD, as utf8ToUtf16 reads it.
inline std::string validUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    return utf16ToUtf8(utf8ToUtf16(std::string(bytes)));
}

// The length of a GBK character, the one rule wherever the program walks, cuts or checks
// GBK text outside the text primitives: a byte 0x81 to 0xFE opens a two-byte character
// (its trail 0x40 to 0xFE but 0x7F, for the pair to be a character at all); every other
// byte stands alone, 0x80 included, which CP936 reads as the euro sign, and 0xFF.
//
// The text primitives (text.h) keep an older rule on purpose: there any byte from 0x80
// opens a pair, so a search never matches at a byte that a converter would read as the
// second half of a character. The two differ only on 0x80 and 0xFF, which no conversion
// to GBK produces as a lead: on text the program made itself they agree.
constexpr bool isGbkLead(unsigned char c) {
    return c >= 0x81 && c <= 0xFE;
}

// Whether two bytes form one GBK character. (Whether CP936 assigns it a character is the
// converters' business.)
constexpr bool isGbkPair(unsigned char lead, unsigned char trail) {
    return isGbkLead(lead) && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// The bytes the character at `at` takes: 2 for a lead byte with a byte after it, else 1.
constexpr std::size_t gbkCharLength(std::string_view text, std::size_t at) {
    return isGbkLead(static_cast<unsigned char>(text[at])) && at + 1 < text.size() ? 2 : 1;
}

}  // namespace codepage
