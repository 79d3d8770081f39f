#include "platform/win32/window_text.h"

#include "text/codepage.h"

namespace win32 {
namespace {

std::wstring wideWindowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

}  // namespace

// wchar_t is UTF-16 on Windows: the text room's converter serves the window calls too.
std::wstring utf8ToWide(const std::string& text) {
    const std::u16string wide = codepage::utf8ToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string wideToUtf8(const std::wstring& text) {
    return codepage::utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring widePath(const platform::Path& path) {
    static_assert(sizeof(wchar_t) == sizeof(char16_t));
    return std::wstring(path.units().begin(), path.units().end());
}

platform::Path pathOf(const std::wstring& wide) {
    return platform::Path(std::u16string(wide.begin(), wide.end()));
}

std::string windowText(HWND window) {
    return wideToUtf8(wideWindowText(window));
}

void setWindowText(HWND window, const std::string& text) {
    SetWindowTextW(window, utf8ToWide(text).c_str());
}

platform::Path windowPath(HWND window) {
    return pathOf(wideWindowText(window));
}

void setWindowPath(HWND window, const platform::Path& path) {
    SetWindowTextW(window, widePath(path).c_str());
}

}  // namespace win32
