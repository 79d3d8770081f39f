// Files our writer makes, read back by our reader; and records other writers use.
#include <gtest/gtest.h>

#include <map>

#include "tests/workbook/biff_builder.h"
#include "workbook/biff.h"
#include "workbook/compound.h"

using namespace xls_test;

namespace {

std::vector<workbook::SheetCell> readBack(const std::string& file, const char* sheet = "Sheet1") {
    workbook::ParsedWorkbook book;
    EXPECT_EQ(workbook::parseWorkbook(file, book), workbook::WorkbookStatus::Ok);
    std::vector<workbook::SheetCell> cells;
    EXPECT_EQ(workbook::readSheet(book, sheet, cells), workbook::WorkbookStatus::Ok);
    return cells;
}

std::string repeat(const std::string& piece, int times) {
    std::string s;
    for (int i = 0; i < times; ++i) s += piece;
    return s;
}

}  // namespace

TEST(XlsRoundTrip, TextsComeBackExactly) {
    // Each row: a text that stresses one part of the shared string table.
    const std::vector<std::string> texts = {
        "1.10.100.200",                // stays text, dots and digits
        "中国 北京 电信",              // UTF-16 in the file
        "A",                           // shortest
        "  spaces kept  ",             //
        "123",                         // looks like a number, stays text
        repeat("广东省深圳市", 1500),  // 9000 characters: crosses CONTINUE records
        repeat("x", 9000),             // 8-bit characters split across records
        "é ü Latin-1",                 // below 0x100 but not ASCII
        "中",                          //
    };
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t i = 0; i < texts.size(); ++i) cells.push_back({i, 0, texts[i], true});
    // Repeats share one string and still give every cell its text.
    for (std::uint32_t i = 0; i < texts.size(); ++i) cells.push_back({i, 1, texts[0], true});
    const auto back = readBack(workbook::writeWorkbook("Sheet1", cells));
    ASSERT_EQ(back.size(), 2 * texts.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(back[2 * i].row, i);
        EXPECT_EQ(back[2 * i].column, 0);
        EXPECT_EQ(back[2 * i].text, texts[i]) << "row " << i;
        EXPECT_EQ(back[2 * i + 1].text, texts[0]);
    }
}

TEST(XlsRoundTrip, SharedStringTableLargerThanManyRecordsAndLastRow) {
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t r = 0; r < 3000; ++r)
        cells.push_back({r, 0, "中文地址第" + std::to_string(r) + "行", true});
    cells.push_back({65535, 0, "最后一行", true});
    cells.push_back({65535, 255, "IV65536", true});
    const std::string file = workbook::writeWorkbook("Sheet1", cells);
    const auto back = readBack(file);
    ASSERT_EQ(back.size(), cells.size());
    for (std::size_t i = 0; i < 3000; ++i) ASSERT_EQ(back[i].text, cells[i].text);
    EXPECT_EQ(back[3000].row, 65535u);
    EXPECT_EQ(back[3000].text, "最后一行");
    EXPECT_EQ(back[3001].column, 255);
}

TEST(XlsRoundTrip, CellsOutsideTheSheetAreNotWrittenLongTextsAreCut) {
    const auto back = readBack(workbook::writeWorkbook(
        "Sheet1",
        {{65536, 0, "past the last row", true}, {0, 256, "past IV", true}, {0, 0, "kept", true}}));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].text, "kept");
    // A count past 16 bits would break the shared strings after it.
    const auto cut = readBack(workbook::writeWorkbook(
        "Sheet1", {{0, 0, repeat("中", 70000), true}, {1, 0, "after", true}}));
    ASSERT_EQ(cut.size(), 2u);
    EXPECT_EQ(cut[0].text, repeat("中", workbook::kCellCharacters));
    EXPECT_EQ(cut[1].text, "after");
}

TEST(XlsRoundTrip, LargeFilesUseTheDifat) {
    // Over 109 FAT sectors (about 7 MB) the sector list continues in DIFAT sectors.
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t r = 0; r < 65536; ++r)
        cells.push_back({r, 0, std::to_string(r) + repeat("长", 60), true});
    const std::string file = workbook::writeWorkbook("Sheet1", cells);
    ASSERT_GT(file.size(), 8u * 1024 * 1024);
    const auto back = readBack(file);
    ASSERT_EQ(back.size(), cells.size());
    EXPECT_EQ(back.back().text, cells.back().text);
}

