// Shared between the window files of ui/; Windows only.
#pragma once

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <string>

#include "ui/layout.h"

namespace ui {

// A worker's call carried to the window thread: lParam points to a std::function<void()>.
inline constexpr UINT kRunOnWindowThread = WM_APP + 1;
// While rows stream in, the list paints at most this often (see thawQueryList).
inline constexpr UINT_PTR kListRedrawTimer = 0x5652;
inline constexpr UINT kListRedrawMs = 100;

HINSTANCE instance();
HWND mainWindowHandle();
HWND aboutWindowHandle();

// Both windows: arrow pointer, the application icon, the dialog background colour.
bool registerWindowClass(const wchar_t* name, WNDPROC procedure);
// Creates every control of `layout` in `window`; false when one of them fails.
bool createControls(HWND window, const WindowLayout& layout);
HWND controlHandle(HWND window, int id);  // searches the group boxes too
void centreOnScreen(HWND window);
HFONT defaultFont();
// Labels are black on light grey; answers WM_CTLCOLORSTATIC for both windows.
bool labelColours(HWND control, HDC dc, LRESULT& brush);
HIMAGELIST toolbarImages();

// Handles one retrieved message: Esc closes the window that has it, dialog navigation,
// then the ordinary translation and dispatch.
void dispatchOne(MSG& msg);
// Handles every message already waiting on the window thread; from a worker, nothing.
void processPendingMessages();

void bindMainViews(HWND window);
// Turns the query list's painting back on after a burst of changes (the redraw timer).
void thawQueryList();

}  // namespace ui
