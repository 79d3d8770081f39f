// Address lists from .xls workbooks, and the .xls file of the results.
#include <algorithm>

#include "io/io.h"
#include "text/codepage.h"

namespace io {

bool longerThanCell(std::string_view text) {
    if (text.size() <= workbook::kCellCharacters) return false;
    std::size_t units = 0;  // UTF-16, as the workbooks count a cell's characters
    for (std::size_t at = 0; at < text.size();) {
        const codepage::Utf8Char c = codepage::decodeUtf8(text, at);
        units += c.code > 0xFFFF ? 2 : 1;
        if (units > workbook::kCellCharacters) return true;
        at += c.length;
    }
    return false;
}

workbook::WorkbookStatus workbookRows(std::string_view file, std::vector<RowCells>& rows) {
    rows.clear();
    workbook::ParsedWorkbook book;
    workbook::WorkbookStatus status = workbook::parseWorkbook(file, book);
    if (status != workbook::WorkbookStatus::Ok) return status;
    std::vector<workbook::SheetCell> cells;
    status = workbook::readSheet(book, "Sheet1", cells);
    if (status != workbook::WorkbookStatus::Ok || cells.empty()) return status;

    sheetRows(cells, rows);
    return workbook::WorkbookStatus::Ok;
}

void sheetRows(std::vector<workbook::SheetCell>& cells, std::vector<RowCells>& rows) {
    // The used range of the sheet: from its first row and first column that hold
    // anything, down to its last row. Cells come sorted by row.
    std::uint16_t firstColumn = cells.front().column;
    for (const workbook::SheetCell& c : cells) firstColumn = std::min(firstColumn, c.column);
    const std::uint32_t firstRow = cells.front().row;
    rows.resize(cells.back().row - firstRow + 1);
    for (workbook::SheetCell& c : cells) {
        const std::size_t column = c.column - firstColumn;
        if (column < rows.front().size()) rows[c.row - firstRow][column] = std::move(c.text);
    }
    // A spreadsheet driver took the first row as column names and made each "." in them
    // "#"; the names came back with each "#" made ".". ("#" is never part of a GBK
    // character, so bytes can be replaced as they are.)
    for (std::string& title : rows.front()) std::replace(title.begin(), title.end(), '#', '.');
}

WorkbookFile workbookFile(const RowStore& rows, const Titles& titles) {
    WorkbookFile file;
    std::vector<workbook::CellToWrite> cells;
    cells.reserve(2 * std::min<std::size_t>(rows.size() + 1, workbook::kSheetRows));
    for (std::size_t column = 0; column < titles.list.size(); ++column)
        cells.push_back({0, static_cast<std::uint16_t>(column), titles[column], true});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows.text(i).empty()) continue;
        // List row i goes to sheet row i + 1 (from 0), below the titles; the sheet ends.
        if (i + 1 >= workbook::kSheetRows) {
            ++file.rowsLeftOut;
            continue;
        }
        const auto sheetRow = static_cast<std::uint32_t>(i + 1);
        cells.push_back({sheetRow, 0, std::string(rows.address(i)), true});
        cells.push_back({sheetRow, 1, shownLocation(rows[i]), true});
        if (longerThanCell(cells.back().text)) ++file.cellsCut;
    }
    // The titles stand above the rows only once some row is written.
    if (cells.size() == titles.list.size()) cells.clear();
    file.bytes = workbook::writeWorkbook("Sheet1", std::move(cells));
    return file;
}

}  // namespace io
