#include "map/svg.h"

#include <algorithm>
#include <cstdio>

namespace geo {
namespace {

void appendNumber(std::string& out, double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", v);
    out += text;
}

void appendColour(std::string& out, Rgb c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.r, c.g, c.b);
    out += text;
}

// Text and attribute values: the five characters XML gives meaning to, and the control
// characters it does not allow at all.
void appendEscaped(std::string& out, std::string_view text) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n')
                    out += ' ';
                else
                    out += c;
        }
    }
}

void appendRings(std::string& out, const std::vector<std::vector<Point>>& rings) {
    for (const std::vector<Point>& ring : rings) {
        for (std::size_t i = 0; i < ring.size(); ++i) {
            out += i == 0 ? 'M' : 'L';
            appendNumber(out, ring[i].x);
            out += ',';
            appendNumber(out, ring[i].y);
        }
        out += 'Z';
    }
}

// About how wide a line of 12-pixel text is: a Chinese character fills its square, a Latin
// letter a little over half of it.
double textWidth(std::string_view text) {
    double width = 0;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0xe0)
            width += 12;
        else if (b < 0x80)
            width += 7;
    }
    return width;
}

}  // namespace

std::string hoverText(const Hover& hover) {
    char share[32];
    std::snprintf(share, sizeof share, "%.1f%%", hover.share * 100);
    return hover.label + ": " + std::to_string(hover.count) + " 个地址 (" + share + ")";
}

std::string withoutCoordinatesText(std::uint64_t count) {
    return std::to_string(count) + " 个地址没有坐标";
}

std::string svgOf(const MapData& data, const Outline& land, const SvgOptions& options) {
    const Frame frame(options.extent, options.projection, options.width);
    const double w = frame.width(), h = frame.height();
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    appendNumber(out, w);
    out += "\" height=\"";
    appendNumber(out, h);
    out += "\" viewBox=\"0 0 ";
    appendNumber(out, w);
    out += ' ';
    appendNumber(out, h);
    out += "\" font-family=\"'Microsoft YaHei','WenQuanYi Micro Hei',sans-serif\">\n";
    out += "<rect width=\"100%\" height=\"100%\" fill=\"";
    appendColour(out, options.extent == Extent::World ? kPaper : kSea);
    out += "\"/>\n";
    if (options.extent == Extent::World) {
        out += "<path id=\"sea\" fill=\"";
        appendColour(out, kSea);
        out += "\" d=\"";
        appendRings(out, {worldEdge(frame)});
        out += "\"/>\n";
    }
    out += "<path id=\"land\" fill=\"";
    appendColour(out, kLand);
    out += "\" fill-rule=\"evenodd\" stroke=\"#b5ae9a\" stroke-width=\"0.5\" d=\"";
    appendRings(out, landRings(frame, land));
    out += "\"/>\n";

    out += "<g id=\"places\" stroke=\"#ffffff\" stroke-width=\"0.8\" fill-opacity=\"0.85\">\n";
    for (const Dot& dot : layDots(frame, data.places)) {
        out += "<circle cx=\"";
        appendNumber(out, dot.at.x);
        out += "\" cy=\"";
        appendNumber(out, dot.at.y);
        out += "\" r=\"";
        appendNumber(out, dot.radius);
        out += "\" fill=\"";
        appendColour(out, colourOf(data.places[dot.place].group));
        out += "\"><title>";
        appendEscaped(out, hoverText(hoverOf(data, dot)));
        out += "</title></circle>\n";
    }
    out += "</g>\n";

    // The legend in the lower left corner, over the sea or the empty paper.
    constexpr double kLine = 16;
    const std::size_t lines = data.groups.size() + (data.withoutCoordinates ? 1 : 0);
    if (lines > 0) {
        double wide = data.withoutCoordinates
                          ? textWidth(withoutCoordinatesText(data.withoutCoordinates)) + 12
                          : 0;
        for (const std::string& group : data.groups) wide = std::max(wide, textWidth(group) + 26);
        double y = h - 10 - kLine * static_cast<double>(lines);
        out += "<g id=\"legend\" font-size=\"12\">\n<rect x=\"6\" y=\"";
        appendNumber(out, y - 6);
        out += "\" width=\"";
        appendNumber(out, std::min(wide + 10, w / 2));
        out += "\" height=\"";
        appendNumber(out, kLine * static_cast<double>(lines) + 8);
        out += "\" fill=\"#ffffff\" fill-opacity=\"0.8\"/>\n";
        for (std::size_t g = 0; g < data.groups.size(); ++g, y += kLine) {
            out += "<circle cx=\"16\" cy=\"";
            appendNumber(out, y + 6);
            out += "\" r=\"5\" fill=\"";
            appendColour(out, colourOf(g));
            out += "\"/><text x=\"26\" y=\"";
            appendNumber(out, y + 10);
            out += "\">";
            appendEscaped(out, data.groups[g]);
            out += "</text>\n";
        }
        if (data.withoutCoordinates) {
            out += "<text id=\"unplaced\" x=\"12\" y=\"";
            appendNumber(out, y + 10);
            out += "\" fill=\"#555555\">";
            out += withoutCoordinatesText(data.withoutCoordinates);
            out += "</text>\n";
        }
        out += "</g>\n";
    }

    out += "<text id=\"attribution\" x=\"";
    appendNumber(out, w - 8);
    out += "\" y=\"";
    appendNumber(out, h - 6);
    out += "\" font-size=\"10\" fill=\"#666666\" text-anchor=\"end\">";
    for (std::size_t i = 0; i < kAttribution.size(); ++i) {
        if (i > 0) out += " · ";
        out += kAttribution[i];
    }
    out += "</text>\n</svg>\n";
    return out;
}

}  // namespace geo
