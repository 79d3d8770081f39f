// Shared between the window files of ui/; Windows only.
#pragma once

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "map/map.h"
#include "map/raster.h"
#include "platform/services.h"
#include "platform/win32/unique_handle.h"
#include "table/summary.h"
#include "table/table.h"
#include "ui/layout.h"

namespace ui {

// Posted work is waiting for the window thread (see MainWindow::post); the timer takes
// its place while input waits.
inline constexpr UINT kPostedWork = WM_APP + 1;
inline constexpr UINT_PTR kPostedWorkTimer = 0x5653;
// The main window's timer that shows rows appended meanwhile (see showAppendedRows).
inline constexpr UINT_PTR kAppendedRowsTimer = 0x5652;
inline constexpr UINT kAppendedRowsMs = 100;

HINSTANCE instance();
bool isMainWindow(HWND window);
bool isAboutWindow(HWND window);
bool isStatsWindow(HWND window);

// What the controls of a window are drawn with. Labels take `font` unless they have one of
// their own (the about window's).
struct ControlLook {
    HFONT font = nullptr;
    HIMAGELIST toolbarImages = nullptr;
    HFONT labelFont = nullptr, titleFont = nullptr, linkFont = nullptr;
};

// The GDI objects both windows share, owned by the main window: made on the window thread
// before its controls, ended after its windows.
class Theme {
  public:
    Theme();
    ControlLook mainLook() const { return {defaultFont(), images_.get()}; }
    HFONT defaultFont() const;
    // Labels are black on light grey; answers WM_CTLCOLORSTATIC for both windows.
    bool labelColours(HWND control, HDC dc, LRESULT& brush) const;

  private:
    platform::win32::UniqueFont font_;
    platform::win32::UniqueBrush labelBrush_;
    platform::win32::UniqueImageList images_;
};

// The toolbar's five pictures; empty when the system refuses one.
platform::win32::UniqueImageList makeToolbarImages();

// The about window, modal over the main window. Its fonts are made on its first opening.
class AboutWindow {
  public:
    explicit AboutWindow(const Theme& theme) : theme_(theme) {}
    ~AboutWindow() { close(); }
    AboutWindow(const AboutWindow&) = delete;
    AboutWindow& operator=(const AboutWindow&) = delete;

    // Returns when the about window has been closed (or could not be made).
    void open(HWND owner);
    void close();

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    HWND create();

    const Theme& theme_;
    HWND window_ = nullptr;
    HWND owner_ = nullptr;  // disabled while the about window is open
    platform::win32::UniqueFont textFont_, titleFont_, linkFont_;
};

// The 统计 window: owned by the main window, not modal; it reads the table on the window
// thread, on a timer after the table changed, never on the path of each row.
class StatsWindow {
  public:
    StatsWindow(const Theme& theme, platform::Services& os, const QueryTable& table)
        : theme_(theme), os_(os), table_(table) {}
    ~StatsWindow() { close(); }
    StatsWindow(const StatsWindow&) = delete;
    StatsWindow& operator=(const StatsWindow&) = delete;

    void open(HWND owner);  // shows it, or brings it forward when it is open
    void close();
    // The table changed: the summary is made again at the window's next tick.
    void tableChanged() { stale_ = true; }
    // What the window says of the data files: asked when it opens and when they changed.
    void setDataFiles(std::function<std::string()> text) { dataFiles_ = std::move(text); }
    void dataFilesChanged();

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handle(UINT message, WPARAM w, LPARAM l);
    void refresh();
    void paintChart(HDC dc);
    // The picture of map_ in extent_: its pixels, its place and its dots.
    void layMap();
    void paintMap(HDC dc);
    void setExtent(geo::Extent extent);
    // The dot under the pointer, named under the map.
    void hover();
    void copy();
    void exportFile();

    const Theme& theme_;
    platform::Services& os_;
    const QueryTable& table_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    bool stale_ = false;
    DWORD nextRefresh_ = 0;  // tick count before which the timer makes no new summary
    summary::Summary summary_;
    std::vector<summary::TableLine> shown_;  // the list's lines: the groups and the rest
    geo::Extent extent_ = geo::Extent::World;
    geo::MapData map_;
    // The land and sea of the last picture: the same at every tick of a batch.
    std::optional<geo::Canvas> ground_;
    geo::Extent groundExtent_ = geo::Extent::World;
    std::vector<geo::Dot> dots_;        // in the picture's pixels
    std::vector<std::uint8_t> pixels_;  // the picture as a top-down 24-bit DIB's rows
    int pictureLeft_ = 0, pictureTop_ = 0, pictureWidth_ = 0, pictureHeight_ = 0;
    std::optional<POINT> pointer_;  // over the window's client area, while it is
    std::string hovered_;           // what the line under the map says of the dot under the pointer
    std::function<std::string()> dataFiles_;
};
// Opens the link label's text in the user's browser.
void openAboutLink(HWND label);

// Both windows: arrow pointer, the application icon, the dialog background colour.
bool registerWindowClass(const wchar_t* name, WNDPROC procedure);
// Creates every control of `layout` in `window`; false when one of them fails.
bool createControls(HWND window, const WindowLayout& layout, const ControlLook& look);
HWND controlHandle(HWND window, int id);  // searches the group boxes too
void centreOnScreen(HWND window);

// Handles one retrieved message: Esc closes the window that has it, dialog navigation,
// then the ordinary translation and dispatch.
void dispatchOne(MSG& msg);

}  // namespace ui
