// Address lists from .xlsx workbooks, and the .xlsx file of the results.
#include <algorithm>

#include "io/format_messages.h"
#include "io/formats.h"

namespace io {

xls::XlsxStatus xlsxRows(std::string_view file, std::vector<RowCells>& rows) {
    rows.clear();
    std::vector<xls::SheetCell> cells;
    const xls::XlsxStatus status = xls::readXlsx(file, cells, QueryTable::kColumns);
    if (status != xls::XlsxStatus::Ok || cells.empty()) return status;

    // The used range: from the first row and the first column that hold anything down to
    // the last row. Cells come sorted by row, only those of the columns the table has.
    std::uint16_t firstColumn = cells.front().column;
    for (const xls::SheetCell& c : cells) firstColumn = std::min(firstColumn, c.column);
    const std::uint32_t firstRow = cells.front().row;
    rows.resize(cells.back().row - firstRow + 1);
    for (xls::SheetCell& c : cells) {
        const std::size_t column = c.column - firstColumn;
        if (column < rows.front().size()) rows[c.row - firstRow][column] = std::move(c.text);
    }
    // The first row as column names, as the .xls import takes them ("#" is never part of
    // a GBK character).
    for (std::string& title : rows.front()) std::replace(title.begin(), title.end(), '#', '.');
    return xls::XlsxStatus::Ok;
}

WorkbookFile xlsxFile(const std::vector<Row>& rows,
                      const std::array<std::string, QueryTable::kColumns>& titles) {
    WorkbookFile file;
    std::vector<xls::TextCell> cells;
    cells.reserve(2 * std::min<std::size_t>(rows.size() + 1, xls::kXlsxRows));
    for (std::uint16_t column = 0; column < titles.size(); ++column)
        cells.push_back({0, column, titles[column]});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        if (row.location.empty()) continue;
        // List row i goes to sheet row i + 1 (from 0), below the titles; the sheet ends.
        if (i + 1 >= xls::kXlsxRows) {
            ++file.rowsLeftOut;
            continue;
        }
        const auto sheetRow = static_cast<std::uint32_t>(i + 1);
        cells.push_back({sheetRow, 0, row.address});
        cells.push_back({sheetRow, 1, row.location});
    }
    // The titles stand above the rows only once some row is written.
    if (cells.size() == titles.size()) cells.clear();
    file.bytes = xls::writeXlsx("Sheet1", std::move(cells));
    return file;
}

const char* xlsxFailure(xls::XlsxStatus status) {
    switch (status) {
        case xls::XlsxStatus::BrokenZip:
            return io_text::kXlsxBrokenZip;
        case xls::XlsxStatus::UnsupportedZip:
            return io_text::kXlsxUnsupportedZip;
        case xls::XlsxStatus::TooLarge:
            return io_text::kXlsxTooLarge;
        case xls::XlsxStatus::BrokenXml:
            return io_text::kXlsxBrokenXml;
        case xls::XlsxStatus::BadCell:
            return io_text::kXlsxBadCell;
        case xls::XlsxStatus::BadSharedString:
            return io_text::kXlsxBadSharedString;
        case xls::XlsxStatus::NoSheet:
            return io_text::kXlsxNoSheet;
        default:
            return io_text::kXlsxNotWorkbook;
    }
}

}  // namespace io
