// The 统计 window's redraw under Wine for a list of 1 048 576 rows, each placed in one of a few
// thousand records (half of them with coordinates, half placed by name), timed step by step
// through the functions the window calls: the summary and its lines, the list's map, its
// picture at the window's size and the blit of it with SetDIBitsToDevice onto a screen-like
// memory bitmap. The list view's and the labels' few messages are left out, and the land
// is drawn once, as the window keeps it.
// Prints the median of the runs, in milliseconds.
//     stats_redraw.exe [runs]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "map/list_map.h"
#include "map/raster.h"
#include "table/summary.h"

namespace {

double now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return 1000.0 * static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

RowStore millionRows() {
    RowStore rows;
    rows.reserve(1 << 20, 14 << 20);
    for (unsigned i = 0; i < (1u << 20); ++i) {
        const unsigned record = (i * 2654435761u) % 3000;
        // Half the records carry coordinates, spread over China; the others a province.
        const bool placed = record % 2 == 0;
        Fields f{record % 7 ? "中国" : "美国",
                 "省" + std::to_string(record % 34),
                 "市" + std::to_string(record % 400),
                 "",
                 "",
                 "运营商" + std::to_string(record % 12),
                 "CN",
                 placed ? std::to_string(20 + record % 30) + ".5" : "",
                 placed ? std::to_string(80 + record % 50) + ".25" : ""};
        if (!placed) f[1] = record % 3 ? "北京" : "广东省";
        rows.push("10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                      std::to_string(i & 255),
                  {"x", Source::DataFile, f});
    }
    return rows;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const RowStore rows = millionRows();
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 1048, 500);
    const HGDIOBJ old = SelectObject(dc, bitmap);
    const double width =
        geo::fittingWidth(geo::Extent::World, geo::Projection::NaturalEarth, 400, 264);
    const geo::SvgOptions options{geo::Extent::World, geo::Projection::NaturalEarth, width};
    // The window keeps its ground from one redraw to the next: made at its first and when
    // the extent changes.
    const double g0 = now();
    const geo::Canvas ground = geo::groundOf(geo::landOutline(), options);
    const double groundMs = now() - g0;
    std::vector<double> summary, map, picture, blit, whole;
    std::size_t places = 0, dotCount = 0, lineCount = 0;
    for (int run = 0; run < runs; ++run) {
        const double t0 = now();
        const summary::Summary s = summary::summarise(rows, FieldId::Country);
        const std::vector<summary::TableLine> lines = summary::tableOf(s);
        const double t1 = now();
        const geo::MapData data = geo::listMap(rows, FieldId::Country);
        const double t2 = now();
        geo::Canvas canvas = ground;
        geo::drawDots(canvas, data, options);
        const std::vector<geo::Dot> dots =
            geo::layDots(geo::Frame(options.extent, options.projection, width), data.places);
        const std::vector<std::uint8_t> dib = geo::dibOf(canvas);
        const double t3 = now();
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = canvas.width();
        info.bmiHeader.biHeight = -canvas.height();
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(dc, 624, 44, static_cast<DWORD>(canvas.width()),
                          static_cast<DWORD>(canvas.height()), 0, 0, 0,
                          static_cast<UINT>(canvas.height()), dib.data(), &info, DIB_RGB_COLORS);
        GdiFlush();
        const double t4 = now();
        summary.push_back(t1 - t0);
        map.push_back(t2 - t1);
        picture.push_back(t3 - t2);
        blit.push_back(t4 - t3);
        whole.push_back(t4 - t0);
        places = data.places.size();
        dotCount = dots.size();
        lineCount = lines.size();
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf(
        "stats_redraw_1m_ms=%.1f summary_ms=%.1f map_ms=%.1f picture_ms=%.1f blit_ms=%.1f "
        "ground_ms=%.1f places=%zu dots=%zu lines=%zu runs=%d\n",
        median(whole), median(summary), median(map), median(picture), median(blit), groundMs,
        places, dotCount, lineCount, runs);
    return 0;
}
