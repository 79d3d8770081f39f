// The land the map draws: Natural Earth's 1:110m land, decoded at build time by
// tools/land_outline.py into rings carried by the program (empty when the build had no
// data/world-atlas/land-110m.json).
#pragma once

#include <cstdint>
#include <span>

namespace geo {

struct Outline {
    std::span<const std::int16_t> points;  // longitude, latitude pairs in 1/100 degree
    std::span<const std::uint16_t> rings;  // each ring's number of points, in order; closed
};

Outline landOutline();

}  // namespace geo
