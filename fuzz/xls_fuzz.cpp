// The import's readers on any bytes, as the user may pick any file: the .xls reader (the
// container, the workbook globals, every sheet), the rows the import takes from Sheet1, the
// text list reader and the CSV reader; and CSV written from rows made of the bytes, which
// must read back to the addresses written. A read outside the input, a hang or a crash is a
// finding; so are answers that break the readers' own promises.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "io/formats.h"
#include "io/io.h"
#include "text/codepage.h"
#include "workbook/biff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view file(reinterpret_cast<const char*>(data), size);

    workbook::ParsedWorkbook book;
    if (workbook::parseWorkbook(file, book) == workbook::WorkbookStatus::Ok) {
        std::vector<workbook::SheetCell> cells;
        for (const auto& sheet : book.sheets) {
            if (workbook::readSheet(book, sheet.name, cells) != workbook::WorkbookStatus::Ok)
                continue;
            for (std::size_t i = 1; i < cells.size(); ++i) {
                const bool ordered =
                    cells[i - 1].row < cells[i].row ||
                    (cells[i - 1].row == cells[i].row && cells[i - 1].column < cells[i].column);
                if (!ordered || cells[i].text.empty()) std::abort();
            }
        }
    }

    std::vector<RowCells> rows;
    if (io::workbookRows(file, rows) == workbook::WorkbookStatus::Ok) {
        if (rows.size() > workbook::kSheetRows) std::abort();
        if (!rows.empty())
            for (const std::string& title : rows.front())
                if (title.find('#') != std::string::npos) std::abort();
    } else if (!rows.empty()) {
        std::abort();
    }

    // Every line break and NUL is gone from the rows, and whatever the bytes, the rows are
    // UTF-8: an import decodes, it never passes bytes on.
    const io::TextRows list = io::textRows(file);
    for (const RowCells& row : list.rows) {
        if (row[0].find_first_of(std::string("\r\n\0", 3)) != std::string::npos || !row[1].empty())
            std::abort();
        if (!codepage::isValidUtf8(row[0])) std::abort();
    }

    // CSV rows hold only first fields, UTF-8 as well.
    const io::TextRows csv = io::csvRows(file);
    for (const RowCells& row : csv.rows)
        if (row[0].find('\0') != std::string::npos || !row[1].empty() ||
            !codepage::isValidUtf8(row[0]))
            std::abort();
    if (!codepage::isValidUtf8(io::listText(file).text)) std::abort();

    // Rows split at \x1E, each its address twice as the location; bytes from 0x80 pick
    // characters (Chinese, and two GBK lacks), NULs are left out.
    static constexpr const char* kChinese[] = {"中", "北", "☃", "，", "ª"};
    std::vector<std::string> addresses(1);
    for (unsigned char c : file) {
        if (c == 0x1E)
            addresses.emplace_back();
        else if (c >= 0x80)
            addresses.back() += kChinese[c % std::size(kChinese)];
        else if (c != 0)
            addresses.back() += static_cast<char>(c);
    }
    RowStore written;
    std::vector<std::string> expected = {"IP"};
    for (const std::string& address : addresses) {
        written.push(address, Answer(address + address + "x"));
        const char first = address.empty() ? ' ' : address[0];
        const bool formula = first == '=' || first == '+' || first == '-' || first == '@';
        expected.push_back((formula ? "'" : "") + address);
    }
    const io::TextRows back = io::csvRows(io::csvFile(written, {"IP", "x"}));
    if (back.rows.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < expected.size(); ++i)
        if (back.rows[i][0] != expected[i]) std::abort();
    return 0;
}
