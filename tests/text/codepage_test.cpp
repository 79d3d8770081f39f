// One table of code-page cases, run by the native build (iconv) and by the Windows build
// under Wine (MultiByteToWideChar / WideCharToMultiByte); both must give these bytes.
// Every text is written as bytes, so the table does not depend on the compiler's charset.
#include "text/codepage.h"

#include <gtest/gtest.h>

#include "text/text.h"

namespace {

std::string hex(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes)
        out += "0123456789ABCDEF"[c >> 4], out += "0123456789ABCDEF"[c & 15];
    return out;
}

struct RoundTrip {
    const char* what;
    std::string gbk, utf8;
};

// Characters both encodings hold: each direction gives the other exactly.
const RoundTrip kBoth[] = {
    {"ascii", "IP 1.2.3.4/x?a=1", "IP 1.2.3.4/x?a=1"},
    {"chinese", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
    {"euro sign, CP936's single byte 80", "\x80", "\xE2\x82\xAC"},
    {"full-width space", "\xA1\xA1", "\xE3\x80\x80"},
    {"middle dot", "\xA1\xA4", "\xC2\xB7"},
    {"em dash", "\xA1\xAA", "\xE2\x80\x94"},
    {"circled one", "\xA2\xD9", "\xE2\x91\xA0"},
    {"parenthesised ideograph one", "\xA2\xE5", "\xE3\x88\xA0"},
    {"pinyin e acute", "\xA8\xA6", "\xC3\xA9"},
    {"user-defined area, first", "\xAA\xA1", "\xEE\x80\x80"},
    {"user-defined area, last", "\xFE\xFE", "\xEE\x93\x85"},
    {"user-defined area below A8", "\xA2\xA0", "\xEE\x96\x85"},
    {"unassigned symbol slot", "\xA2\xAB", "\xEE\x9D\xA6"},
    {"empty", "", ""},
};

TEST(Codepage, BothDirections) {
    for (const RoundTrip& c : kBoth) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hex(gbkToUtf8(c.gbk)), hex(c.utf8));
        EXPECT_EQ(hex(utf8ToGbk(c.utf8)), hex(c.gbk));
    }
}

struct OneWay {
    const char* what;
    std::string in, out;
};

// What GBK cannot hold becomes "?", one per UTF-16 unit; no look-alike is substituted.
const OneWay kToGbk[] = {
    {"emoji, two UTF-16 units", "\xF0\x9F\x98\x80", "??"},
    {"feminine ordinal, best fit would give a", "\xC2\xAA", "?"},
    {"A grave, best fit would give A", "\xC3\x80", "?"},
    {"e + combining acute, composed", "e\xCC\x81", "\xA8\xA6"},
    {"u + diaeresis + macron: one mark composed", "u\xCC\x88\xCC\x84", "\xA8\xB9?"},
    {"x + combining acute, nothing to compose", "x\xCC\x81", "x?"},
    {"encoded surrogate", "\xED\xA0\x80", "??"},
    {"beyond U+10FFFF", "\xF4\x90\x80\x80", "???"},
    {"overlong slash", "\xC0\xAF", "??"},
    {"overlong three bytes", "\xE0\x80\xAF", "??"},
    {"cut short at the end", "a\xE4\xB8", "a?"},
    {"cut short in the middle",
     "\xE4\xB8"
     "a",
     "?a"},
    {"stray continuation bytes", "\x80\xBF", "??"},
    {"replacement character", "\xEF\xBF\xBD", "?"},
    {"katakana middle dot", "\xE3\x83\xBB", "?"},
    {"NUL cuts the text", std::string("a\0b", 3), "a"},
    {"U+F8F5, where CP936 reads a byte FF", "\xEF\xA3\xB5", "\xFF"},
};

TEST(Codepage, Utf8ToGbk) {
    for (const OneWay& c : kToGbk) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hex(utf8ToGbk(c.in)), hex(c.out));
    }
}

// Bytes that form no GBK character become U+FFFD (EF BF BD here), and never take an ASCII
// byte with them.
const OneWay kFromGbk[] = {
    {"lone lead byte at the end", "a\x81", "a\xEF\xBF\xBD"},
    {"an address right after a bad lead",
     "x\x81"
     "18.8.8.8",
     "x\xEF\xBF\xBD"
     "18.8.8.8"},
    {"lead byte with DEL", "\x81\x7F", "\xEF\xBF\xBD\x7F"},
    {"lead byte with a quote, a tab, a line end", "\xD6\"\xD6\t\xD6\n",
     "\xEF\xBF\xBD\"\xEF\xBF\xBD\t\xEF\xBF\xBD\n"},
    {"lead byte with NUL", std::string("\xD6\0a", 3), std::string("\xEF\xBF\xBD\0a", 5)},
    {"GB18030's four-byte form is no GBK", "\x81\x30\x81\x30",
     "\xEF\xBF\xBD"
     "0\xEF\xBF\xBD"
     "0"},
    {"lead byte with FF: one character",
     "\x81\xFF"
     "a",
     "\xEF\xBF\xBD"
     "a"},
    {"FF, then a lead byte at the end", "\xFF\xA1", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    {"a bad pair before a good one", "\x81 \xD6\xD0", "\xEF\xBF\xBD \xE4\xB8\xAD"},
    {"a trail byte of ASCII makes a pair", "\x81\x40", "\xE4\xB8\x82"},
};

TEST(Codepage, GbkToUtf8) {
    for (const OneWay& c : kFromGbk) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(hex(gbkToUtf8(c.in)), hex(c.out));
    }
}

