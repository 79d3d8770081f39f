#include "map/tally.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace geo {

void PlaceTally::add(const std::optional<Located>& place, std::string_view group,
                     std::uint64_t addresses) {
    addresses_ += addresses;
    if (!place) {
        without_ += addresses;
        return;
    }
    // A place is its name at its point (to a hundredth of a degree): addresses one file names
    // only by country may lie far apart in the file that gives their coordinates.
    std::string key = place->label;
    key += '\0';
    key += std::to_string(std::lround(place->at.lon * 100)) + ',' +
           std::to_string(std::lround(place->at.lat * 100));
    auto found = places_.find(key);
    if (found == places_.end())
        found = places_.emplace(std::move(key), Tally{place->at, 0, {}, place->label}).first;
    Tally& tally = found->second;
    tally.count += addresses;
    const std::string_view name = group.empty() ? std::string_view(kUnknownGroup) : group;
    auto g = tally.groups.find(name);
    if (g == tally.groups.end()) g = tally.groups.emplace(std::string(name), 0).first;
    g->second += addresses;
}

MapData PlaceTally::data() const {
    MapData out;
    out.addresses = addresses_;
    out.withoutCoordinates = without_;
    // Each place's leading group, and how many addresses the places each group leads hold.
    std::vector<std::string_view> leader;
    std::map<std::string_view, std::uint64_t> led;
    for (const auto& [key, tally] : places_) {
        auto best = tally.groups.begin();
        for (auto g = tally.groups.begin(); g != tally.groups.end(); ++g)
            if (g->second > best->second) best = g;
        leader.push_back(best->first);
        led[best->first] += tally.count;
    }
    std::vector<std::pair<std::string_view, std::uint64_t>> order(led.begin(), led.end());
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    const std::size_t colours = kPalette.size() - 1;
    const bool rest = order.size() > kPalette.size();
    const std::size_t named = rest ? colours : order.size();
    for (std::size_t i = 0; i < named; ++i) out.groups.emplace_back(order[i].first);
    if (rest) out.groups.emplace_back(kOtherGroup);
    std::size_t i = 0;
    for (const auto& [key, tally] : places_) {
        const auto at = std::find(out.groups.begin(), out.groups.begin() + named, leader[i++]);
        const auto group = static_cast<std::size_t>(at - out.groups.begin());
        out.places.push_back({tally.at, tally.label, tally.count, group});
    }
    return out;
}

}  // namespace geo
