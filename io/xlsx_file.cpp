// Address lists from .xlsx workbooks, and the .xlsx file of the results.
#include <algorithm>
#include <deque>

#include "io/formats.h"

namespace io {

workbook::XlsxStatus xlsxRows(std::string_view file, std::vector<RowCells>& rows) {
    rows.clear();
    std::vector<workbook::SheetCell> cells;
    const workbook::XlsxStatus status = workbook::readXlsx(file, cells, QueryTable::kColumns);
    if (status != workbook::XlsxStatus::Ok || cells.empty()) return status;

    sheetRows(cells, rows);
    return workbook::XlsxStatus::Ok;
}

WorkbookFile xlsxFile(const RowStore& rows,
                      const std::array<std::string, QueryTable::kColumns>& titles) {
    WorkbookFile file;
    std::vector<workbook::TextCell> cells;
    // The cells view their texts: those the data gave, marked, are made and kept here.
    std::deque<std::string> marked;
    cells.reserve(2 * std::min<std::size_t>(rows.size() + 1, workbook::kXlsxRows));
    for (std::size_t column = 0; column < titles.size(); ++column)
        cells.push_back({0, static_cast<std::uint16_t>(column), titles[column]});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows.text(i).empty()) continue;
        // List row i goes to sheet row i + 1 (from 0), below the titles; the sheet ends.
        if (i + 1 >= workbook::kXlsxRows) {
            ++file.rowsLeftOut;
            continue;
        }
        const auto sheetRow = static_cast<std::uint32_t>(i + 1);
        cells.push_back({sheetRow, 0, rows.address(i)});
        if (rows.source(i) == Source::DataFile) {
            cells.push_back({sheetRow, 1, marked.emplace_back(shownLocation(rows[i]))});
        } else {
            cells.push_back({sheetRow, 1, rows.text(i)});
        }
    }
    // The titles stand above the rows only once some row is written.
    if (cells.size() == titles.size()) cells.clear();
    file.bytes = workbook::writeXlsx("Sheet1", std::move(cells));
    return file;
}

}  // namespace io
