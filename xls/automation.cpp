#include "xls/automation.h"

#include "platform/files.h"

namespace xls {
namespace {

// "a1" to (row 0, column 0); false when it names no cell of a sheet.
bool parseCellName(const std::string& name, std::uint32_t& row, std::uint16_t& column) {
    std::size_t i = 0;
    std::uint32_t col = 0;
    while (i < name.size() &&
           ((name[i] >= 'a' && name[i] <= 'z') || (name[i] >= 'A' && name[i] <= 'Z'))) {
        col = col * 26 + static_cast<std::uint32_t>((name[i] | 0x20) - 'a' + 1);
        if (col > kSheetColumns) return false;
        ++i;
    }
    if (col == 0 || i == name.size()) return false;
    std::uint32_t r = 0;
    for (; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return false;
        r = r * 10 + static_cast<std::uint32_t>(name[i] - '0');
        if (r > kSheetRows) return false;
    }
    if (r == 0) return false;
    row = r - 1;
    column = static_cast<std::uint16_t>(col - 1);
    return true;
}

}  // namespace

void Range::setNumberFormatLocal(const std::string& format) {
    if (!sheet_) return;
    for (std::uint32_t r = top_; r <= bottom_; ++r)
        for (std::uint32_t c = left_; c <= right_; ++c)
            sheet_->at(r, static_cast<std::uint16_t>(c)).format = format;
}

void Range::setValue(const std::string& text) {
    if (!sheet_) return;
    for (std::uint32_t r = top_; r <= bottom_; ++r)
        for (std::uint32_t c = left_; c <= right_; ++c) {
            Worksheet::Cell& cell = sheet_->at(r, static_cast<std::uint16_t>(c));
            cell.text = text;
            cell.hasValue = true;
        }
}

Range Worksheet::range(const std::string& first, const std::string& last) {
    Range range;
    std::uint32_t r1, r2;
    std::uint16_t c1, c2;
    if (!parseCellName(first, r1, c1) || !parseCellName(last, r2, c2)) return range;
    range.sheet_ = this;
    range.top_ = std::min(r1, r2);
    range.bottom_ = std::max(r1, r2);
    range.left_ = std::min(c1, c2);
    range.right_ = std::max(c1, c2);
    return range;
}

Worksheet::Cell& Worksheet::at(std::uint32_t row, std::uint16_t column) {
    if (row >= rows_.size()) rows_.resize(row + 1);
    auto& cells = rows_[row];
    for (auto& [c, cell] : cells)
        if (c == column) return cell;
    return cells.emplace_back(column, Cell{}).second;
}

const Worksheet::Cell* Worksheet::cell(std::uint32_t row, std::uint16_t column) const {
    if (row >= rows_.size()) return nullptr;
    for (const auto& [c, cell] : rows_[row])
        if (c == column) return &cell;
    return nullptr;
}

bool Worksheet::saveAs(const std::string& path) {
    return book_ && book_->saveAs(path);
}

Workbook::Workbook() {
    sheets_.push_back(std::make_unique<Worksheet>("Sheet1"));
    sheets_.back()->book_ = this;
}

Worksheet* Workbook::worksheet(int index) {
    if (index < 1 || index > static_cast<int>(sheets_.size())) return nullptr;
    return sheets_[index - 1].get();
}

std::string Workbook::fileBytes() const {
    const Worksheet& sheet = *sheets_.front();
    std::vector<CellToWrite> cells;
    for (std::uint32_t r = 0; r < sheet.rows_.size(); ++r)
        for (const auto& [column, cell] : sheet.rows_[r])
            if (cell.hasValue || !cell.format.empty())
                cells.push_back({r, column, cell.text, cell.format == "@"});
    return writeWorkbook(sheet.name(), std::move(cells));
}

bool Workbook::saveAs(const std::string& path) {
    return platform::files().writeAll(path, fileBytes());
}

Workbook* Workbooks::add() {
    books_.push_back(std::make_unique<Workbook>());
    return books_.back().get();
}

std::unique_ptr<Application> Application::create() {
    return std::make_unique<Application>();
}

void Application::quit() {
    quit_ = true;
    workbooks_.closeAll();
}

}  // namespace xls
