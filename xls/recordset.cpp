#include "xls/recordset.h"

#include <algorithm>

#include "platform/files.h"

namespace xls {
namespace {

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return text;
}

OpenStatus fromWorkbookStatus(WorkbookStatus status) {
    switch (status) {
        case WorkbookStatus::Ok:
            return OpenStatus::Ok;
        case WorkbookStatus::OldFormat:
            return OpenStatus::OldFormat;
        case WorkbookStatus::Encrypted:
            return OpenStatus::Encrypted;
        case WorkbookStatus::NoSheet:
            return OpenStatus::NoSheet;
        default:
            return OpenStatus::NotWorkbook;
    }
}

// "[Sheet1$]" or "Sheet1$" to "Sheet1"; empty when it is not a sheet name.
std::string sheetOfTable(std::string table) {
    while (!table.empty() && table.back() == ' ') table.pop_back();
    while (!table.empty() && table.front() == ' ') table.erase(0, 1);
    if (table.size() >= 2 && table.front() == '[' && table.back() == ']')
        table = table.substr(1, table.size() - 2);
    if (table.empty() || table.back() != '$') return {};
    table.pop_back();
    return table;
}

}  // namespace

std::string connectionPath(const std::string& connectionText) {
    const std::string text = upper(connectionText);
    std::size_t start = text.find("DBQ=");
    if (start == std::string::npos) return {};
    start += 4;
    // The path may hold ";" itself: it ends where the next known key begins.
    std::size_t end = std::string::npos;
    for (const char* key : {";DEFAULTDIR=", ";DRIVER=", ";DRIVERID=", ";READONLY="})
        end = std::min(end, text.find(key, start));
    if (end == std::string::npos) end = text.find(';', start);
    return connectionText.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

bool Connection::open(const std::string& connectionText, const std::string&, const std::string&,
                      int) {
    close();
    const std::string path = connectionPath(connectionText);
    std::string bytes;
    if (path.empty() || !platform::files().readAll(path, bytes)) {
        status_ = OpenStatus::Unreadable;
        return false;
    }
    status_ = fromWorkbookStatus(parseWorkbook(bytes, book_));
    if (status_ != OpenStatus::Ok) {
        book_ = ParsedWorkbook{};
        return false;
    }
    open_ = true;
    return true;
}

void Connection::close() {
    open_ = false;
    status_ = OpenStatus::NotOpen;
    book_ = ParsedWorkbook{};
}

bool RecordSet::setActiveConnection(Connection* connection) {
    if (!connection) return false;
    connection_ = connection;
    return true;
}

bool RecordSet::open(const std::string& source, Connection* activeConnection, int, int,
                     int options) {
    close();
    if (activeConnection) connection_ = activeConnection;
    if (!connection_ || !connection_->isOpen()) {
        status_ = connection_ ? connection_->status() : OpenStatus::NotOpen;
        if (status_ == OpenStatus::Ok) status_ = OpenStatus::NotOpen;
        return false;
    }
    std::string sheet;
    if (options == kTableName) {
        sheet = sheetOfTable(source);
    } else if (options == kCommandText) {
        const std::string prefix = "SELECT * FROM ";
        if (upper(source.substr(0, prefix.size())) == prefix)
            sheet = sheetOfTable(source.substr(prefix.size()));
    }
    if (sheet.empty()) {
        status_ = OpenStatus::NotOpen;
        return false;
    }
    std::vector<SheetCell> cells;
    status_ = fromWorkbookStatus(readSheet(connection_->workbook(), sheet, cells));
    if (status_ != OpenStatus::Ok) return false;

    // The table is the used range of the sheet: its first row the field names, the rows
    // below it the records, blank rows inside it included.
    if (!cells.empty()) {
        std::uint16_t firstColumn = kSheetColumns - 1, lastColumn = 0;
        for (const SheetCell& c : cells) {
            firstColumn = std::min(firstColumn, c.column);
            lastColumn = std::max(lastColumn, c.column);
        }
        const std::uint32_t firstRow = cells.front().row;
        const std::uint32_t lastRow = cells.back().row;
        names_.assign(lastColumn - firstColumn + 1, std::string());
        rows_.resize(lastRow - firstRow);
        for (SheetCell& c : cells) {
            const int field = c.column - firstColumn;
            if (c.row == firstRow)
                names_[field] = std::move(c.text);
            else
                rows_[c.row - firstRow - 1].emplace_back(field, std::move(c.text));
        }
        for (std::size_t i = 0; i < names_.size(); ++i) {
            if (names_[i].empty()) {
                std::string name(1, 'F');
                name += std::to_string(i + 1);
                names_[i].swap(name);
            } else {
                std::replace(names_[i].begin(), names_[i].end(), '.', '#');
            }
        }
    }
    open_ = true;
    current_ = 0;
    return true;
}

void RecordSet::close() {
    open_ = false;
    status_ = OpenStatus::NotOpen;
    names_.clear();
    rows_.clear();
    current_ = 0;
}

std::string RecordSet::fieldName(int index) const {
    if (!open_ || index < 0 || index >= static_cast<int>(names_.size())) return {};
    return names_[index];
}

std::string RecordSet::value(int index) const {
    if (eof()) return {};
    for (const auto& [field, text] : rows_[current_])
        if (field == index) return text;
    return {};
}

void RecordSet::moveNext() {
    if (!eof()) ++current_;
}

}  // namespace xls
