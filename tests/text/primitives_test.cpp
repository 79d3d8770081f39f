// The edge rules of the GBK text primitives, one table per rule. Sources are UTF-8 and
// compiled to GBK, so a literal like "中" is the two GBK bytes D6 D0.
#include <gtest/gtest.h>

#include <climits>

#include "text/bytes.h"
#include "text/text.h"

namespace {

// 百 is B0 D9; 啊 is B0 A1, whose second byte is also the first byte of the full-width
// space A1 A1. "\xB0\x41" is a character whose second byte is the letter A.
struct FindCase {
    std::string text, sub;
    int start;
    bool ignoreCase;
    int forward, backward;
};

TEST(Text, FindForwardAndBackward) {
    const FindCase cases[] = {
        {"abcabc", "c", 1, false, 3, -1},
        {"abcabc", "c", 4, false, 6, 3},
        {"abcabc", "c", 7, false, -1, 6},
        {"abcabc", "c", kWholeText, false, -1, 6},
        {"abcabc", "c", 0, false, 3, -1},
        {"abcabc", "c", -5, false, 3, -1},
        {"abcabc", "bc", 3, false, 5, -1},  // backward: "bc" at 2 ends at 3, not inside 2 bytes
        {"abcabc", "bc", 4, false, 5, 2},
        {"ab", "B", 1, false, -1, -1},
        {"ab", "B", 1, true, 2, -1},
        {"ab", "B", 3, true, -1, 2},
        {"ab", "", 1, false, 1, -1},
        {"ab", "", 2, false, 2, 1},
        {"ab", "", 3, false, -1, 1},
        {"", "", 1, false, -1, -1},
        {"", "a", 1, false, -1, -1},
        {"a", "abc", 1, false, -1, -1},
        // No match at the second byte of a pair.
        {"啊\xA1"
         "x",
         "\xA1\xA1", 1, false, -1, -1},
        {"啊　", "　", 1, false, 3, -1},
        {"啊　", "　", kWholeText, false, -1, 3},
        {"\xB0\x41"
         "a",
         "a", 1, true, 3, -1},
        {"\xB0\x41"
         "a",
         "A", 1, false, -1, -1},
        // A lead byte with nothing behind it ends the scan.
        {"ab\xB0", "\xB0", 1, false, -1, -1},
        {"ab\xB0", "b\xB0", 1, false, 2, -1},
        {"中文中文", "文", 1, false, 3, -1},
        {"中文中文", "文", 5, false, 7, 3},
        {"中文中文", "文", kWholeText, false, -1, 7},
        {"Host: A", "host: a", 1, true, 1, -1},
        // Ignoring case folds letters that start a character, never a trail byte:
        // B0 41 and B0 61 are two different characters.
        {"\xB0\x61", "\xB0\x41", 1, true, -1, -1},
        {"x\xB0\x41"
         "A",
         "\xB0\x41"
         "a",
         1, true, 2, -1},
    };
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.text + " | " + c.sub + " | " + std::to_string(c.start));
        EXPECT_EQ(findText(c.text, c.sub, c.start, c.ignoreCase), c.forward);
        EXPECT_EQ(findTextBackward(c.text, c.sub, c.start, c.ignoreCase), c.backward);
    }
}

TEST(Text, CutByBytes) {
    struct Case {
        std::string text;
        int position, n;
        std::string left, right, mid;
    } cases[] = {
        {"abcdef", 2, 3, "abc", "def", "bcd"},
        {"abcdef", 5, 9, "abcdef", "abcdef", "ef"},
        {"abcdef", 6, 1, "a", "f", "f"},
        {"abcdef", 7, 1, "a", "f", ""},
        {"abcdef", 0, 2, "ab", "ef", ""},
        {"abcdef", -3, 2, "ab", "ef", ""},
        {"abcdef", 1, 0, "", "", ""},
        {"abcdef", 1, -1, "", "", ""},
        {"abcdef", 1, INT_MAX, "abcdef", "abcdef", "abcdef"},
        {"abcdef", INT_MAX, INT_MAX, "abcdef", "abcdef", ""},
        {"", 1, 1, "", "", ""},
        {"中文", 2, 1, "\xD6", "\xC4", "\xD0"},  // a pair may be cut in two
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " " + std::to_string(c.position) + " " + std::to_string(c.n));
        EXPECT_EQ(leftText(c.text, c.n), c.left);
        EXPECT_EQ(rightText(c.text, c.n), c.right);
        EXPECT_EQ(midText(c.text, c.position, c.n), c.mid);
    }
}

TEST(Text, Replace) {
    struct Case {
        std::string text, sub, with, expected;
    } cases[] = {
        {"aaa", "aa", "b", "ba"},  // left to right, no overlap
        {"abcabc", "bc", "", "aa"},
        {"abc", "", "x", "abc"},
        {"", "a", "x", ""},
        {"abc", "B", "x", "abc"},     // exact case
        {"aXa", "a", "aa", "aaXaa"},  // resumes behind the occurrence, not inside the replacement
        {"啊\xA1\xA1", "\xA1\xA1", "-", "啊-"},
        {"啊x",
         "\xA1"
         "x",
         "-", "啊x"},  // no match at a second byte
        {"中文中", "中", "英", "英文英"},
    };
    for (const auto& c : cases) EXPECT_EQ(replaceText(c.text, c.sub, c.with), c.expected) << c.text;
}