std::string unhex(std::string_view digits) {
    std::string out;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out += static_cast<char>(std::stoi(std::string(digits.substr(i, 2)), nullptr, 16));
    return out;
}

// Python gives a lead byte and a follower 0xFF a U+FFFD each, the WHATWG decoder one.
std::string oneReplacementPerRun(std::string utf8) {
    const std::string two = "\xEF\xBF\xBD\xEF\xBF\xBD";
    for (std::size_t at; (at = utf8.find(two)) != std::string::npos;) utf8.erase(at, 3);
    return utf8;
}

// Hostile bytes as Python's gbk codec reads them (gbk_hostile.py says what it leaves out
// and why): every ASCII byte survives, U+FFFD stands where Python puts one.
TEST(Codepage, HostileGbkAsPythonReadsIt) {
    struct Row {
        const char *gbk, *utf8;
    };
    const Row rows[] = {
#include "gbk_hostile.inc"
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.gbk);
        EXPECT_EQ(hex(oneReplacementPerRun(gbkToUtf8(unhex(r.gbk)))), r.utf8);
    }
}

// Texts without a byte-order mark: European UTF-8 is UTF-8, GBK that happens to be valid
// UTF-8 (names from the address data among them) stays GBK.
TEST(Codepage, Utf8OrGbk) {
    struct Row {
        const char* what;
        std::string text;
        bool utf8;
    };
    const Row rows[] = {
        {"French", "1.2.3.4 caf\xC3\xA9", true},
        {"Russian", "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", true},
        {"Greek capitals", "\xCE\x91\xCE\x98\xCE\x97\xCE\x9D\xCE\x91", true},
        {"Polish",
         "\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         true},
        {"Romanian comma letter", "Timi\xC8\x99oara", true},
        {"decomposed accent", "cafe\xCC\x81", true},
        {"Chinese UTF-8", "\xE5\x8C\x97\xE4\xBA\xAC", true},
        {"ASCII reads alike", "1.2.3.4 abc", false},
        {"invalid UTF-8", "caf\xC3", false},
        {"GBK of one sign alone (楼)", "1.1.1.1 \xC2\xA5", false},
        {"GBK of one letter alone (茅)", "\xC3\xA9", false},
        {"GBK: Greek beside Cyrillic (通讯)", "GTT\xCD\xA8\xD1\xB6", false},
        {"GBK: Armenian (医院)", "163\xD2\xBD\xD4\xBA", false},
        {"GBK: Latin Extended-B (全)",
         "\xC8\xAB"
         "SBMS",
         false},
        {"GBK: Latin letters, no ASCII among them", "\xC4\xAA\xC5\xB5", false},
        {"GBK: two Greek letters", "\xCE\xA4\xCE\xA4", false},
        {"GBK: capital after small", "\xD0\xB0\xD0\xA1\xD0\xB0", false},
        {"GBK: a C1 control", "ab\xC2\x85", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(codepage::isUtf8Text(r.text), r.utf8);
    }
}

TEST(Codepage, LargeTextsConvertWhole) {
    std::string gbk, utf8;
    for (int i = 0; i < 100000; ++i) {
        gbk +=
            "\xD6\xD0"
            "a\x80";
        utf8 +=
            "\xE4\xB8\xAD"
            "a\xE2\x82\xAC";
    }
    EXPECT_EQ(gbkToUtf8(gbk), utf8);
    EXPECT_EQ(utf8ToGbk(utf8), gbk);
}

}  // namespace

// The program's rule for a GBK character's length, and where the primitives part from it.
TEST(Codepage, GbkCharacterLength) {
    struct Row {
        const char* what;
        std::string text;
        std::size_t at, length;
    };
    const Row rows[] = {
        {"ascii", "a\xD6\xD0", 0, 1},
        {"lead and trail", "a\xD6\xD0", 1, 2},
        {"lead byte at the end", "a\xD6", 1, 1},
        {"euro sign 80 stands alone",
         "\x80"
         "A",
         0, 1},
        {"FF stands alone", "\xFF\xA1", 0, 1},
        {"first and last lead", "\x81\x40\xFE\xFE", 2, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(codepage::gbkCharLength(r.text, r.at), r.length);
    }
    // The primitives take 80 as a lead: the "A" after it is its second half, never found.
    EXPECT_EQ(findText("\x80"
                       "A",
                       "A"),
              -1);
    EXPECT_EQ(findText("\x81"
                       "A",
                       "A"),
              -1);
}