TEST(XlsRead, NumbersAndOtherCellRecords) {
    const std::string sst = record(0x00FC, Bytes().u32(2).u32(2).str8("shared").str16(u"共享").s);
    const std::string body =
        number(0, 0, 123) + number(0, 1, 1.5) + number(0, 2, -0.25) + number(0, 3, 1e20) +
        rk(1, 0, (123u << 2) | 2) +  // integer
        rk(1, 1, (150u << 2) | 3) +  // integer / 100 = 1.5
        rk(1, 2, 0x3FF80000u) +      // the high half of 1.5
        rk(1, 3, 0x3FF80000u | 1) +  // 1.5 / 100
        rk(1, 4, static_cast<std::uint32_t>(-7 << 2) | 2) +
        record(0x00BD, cellHead(2, 1, 0).substr(0, 4) +  // MULRK: columns 1..3
                           Bytes()
                               .u16(15)
                               .u32((1u << 2) | 2)
                               .u16(15)
                               .u32((2u << 2) | 2)
                               .u16(15)
                               .u32((3u << 2) | 2)
                               .u16(3)
                               .s) +
        record(0x0205, cellHead(3, 0) + Bytes().u8(1).u8(0).s) +     // TRUE
        record(0x0205, cellHead(3, 1) + Bytes().u8(0x07).u8(1).s) +  // #DIV/0!: nothing
        label8(4, 0, "label") + label16(4, 1, u"标签") +
        record(0x00D6, cellHead(4, 2) + Bytes().u16(2).u8(0x08).u16(1).raw("rs").u32(0).s) +
        labelSst(5, 0, 0) + labelSst(5, 1, 1) + record(0x0201, cellHead(6, 0)) +  // BLANK
        // FORMULA with a number, a text in the next STRING (after SHRFMLA), a boolean
        record(0x0006, cellHead(7, 0) + Bytes().f64(42).u16(0).u32(0).u16(0).s) +
        record(0x0006,
               cellHead(7, 1) + Bytes().u8(0).u8(0).u32(0).u16(0xFFFF).u16(0).u32(0).u16(0).s) +
        record(0x04BC, std::string(10, '\0')) + record(0x0207, Bytes().str16(u"公式").s) +
        record(0x0006,
               cellHead(7, 2) +
                   Bytes().u8(1).u8(0).u8(1).u8(0).u16(0).u16(0xFFFF).u16(0).u32(0).u16(0).s) +
        // an embedded chart's substream is skipped whole
        bof(0x0020) + label8(9, 0, "inside chart") + eof() + label8(8, 0, "after chart");
    const std::string file =
        workbook::writeCompoundFile("Workbook", workbookStream({"Sheet1"}, {body}, sst));
    const auto cells = readBack(file);
    std::map<std::pair<int, int>, std::string> got;
    for (const auto& c : cells) got[{c.row, c.column}] = c.text;
    const std::map<std::pair<int, int>, std::string> want = {
        {{0, 0}, "123"},    {{0, 1}, "1.5"},        {{0, 2}, "-0.25"}, {{0, 3}, "1e+20"},
        {{1, 0}, "123"},    {{1, 1}, "1.5"},        {{1, 2}, "1.5"},   {{1, 3}, "0.015"},
        {{1, 4}, "-7"},     {{2, 1}, "1"},          {{2, 2}, "2"},     {{2, 3}, "3"},
        {{3, 0}, "TRUE"},   {{4, 0}, "label"},      {{4, 1}, "标签"},  {{4, 2}, "rs"},
        {{5, 0}, "shared"}, {{5, 1}, "共享"},       {{7, 0}, "42"},    {{7, 1}, "公式"},
        {{7, 2}, "TRUE"},   {{8, 0}, "after chart"}};
    EXPECT_EQ(got, want);
}

TEST(XlsRead, SharedStringsSwitchEncodingAcrossContinue) {
    // One string starts 8-bit in the SST record and goes on as UTF-16 in a CONTINUE; the
    // next begins at the start of a second CONTINUE, without an option byte.
    const std::string sst = record(0x00FC, Bytes().u32(2).u32(2).u16(4).u8(0).raw("ab").s) +
                            record(0x003C, Bytes().u8(1).u16(0x4E2D).u16(0x6587).s) +
                            record(0x003C, Bytes().str8("next").s);
    const std::string file = workbook::writeCompoundFile(
        "Workbook", workbookStream({"Sheet1"}, {labelSst(0, 0, 0) + labelSst(1, 0, 1)}, sst));
    const auto cells = readBack(file);
    ASSERT_EQ(cells.size(), 2u);
    EXPECT_EQ(cells[0].text, "ab中文");
    EXPECT_EQ(cells[1].text, "next");
}

TEST(XlsRead, SmallWorkbookInTheMiniStream) {
    const std::string stream =
        workbookStream({"Other", "sheet1"}, {label8(0, 0, "no"), label8(0, 0, "1.1.1.1")});
    ASSERT_LT(stream.size(), 4096u);
    const auto cells = readBack(miniStreamFile("Workbook", stream));  // name without case
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].text, "1.1.1.1");
}

TEST(XlsRead, SheetFoundByNameNotPosition) {
    const std::string file = workbook::writeCompoundFile(
        "Workbook",
        workbookStream({"Data", "Sheet1"}, {label8(0, 0, "first"), label8(0, 0, "second")}));
    workbook::ParsedWorkbook book;
    ASSERT_EQ(workbook::parseWorkbook(file, book), workbook::WorkbookStatus::Ok);
    std::vector<workbook::SheetCell> cells;
    ASSERT_EQ(workbook::readSheet(book, "SHEET1", cells), workbook::WorkbookStatus::Ok);
    ASSERT_EQ(cells.size(), 1u);
    EXPECT_EQ(cells[0].text, "second");
    EXPECT_EQ(workbook::readSheet(book, "Sheet2", cells), workbook::WorkbookStatus::NoSheet);
}

TEST(XlsRead, NumberTexts) {
    const std::pair<double, const char*> cases[] = {
        {0, "0"},        {-0.0, "0"},        {1, "1"},
        {1.5, "1.5"},    {0.1 + 0.2, "0.3"}, {123456789012345, "123456789012345"},
        {1e15, "1e+15"}, {-3.25, "-3.25"},   {1.0 / 3, "0.333333333333333"}};
    for (auto [value, text] : cases) EXPECT_EQ(workbook::numberText(value), text) << value;
}
