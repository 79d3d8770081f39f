#include "tests/fakes/fake_view.h"

namespace fake {

ListView::ListView(std::vector<std::string> headers) : headers_(std::move(headers)) {}

int ListView::rowCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(rows_.size());
}

int ListView::columnCount() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(headers_.size());
}

void ListView::deleteAllRows() {
    std::lock_guard lock(mutex_);
    rows_.clear();
}

int ListView::appendRow() {
    std::lock_guard lock(mutex_);
    rows_.emplace_back(headers_.size());
    return static_cast<int>(rows_.size()) - 1;
}

std::string ListView::cell(int row, int column) {
    std::lock_guard lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return {};
    if (column < 0 || column >= static_cast<int>(headers_.size())) return {};
    return rows_[row][column];
}

void ListView::setCell(int row, int column, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (row < 0 || row >= static_cast<int>(rows_.size())) return;
    if (column < 0 || column >= static_cast<int>(headers_.size())) return;
    rows_[row][column] = text;
}

bool ListView::setCellIfKey(int row, int column, const std::string& text, int keyColumn,
                            const std::string& key) {
    std::lock_guard lock(mutex_);
    const int columns = static_cast<int>(headers_.size());
    if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
    if (column < 0 || column >= columns || keyColumn < 0 || keyColumn >= columns) return false;
    if (rows_[row][keyColumn] != key) return false;
    rows_[row][column] = text;
    return true;
}

std::string ListView::header(int column) {
    std::lock_guard lock(mutex_);
    if (column < 0 || column >= static_cast<int>(headers_.size())) return {};
    return headers_[column];
}

void ListView::addRow(const std::vector<std::string>& cells) {
    std::lock_guard lock(mutex_);
    auto& row = rows_.emplace_back(headers_.size());
    for (size_t i = 0; i < cells.size() && i < row.size(); ++i) row[i] = cells[i];
}

std::vector<std::vector<std::string>> ListView::rows() {
    std::lock_guard lock(mutex_);
    return rows_;
}

StatusBar::StatusBar() : panels_{"状态", "就绪", "正在获取..."} {}

void StatusBar::setPanel(int index, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index > 2) return;
    panels_[index] = text;
    history_[index].push_back(text);
}

std::string StatusBar::panel(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index > 2) return {};
    return panels_[index];
}

std::vector<std::string> StatusBar::history(int index) {
    std::lock_guard lock(mutex_);
    if (index < 0 || index > 2) return {};
    return history_[index];
}

std::string EditBox::text() {
    std::lock_guard lock(mutex_);
    ++reads;
    if (onRead) onRead(*this);
    return text_;
}

void EditBox::setText(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
}

void MessagePump::processPending() {
    ++calls;
    if (onPump) onPump();
}

}  // namespace fake
