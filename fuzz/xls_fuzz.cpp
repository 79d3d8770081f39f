// The import's readers on any bytes, as the user may pick any file: the .xls reader (the
// container, the workbook globals, every sheet), the rows the import takes from Sheet1, and
// the text list reader. A read outside the input, a hang or a crash is a finding; so are
// answers that break the readers' own promises.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/io.h"
#include "xls/biff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);

    xls::ParsedWorkbook book;
    if (xls::parseWorkbook(file, book) == xls::WorkbookStatus::Ok) {
        std::vector<xls::SheetCell> cells;
        for (const auto& sheet : book.sheets) {
            if (xls::readSheet(book, sheet.name, cells) != xls::WorkbookStatus::Ok) continue;
            for (std::size_t i = 1; i < cells.size(); ++i) {
                const bool ordered =
                    cells[i - 1].row < cells[i].row ||
                    (cells[i - 1].row == cells[i].row && cells[i - 1].column < cells[i].column);
                if (!ordered || cells[i].text.empty()) std::abort();
            }
        }
    }

    std::vector<RowCells> rows;
    if (io::workbookRows(file, rows) == xls::WorkbookStatus::Ok) {
        if (rows.size() > xls::kSheetRows) std::abort();
        if (!rows.empty())
            for (const std::string& title : rows.front())
                if (title.find('#') != std::string::npos) std::abort();
    } else if (!rows.empty()) {
        std::abort();
    }

    // Every line break and NUL is gone from the rows, and every character counted as one
    // GBK cannot hold left a "?" behind.
    const io::TextRows list = io::textRows(file);
    std::size_t marks = 0;
    for (const RowCells& row : list.rows) {
        if (row[0].find_first_of(std::string("\r\n\0", 3)) != std::string::npos || !row[1].empty())
            std::abort();
        for (char c : row[0]) marks += c == '?';
    }
    if (list.unmappable > marks) std::abort();
    return 0;
}
