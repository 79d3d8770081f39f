#include "table/summary.h"

#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "text/text.h"

namespace summary {

Network networkOf(const RowStore& rows, std::size_t index) {
    return {rows.asn(index), rows.organisation(index)};
}

std::uint64_t hitsOf(const RowStore& rows, std::size_t index) {
    return rows.hits(index);
}

namespace {

struct Tally {
    std::size_t addresses = 0;
    std::uint64_t hits = 0;
};

Field fieldOf(GroupBy by) {
    switch (by) {
        case GroupBy::Region:
            return Field::Region;
        case GroupBy::City:
            return Field::City;
        case GroupBy::Operator:
            return Field::Operator;
        default:
            return Field::Country;
    }
}

bool before(const Line& a, const Line& b) {
    if (a.addresses != b.addresses) return a.addresses > b.addresses;
    if (a.hits != b.hits) return a.hits > b.hits;
    return a.name < b.name;
}

std::string networkName(const Network& n) {
    if (n.number == 0) return kUnknownName;
    std::string name = "AS" + std::to_string(n.number);
    if (!n.name.empty()) name.append(" ").append(n.name);
    return name;
}

}  // namespace

const char* groupTitle(GroupBy by) {
    switch (by) {
        case GroupBy::Region:
            return "省份";
        case GroupBy::City:
            return "城市";
        case GroupBy::Operator:
            return "运营商";
        case GroupBy::Network:
            return "ASN";
        default:
            return "国家";
    }
}

Summary summarise(const RowStore& rows, GroupBy by, std::size_t shown) {
    Summary s;
    s.by = by;
    s.addresses = rows.size();
    std::vector<Line> all;
    if (by == GroupBy::Network) {
        std::unordered_map<std::uint32_t, std::pair<Tally, std::string>> groups;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Network n = networkOf(rows, i);
            auto [it, added] = groups.try_emplace(n.number);
            if (added) it->second.second = networkName(n);
            it->second.first.addresses += 1;
            it->second.first.hits += hitsOf(rows, i);
        }
        for (auto& [number, group] : groups)
            all.push_back({std::move(group.second), group.first.addresses, group.first.hits});
    } else {
        // The rows hold each text once, so equal values share their bytes: counted by the
        // place and length of those bytes first (the same place and length are the same
        // text, a cheap key), then joined by text, which keeps the result right however the
        // rows store their texts.
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
        std::unordered_map<std::string_view, Tally, PlaceHash, SamePlace> byPlace;
        const auto field = static_cast<std::size_t>(fieldOf(by));
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const RowView row = rows[i];
            if (!row.fields) ++s.unplaced;
            const std::string_view key = row.fields ? (*row.fields)[field] : std::string_view();
            Tally& t = byPlace[key.empty() ? std::string_view() : key];
            t.addresses += 1;
            t.hits += hitsOf(rows, i);
        }
        std::unordered_map<std::string_view, Tally> groups;
        for (const auto& [text, counted] : byPlace) {
            Tally& t = groups[text];
            t.addresses += counted.addresses;
            t.hits += counted.hits;
        }
        for (const auto& [key, t] : groups)
            all.push_back({key.empty() ? kUnknownName : std::string(key), t.addresses, t.hits});
    }
    if (by == GroupBy::Network) {
        for (std::size_t i = 0; i < rows.size(); ++i) s.unplaced += rows[i].fields ? 0 : 1;
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
