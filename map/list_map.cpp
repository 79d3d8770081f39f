#include "map/list_map.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>

#include "map/places.h"
#include "map/tally.h"
#include "table/operators.h"

namespace geo {
namespace {

// The texts a row is placed and grouped by. The table holds each text once, so rows alike
// hold the same bytes: a row is known by where its texts lie, and the place rule and the
// tally run once for each kind of row, not once for each of a million rows.
struct Kind {
    std::array<std::string_view, 7> texts{};  // country, region, city, lat, lon, answer, group
    std::uint32_t asn = 0;
    bool placed = false;  // the row has fields

    bool operator==(const Kind& o) const {
        for (std::size_t i = 0; i < texts.size(); ++i)
            if (texts[i].data() != o.texts[i].data() || texts[i].size() != o.texts[i].size())
                return false;
        return asn == o.asn && placed == o.placed;
    }
};

struct KindHash {
    std::size_t operator()(const Kind& k) const {
        std::size_t h = k.asn * 0x9e3779b9u + static_cast<std::size_t>(k.placed);
        for (const std::string_view t : k.texts)
            h = (h ^ std::hash<const void*>()(t.data()) ^ t.size()) * 0x100000001b3ull;
        return h;
    }
};

}  // namespace

MapData listMap(const RowStore& rows, summary::GroupBy by) {
    const FieldInfo& field = fieldInfo(by);
    const bool network = field.from == FieldFrom::Network;
    const bool operators = field.record == static_cast<int>(Field::Operator);
    std::unordered_map<Kind, std::uint64_t, KindHash> kinds;
    Kind last;
    std::uint64_t* lastCount = nullptr;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const RowView row = rows[i];
        Kind k;
        if (row.fields) {
            const FieldViews& f = *row.fields;
            k.placed = true;
            k.texts = {f[static_cast<std::size_t>(Field::Country)],
                       f[static_cast<std::size_t>(Field::Region)],
                       f[static_cast<std::size_t>(Field::City)],
                       f[static_cast<std::size_t>(Field::Latitude)],
                       f[static_cast<std::size_t>(Field::Longitude)],
                       row.text,
                       {}};
            if (!network) k.texts[6] = f[static_cast<std::size_t>(field.record)];
        }
        if (network) {
            k.asn = row.asn;
            k.texts[6] = row.organisation;
        }
        // Lists come in runs of alike rows (a log, a range): the last kind is checked first.
        if (lastCount && k == last) {
            ++*lastCount;
            continue;
        }
        lastCount = &kinds[k];
        ++*lastCount;
        last = k;
    }
    PlaceTally tally;
    for (const auto& [k, count] : kinds) {
        std::optional<Located> place;
        if (k.placed)
            place =
                placeOf({k.texts[0], k.texts[1], k.texts[2], k.texts[3], k.texts[4], k.texts[5]});
        std::string group;
        if (network) {
            if (k.asn != 0) group = summary::networkName(k.asn, k.texts[6]);
        } else {
            group = operators ? table::operatorGroup(k.texts[6]) : k.texts[6];
        }
        tally.add(place, group, count);
    }
    return tally.data();
}

}  // namespace geo
