// Places whose coordinates the program knows by name: the seats of China's provinces and
// the capitals of countries often seen, so that a map can be drawn from the location fields
// alone. A data file that gives an address's coordinates places it better; this is the
// fallback for the rest.
#pragma once

#include <optional>
#include <string_view>

#include "map/map.h"

namespace geo {

struct KnownPlace {
    std::string_view label;  // the province or country, without its suffix
    LonLat at;
};

// A province of China by its region field (with or without 省, 市, 自治区 and the like),
// else a country by its name; nullopt when neither is known.
std::optional<KnownPlace> knownPlace(std::string_view country, std::string_view region);

}  // namespace geo
