#include "map/list_map.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "map/places.h"
#include "map/tally.h"
#include "table/operators.h"

namespace geo {

MapData listMap(const RowStore& rows, summary::GroupBy by) {
    const FieldInfo& field = fieldInfo(by);
    const bool network = field.from == FieldFrom::Network;
    const bool operators = field.record == static_cast<int>(Field::Operator);
    // Rows that share their fields share their place and group: counted by their set of
    // fields, each set read once however many of a million rows hold it. (A place with
    // coordinates but no name is labelled by the first row's answer.)
    std::vector<std::uint32_t> counts(rows.fieldSets() + 1), first(rows.fieldSets() + 1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::uint32_t set = rows.fieldSet(i);
        if (counts[set]++ == 0) first[set] = static_cast<std::uint32_t>(i);
    }
    PlaceTally tally;
    for (std::size_t set = 0; set < counts.size(); ++set) {
        if (counts[set] == 0) continue;
        const RowView row = rows[first[set]];
        std::optional<Located> place;
        std::string group;
        if (row.fields) {
            const auto f = [&row](Field which) {
                return (*row.fields)[static_cast<std::size_t>(which)];
            };
            place = placeOf({f(Field::Country), f(Field::Region), f(Field::City),
                             f(Field::Latitude), f(Field::Longitude), row.text});
            if (!network) {
                const std::string_view name = (*row.fields)[static_cast<std::size_t>(field.record)];
                group = operators ? table::operatorGroup(name) : name;
            }
        }
        if (network && row.asn != 0) group = summary::networkName(row.asn, row.organisation);
        tally.add(place, group, counts[set]);
    }
    return tally.data();
}

}  // namespace geo
