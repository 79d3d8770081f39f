// Places whose coordinates the program knows by name: the seats of China's provinces and
// the capitals of countries often seen, so that a map can be drawn from the location fields
// alone. A data file that gives an address's coordinates places it better; this is the
// fallback for the rest.
#pragma once

#include <optional>
#include <string_view>

#include "map/map.h"
#include "map/tally.h"

namespace geo {

struct KnownPlace {
    std::string_view label;  // the province or country, without its suffix
    LonLat at;
};

// A province of China by its region field (with or without 省, 市, 自治区 and the like),
// else a country by its name; nullopt when neither is known.
std::optional<KnownPlace> knownPlace(std::string_view country, std::string_view region);

// The fields of an answer a place is made of (UTF-8, as the row or the record holds them).
struct PlaceFields {
    std::string_view country, region, city;
    std::string_view latitude, longitude;  // decimal degrees as text; empty: none given
    std::string_view text;                 // the answer as shown, the label of last resort
};

// The place by the coordinates the fields carry (DB-IP's, a GeoLite2 City file), labelled by
// its country, region and city, each once; nullopt when a coordinate is missing, not a
// number or out of range.
std::optional<Located> placeByCoordinates(const PlaceFields& fields);
// The place by name: a province of China or a country whose seat the program knows.
std::optional<Located> placeByName(const PlaceFields& fields);
// The coordinates when the fields carry any, else the name: a list answered partly by a
// file with coordinates and partly by one without still shows all it can. Coordinates that
// are given but bad place nothing, rather than somewhere the name guesses.
std::optional<Located> placeOf(const PlaceFields& fields);

}  // namespace geo
