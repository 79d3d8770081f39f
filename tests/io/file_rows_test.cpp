// The functions of bytes and rows under the import and export.
#include <gtest/gtest.h>

#include "io/io.h"
#include "tests/io/io_world.h"
#include "tests/workbook/biff_builder.h"
#include "workbook/compound.h"

using io_test::Rows;

namespace {

std::string utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

Rows readSheet(const std::string& file) {
    std::vector<RowCells> rows;
    EXPECT_EQ(io::workbookRows(file, rows), workbook::WorkbookStatus::Ok);
    Rows out;
    for (const RowCells& r : rows) out.push_back({r[0], r[1]});
    return out;
}

RowStore tableRows(const Rows& rows) {
    return io_test::storeOf(rows);
}

}  // namespace

TEST(TextRows, DecodesAndSplitsEveryCommonForm) {
    using namespace std::string_literals;
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<std::string> rows;  // UTF-8
    } cases[] = {
        {"CR LF", "1.1.1.1\r\n2.2.2.2\r\n", {"1.1.1.1", "2.2.2.2"}},
        {"no final line end", "1.1.1.1\r\n2.2.2.2", {"1.1.1.1", "2.2.2.2"}},
        {"LF only", "1.1.1.1\n2.2.2.2\n", {"1.1.1.1", "2.2.2.2"}},
        {"CR only", "1.1.1.1\r2.2.2.2\r", {"1.1.1.1", "2.2.2.2"}},
        {"mixed", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
        {"blank lines kept", "a\r\n\r\nb\n\nc\r\rd", {"a", "", "b", "", "c", "", "d"}},
        {"LF CR is two line ends", "a\n\rb", {"a", "", "b"}},
        {"leading line end", "\r\n1.1.1.1", {"", "1.1.1.1"}},
        {"a line end alone", "\r\n", {""}},
        {"empty file", "", {}},
        {"spaces kept", " 1.1.1.1 \r\n", {" 1.1.1.1 "}},
        {"GBK", "\xD6\xD0\xB9\xFA\r\n\xB1\xB1\xBE\xA9\r\n", {"中国", "北京"}},
        // A bad GBK byte is U+FFFD and swallows nothing; 0x80 is CP936's euro sign.
        {"neither GBK nor UTF-8",
         "\xFF"
         "1\r\n\x80",
         {"\uFFFD"
          "1",
          "€"}},
        {"UTF-8 BOM",
         "\xEF\xBB\xBF"
         "1.1.1.1\r\n2.2.2.2",
         {"1.1.1.1", "2.2.2.2"}},
        {"UTF-8 BOM, Chinese",
         "\xEF\xBB\xBF"
         "中国\r\n北京",
         {"中国", "北京"}},
        {"UTF-8 BOM, a broken byte",
         "\xEF\xBB\xBF"
         "1\xC0\n",
         {"1\uFFFD"}},
        {"UTF-8 without BOM that is not GBK", "北京\n上海市\n", {"北京", "上海市"}},
        {"UTF-8 without BOM that is GBK too", "1.1.1.1\t北京\r\n", {"1.1.1.1\t北京"}},
        {"GBK that reads as UTF-8 by chance", "1.1.1.1 \xC2\xA5\r\n", {"1.1.1.1 楼"}},
        {"two-byte UTF-8 of European words", "Zürich\n", {"Zürich"}},
        {"two-byte UTF-8 of Cyrillic", "1.1.1.1 привет\n", {"1.1.1.1 привет"}},
        {"GBK and UTF-8 lines mixed: GBK", "\xB1\xB1\xBE\xA9\n上海", {"北京", "涓婃捣"}},
        {"UTF-16 LE", utf16(u"1.1.1.1\r\n北京\r\n", false), {"1.1.1.1", "北京"}},
        {"UTF-16 BE", utf16(u"1.1.1.1\n北京", true), {"1.1.1.1", "北京"}},
        {"UTF-16, odd last byte", utf16(u"1\r\n", false) + "2", {"1", "\uFFFD"}},
        {"characters GBK lacks are kept",
         utf16(u"1.1.1.1 \U0001F600\r\n\uD55C?\r\n", false),
         {"1.1.1.1 \U0001F600", "\uD55C?"}},
        {"NUL ends a line",
         "1.1.1.1\0"
         "2.2.2.2\r\n"s,
         {"1.1.1.1", "2.2.2.2"}},
        {"NUL padding adds no rows", "a\r\nb\r\n\0\0\0\0"s, {"a", "b"}},
        {"NUL and line end are one", "a\0\r\nb\0\0\nc\0\rd"s, {"a", "b", "c", "d"}},
        {"NULs lead and repeat", "\0a\0\0b"s, {"a", "b"}},
        {"UTF-16 with a NUL", utf16(u"1\0002\r\n"s, false), {"1", "2"}},
    };
    for (const Case& c : cases) {
        const io::TextRows got = io::textRows(c.bytes);
        std::vector<std::string> addresses;
        for (const RowCells& r : got.rows) {
            addresses.push_back(r[0]);
            EXPECT_EQ(r[1], "") << c.name;
        }
        EXPECT_EQ(addresses, c.rows) << c.name;
    }
}

