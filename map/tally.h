// The list's addresses counted by place for the map, each place coloured by the group
// (operator, country, ...) most of its addresses belong to. The same for the window and
// `verdalo-cli map`.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "map/map.h"

namespace geo {

struct Located {
    std::string label;
    LonLat at;
};

inline constexpr const char* kOtherGroup = "其他";
inline constexpr const char* kUnknownGroup = "未知";

class PlaceTally {
  public:
    // `addresses` addresses of group `group` (empty: unknown) at `place`; nullopt: an
    // address with no coordinates.
    void add(const std::optional<Located>& place, std::string_view group,
             std::uint64_t addresses = 1);
    // The places, each with its largest group (ties: the name first in byte order); the
    // groups in the legend largest first, as many as the palette has colours but one, the
    // others as one grey kOtherGroup.
    MapData data() const;

  private:
    struct Tally {
        LonLat at;
        std::uint64_t count = 0;
        std::map<std::string, std::uint64_t, std::less<>> groups;
        std::string label;
    };
    std::map<std::string, Tally, std::less<>> places_;
    std::uint64_t addresses_ = 0, without_ = 0;
};

}  // namespace geo
