// UTF-8 <-> UTF-16 at the window boundary: every text inside the program is UTF-8, every
// window call is a W call, so captions read right on any system locale. Paths are UTF-16
// on both sides and pass unconverted.
#pragma once

#include <windows.h>

#include <string>

#include "platform/path.h"

namespace win32 {

std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);

// wchar_t is UTF-16 here: a path's units as they are.
std::wstring widePath(const platform::Path& path);
platform::Path pathOf(const std::wstring& wide);

// A window's text (an edit box, a label), as UTF-8.
std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);
// An edit box that names a file, as the path it holds.
platform::Path windowPath(HWND window);
void setWindowPath(HWND window, const platform::Path& path);

}  // namespace win32
