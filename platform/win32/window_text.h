// GBK <-> UTF-16 at the window boundary: every text inside the program is GBK, every
// window call is a W call, so captions read right on any system locale.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

std::wstring gbkToWide(const std::string& text);
std::string wideToGbk(const std::wstring& text);

// A window's text (an edit box, a label), as GBK.
std::string windowText(HWND window);
void setWindowText(HWND window, const std::string& text);

}  // namespace win32
