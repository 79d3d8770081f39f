// The map as pixels, for the PNG export and the window: the same picture as the SVG's
// shapes (the land, the sea, the dots), drawn without text; and a PNG encoder.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "map/map.h"
#include "map/svg.h"

namespace geo {

// An RGB picture, rows from the top.
class Canvas {
  public:
    Canvas(int width, int height, Rgb fill);
    int width() const { return width_; }
    int height() const { return height_; }
    std::span<const std::uint8_t> rgb() const { return pixels_; }
    Rgb at(int x, int y) const;

    // Fills the area inside the rings by the even-odd rule, at pixel centres.
    void fillRings(const std::vector<std::vector<Point>>& rings, Rgb colour);
    // A disc with `opacity` (0 to 1) over what is there, and a one-pixel rim of `rim`.
    void fillDisc(Point centre, double radius, Rgb colour, double opacity, Rgb rim);

  private:
    void blend(int x, int y, Rgb colour, double opacity);
    int width_, height_;
    std::vector<std::uint8_t> pixels_;
};

// The picture svgOf draws, without its texts.
Canvas rasterOf(const MapData& data, const Outline& land, const SvgOptions& options);
// The same in two steps, for a window that draws many lists on one ground: the paper, the
// sea and the land; then the dots of a list on a copy of it.
Canvas groundOf(const Outline& land, const SvgOptions& options);
void drawDots(Canvas& canvas, const MapData& data, const SvgOptions& options);

// The width of the widest picture of the extent that fits in `width` by `height` pixels
// (whole pixels, never more than `width`).
double fittingWidth(Extent extent, Projection projection, double width, double height);

// The canvas as a top-down 24-bit DIB's pixels for the window: rows of blue, green, red,
// each padded to four bytes.
std::vector<std::uint8_t> dibOf(const Canvas& canvas);

// A PNG file of the canvas: 8-bit RGB, no filter, the rows deflated by zlib.
std::string pngOf(const Canvas& canvas);

}  // namespace geo
