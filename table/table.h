// The query rows: what the query list shows, owned by the window thread. Workers never
// touch it; they take a snapshot of (id, address) pairs and post answers back by row id,
// so an answer for a row an import has replaced finds no row and is dropped.
//
// A row is its address and its answer: the answer's text, where it came from and, when the
// address data placed the address, the record's fields. Rows are held compactly (a list of
// a million is common): addresses end to end in pages, answer texts and field values
// interned, each row a few fixed-size numbers.
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

#include "table/fields.h"
#include "table/paged.h"

using RowId = std::uint64_t;

// Where an answer came from. None: nothing answered the row (an empty cell, or a text that
// came in with an imported list). DataFile: the address data placed the address where
// the service did not (shown marked, and asked of the service again). RangeSearch: the
// place a reverse search found the range under, from the service or the data.
enum class Source : std::uint8_t { None, Web, DataFile, RangeSearch };

// The autonomous system that announces an address: its number and organisation (UTF-8,
// as the registries publish it).
struct Network {
    std::uint32_t number = 0;
    std::string organisation;
};

struct Answer {
    Answer() = default;
    Answer(std::string t, Source s = Source::None, std::optional<Fields> f = std::nullopt)
        : text(std::move(t)), source(s), fields(std::move(f)) {}
    std::string text;
    Source source = Source::None;
    // The data file's fields for the address, whichever source gave the text.
    std::optional<Fields> fields;
    std::optional<Network> network;  // from the network numbers file
};

// One row as read from the table; the views live as long as the rows they were read from
// (until the next change of the table, or for as long as a snapshot is held).
struct RowView {
    RowId id = 0;
    std::string_view address;
    std::string_view text;  // the answer's text, without any mark
    Source source = Source::None;
    std::optional<FieldViews> fields;
    std::uint32_t asn = 0;          // 0: none known
    std::string_view organisation;  // UTF-8
    std::uint32_t hits = 1;         // times the address appeared in the text it came from
};

// What follows an answer from the address data wherever a row is shown, exported or copied.
inline constexpr const char* kDataFileMark = " (离线库)";
// The location as a user reads it: the answer's text, marked when the data file gave it.
std::string shownLocation(const RowView& row);

// One row's cells as an import or a search produces them, column by column.
using RowCells = std::array<std::string, 2>;

struct PendingRow {
    RowId id;
    std::string address;
};

// Answers many rows share, each given once, and the rows by the place of theirs: what an
// offline batch hands over (rows of a list share records, and the table stores an answer
// once however many rows hold it).
struct SharedAnswers {
    std::vector<Answer> answers;
    std::vector<std::pair<RowId, std::uint32_t>> rows;  // a row and its answer's place
};

// Texts stored once each, named by a number; 0 is the empty text.
class TextPool {
  public:
    TextPool();
    std::uint32_t intern(std::string_view text);
    std::string_view operator[](std::uint32_t id) const {
        const Slot& s = slots_[id];
        if (s.length == 0) return {};  // the empty text lies in no page
        return {bytes_.at(s.at), s.length};
    }

  private:
    struct Slot {
        std::uint32_t at;
        std::uint32_t length;
    };
    void grow();
    PagedText bytes_;
    Paged<Slot> slots_;
    std::vector<std::uint32_t> index_;  // open addressing: id + 1, 0 free
};

// The rows of a table, each a row id (the first id plus its place), its address and its
// answer. Rows are added at the end and their answers replaced; nothing else changes.
class RowStore {
  public:
    std::size_t size() const { return rows_.size(); }
    bool empty() const { return rows_.empty(); }
    RowView operator[](std::size_t index) const;
    RowId firstId() const { return firstId_; }

