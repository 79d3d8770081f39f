// Address lists from .xlsx workbooks, and the .xlsx file of the results.
#include <algorithm>
#include <deque>

#include "io/formats.h"

namespace io {

workbook::XlsxStatus xlsxRows(std::string_view file, std::vector<RowCells>& rows,
                              std::optional<RowStore>* own) {
    rows.clear();
    std::vector<workbook::SheetCell> cells;
    const workbook::XlsxStatus status = workbook::readXlsx(file, cells, kRowColumns);
    if (status != workbook::XlsxStatus::Ok || cells.empty()) return status;

    // Our own export: every column of it, by the sheet's rows; the header row left out.
    std::uint16_t firstColumn = cells.front().column;
    for (const workbook::SheetCell& c : cells) firstColumn = std::min(firstColumn, c.column);
    const std::uint32_t firstRow = cells.front().row;
    std::vector<std::string> header(kRowColumns);
    for (const workbook::SheetCell& c : cells) {
        if (c.row != firstRow) break;
        if (c.column - firstColumn < static_cast<int>(kRowColumns))
            header[c.column - firstColumn] = c.text;
    }
    if (own && isOwnHeader(header)) {
        RowStore& store = own->emplace();
        std::vector<std::string> row;
        std::uint32_t at = firstRow + 1;
        std::size_t next = 0;
        while (next < cells.size() && cells[next].row == firstRow) ++next;
        const std::uint32_t lastRow = cells.back().row;
        for (; at <= lastRow; ++at) {
            row.assign(kRowColumns, std::string());
            for (; next < cells.size() && cells[next].row == at; ++next) {
                const std::size_t column = cells[next].column - firstColumn;
                if (column < kRowColumns) row[column] = std::move(cells[next].text);
            }
            pushOwnRow(store, row);
        }
        return workbook::XlsxStatus::Ok;
    }
    // Any other sheet: the addresses of its first column; a second column is no location.
    // Its cells stay, emptied, so that the rows reach as far down as the sheet does.
    for (workbook::SheetCell& c : cells)
        if (c.column != firstColumn) c.text.clear();
    sheetRows(cells, rows);
    return workbook::XlsxStatus::Ok;
}

WorkbookFile xlsxFile(const RowStore& rows, const Titles& titles) {
    WorkbookFile file;
    std::vector<workbook::TextCell> cells;
    const bool ranges = hasRanges(rows);
    ExtraCells extra(rows, titles, ranges);
    const std::size_t columns = ranges ? kExtraColumns : kExtraColumns - 1;
    const std::size_t cidr = extraColumn(FieldId::Cidr);
    // The cells view their texts: those made here (a marked location, a CIDR text) are
    // kept here.
    std::deque<std::string> made;
    const std::size_t sheetRows = std::min<std::size_t>(rows.size() + 1, workbook::kXlsxRows);
    cells.reserve(sheetRows * (QueryTable::kColumns + columns));
    for (std::size_t column = 0; column < titles.list.size(); ++column)
        cells.push_back({0, static_cast<std::uint16_t>(column), titles.list[column]});
    for (std::size_t c = 0; c < columns; ++c)
        cells.push_back({0, static_cast<std::uint16_t>(QueryTable::kColumns + c), titles.extra[c]});
    for (std::size_t i = 0; i < rows.size(); ++i) {
        // List row i goes to sheet row i + 1 (from 0), below the titles; the sheet ends.
        if (i + 1 >= workbook::kXlsxRows) {
            ++file.rowsLeftOut;
            continue;
        }
        const auto sheetRow = static_cast<std::uint32_t>(i + 1);
        const std::size_t rowStart = cells.size();
        cells.push_back({sheetRow, 0, rows.address(i)});
        if (rows.source(i) == Source::DataFile) {
            cells.push_back({sheetRow, 1, made.emplace_back(shownLocation(rows[i]))});
        } else {
            cells.push_back({sheetRow, 1, rows.text(i)});
        }
        const std::array<std::string_view, kExtraColumns> texts = extra.of(i);
        for (std::size_t c = 0; c < columns; ++c) {
            std::string_view text = texts[c];
            if (c == cidr)
                text = made.emplace_back(text);
            cells.push_back({sheetRow, static_cast<std::uint16_t>(QueryTable::kColumns + c), text});
        }
        for (std::size_t c = rowStart; c < cells.size(); ++c)
            if (longerThanCell(cells[c].text)) ++file.cellsCut;
    }
    file.bytes = workbook::writeXlsx("Sheet1", std::move(cells));
    return file;
}

}  // namespace io
