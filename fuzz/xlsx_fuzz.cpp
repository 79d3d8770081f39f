// The .xlsx reader on any bytes, three ways: the bytes as the file (the zip reader and
// everything behind it); the bytes as the parts of a workbook, zipped by our writer so that
// the XML and cell rules are reached past the checksums; and the bytes as cells, written by
// our writer and read back, which must give exactly what was written. A read outside the
// input, a hang, a crash or a broken promise is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>

#include "io/formats.h"
#include "workbook/xlsx.h"
#include "workbook/zip.h"

namespace {

void checkCells(const std::vector<workbook::SheetCell>& cells) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].text.empty() || cells[i].row >= workbook::kXlsxRows ||
            cells[i].column >= workbook::kXlsxColumns)
            std::abort();
        if (i > 0 && std::tie(cells[i - 1].row, cells[i - 1].column) >=
                         std::tie(cells[i].row, cells[i].column))
            std::abort();
    }
}

void readFile(std::string_view file) {
    std::vector<workbook::SheetCell> cells;
    if (workbook::readXlsx(file, cells) == workbook::XlsxStatus::Ok)
        checkCells(cells);
    else if (!cells.empty())
        std::abort();
    std::vector<RowCells> rows;
    if (io::xlsxRows(file, rows) == workbook::XlsxStatus::Ok) {
        if (rows.size() > workbook::kXlsxRows) std::abort();
        if (!rows.empty())
            for (const std::string& title : rows.front())
                if (title.find('#') != std::string::npos) std::abort();
    } else if (!rows.empty()) {
        std::abort();
    }
}

// Parts split at \x01: the sheet, the shared strings, the workbook, its relationships and
// the package's; those not given are the usual ones.
void readParts(std::string_view data) {
    std::vector<std::string> parts = {
        "", "",
        "<workbook xmlns:r=\"r\"><sheets><sheet name=\"S\" r:id=\"rId1\"/></sheets></workbook>",
        "<Relationships><Relationship Id=\"rId1\" Type=\"x/worksheet\" "
        "Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" Type=\"x/sharedStrings\" "
        "Target=\"sharedStrings.xml\"/></Relationships>",
        "<Relationships><Relationship Id=\"rId1\" Type=\"x/officeDocument\" "
        "Target=\"xl/workbook.xml\"/></Relationships>"};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t cut = data.find('\x01');
        if (i < 2 || !data.empty()) parts[i] = std::string(data.substr(0, cut));
        data = cut == std::string_view::npos ? std::string_view() : data.substr(cut + 1);
    }
    workbook::ZipWriter zip(0);
    zip.add("xl/worksheets/sheet1.xml", parts[0]);
    zip.add("xl/sharedStrings.xml", parts[1]);
    zip.add("xl/workbook.xml", parts[2]);
    zip.add("xl/_rels/workbook.xml.rels", parts[3]);
    zip.add("_rels/.rels", parts[4]);
    readFile(zip.finish());
}

// Cells from the bytes: \x1D starts the next row, \x1E the next cell, \x1C in a cell skips
// a column; bytes from 0x80 pick Chinese characters, other bytes stand for themselves
// (control characters, markup and "_x0041_" look-alikes included).
void roundTrip(std::string_view data) {
    if (data.size() > workbook::kCellCharacters) return;  // longer texts are cut on writing
    // Chinese as the rows hold it (UTF-8), and characters GBK lacks beside it.
    static constexpr const char* kChinese[] = {"中", "国", "北", "京", "电", "信", "联",
                                               "通", "◆",  "■",  "ü",  "，", "ª",  "☃"};
    std::vector<std::string> texts(1);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> places(1, {0, 0});
    for (unsigned char c : data) {
        auto& [row, column] = places.back();
        if (c == 0x1D || c == 0x1E) {
            places.push_back(c == 0x1D ? std::pair<std::uint32_t, std::uint32_t>{row + 1, 0}
                                       : std::pair<std::uint32_t, std::uint32_t>{row, column + 1});
            texts.emplace_back();
        } else if (c == 0x1C) {
            ++column;
        } else if (c >= 0x80) {
            texts.back() += kChinese[c % std::size(kChinese)];
        } else {
            texts.back() += static_cast<char>(c);
        }
    }
    std::vector<workbook::TextCell> cells;
    std::vector<workbook::SheetCell> expected;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (places[i].first >= workbook::kXlsxRows || places[i].second >= workbook::kXlsxColumns)
            continue;
        const auto column = static_cast<std::uint16_t>(places[i].second);
        cells.push_back({places[i].first, column, texts[i]});
        if (!texts[i].empty()) expected.push_back({places[i].first, column, texts[i]});
    }
    std::vector<workbook::SheetCell> back;
    if (workbook::readXlsx(workbook::writeXlsx("Sheet1", cells), back) != workbook::XlsxStatus::Ok)
        std::abort();
    if (back.size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < back.size(); ++i)
        if (back[i].row != expected[i].row || back[i].column != expected[i].column ||
            back[i].text != expected[i].text)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    readFile(bytes);
    readParts(bytes);
    roundTrip(bytes);
    return 0;
}
