// The list summarised for the 统计 window: the rows grouped by one field, each group with
// its number of addresses, its share of the list and its hits, largest first; the first
// groups shown one by one and the rest as one line. Plain code over the rows, run on the
// window thread on a timer while the window is open, never on the per-row path; and the
// same counting, sorting and rest for `verdalo-cli summary` over its distinct addresses.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "table/table.h"

namespace summary {

// What the rows are grouped by: a field the table of fields marks as a grouping.
using GroupBy = FieldId;

// The network a row's address lies in; number 0 when nobody placed it.
struct Network {
    std::uint32_t number = 0;
    std::string_view name;
};

// The network a row is in (number 0: unknown; the name UTF-8, as the ASN file has it) and
// how many times its address appeared in the text it came from.
Network networkOf(const RowStore& rows, std::size_t index);
std::uint64_t hitsOf(const RowStore& rows, std::size_t index);

struct Line {
    std::string name;
    std::size_t addresses = 0;
    std::uint64_t hits = 0;
    double share = 0;  // of the list's addresses, 0 to 1
};

struct Summary {
    GroupBy by = GroupBy::Country;
    std::vector<Line> lines;  // the largest groups, at most `shown`
    bool hasRest = false;
    Line rest;                  // every other group, when there are any
    std::size_t groups = 0;     // how many groups there are in all
    std::size_t addresses = 0;  // rows of the list
    std::size_t unplaced = 0;   // rows the address data gave no fields
    std::uint64_t hits = 0;
};

// The name of a group with no value: an address nobody placed, or a field left empty.
inline constexpr const char* kUnknownName = "未知";
inline constexpr const char* kRestName = "其他";
inline constexpr const char* kTotalName = "合计";
inline constexpr std::size_t kShownLines = 15;

// Groups counted from any source of addresses (the window's rows, the command line's
// distinct addresses): each address once, with its group's name and its hits.
class Counter {
  public:
    // `addresses` addresses of the group `name` (empty: no value), seen `hits` times in
    // all. The name's bytes must outlive the counter: a source that holds each name once
    // is counted by the place of its bytes, cheaply, and joined by text at the end.
    void add(std::string_view name, std::uint64_t hits, std::size_t addresses = 1);
    // Addresses the address data gave no record (counted in a group as well).
    void unplaced(std::size_t addresses = 1) { unplaced_ += addresses; }
    // Largest by addresses first, then by hits, then by name (byte order), so that equal
    // groups always come in the same order; the first `shown` groups, the others summed
    // as the rest. A group without a name is kUnknownName's.
    Summary summary(GroupBy by, std::size_t shown = kShownLines) const;

  private:
    struct Tally {
        std::size_t addresses = 0;
        std::uint64_t hits = 0;
    };
    struct PlaceHash {
        std::size_t operator()(std::string_view v) const {
            return std::hash<const void*>()(v.data()) ^ v.size();
        }
    };
    struct SamePlace {
        bool operator()(std::string_view a, std::string_view b) const {
            return a.data() == b.data() && a.size() == b.size();
        }
    };
    std::unordered_map<std::string_view, Tally, PlaceHash, SamePlace> byPlace_;
    std::size_t unplaced_ = 0;
};

// The rows grouped by `by`: a Counter over them.
Summary summarise(const RowStore& rows, GroupBy by, std::size_t shown = kShownLines);

// The summary as a table of texts: the column titles, a line for each shown group,
// the rest when there is one, and the whole list's 合计; the share as a percentage with
// one decimal. What the copy and the exports hold.
using TableLine = std::array<std::string, 4>;
std::vector<TableLine> tableOf(const Summary& s);
// The same table as tab-separated text, CR LF.
std::string tabText(const Summary& s);
// "12.3%"
std::string shareText(double share);
// The column titles, in the order of tabText and the exports.
inline constexpr const char* kColumnTitles[] = {"名称", "地址数", "占比", "次数"};
const char* groupTitle(GroupBy by);
// The name of a network's group: "AS4134 CHINANET" with its organisation as given.
std::string networkName(std::uint32_t number, std::string_view organisation);

}  // namespace summary