TEST(WorkbookRows, FirstRowAndColumnsAsTheImportTakesThem) {
    using namespace xls_test;
    const auto book = [](const std::string& body) {
        return workbook::writeCompoundFile("Workbook", workbookStream({"Sheet1"}, {body}));
    };
    struct Case {
        const char* name;
        std::string file;
        Rows rows;
    } cases[] = {
        {"addresses, no title",
         io_test::sheetFile({{"1.1.1.1"}, {"2.2.2.2"}}),
         {{"1.1.1.1", ""}, {"2.2.2.2", ""}}},
        {"a title comes in as a row",
         io_test::sheetFile({{"地址"}, {"1.10.100.200"}}),
         {{"地址", ""}, {"1.10.100.200", ""}}},
        {"# made . in the first row only",
         io_test::sheetFile({{"a#b.c"}, {"d#e.f"}}),
         {{"a.b.c", ""}, {"d#e.f", ""}}},
        // The header row side by side, as the data rows; a third column has no place.
        {"three columns",
         io_test::sheetFile({{"h1", "h2", "h3"}, {"1.1.1.1", "北京", "x"}}),
         {{"h1", "h2"}, {"1.1.1.1", "北京"}}},
        {"an empty title stays empty",
         io_test::sheetFile({{"1.1.1.1", ""}, {"2.2.2.2", "北京"}}),
         {{"1.1.1.1", ""}, {"2.2.2.2", "北京"}}},
        {"the used range starts at C5, blank rows inside it kept",
         book(label8(4, 2, "head") + label8(5, 2, "1.2.3.4") + label8(7, 3, "d")),
         {{"head", ""}, {"1.2.3.4", ""}, {"", ""}, {"", "d"}}},
        {"numbers as a user sees them",
         book(number(0, 0, 123) + number(1, 0, 1.5)),
         {{"123", ""}, {"1.5", ""}}},
        {"an empty sheet", io_test::sheetFile({}), {}},
    };
    for (const Case& c : cases) EXPECT_EQ(readSheet(c.file), c.rows) << c.name;

    std::vector<RowCells> rows = {{"left", "over"}};
    EXPECT_EQ(io::workbookRows("1.1.1.1\r\n", rows), workbook::WorkbookStatus::NotWorkbook);
    EXPECT_TRUE(rows.empty());
    EXPECT_EQ(io::workbookRows(workbook::writeWorkbook("Data", {{0, 0, "x", true}}), rows),
              workbook::WorkbookStatus::NoSheet);
}

TEST(TextFile, FirstRowAlwaysLaterRowsWithALocation) {
    struct Case {
        const char* name;
        Rows rows;
        std::string bytes;
    } cases[] = {
        {"two rows",
         {{"1.1.1.1", "北京 电信"}, {"2.2.2.2", "上海"}},
         "1.1.1.1  北京 电信\r\n2.2.2.2  上海\r\n"},
        {"rows without location left out",
         {{"1.1.1.1", "北京"}, {"2.2.2.2", ""}, {"3.3.3.3", "广州"}, {"4.4.4.4", ""}},
         "1.1.1.1  北京\r\n3.3.3.3  广州\r\n"},
        {"the first row always",
         {{"1.1.1.1", ""}, {"2.2.2.2", "上海"}},
         "1.1.1.1  \r\n2.2.2.2  上海\r\n"},
        {"an empty list", {}, ""},
    };
    // The list file stays GBK.
    for (const Case& c : cases)
        EXPECT_EQ(io::textFile(tableRows(c.rows)), utf8ToGbk(c.bytes)) << c.name;
}

TEST(WorkbookFile, TitlesThenRowsInPlaceBlankWithoutLocation) {
    struct Case {
        const char* name;
        Rows rows;
        Rows sheet;
    } cases[] = {
        {"a row without location leaves its sheet row blank",
         {{"1.10.100.200", "北京 电信"}, {"2.2.2.2", ""}, {"3.3.3.3", "广州"}},
         {{"IP", "来自"}, {"1.10.100.200", "北京 电信"}, {"", ""}, {"3.3.3.3", "广州"}}},
        {"one row", {{"1.2.3.4", "北京"}}, {{"IP", "来自"}, {"1.2.3.4", "北京"}}},
        {"no row with a location: an empty sheet", {{"1.1.1.1", ""}}, {}},
    };
    for (const Case& c : cases) {
        const io::WorkbookFile file = io::workbookFile(tableRows(c.rows), io_test::titles());
        EXPECT_EQ(readSheet(file.bytes), c.sheet) << c.name;
        EXPECT_EQ(file.rowsLeftOut, 0u);
    }
}
