// The 统计 window: the list summarised by the field the user picks, the first groups and a
// line for the rest, their horizontal bar chart, the map of the list's places coloured by
// the same groups, the totals and the data files. The summary and the map are made on the
// window thread when the window opens, when the field changes, and at the timer's tick
// after the table changed: a running batch or an import pays for one of each per tick at
// most, never for one per row. The map is our raster, put on the window as a DIB; its texts
// are drawn by GDI over it.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <span>

#include "io/summary_file.h"
#include "map/list_map.h"
#include "map/raster.h"
#include "map/svg.h"
#include "platform/win32/window_text.h"
#include "ui/internal.h"

namespace ui {

namespace {

const wchar_t kStatsClass[] = L"VerdaloStats";
constexpr UINT_PTR kRefreshTimer = 0x5654;
constexpr UINT kRefreshMs = 500;

const char kExportFilter[] =
    "Excel工作簿(*.xlsx)|*.xlsx|CSV文件(*.csv)|*.csv|地图 PNG 图片(*.png)|*.png|地图 SVG "
    "图形(*.svg)|*.svg";
const char kAttribution[] = "Natural Earth · IP Geolocation by DB-IP";
// The map as a file: as wide as the command line draws it.
constexpr double kExportWidth = 1000;
const char kExported[] = "导出统计完毕!";
const char kNotExported[] = "导出统计失败,文件无法写入!";

void setText(HWND window, int id, const std::string& text) {
    SetWindowTextW(GetDlgItem(window, id), win32::utf8ToWide(text).c_str());
}

RECT rectOf(const ChartPlace& place) {
    return {place.left, place.top, place.left + place.width, place.top + place.height};
}

COLORREF colourRef(geo::Rgb c) {
    return RGB(c.r, c.g, c.b);
}

}  // namespace

bool isStatsWindow(HWND window) {
    wchar_t name[32] = {};
    return window && GetClassNameW(window, name, static_cast<int>(std::size(name))) > 0 &&
           lstrcmpW(name, kStatsClass) == 0;
}

LRESULT CALLBACK StatsWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<StatsWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<StatsWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (!self || !self->window_) return DefWindowProcW(window, message, w, l);
    return self->handle(message, w, l);
}

LRESULT StatsWindow::handle(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(w) == id::stats::groupBox && HIWORD(w) == CBN_SELCHANGE) refresh();
            if (HIWORD(w) == BN_CLICKED && LOWORD(w) == id::stats::copyButton) copy();
            if (HIWORD(w) == BN_CLICKED && LOWORD(w) == id::stats::exportButton) exportFile();
            if (HIWORD(w) == BN_CLICKED && LOWORD(w) == id::stats::worldButton)
                setExtent(geo::Extent::World);
            if (HIWORD(w) == BN_CLICKED && LOWORD(w) == id::stats::chinaButton)
                setExtent(geo::Extent::China);
            return 0;
        case WM_MOUSEMOVE: {
            if (!pointer_) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, window_, 0};
                TrackMouseEvent(&track);
            }
            pointer_ = POINT{GET_X_LPARAM(l), GET_Y_LPARAM(l)};
            hover();
            return 0;
        }
        case WM_MOUSELEAVE:
            pointer_.reset();
            hover();
            return 0;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(l);
            if (header.hwndFrom == list_ && header.code == LVN_GETDISPINFOW) {
                auto& item = reinterpret_cast<NMLVDISPINFOW*>(l)->item;
                if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return 0;
                const auto row = static_cast<std::size_t>(item.iItem);
                const auto column = static_cast<std::size_t>(item.iSubItem);
                std::wstring text;
                if (row < shown_.size() && column < shown_[row].size())
                    text = win32::utf8ToWide(shown_[row][column]);
                lstrcpynW(item.pszText, text.c_str(), item.cchTextMax);
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: {
            LRESULT brush;
            if (theme_.labelColours(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w), brush))
                return brush;
            break;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window_, &paint);
            paintChart(dc);
            paintMap(dc);
            EndPaint(window_, &paint);
            return 0;
        }
        case WM_TIMER:
            // A summary of a long list costs tens of milliseconds: the next one waits four
            // times as long, so a running batch keeps most of the window thread.
            if (w == kRefreshTimer && stale_ &&
                static_cast<LONG>(GetTickCount() - nextRefresh_) >= 0)
                refresh();
            return 0;
        case WM_COPY:
            copy();
            return 0;
        case WM_CLOSE:
            close();
            return 0;
        case WM_DESTROY:
            // Gone with its owner: nothing of it is left to close.
            window_ = list_ = nullptr;
            return 0;
    }
    return DefWindowProcW(window_, message, w, l);
}

