#include "map/map.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace geo {
namespace {

constexpr double kRadian = std::numbers::pi / 180;
// Narrower, the margins would leave no room and turn the picture over.
constexpr double kMinWidth = 64;

}  // namespace

Point project(Projection projection, LonLat at) {
    const double lambda = std::clamp(at.lon, -180.0, 180.0) * kRadian;
    const double phi = std::clamp(at.lat, -90.0, 90.0) * kRadian;
    if (projection == Projection::Equirectangular) return {lambda, phi};
    const double phi2 = phi * phi, phi4 = phi2 * phi2, phi6 = phi4 * phi2, phi8 = phi4 * phi4;
    const double phi10 = phi8 * phi2, phi12 = phi10 * phi2;
    return {
        lambda * (0.8707 - 0.131979 * phi2 - 0.013791 * phi4 + 0.003971 * phi10 - 0.001529 * phi12),
        phi * (1.007226 + 0.015085 * phi2 - 0.044475 * phi6 + 0.028874 * phi8 - 0.005916 * phi10)};
}

Box boxOf(Extent extent) {
    if (extent == Extent::China) return {70, 140, 15, 55};
    return {-180, 180, -90, 90};
}

std::optional<Extent> extentNamed(std::string_view name) {
    if (name == "world") return Extent::World;
    if (name == "china") return Extent::China;
    return std::nullopt;
}

std::optional<Projection> projectionNamed(std::string_view name) {
    if (name == "natural-earth") return Projection::NaturalEarth;
    if (name == "equirectangular") return Projection::Equirectangular;
    return std::nullopt;
}

Frame::Frame(Extent extent, Projection projection, double width)
    : extent_(extent), projection_(projection), width_(std::max(width, kMinWidth)), height_(0) {
    // The box's edges are curves once projected: their bounds come from walking them.
    const Box box = boxOf(extent);
    double minX = std::numeric_limits<double>::max(), maxX = -minX, minY = minX, maxY = -minX;
    constexpr int kSteps = 90;
    for (int i = 0; i <= kSteps; ++i) {
        const double t = static_cast<double>(i) / kSteps;
        const double lon = box.west + (box.east - box.west) * t;
        const double lat = box.south + (box.north - box.south) * t;
        for (const LonLat at : {LonLat{lon, box.south}, LonLat{lon, box.north},
                                LonLat{box.west, lat}, LonLat{box.east, lat}}) {
            const Point p = project(projection, at);
            minX = std::min(minX, p.x);
            maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y);
            maxY = std::max(maxY, p.y);
        }
    }
    scale_ = (width_ - 2 * kFrameMargin) / (maxX - minX);
    height_ = std::ceil((maxY - minY) * scale_ + 2 * kFrameMargin);
    left_ = kFrameMargin - minX * scale_;
    top_ = kFrameMargin + maxY * scale_;
}

Point Frame::toPixel(LonLat at) const {
    const Point p = project(projection_, at);
    return {left_ + p.x * scale_, top_ - p.y * scale_};
}

std::vector<std::vector<Point>> landRings(const Frame& frame, const Outline& outline) {
    std::vector<std::vector<Point>> rings;
    std::size_t next = 0;
    for (const std::uint16_t size : outline.rings) {
        // A generated outline is whole; a short one ends the walk rather than overrun it.
        if ((next + size) * 2 > outline.points.size()) break;
        std::vector<Point>& ring = rings.emplace_back();
        ring.reserve(size);
        for (std::size_t i = next; i < next + size; ++i)
            ring.push_back(
                frame.toPixel({outline.points[2 * i] / 100.0, outline.points[2 * i + 1] / 100.0}));
        next += size;
    }
    return rings;
}

std::vector<Point> worldEdge(const Frame& frame) {
    std::vector<Point> edge;
    constexpr int kSteps = 90;
    for (int i = 0; i <= kSteps; ++i) edge.push_back(frame.toPixel({180, 90 - 180.0 * i / kSteps}));
    for (int i = 0; i <= kSteps; ++i)
        edge.push_back(frame.toPixel({-180, -90 + 180.0 * i / kSteps}));
    return edge;
}

std::vector<Dot> layDots(const Frame& frame, std::span<const Place> places) {
    std::uint64_t largest = 0;
    for (const Place& p : places) largest = std::max(largest, p.count);
    std::vector<Dot> dots;
    for (std::size_t i = 0; i < places.size(); ++i) {
        if (places[i].count == 0) continue;
        const Point at = frame.toPixel(places[i].at);
        if (!frame.contains(at)) continue;
        const double radius = kMaxRadius * std::sqrt(static_cast<double>(places[i].count) /
                                                     static_cast<double>(largest));
        dots.push_back({at, std::max(kMinRadius, radius), i});
    }
    std::stable_sort(dots.begin(), dots.end(), [&](const Dot& a, const Dot& b) {
        if (places[a.place].count != places[b.place].count)
            return places[a.place].count > places[b.place].count;
        return places[a.place].label < places[b.place].label;
    });
    return dots;
}

std::optional<std::size_t> hitTest(std::span<const Dot> dots, Point p) {
    for (std::size_t i = dots.size(); i-- > 0;) {
        const double dx = p.x - dots[i].at.x, dy = p.y - dots[i].at.y;
        if (dx * dx + dy * dy <= dots[i].radius * dots[i].radius) return i;
    }
    return std::nullopt;
}

Hover hoverOf(const MapData& data, const Dot& dot) {
    const Place& place = data.places[dot.place];
    const double share =
        data.addresses ? static_cast<double>(place.count) / static_cast<double>(data.addresses)
                       : 0.0;
    return {place.label, place.count, share};
}

Rgb colourOf(std::size_t group) {
    return kPalette[std::min(group, kPalette.size() - 1)];
}

}  // namespace geo
