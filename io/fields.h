// The columns our own formats (.xlsx, .csv, .jsonl) write for every row: the table of
// fields' export columns, that is the list's two, then the data file's fields, the
// network, the hits and where the answer came from, and for the reverse search's rows
// their range as CIDR blocks. Shared by the writers, and by the readers that bring our
// own export back.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "table/table.h"
#include "text/address.h"

namespace io {

// The columns after the list's address and location.
inline constexpr std::size_t kExtraColumns = kExportColumns - QueryTable::kColumns;
// Every column but the CIDR blocks, which only the reverse search's export has.
inline constexpr std::size_t kRowColumns = kExportColumns - 1;
// The field of extra column `column`, and the extra column of a field that has one.
inline FieldId extraField(std::size_t column) {
    return exportFields()[QueryTable::kColumns + column];
}
std::size_t extraColumn(FieldId id);

// The source column's words in the window's exports, for an answer of the service and one
// of the data file: our own export read back takes its rows' sources from them.
inline constexpr std::array<const char*, 2> kSourceWords = {"网络", "离线库"};

// The words of an export, given by whoever shows the program's texts: the list's two
// headers, the other columns' titles, and the source column's words for an answer of the
// service and one of the data file (any other source leaves it empty).
struct Titles {
    std::array<std::string, QueryTable::kColumns> list;
    std::array<std::string, kExtraColumns> extra;
    std::array<std::string, 2> sources;
    const std::string& operator[](std::size_t column) const { return list[column]; }
};

// True when a reverse search made some row: the export then has the CIDR column.
bool hasRanges(const RowStore& rows);

// A range as the reverse search shows it ("1.0.0.0-1.0.0.255", "2001:db8::/32",
// "first-last") as the fewest CIDR blocks that cover it exactly, space-separated; empty for
// a text that is no range or address.
std::string cidrBlocks(std::string_view range);

// The extra cells of row `index`, in column order; the views live in
// `made` or the rows. Without `ranges` the CIDR cell is left empty.
class ExtraCells {
  public:
    ExtraCells(const RowStore& rows, const Titles& titles, bool ranges)
        : rows_(rows), titles_(titles), ranges_(ranges) {}
    std::array<std::string_view, kExtraColumns> of(std::size_t index);
    // "AS4134"; empty for 0.
    static std::string asnText(std::uint32_t asn);

  private:
    std::string_view kept(std::string text);
    const RowStore& rows_;
    const Titles& titles_;
    bool ranges_;
    std::map<std::uint32_t, std::string> asns_, hits_;
    std::deque<std::string> made_;  // CIDR texts
};

// Our own export read back: whether `cells` (a record's cells, from the first column) are
// our header. Told by the titles that are the same in every language: "IP" first, "ASN"
// in its place, and as many columns as we write.
bool isOwnHeader(const std::vector<std::string>& cells);
// One record of our own export as the row it was; `cells` in column order.
// A "'" our writer put before a formula-looking field is taken off. The source is the
// source column's (kSourceWords; none for any other word), and the " (离线库)" the location
// shows for the data file's answers comes off only for them.
void pushOwnRow(RowStore& rows, std::vector<std::string>& cells);

}  // namespace io