void StatsWindow::open(HWND owner) {
    if (window_) {
        ShowWindow(window_, SW_SHOWNORMAL);
        SetForegroundWindow(window_);
        return;
    }
    if (!registerWindowClass(kStatsClass, procedure)) return;
    const std::wstring caption = win32::utf8ToWide(kStatsWindow.caption);
    // Owned: it stays above the main window and goes with it, while the list goes on.
    HWND window = CreateWindowExW(
        0, kStatsClass, caption.c_str(), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        60, 60, kStatsWindow.width, kStatsWindow.height, owner, nullptr, instance(), this);
    if (!window) return;
    window_ = window;
    if (!createControls(window, kStatsWindow, {theme_.defaultFont()})) {
        close();
        return;
    }
    list_ = GetDlgItem(window, id::stats::lines);
    EnableWindow(GetDlgItem(window, extent_ == geo::Extent::World ? id::stats::worldButton
                                                                  : id::stats::chinaButton),
                 FALSE);
    dataFilesChanged();
    refresh();
    SetTimer(window, kRefreshTimer, kRefreshMs, nullptr);
    centreOnScreen(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetFocus(GetDlgItem(window, id::stats::groupBox));
}

void StatsWindow::dataFilesChanged() {
    if (window_ && dataFiles_) setText(window_, id::stats::data, dataFiles_());
}

void StatsWindow::close() {
    if (!window_) return;
    HWND window = window_;
    window_ = list_ = nullptr;
    KillTimer(window, kRefreshTimer);
    HWND owner = GetWindow(window, GW_OWNER);
    DestroyWindow(window);
    if (owner && IsWindow(owner)) SetActiveWindow(owner);
}

void StatsWindow::refresh() {
    stale_ = false;
    if (!window_) return;
    const DWORD started = GetTickCount();
    const LRESULT choice =
        SendMessageW(GetDlgItem(window_, id::stats::groupBox), CB_GETCURSEL, 0, 0);
    // The box lists the table of fields' groupings, in order.
    const std::span<const FieldId> choices = groupings();
    const summary::GroupBy by = choice >= 0 && static_cast<std::size_t>(choice) < choices.size()
                                    ? choices[static_cast<std::size_t>(choice)]
                                    : choices[0];
    summary_ = summary::summarise(table_.rows(), by);
    shown_ = summary::tableOf(summary_);
    // Without the column titles and the 合计: those are the header and the line beneath.
    shown_.erase(shown_.begin());
    shown_.pop_back();
    SendMessageW(list_, LVM_SETITEMCOUNT, shown_.size(), LVSICF_NOSCROLL);
    InvalidateRect(list_, nullptr, FALSE);
    setText(window_, id::stats::total,
            "共 " + std::to_string(summary_.addresses) + " 个地址, 离线库未能定位 " +
                std::to_string(summary_.unplaced) + " 个");
    const RECT chart = rectOf(kStatsChart);
    InvalidateRect(window_, &chart, FALSE);
    map_ = geo::listMap(table_.rows(), by);
    setText(window_, id::stats::mapMissing, geo::withoutCoordinatesText(map_.withoutCoordinates));
    layMap();
    const DWORD done = GetTickCount();
    nextRefresh_ = done + 4 * (done - started);
}

void StatsWindow::paintChart(HDC dc) {
    RECT area = rectOf(kStatsChart);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    FrameRect(dc, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    const std::vector<summary::Line>& lines = summary_.lines;
    if (lines.empty()) return;
    const HGDIOBJ oldFont = SelectObject(dc, theme_.defaultFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    // One band per shown group, as many bands as there can be, so bars keep their height.
    const int band = (kStatsChart.height - 8) / static_cast<int>(summary::kShownLines);
    const int nameWidth = 72, countWidth = 52;
    const int barLeft = area.left + 4 + nameWidth + 4;
    const int barRoom = area.right - 4 - countWidth - barLeft;
    const std::size_t largest = std::max<std::size_t>(lines.front().addresses, 1);
    HBRUSH fill = CreateSolidBrush(RGB(240, 160, 40));
    HBRUSH rim = CreateSolidBrush(RGB(150, 90, 10));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int top = area.top + 4 + static_cast<int>(i) * band;
        RECT name{area.left + 4, top, area.left + 4 + nameWidth, top + band};
        const std::wstring label = win32::utf8ToWide(lines[i].name);
        DrawTextW(dc, label.c_str(), -1, &name,
                  DT_RIGHT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
        const int length = std::max(1, static_cast<int>(static_cast<double>(barRoom) *
                                                        static_cast<double>(lines[i].addresses) /
                                                        static_cast<double>(largest)));
        RECT bar{barLeft, top + 3, barLeft + length, top + band - 3};
        FillRect(dc, &bar, fill);
        FrameRect(dc, &bar, rim);
        RECT count{bar.right + 4, top, area.right - 2, top + band};
        const std::wstring number = std::to_wstring(lines[i].addresses);
        DrawTextW(dc, number.c_str(), -1, &count, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    }
    DeleteObject(fill);
    DeleteObject(rim);
    SelectObject(dc, oldFont);
}

void StatsWindow::layMap() {
    const double width = geo::fittingWidth(extent_, geo::Projection::NaturalEarth, kStatsMap.width,
                                           kStatsMap.height - kStatsLegendHeight - 4);
    const geo::SvgOptions options{extent_, geo::Projection::NaturalEarth, width};
    if (!ground_ || groundExtent_ != extent_) {
        ground_ = geo::groundOf(geo::landOutline(), options);
        groundExtent_ = extent_;
    }
    geo::Canvas canvas = *ground_;
    geo::drawDots(canvas, map_, options);
    dots_ = geo::layDots(geo::Frame(extent_, options.projection, width), map_.places);
    pixels_ = geo::dibOf(canvas);
    pictureWidth_ = canvas.width();
    pictureHeight_ = canvas.height();
    pictureLeft_ = kStatsMap.left + (kStatsMap.width - pictureWidth_) / 2;
    pictureTop_ = kStatsMap.top + 4;
    hover();
    const RECT area = rectOf(kStatsMap);
    InvalidateRect(window_, &area, FALSE);
}

void StatsWindow::paintMap(HDC dc) {
    RECT area = rectOf(kStatsMap);
    // Around the picture only, so that a redraw does not flash.
    const int saved = SaveDC(dc);
    ExcludeClipRect(dc, pictureLeft_, pictureTop_, pictureLeft_ + pictureWidth_,
                    pictureTop_ + pictureHeight_);
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    RestoreDC(dc, saved);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = pictureWidth_;
    info.bmiHeader.biHeight = -pictureHeight_;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    if (!pixels_.empty())
        SetDIBitsToDevice(dc, pictureLeft_, pictureTop_, static_cast<DWORD>(pictureWidth_),
                          static_cast<DWORD>(pictureHeight_), 0, 0, 0,
                          static_cast<UINT>(pictureHeight_), pixels_.data(), &info, DIB_RGB_COLORS);
    FrameRect(dc, &area, GetSysColorBrush(COLOR_BTNSHADOW));
    const HGDIOBJ oldFont = SelectObject(dc, theme_.defaultFont());
    SetBkMode(dc, TRANSPARENT);
    // The sources' credits in the picture's lower right corner.
    SetTextColor(dc, RGB(0x60, 0x60, 0x60));
    RECT credits{pictureLeft_ + 4, pictureTop_, pictureLeft_ + pictureWidth_ - 4,
                 pictureTop_ + pictureHeight_ - 2};
    const std::wstring attribution = win32::utf8ToWide(kAttribution);
    DrawTextW(dc, attribution.c_str(), -1, &credits,
              DT_RIGHT | DT_BOTTOM | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    // The legend beneath: three columns of groups, each with its colour's square.
    SetTextColor(dc, RGB(0, 0, 0));
    constexpr int kColumns = 3, kRow = 16;
    const int columnWidth = (kStatsMap.width - 8) / kColumns;
    const int legendTop = pictureTop_ + pictureHeight_ + 6;
    for (std::size_t i = 0; i < map_.groups.size(); ++i) {
        const int left = area.left + 4 + static_cast<int>(i % kColumns) * columnWidth;
        const int top = legendTop + static_cast<int>(i / kColumns) * kRow;
        if (top + kRow > area.bottom) break;
        RECT swatch{left, top + 3, left + 10, top + 13};
        HBRUSH brush = CreateSolidBrush(colourRef(geo::colourOf(i)));
        FillRect(dc, &swatch, brush);
        DeleteObject(brush);
        RECT name{left + 14, top, left + columnWidth - 4, top + kRow};
        const std::wstring label = win32::utf8ToWide(map_.groups[i]);
        DrawTextW(dc, label.c_str(), -1, &name,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    }
    SelectObject(dc, oldFont);
}

void StatsWindow::setExtent(geo::Extent extent) {
    if (!window_ || extent == extent_) return;
    extent_ = extent;
    const bool world = extent == geo::Extent::World;
    HWND shown = GetDlgItem(window_, world ? id::stats::worldButton : id::stats::chinaButton);
    HWND other = GetDlgItem(window_, world ? id::stats::chinaButton : id::stats::worldButton);
    EnableWindow(other, TRUE);
    // Keep the keyboard's focus on a button that can take it.
    if (GetFocus() == shown) SetFocus(other);
    EnableWindow(shown, FALSE);
    layMap();
}

void StatsWindow::hover() {
    if (!window_) return;
    std::string text;
    if (pointer_) {
        // The pointer's pixel by its centre, in the picture's pixels.
        const geo::Point at{pointer_->x - pictureLeft_ + 0.5, pointer_->y - pictureTop_ + 0.5};
        std::optional<std::size_t> found;
        if (at.x >= 0 && at.y >= 0 && at.x <= pictureWidth_ && at.y <= pictureHeight_)
            found = geo::hitTest(dots_, at);
        if (found) text = geo::hoverText(geo::hoverOf(map_, dots_[*found]));
    }
    // Set only when it changes: the pointer moves far more often than it meets a dot.
    if (text == hovered_) return;
    hovered_ = text;
    setText(window_, id::stats::mapHover, text);
}

void StatsWindow::copy() {
    if (!window_) return;
    os_.clipboard.setText(summary::tabText(summary_));
}

void StatsWindow::exportFile() {
    platform::Path path;
    if (!os_.dialogs.saveFile({kExportFilter, {}, "*.xlsx|*.csv|*.png|*.svg"}, path)) return;
    // The map by a picture's name, in the extent shown; the summary by any other.
    const geo::SvgOptions options{extent_, geo::Projection::NaturalEarth, kExportWidth};
    std::string bytes;
    if (path.endsWith(".png"))
        bytes = geo::pngOf(geo::rasterOf(map_, geo::landOutline(), options));
    else if (path.endsWith(".svg"))
        bytes = geo::svgOf(map_, geo::landOutline(), options);
    else
        bytes = io::summaryAsCsv(path) ? io::summaryCsv(summary_) : io::summaryXlsx(summary_);
    const bool written = !bytes.empty() && os_.files.writeAll(path, bytes);
    os_.dialogs.showMessage(written ? kExported : kNotExported, kStatsWindow.caption);
}

}  // namespace ui
