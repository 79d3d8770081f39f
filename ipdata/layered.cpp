#include "ipdata/layered.h"

#include <algorithm>

namespace ipdata {

Layered::Layered(std::vector<std::shared_ptr<const Database>> files) : files_(std::move(files)) {
    if (files_.size() > 255) files_.resize(255);
    anyExtras_ = std::any_of(files_.begin(), files_.end(),
                             [](const auto& file) { return file->hasExtras(); });
}

bool placesSomething(const Place& place) {
    if (!place.shown.empty()) return true;
    // The country code alone (a registry's allocation) is no place a user can read.
    for (std::size_t i = 0; i + 1 < kRecordFields; ++i)
        if (!place.fields[i].empty()) return true;
    return false;
}

std::optional<Place> Layered::locate(const ip::Address& address) const {
    std::optional<Place> first;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        std::optional<Place> place = files_[i]->locate(address);
        if (!place) continue;
        place->layer = static_cast<std::uint8_t>(i);
        if (placesSomething(*place)) return place;
        // A record that says nothing still bounds the range, should nothing else place it.
        if (!first) first = place;
    }
    return first;
}

Extras Layered::extras(const ip::Address& address, const Place& place) const {
    Extras found;
    if (place.layer < files_.size()) found = files_[place.layer]->extras(address, place);
    if (found.hasCoordinates() || !anyExtras_) return found;
    for (std::size_t i = 0; i < files_.size(); ++i) {
        if (i == place.layer || !files_[i]->hasExtras()) continue;
        const Extras more = files_[i]->extrasAt(address);
        if (!more.hasCoordinates()) continue;
        // Coordinates and what goes with them come from one record, not mixed.
        found.latitude = more.latitude;
        found.longitude = more.longitude;
        if (found.timeZone.empty()) found.timeZone = more.timeZone;
        if (found.postalCode.empty()) found.postalCode = more.postalCode;
        if (found.continent.empty()) found.continent = more.continent;
        break;
    }
    return found;
}

}  // namespace ipdata
