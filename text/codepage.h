// The code-page conversions under gbkToUtf8 and utf8ToGbk: the platform converters on
// Windows (codepage_win.cpp), iconv and a UTF-8 codec of our own natively (codepage.cpp).
// Both halves give the same results; tests/text holds them to one table.
#pragma once

#include <string>

namespace codepage {

// Bytes that do not form a GBK character become "?", as on Windows.
std::u16string gbkToUtf16(const std::string& gbk);
// Characters GBK cannot hold become "?"; a base letter followed by combining marks is
// first replaced by its precomposed form where one exists.
std::string utf16ToGbk(const std::u16string& text);
// Invalid sequences become U+FFFD.
std::u16string utf8ToUtf16(const std::string& utf8);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(const std::u16string& text);
// One code point (at most U+10FFFF, no surrogate) as UTF-8 at the end of `out`.
void appendUtf8(std::string& out, char32_t codePoint);

// Whether two bytes form one GBK character: a lead byte 0x81 to 0xFE, a trail byte 0x40 to
// 0xFE but 0x7F. (Whether CP936 assigns it a character is the converters' business.)
constexpr bool isGbkPair(unsigned char lead, unsigned char trail) {
    return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

}  // namespace codepage
