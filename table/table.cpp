#include "table/table.h"

namespace {
const std::string kNoText;
}

QueryTable::QueryTable(std::array<std::string, kColumns> headers)
    : headers_(std::move(headers)), rows_(std::make_shared<std::vector<Row>>()) {}

std::vector<Row>& QueryTable::writable() {
    // Only the window thread takes snapshots, so a count of 1 seen here stays 1.
    if (rows_.use_count() > 1) rows_ = std::make_shared<std::vector<Row>>(*rows_);
    return *rows_;
}

const std::string& QueryTable::cell(std::size_t index, int column) const {
    if (index >= rows_->size()) return kNoText;
    if (column == 0) return (*rows_)[index].address;
    if (column == 1) return (*rows_)[index].location;
    return kNoText;
}

const std::string& QueryTable::header(int column) const {
    return column >= 0 && column < kColumns ? headers_[static_cast<std::size_t>(column)] : kNoText;
}

void QueryTable::replace(std::vector<RowCells> rows) {
    std::vector<Row> fresh;
    fresh.reserve(rows.size());
    for (RowCells& cells : rows) fresh.push_back(Row{0, std::move(cells[0]), std::move(cells[1])});
    replaceRows(std::move(fresh));
}

void QueryTable::replaceRows(std::vector<Row> rows) {
    firstId_ = nextId_;
    for (Row& row : rows) row.id = nextId_++;
    rows_ = std::make_shared<std::vector<Row>>(std::move(rows));
    changed({true, 0});
}

RowId QueryTable::append(RowCells cells) {
    std::vector<Row>& rows = writable();
    if (rows.empty()) firstId_ = nextId_;
    const RowId id = nextId_++;
    rows.push_back(Row{id, std::move(cells[0]), std::move(cells[1])});
    changed({true, rows.size() - 1, true});
    return id;
}

std::optional<std::size_t> QueryTable::indexOf(RowId id) const {
    if (id < firstId_ || id - firstId_ >= rows_->size()) return std::nullopt;
    return static_cast<std::size_t>(id - firstId_);
}

bool QueryTable::setLocation(RowId id, std::string location) {
    const std::optional<std::size_t> index = indexOf(id);
    if (!index) return false;
    writable()[*index].location = std::move(location);
    changed({false, *index});
    return true;
}

std::size_t QueryTable::setLocations(std::vector<RowAnswer> answers) {
    std::size_t written = 0;
    for (RowAnswer& answer : answers) {
        const std::optional<std::size_t> index = indexOf(answer.id);
        if (!index) continue;
        writable()[*index].location = std::move(answer.location);
        ++written;
    }
    if (written > 0) changed({true, 0});
    return written;
}

std::vector<PendingRow> QueryTable::pending(std::string_view alsoEndingIn) const {
    std::vector<PendingRow> out;
    for (const Row& r : *rows_) {
        const bool ends = !alsoEndingIn.empty() && r.location.size() >= alsoEndingIn.size() &&
                          r.location.compare(r.location.size() - alsoEndingIn.size(),
                                             alsoEndingIn.size(), alsoEndingIn) == 0;
        if (r.location.empty() || ends) out.push_back({r.id, r.address});
    }
    return out;
}

void QueryTable::changed(const Change& change) const {
    if (listener_) listener_(change);
}