TEST(Text, Split) {
    struct Case {
        std::string text, delimiter;
        int max;
        TextList expected;
    } cases[] = {
        {"a,,b,", ",", -1, {"a", "", "b"}},
        {",a", ",", -1, {"", "a"}},
        {"a,b,c", ",", 2, {"a", "b"}},
        {"a,b,c", ",", 0, {}},
        {"a,b", "", -1, {"a,b"}},
        {"", ",", -1, {}},
        {",", ",", -1, {""}},
        {"a\r\nb\r\n", "\r\n", -1, {"a", "b"}},
        {"a;B;b", "b", -1, {"a;B;"}},
        // A delimiter that is the second byte of a pair does not split it.
        {"啊\xA1\xA1"
         "x",
         "\xA1\xA1",
         -1,
         {"啊", "x"}},
        {"啊x",
         "\xA1"
         "x",
         -1,
         {"啊x"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(splitText(c.text, c.delimiter, c.max), c.expected) << c.text;
}

TEST(Text, Spaces) {
    struct Case {
        std::string text, trimmed, removed;
    } cases[] = {
        {"  a b  ", "a b", "ab"},
        {"　a　b　", "a　b", "ab"},
        {"\ta \t", "\ta \t", "\ta\t"},  // tabs are not spaces
        {"\r\n a\r\n", "\r\n a\r\n", "\r\na\r\n"},
        {"", "", ""},
        {"   ", "", ""},
        {"　 　", "", ""},
        {"啊\xA1 ", "啊\xA1 ", "啊\xA1 "},  // A1 20 is one character, not a space
        {"\xB0 x", "\xB0 x", "\xB0 x"},     // a space can be a second byte too
        {"x\xA1", "x\xA1", "x\xA1"},        // a lone lead byte at the end is kept
    };
    for (const auto& c : cases) {
        EXPECT_EQ(trimSpaces(c.text), c.trimmed) << c.text;
        EXPECT_EQ(removeAllSpaces(c.text), c.removed) << c.text;
    }
}

TEST(Text, LowerAscii) {
    EXPECT_EQ(toLowerAscii("AbC-XYZ 中文"), "abc-xyz 中文");
    EXPECT_EQ(toLowerAscii("\xB0\x41Q"), "\xB0\x41q");  // a second byte stays as it is
    EXPECT_EQ(toLowerAscii("Q\xB0"), "q\xB0");
}

TEST(Text, TextToInt) {
    struct Case {
        std::string text;
        int expected;
    } cases[] = {
        {"12", 12},
        {"１２", 12},
        {"中", 0},
        {"", 0},
        {"abc", 0},
        {"  \t\r\n-42x", -42},
        {"+7", 7},
        {"　３", 3},
        {"－５", -5},
        {"12abc34", 12},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-2147483649", INT_MIN},
        {"99999999999999999999999", INT_MAX},
        {"-000000000000000000000012", -12},
        {"\xA3", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(textToInt(c.text), c.expected) << c.text;
}

TEST(Text, NumbersAndHex) {
    EXPECT_EQ(numberToText(0), "0");
    EXPECT_EQ(numberToText(-17), "-17");
    EXPECT_EQ(numberToText(1234567890123LL), "1234567890123");
    EXPECT_EQ(numberToText(1.0), "1");
    EXPECT_EQ(numberToText(-0.0), "0");
    EXPECT_EQ(numberToText(0.5), "0.5");
    EXPECT_EQ(numberToText(1.0 / 3), "0.3333333333333");
    EXPECT_EQ(numberToText(2.50), "2.5");
    EXPECT_EQ(byteToHex(0), "0");
    EXPECT_EQ(byteToHex(10), "A");
    EXPECT_EQ(byteToHex(171), "AB");
    EXPECT_EQ(byteToHex(255), "FF");
    EXPECT_EQ(bytesToText(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(bytesToText("abc"), "abc");
    EXPECT_EQ(bytesToText(std::string("\0x", 2)), "");
}

TEST(Text, GetTextBetween) {
    struct Case {
        std::string text, left, right;
        int start;
        bool caseSensitive;
        std::string expected;
    } cases[] = {
        {"<b><center>1.2.3.4</center>", "<center>", "</center>", 1, false, "1.2.3.4"},
        {"<b><center>1.2.3.4</center>", "<CENTER>", "</center>", 1, false, "1.2.3.4"},
        {"<b><center>1.2.3.4</center>", "<CENTER>", "</center>", 1, true, ""},
        {"<center>1.2.3.4", "<center>", "</center>", 1, false, ""},
        {"x<a><a>", "<a>", "<a>", 1, false, ""},  // right marker directly behind: empty
        {"<i> a </i><i>b</i>", "<i>", "</i>", 0, false, " a "},  // no trimming; 0 = beginning
        {"<i> a </i><i>b</i>", "<i>", "</i>", 2, false, "b"},
        {"<a href=\"x.htm\">", "href=#引号", "#引号>", 1, false, "x.htm"},
        {"本站主数据：北京市 联通</li>", "本站主数据：", "</li>", 1, false, "北京市 联通"},
        {"abc", "", "c", 1, false, "ab"},
        {"abc", "a", "", 1, false, ""},
        {"abc", "c", "x", 1, false, ""},
        {"<\xB0\x61>1<\xB0\x41>2|", "<\xB0\x41>", "|", 1, false, "2"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(getTextBetween(c.text, c.left, c.right, c.start, c.caseSensitive), c.expected)
            << c.text << " " << c.left;
}

TEST(Text, GetAllTextsBetween) {
    struct Case {
        std::string text, left, right;
        TextList expected;
    } cases[] = {
        {" a b c ", " ", " ", {"a", "b", "c"}},
        {" a  b c ", " ", " ", {"a"}},  // an empty piece ends the collection
        {"<li>1</li><li> </li><li>3</li>", "<li>", "</li>", {"1"}},
        {"<LI> x </li>junk<li>y</LI>", "<li>", "</li>", {"x", "y"}},
        {"<li>1</li><li>2", "<li>", "</li>", {"1"}},
        {"nothing", "<li>", "</li>", {}},
        {"abc", "", "", {}},
        {"a|b|c", "", "|", {"a"}},
    };
    for (const auto& c : cases) {
        TextList out{"left over"};
        EXPECT_EQ(getAllTextsBetween(c.text, c.left, c.right, out),
                  static_cast<int>(c.expected.size()));
        EXPECT_EQ(out, c.expected) << c.text;
    }
}

TEST(Text, GetAllTextsBetweenOptions) {
    TextList out;
    const std::string page = "[a][bbbb][cc]";
    EXPECT_EQ(getAllTextsBetween(page, "[", "]", out, false, 2), 2);
    EXPECT_EQ(out, (TextList{"a", "cc"}));  // a long piece is skipped, not an end
    EXPECT_EQ(getAllTextsBetween(page, "[", "]", out, false, 0, "<", ">", true, true), 3);
    EXPECT_EQ(out, (TextList{"[<a>]", "[<bbbb>]", "[<cc>]"}));
    EXPECT_EQ(getAllTextsBetween(page, "[", "]", out, false, 0, "", "", false, false, 4), 2);
    EXPECT_EQ(out, (TextList{"bbbb", "cc"}));
    EXPECT_EQ(getAllTextsBetween("<X>1</X>", "<x>", "</x>", out, true), 0);
    EXPECT_TRUE(out.empty());
}

TEST(Text, UrlEncode) {
    EXPECT_EQ(urlEncode("abc"), "%61%62%63");
    EXPECT_EQ(urlEncode(" "), "%20");
    EXPECT_EQ(urlEncode("aZ09-._~ /", true), "aZ09-.%5F%7E%20%2F");
    EXPECT_EQ(urlEncode("中", true), "%D6%D0");
    EXPECT_EQ(urlEncode("中", true, true), "%E4%B8%AD");
    EXPECT_EQ(urlEncode("\x0A\xFF"), "%0A%FF");
    EXPECT_EQ(urlEncode(""), "");
}

}  // namespace

// Reads inside the bytes give their number; a read that would pass the end gives 0.
TEST(Bytes, BoundedReads) {
    const std::string d("\x01\x02\x03\x04\xFF", 5);
    struct Row {
        const char* what;
        std::uint64_t got, want;
    };
    const Row rows[] = {
        {"le16", le::u16(d, 0), 0x0201},
        {"le16 last two", le::u16(d, 3), 0xFF04},
        {"le16 past the end", le::u16(d, 4), 0},
        {"le32", le::u32(d, 1), 0xFF040302},
        {"le32 one short", le::u32(d, 2), 0},
        {"le32 offset past the size", le::u32(d, 6), 0},
        {"le32 huge offset", le::u32(d, SIZE_MAX - 1), 0},
        {"le64 one short", le::u64(d, 0), 0},
        {"be16", be::u16(d, 3), 0x04FF},
        {"be32", be::u32(d, 0), 0x01020304},
        {"be32 one short", be::u32(d, 2), 0},
        {"empty", be::u32({}, 0), 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        EXPECT_EQ(r.got, r.want);
    }
    EXPECT_EQ(le::u64(std::string("\x01\0\0\0\0\0\0\x80", 8), 0), 0x8000000000000001ull);

    std::string out;
    le::append16(out, 0xBEEF);
    le::append32(out, 0x01020304);
    le::set16(out, 0, 0x1234);
    EXPECT_EQ(out, std::string("\x34\x12\x04\x03\x02\x01"));
}
