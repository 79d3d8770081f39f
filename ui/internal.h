// Shared between the window files of ui/; Windows only.
#pragma once

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <string>

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

}  // namespace ui
