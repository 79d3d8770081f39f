#include "map/raster.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace geo {

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(std::max(width, 0)), height_(std::max(height, 0)) {
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 3);
    for (std::size_t i = 0; i < pixels_.size(); i += 3) {
        pixels_[i] = fill.r;
        pixels_[i + 1] = fill.g;
        pixels_[i + 2] = fill.b;
    }
}

Rgb Canvas::at(int x, int y) const {
    const std::size_t i = (static_cast<std::size_t>(y) * width_ + x) * 3;
    return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
}

void Canvas::blend(int x, int y, Rgb colour, double opacity) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    std::uint8_t* p = &pixels_[(static_cast<std::size_t>(y) * width_ + x) * 3];
    const auto mix = [opacity](std::uint8_t under, std::uint8_t over) {
        return static_cast<std::uint8_t>(std::lround(under + (over - under) * opacity));
    };
    p[0] = mix(p[0], colour.r);
    p[1] = mix(p[1], colour.g);
    p[2] = mix(p[2], colour.b);
}

void Canvas::fillRings(const std::vector<std::vector<Point>>& rings, Rgb colour) {
    std::vector<double> crossings;
    for (int y = 0; y < height_; ++y) {
        const double cy = y + 0.5;
        crossings.clear();
        for (const std::vector<Point>& ring : rings) {
            for (std::size_t i = 0, n = ring.size(); i < n; ++i) {
                const Point a = ring[i], b = ring[(i + 1) % n];
                // Half-open in y, so a vertex on the scanline counts once.
                if ((a.y <= cy) == (b.y <= cy)) continue;
                crossings.push_back(a.x + (cy - a.y) * (b.x - a.x) / (b.y - a.y));
            }
        }
        std::sort(crossings.begin(), crossings.end());
        for (std::size_t i = 0; i + 1 < crossings.size(); i += 2) {
            const int from = std::max(0, static_cast<int>(std::ceil(crossings[i] - 0.5)));
            const int to =
                std::min(width_ - 1, static_cast<int>(std::floor(crossings[i + 1] - 0.5)));
            for (int x = from; x <= to; ++x) blend(x, y, colour, 1);
        }
    }
}

void Canvas::fillDisc(Point centre, double radius, Rgb colour, double opacity, Rgb rim) {
    const int top = static_cast<int>(std::floor(centre.y - radius));
    const int bottom = static_cast<int>(std::ceil(centre.y + radius));
    const int left = static_cast<int>(std::floor(centre.x - radius));
    const int right = static_cast<int>(std::ceil(centre.x + radius));
    for (int y = std::max(top, 0); y <= std::min(bottom, height_ - 1); ++y) {
        for (int x = std::max(left, 0); x <= std::min(right, width_ - 1); ++x) {
            const double d = std::hypot(x + 0.5 - centre.x, y + 0.5 - centre.y);
            if (d > radius) continue;
            if (d > radius - 0.8)
                blend(x, y, rim, 1);
            else
                blend(x, y, colour, opacity);
        }
    }
}

Canvas rasterOf(const MapData& data, const Outline& land, const SvgOptions& options) {
    Canvas canvas = groundOf(land, options);
    drawDots(canvas, data, options);
    return canvas;
}

Canvas groundOf(const Outline& land, const SvgOptions& options) {
    const Frame frame(options.extent, options.projection, options.width);
    Canvas canvas(static_cast<int>(std::lround(frame.width())),
                  static_cast<int>(std::lround(frame.height())),
                  options.extent == Extent::World ? kPaper : kSea);
    if (options.extent == Extent::World) canvas.fillRings({worldEdge(frame)}, kSea);
    canvas.fillRings(landRings(frame, land), kLand);
    return canvas;
}

void drawDots(Canvas& canvas, const MapData& data, const SvgOptions& options) {
    const Frame frame(options.extent, options.projection, options.width);
    for (const Dot& dot : layDots(frame, data.places))
        canvas.fillDisc(dot.at, dot.radius, colourOf(data.places[dot.place].group), 0.85, kPaper);
}

double fittingWidth(Extent extent, Projection projection, double width, double height) {
    const Frame probe(extent, projection, width);
    if (probe.height() <= height) return width;
    // The margins stay as they are while the map inside them shrinks; the height is rounded
    // up, so the guess is then set right by whole pixels.
    const double margins = 2 * kFrameMargin;
    double fitted =
        std::floor((width - margins) * (height - margins) / (probe.height() - margins) + margins);
    while (fitted > 1 && Frame(extent, projection, fitted).height() > height) --fitted;
    while (fitted + 1 < width && Frame(extent, projection, fitted + 1).height() <= height) ++fitted;
    return fitted;
}

std::vector<std::uint8_t> dibOf(const Canvas& canvas) {
    const auto w = static_cast<std::size_t>(canvas.width());
    const auto h = static_cast<std::size_t>(canvas.height());
    const std::size_t stride = (w * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> dib(stride * h, 0);
    const std::span<const std::uint8_t> rgb = canvas.rgb();
    for (std::size_t y = 0; y < h; ++y) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* from = &rgb[(y * w + x) * 3];
            std::uint8_t* to = &dib[y * stride + x * 3];
            to[0] = from[2];
            to[1] = from[1];
            to[2] = from[0];
        }
    }
    return dib;
}

namespace {

void appendBig32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(v >> shift & 0xff);
}

void appendChunk(std::string& out, const char* type, std::string_view body) {
    appendBig32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += body;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    appendBig32(out,
                static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(out.size() - start))));
}

}  // namespace

std::string pngOf(const Canvas& canvas) {
    const auto w = static_cast<std::size_t>(canvas.width());
    const auto h = static_cast<std::size_t>(canvas.height());
    // Each row starts with its filter type, 0: none.
    std::string rows;
    rows.reserve(h * (w * 3 + 1));
    const std::span<const std::uint8_t> rgb = canvas.rgb();
    for (std::size_t y = 0; y < h; ++y) {
        rows += '\0';
        rows.append(reinterpret_cast<const char*>(rgb.data() + y * w * 3), w * 3);
    }
    uLongf size = compressBound(static_cast<uLong>(rows.size()));
    std::string deflated(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(deflated.data()), &size,
                  reinterpret_cast<const Bytef*>(rows.data()), static_cast<uLong>(rows.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("deflate failed");
    deflated.resize(size);

    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    appendBig32(header, static_cast<std::uint32_t>(w));
    appendBig32(header, static_cast<std::uint32_t>(h));
    header +=
        std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, deflate, no filter, no interlace
    appendChunk(out, "IHDR", header);
    appendChunk(out, "IDAT", deflated);
    appendChunk(out, "IEND", {});
    return out;
}

}  // namespace geo
