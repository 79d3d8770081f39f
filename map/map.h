// The map of a list: the land and one dot per place, its area by the place's count of
// addresses. Pure geometry over values; the SVG writer, the raster and the window draw what
// this lays out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "map/land.h"

namespace geo {

struct LonLat {
    double lon = 0;  // degrees east, -180 to 180
    double lat = 0;  // degrees north, -90 to 90
};

struct Point {
    double x = 0;
    double y = 0;
};

// Equirectangular: longitude and latitude as they are. Natural Earth (Šavrič, Patterson and
// Jenny's polynomial): a pseudocylindrical world whose poles are lines, with little of the
// stretching of high latitudes.
enum class Projection { Equirectangular, NaturalEarth };

// The point on the unit sphere's projection, radians, y growing northwards.
Point project(Projection projection, LonLat at);

// What the picture covers: the world, or China and its neighbours.
enum class Extent { World, China };

struct Box {
    double west, east, south, north;  // degrees
};
Box boxOf(Extent extent);
std::optional<Extent> extentNamed(std::string_view name);  // "world", "china"
std::optional<Projection> projectionNamed(std::string_view name);

// Degrees to pixels: the extent's box projected and fitted into a picture `width` pixels
// wide and as high as the box needs, with a margin of kFrameMargin; y grows downwards.
inline constexpr double kFrameMargin = 8;
class Frame {
  public:
    Frame(Extent extent, Projection projection, double width);
    Point toPixel(LonLat at) const;
    bool contains(Point p) const { return p.x >= 0 && p.y >= 0 && p.x <= width_ && p.y <= height_; }
    double width() const { return width_; }
    double height() const { return height_; }
    Extent extent() const { return extent_; }
    Projection projection() const { return projection_; }

  private:
    Extent extent_;
    Projection projection_;
    double width_, height_;
    double scale_ = 1, left_ = 0, top_ = 0;
};

// The land's rings in pixels, each ring closed implicitly.
std::vector<std::vector<Point>> landRings(const Frame& frame, const Outline& outline);
// The edge of the projected world (the sphere's outline), closed.
std::vector<Point> worldEdge(const Frame& frame);

struct Place {
    LonLat at;
    std::string label;        // UTF-8
    std::uint64_t count = 0;  // addresses there
    std::size_t group = 0;    // index into MapData::groups, for the colour
};

struct MapData {
    std::vector<Place> places;
    std::vector<std::string> groups;  // the legend, in palette order
    std::uint64_t addresses = 0;      // the list's addresses, placed or not
    std::uint64_t withoutCoordinates = 0;
};

inline constexpr double kMinRadius = 2.5;
inline constexpr double kMaxRadius = 22;

struct Dot {
    Point at;
    double radius = 0;
    std::size_t place = 0;  // index into MapData::places
};

// The dots in drawing order, largest first so that small ones stay on top; a place's area
// is proportional to its count (the largest place kMaxRadius), no dot smaller than
// kMinRadius. Places outside the frame or with no addresses get none.
std::vector<Dot> layDots(const Frame& frame, std::span<const Place> places);

// The dot drawn on top under `p` (pixels), as an index into `dots`.
std::optional<std::size_t> hitTest(std::span<const Dot> dots, Point p);

// What hovering over a dot tells.
struct Hover {
    std::string label;
    std::uint64_t count = 0;
    double share = 0;  // of the list's addresses, 0 to 1
};
Hover hoverOf(const MapData& data, const Dot& dot);

struct Rgb {
    std::uint8_t r, g, b;
};
// A group's colour; groups past the palette share the last, grey one.
inline constexpr std::array<Rgb, 9> kPalette{{{0xd6, 0x27, 0x28},
                                              {0x1f, 0x77, 0xb4},
                                              {0xff, 0x7f, 0x0e},
                                              {0x2c, 0xa0, 0x2c},
                                              {0x94, 0x67, 0xbd},
                                              {0x8c, 0x56, 0x4b},
                                              {0xe3, 0x77, 0xc2},
                                              {0x17, 0xbe, 0xcf},
                                              {0x7f, 0x7f, 0x7f}}};
Rgb colourOf(std::size_t group);
inline constexpr Rgb kLand{0xd9, 0xd4, 0xc5};
inline constexpr Rgb kSea{0xcf, 0xe3, 0xf1};
inline constexpr Rgb kPaper{0xff, 0xff, 0xff};

// The sources' credits, shown in a corner of every picture.
inline constexpr std::array<const char*, 2> kAttribution{"Natural Earth",
                                                         "IP Geolocation by DB-IP"};

}  // namespace geo
