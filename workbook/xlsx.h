// Office Open XML workbooks (.xlsx): the cells of the first worksheet of a file, and a
// one-sheet file of texts. Texts are UTF-8 on both sides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/biff.h"

namespace workbook {

enum class XlsxStatus {
    Ok,
    NotZip,           // not a zip archive at all
    NoWorkbook,       // a zip, but no workbook part in it
    BrokenZip,        // directory, headers, offsets, compressed data or checksums disagree
    UnsupportedZip,   // encrypted entries, a method other than stored or deflate, zip64
    TooLarge,         // a part past the size or the compression ratio a real workbook has
    BrokenXml,        // tags that do not close or match, refused entities, a DTD
    BadCell,          // a cell or row reference outside the sheet
    BadSharedString,  // a shared-string index past the table
    NoSheet,          // the workbook holds no worksheet
};

inline constexpr std::uint32_t kXlsxRows = 1048576;
inline constexpr std::uint32_t kXlsxColumns = 16384;

// The cells of the workbook's first worksheet in tab order (the first visible one when
// the first ones are hidden), sorted by row, then column; a cell given twice keeps its
// last value. Texts as the .xls reader gives them: numbers as numberText, booleans TRUE
// and FALSE; empty texts and error values are left out. With `keepColumns` above 0 only
// the cells of that many columns, counted from the leftmost column that holds anything,
// are kept. On failure `cells` is empty.
XlsxStatus readXlsx(std::string_view file, std::vector<SheetCell>& cells,
                    std::uint32_t keepColumns = 0);

// One text cell to write; the text (UTF-8) is viewed, not copied.
struct TextCell {
    std::uint32_t row;     // 0 to kXlsxRows - 1
    std::uint16_t column;  // 0 to kXlsxColumns - 1
    std::string_view text;
};

// A complete .xlsx file with one worksheet `sheetName` (ASCII) holding `cells`, every one
// formatted as text ("@"). Cells outside the sheet are not written; of two cells in one
// place the last is; texts past kCellCharacters are cut (more than Excel holds in a cell).
// Characters XML cannot hold (control characters) are written as _xHHHH_, the workbook's own
// escape, and a
// "_x" that would read as one as _x005F_x. Empty when the file would pass 4 GB.
std::string writeXlsx(std::string_view sheetName, std::vector<TextCell> cells);

}  // namespace workbook
