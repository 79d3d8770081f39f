// The toolbar's five 32 x 32 pictures, drawn here: start (a green arrow), the offline mode
// (a grey-blue stack of disks: the data beside the program), stop (a red square), about (a
// blue disc with an "i"), the summary (three orange bars).
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <cmath>
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "ui/internal.h"

namespace ui {

using platform::win32::UniqueBitmap;
using platform::win32::UniqueImageList;

namespace {

constexpr int kSize = 32;

using Shader =
    std::function<std::uint32_t(int x, int y)>;  // 0: transparent, else 0xRRGGBB | 1 << 24

std::uint32_t rgb(int r, int g, int b) {
    return 0x1000000u | (r << 16) | (g << 8) | b;
}

std::uint32_t startPicture(int x, int y) {
    // A right-pointing triangle with a darker rim.
    const double cx = x + 0.5, cy = y + 0.5;
    if (cx < 8 || cx > 27) return 0;
    const double half = (27 - cx) * 13.0 / 19.0;
    if (std::fabs(cy - 16) > half) return 0;
    const bool rim = cx < 10 || std::fabs(cy - 16) > half - 2;
    return rim ? rgb(20, 110, 40) : rgb(60, 190, 80);
}

std::uint32_t offlinePicture(int x, int y) {
    // A stack of three disks seen from the side: a light lid, two dark seams.
    const double cx = x + 0.5 - 16, cy = y + 0.5;
    if (std::fabs(cx) > 11) return 0;
    const double e = 3 * std::sqrt(1 - (cx / 11) * (cx / 11));
    if (cy < 8 - e || cy > 25 + e) return 0;
    if (cy < 8 + e) return rgb(150, 185, 220);
    const bool seam = std::fabs(cy - (14 + e)) < 0.8 || std::fabs(cy - (20 + e)) < 0.8;
    return seam || std::fabs(cx) > 9.5 ? rgb(40, 70, 110) : rgb(80, 120, 170);
}

std::uint32_t stopPicture(int x, int y) {
    if (x < 7 || x > 24 || y < 7 || y > 24) return 0;
    const bool rim = x < 9 || x > 22 || y < 9 || y > 22;
    return rim ? rgb(140, 20, 20) : rgb(220, 60, 50);
}

std::uint32_t aboutPicture(int x, int y) {
    const double dx = x + 0.5 - 16, dy = y + 0.5 - 16;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (d > 13) return 0;
    const bool dot = std::sqrt(dx * dx + (dy + 6.5) * (dy + 6.5)) < 2.2;
    const bool stem = std::fabs(dx) < 2 && dy > -2 && dy < 8;
    if (dot || stem) return rgb(255, 255, 255);
    return d > 11.5 ? rgb(20, 60, 140) : rgb(50, 110, 210);
}

std::uint32_t statsPicture(int x, int y) {
    // Three bars of a chart standing on a dark base line, tallest in the middle.
    if (y >= 25 && y <= 26 && x >= 5 && x <= 26) return rgb(60, 60, 60);
    struct Bar {
        int left, top;
    };
    for (const Bar b : {Bar{7, 15}, Bar{14, 7}, Bar{21, 11}}) {
        if (x < b.left || x > b.left + 4 || y < b.top || y > 24) continue;
        const bool rim = x == b.left || x == b.left + 4 || y == b.top;
        return rim ? rgb(150, 90, 10) : rgb(240, 160, 40);
    }
    return 0;
}

// One picture as a colour bitmap (32-bit, alpha set) and a monochrome mask.
bool addPicture(HIMAGELIST list, const Shader& shade) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueBitmap colour(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!colour) return false;
    // Mask rows are word-aligned: 32 pixels make 4 bytes, already aligned.
    std::vector<std::uint8_t> maskBits(kSize * kSize / 8, 0);
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const std::uint32_t p = shade(x, y);
            pixels[y * kSize + x] = p ? (0xFF000000u | (p & 0xFFFFFF)) : 0;
            if (!p) maskBits[y * (kSize / 8) + x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        }
    }
    UniqueBitmap mask(CreateBitmap(kSize, kSize, 1, 1, maskBits.data()));
    // The list copies both bitmaps; ours go with their owners.
    return mask && ImageList_Add(list, colour.get(), mask.get()) >= 0;
}

}  // namespace

UniqueImageList makeToolbarImages() {
    UniqueImageList list(ImageList_Create(kSize, kSize, ILC_COLOR32 | ILC_MASK, 5, 0));
    if (!list) return {};
    for (const Shader& s : {Shader(startPicture), Shader(offlinePicture), Shader(stopPicture),
                            Shader(aboutPicture), Shader(statsPicture)}) {
        if (!addPicture(list.get(), s)) return {};
    }
    return list;
}

}  // namespace ui
