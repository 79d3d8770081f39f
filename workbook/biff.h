// BIFF8 workbooks inside a compound file: read the sheets of a file, write a one-sheet
// file. Texts on our side are UTF-8; in the file they are UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

enum class WorkbookStatus {
    Ok,
    NotWorkbook,  // not a compound file, or one without a workbook stream
    Malformed,    // records, strings or offsets that do not hold together
    OldFormat,    // BIFF5 and older (Excel 95)
    Encrypted,    // password protected
    NoSheet,      // no worksheet of the asked name
};

// One cell that holds something, its value as text as a user sees it.
struct SheetCell {
    std::uint32_t row;
    std::uint16_t column;
    std::string text;
};

// Cells in row, then column order; of a cell given twice the last one stays.
void orderCells(std::vector<SheetCell>& cells);

struct ParsedWorkbook {
    struct SheetEntry {
        std::string name;  // UTF-8
        std::uint32_t offset;
        std::uint8_t type;  // 0 worksheet
    };
    std::string stream;
    std::vector<SheetEntry> sheets;
    std::vector<std::string> sharedStrings;  // UTF-8
};

WorkbookStatus parseWorkbook(std::string_view file, ParsedWorkbook& book);
// The cells of worksheet `name` (compared without ASCII case), sorted by row, then column.
// Cells that hold nothing (blank, empty text, error values) are left out.
WorkbookStatus readSheet(const ParsedWorkbook& book, std::string_view name,
                         std::vector<SheetCell>& cells);

// A number as a user sees it: 123, 1.5, -0.25; at most 15 significant digits.
std::string numberText(double value);

// One cell to write; `textFormat` gives it the number format "@".
struct CellToWrite {
    std::uint32_t row;     // 0 to 65535
    std::uint16_t column;  // 0 to 255
    std::string text;      // UTF-8
    bool textFormat;
};

inline constexpr std::uint32_t kSheetRows = 65536;
inline constexpr std::uint16_t kSheetColumns = 256;
// The most characters a cell holds (Excel's limit); longer texts are cut to it on writing.
inline constexpr std::size_t kCellCharacters = 32767;

// A complete .xls file with one worksheet `sheetName` (ASCII) holding `cells`. Cells
// outside the sheet's limits are not written; texts past kCellCharacters are cut.
std::string writeWorkbook(std::string_view sheetName, std::vector<CellToWrite> cells);

}  // namespace workbook
