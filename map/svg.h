// The map as an SVG document: the land as one path, a circle per place with a title naming
// it and its count, the legend of the groups, the addresses left without coordinates and
// the sources' credits. UTF-8, drawn by any browser.
#pragma once

#include <string>

#include "map/map.h"

namespace geo {

struct SvgOptions {
    Extent extent = Extent::World;
    Projection projection = Projection::NaturalEarth;
    double width = 1000;
};

std::string svgOf(const MapData& data, const Outline& land, const SvgOptions& options);

// "北京: 12 个地址 (3.4%)", what a dot's title and the window's hover say.
std::string hoverText(const Hover& hover);
// "5 个地址没有坐标"
std::string withoutCoordinatesText(std::uint64_t count);

}  // namespace geo
