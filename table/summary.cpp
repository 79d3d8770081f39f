#include "table/summary.h"

#include <algorithm>
#include <cstdio>

#include "table/operators.h"
#include "text/text.h"

namespace summary {

Network networkOf(const RowStore& rows, std::size_t index) {
    return {rows.asn(index), rows.organisation(index)};
}

std::uint64_t hitsOf(const RowStore& rows, std::size_t index) {
    return rows.hits(index);
}

namespace {

bool before(const Line& a, const Line& b) {
    if (a.addresses != b.addresses) return a.addresses > b.addresses;
    if (a.hits != b.hits) return a.hits > b.hits;
    return a.name < b.name;
}

}  // namespace

std::string networkName(std::uint32_t number, std::string_view organisation) {
    std::string name = "AS" + std::to_string(number);
    if (!organisation.empty()) name.append(" ").append(organisation);
    return name;
}

const char* groupTitle(GroupBy by) {
    return fieldInfo(by).title;
}

void Counter::add(std::string_view name, std::uint64_t hits, std::size_t addresses) {
    Tally& t = byPlace_[name.empty() ? std::string_view() : name];
    t.addresses += addresses;
    t.hits += hits;
}

Summary Counter::summary(GroupBy by, std::size_t shown) const {
    Summary s;
    s.by = by;
    s.unplaced = unplaced_;
    // Equal names at different places are one group.
    std::unordered_map<std::string_view, Tally> groups;
    for (const auto& [name, counted] : byPlace_) {
        Tally& t = groups[name];
        t.addresses += counted.addresses;
        t.hits += counted.hits;
    }
    std::vector<Line> all;
    all.reserve(groups.size());
    for (const auto& [name, t] : groups) {
        all.push_back({std::string(name.empty() ? std::string_view(kUnknownName) : name),
                       t.addresses, t.hits});
        s.addresses += t.addresses;
    }
    s.groups = all.size();
    const std::size_t keep = std::min(shown, all.size());
    std::partial_sort(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(keep), all.end(),
                      before);
    for (std::size_t i = 0; i < all.size(); ++i) {
        s.hits += all[i].hits;
        if (i < keep) continue;
        s.hasRest = true;
        s.rest.addresses += all[i].addresses;
        s.rest.hits += all[i].hits;
    }
    all.resize(keep);
    s.lines = std::move(all);
    if (s.hasRest) s.rest.name = kRestName;
    const double total = static_cast<double>(s.addresses);
    for (Line& l : s.lines) l.share = total > 0 ? static_cast<double>(l.addresses) / total : 0;
    s.rest.share = total > 0 ? static_cast<double>(s.rest.addresses) / total : 0;
    return s;
}

Summary summarise(const RowStore& rows, GroupBy by, std::size_t shown) {
    Counter counter;
    const FieldInfo& field = fieldInfo(by);
    if (field.from == FieldFrom::Network) {
        // By number first: a name is made once for each network, not for each row.
        struct Group {
            std::size_t addresses = 0;
            std::uint64_t hits = 0;
            std::string name;
        };
        std::unordered_map<std::uint32_t, Group> groups;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Network n = networkOf(rows, i);
            auto [it, added] = groups.try_emplace(n.number);
            if (added && n.number != 0) it->second.name = networkName(n.number, n.name);
            it->second.addresses += 1;
            it->second.hits += hitsOf(rows, i);
            if (!rows[i].fields) counter.unplaced();
        }
        for (const auto& [number, g] : groups) counter.add(g.name, g.hits, g.addresses);
        return counter.summary(by, shown);
    }
    // The rows hold each text once, so equal values share their bytes: the counter's cheap
    // case.
    const auto place = static_cast<std::size_t>(field.record);
    // One operator under its one name, however the data spells it (a name of the table's,
    // or the row's own bytes: either way the counter's cheap case).
    const bool operators = field.record == static_cast<int>(Field::Operator);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowView row = rows[i];
        if (!row.fields) counter.unplaced();
        std::string_view name = row.fields ? (*row.fields)[place] : std::string_view();
        if (operators) name = table::operatorGroup(name);
        counter.add(name, hitsOf(rows, i));
    }
    return counter.summary(by, shown);
}

std::string shareText(double share) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", share * 100);
    return text;
}

std::vector<TableLine> tableOf(const Summary& s) {
    std::vector<TableLine> table;
    table.push_back({groupTitle(s.by), kColumnTitles[1], kColumnTitles[2], kColumnTitles[3]});
    auto add = [&table](const Line& l) {
        table.push_back(
            {l.name, std::to_string(l.addresses), shareText(l.share), std::to_string(l.hits)});
    };
    for (const Line& l : s.lines) add(l);
    if (s.hasRest) add(s.rest);
    add({kTotalName, s.addresses, s.hits, s.addresses > 0 ? 1.0 : 0.0});
    return table;
}

std::string tabText(const Summary& s) {
    std::string out;
    for (const TableLine& line : tableOf(s)) {
        for (std::size_t c = 0; c < line.size(); ++c) {
            if (c > 0) out += '\t';
            // A tab or line end inside a name would break the columns.
            for (const char ch : line[c])
                out += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
        }
        out += "\r\n";
    }
    return out;
}

}  // namespace summary
