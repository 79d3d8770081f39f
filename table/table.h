// The query rows: what the query list shows, owned by the window thread. Workers never
// touch it; they take a snapshot of (id, address) pairs and post answers back by row id,
// so an answer for a row an import has replaced finds no row and is dropped.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using RowId = std::uint64_t;

struct Row {
    RowId id = 0;
    std::string address;   // column 0
    std::string location;  // column 1
};

// One row's cells as an import or a search produces them, column by column.
using RowCells = std::array<std::string, 2>;

struct PendingRow {
    RowId id;
    std::string address;
};

struct RowAnswer {
    RowId id;
    std::string location;
};

class QueryTable {
  public:
    static constexpr int kColumns = 2;

    // What changed, for the view that draws the table: every row (or their count), or the
    // one row at `index`; `appended` when the only change is a row added at `index`.
    struct Change {
        bool allRows;
        std::size_t index;
        bool appended = false;
    };

    explicit QueryTable(std::array<std::string, kColumns> headers);

    std::size_t size() const { return rows_->size(); }
    bool empty() const { return rows_->empty(); }
    const Row& row(std::size_t index) const { return (*rows_)[index]; }
    const std::vector<Row>& rows() const { return *rows_; }
    // The rows as they are now, for a worker to read (an export): shared, not copied; the
    // table makes its own copy at its next change while a snapshot is still held.
    std::shared_ptr<const std::vector<Row>> snapshot() const { return rows_; }
    // The text of a cell; a row or column that does not exist gives the empty text.
    const std::string& cell(std::size_t index, int column) const;
    const std::string& header(int column) const;

    // Every row replaced in one step; each new row gets a fresh id.
    void replace(std::vector<RowCells> rows);
    // The same with rows made as the table holds them (their ids are given here): no
    // second list of every row while they move in.
    void replaceRows(std::vector<Row> rows);
    void clear() { replace({}); }
    RowId append(RowCells cells);

    // The row that holds `id`, while it still exists.
    std::optional<std::size_t> indexOf(RowId id) const;
    // Sets the location of the row with `id`; false (and nothing changed) when it is gone.
    bool setLocation(RowId id, std::string location);
    // Many answers in one step, reported to the view as one change of every row: a list
    // control redraws a range row by row, which for 10^5 rows costs seconds under Wine.
    // Returns how many rows were still there.
    std::size_t setLocations(std::vector<RowAnswer> answers);

    // The rows still without a location, and those whose location ends in `alsoEndingIn`
    // when it is not empty, in list order: what a batch run asks about.
    std::vector<PendingRow> pending(std::string_view alsoEndingIn = {}) const;

    // Called after every change, on the thread that made it.
    void setListener(std::function<void(const Change&)> listener) {
        listener_ = std::move(listener);
    }

  private:
    void changed(const Change& change) const;
    // The rows to change, copied first when a snapshot shares them.
    std::vector<Row>& writable();

    std::array<std::string, kColumns> headers_;
    std::shared_ptr<std::vector<Row>> rows_;
    // Ids are handed out in order and never reused: (*rows_)[i].id == firstId_ + i.
    RowId firstId_ = 1;
    RowId nextId_ = 1;
    std::function<void(const Change&)> listener_;
};