    void reserve(std::size_t rows, std::size_t addressBytes = 0);
    void push(std::string_view address, const Answer& answer = {});
    void setAnswer(std::size_t index, const Answer& answer);
    // An answer as this store keeps it, to be given to many rows at once.
    struct Stored {
        std::uint32_t text;
        std::uint32_t answer;
    };
    Stored store(const Answer& answer);
    void setStored(std::size_t index, Stored stored) {
        rows_[index].text = stored.text;
        rows_[index].answer = stored.answer;
    }
    // How many times the row's address appeared in the text it was taken from (1 for a row
    // of a list); kept across answers.
    void setHits(std::size_t index, std::uint32_t hits);
    std::uint32_t hits(std::size_t index) const;
    // The row's AS number (0: none) and organisation (UTF-8, empty: none).
    std::uint32_t asn(std::size_t index) const;
    std::string_view organisation(std::size_t index) const;
    std::string_view address(std::size_t index) const {
        // Addresses lie in row order, each up to the next one's start or its page's end.
        const std::uint32_t at = rows_[index].addressAt;
        std::size_t end = addresses_.pageLength(at);
        if (index + 1 < rows_.size() && PagedText::samePage(at, rows_[index + 1].addressAt))
            end = PagedText::offset(rows_[index + 1].addressAt);
        return {addresses_.at(at), end - PagedText::offset(at)};
    }
    std::string_view text(std::size_t index) const { return texts_[rows_[index].text]; }
    Source source(std::size_t index) const {
        return static_cast<Source>(rows_[index].answer >> kFieldsBits);
    }
    // The row's set of fields and network as a number from 1 to fieldSets() (0: none): rows
    // with the same number hold the same fields and network, so a pass over many rows can
    // count them by number and read each set once.
    std::uint32_t fieldSet(std::size_t index) const { return rows_[index].answer & kFieldsMask; }
    std::size_t fieldSets() const { return fields_.size(); }

  private:
    friend class QueryTable;
    // The source in the top bits of `answer`, below them the place of the fields in fields_
    // plus 1 (0: none).
    static constexpr int kFieldsBits = 30;
    static constexpr std::uint32_t kFieldsMask = (1u << kFieldsBits) - 1;
    struct Slot {
        std::uint32_t addressAt;
        std::uint32_t text;  // into texts_
        std::uint32_t answer;
    };

    RowId firstId_ = 1;
    PagedText addresses_;
    TextPool texts_;
    // Each set of fields as the ids of its values in texts_, then the AS number and the id
    // of its organisation in texts_, interned in turn.
    static constexpr std::size_t kAsnAt = kFieldCount, kOrganisationAt = kFieldCount + 1;
    using FieldIds = std::array<std::uint32_t, kFieldCount + 2>;
    std::uint32_t fieldsOf(const Answer& answer);
    const FieldIds* idsOf(std::size_t index) const;
    Paged<FieldIds, 14> fields_;
    std::vector<std::uint32_t> fieldsIndex_;  // open addressing over fields_: place + 1
    Paged<Slot> rows_;
    // Hits above 1 only, by row: most rows have one.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> hits_;  // sorted by row
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
    RowView row(std::size_t index) const { return (*rows_)[index]; }
    const RowStore& rows() const { return *rows_; }
    // The rows as they are now, for a worker to read (an export): shared, not copied; the
    // table makes its own copy at its next change while a snapshot is still held.
    std::shared_ptr<const RowStore> snapshot() const { return rows_; }
    // The stored text of a cell (the address, or the answer's text without a mark); a row
    // or column that does not exist gives the empty text.
    std::string_view cell(std::size_t index, int column) const;
    const std::string& header(int column) const;

    // Every row replaced in one step; each new row gets a fresh id. An imported location
    // is a text without a source.
    void replace(const std::vector<RowCells>& rows);
    // The same with rows made as the table holds them (their ids are given here).
    void replaceRows(RowStore rows);
    void clear() { replace({}); }
    RowId append(const RowCells& cells) { return append(cells[0], {cells[1]}); }
    RowId append(std::string_view address, const Answer& answer);
    // A row of an address taken from text, seen `hits` times there.
    RowId append(std::string_view address, const Answer& answer, std::uint32_t hits);

    // The row that holds `id`, while it still exists.
    std::optional<std::size_t> indexOf(RowId id) const;
    // Sets the answer of the row with `id`; false (and nothing changed) when it is gone.
    bool setAnswer(RowId id, const Answer& answer);
    bool setLocation(RowId id, std::string text) { return setAnswer(id, {std::move(text)}); }
    // Many answers in one step, reported to the view as one change of every row: a list
    // control redraws a range row by row, which for 10^5 rows costs seconds under Wine.
    // Returns how many rows were still there.
    std::size_t setAnswers(const SharedAnswers& shared);

    // The rows without an answer's text, and with `alsoFromData` those the data file
    // answered, in list order: what a batch run asks about.
    std::vector<PendingRow> pending(bool alsoFromData = false) const;

    // Called after every change, on the thread that made it.
    void setListener(std::function<void(const Change&)> listener) {
        listener_ = std::move(listener);
    }

  private:
    void changed(const Change& change) const;
    // The rows to change, copied first when a snapshot shares them.
    RowStore& writable();

    std::array<std::string, kColumns> headers_;
    std::shared_ptr<RowStore> rows_;
    // Ids are handed out in order and never reused: row i has id firstId + i.
    RowId nextId_ = 1;
    std::function<void(const Change&)> listener_;
};
