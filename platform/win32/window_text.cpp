#include "platform/win32/window_text.h"

#include <windows.h>

namespace win32 {

namespace {
constexpr UINT kGbk = 936;
}

// Bytes that CP936 cannot map become U+F8xx private-use or '?' depending on the system;
// no flags are passed so a bad byte never fails the whole conversion.
std::wstring gbkToWide(const std::string& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = MultiByteToWideChar(kGbk, 0, text.data(), size, nullptr, 0);
    if (n <= 0) return {};
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(kGbk, 0, text.data(), size, out.data(), n);
    return out;
}

// Characters outside GBK become '?', the default character of code page 936.
std::string wideToGbk(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int n = WideCharToMultiByte(kGbk, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(kGbk, 0, text.data(), size, out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace win32

namespace win32 {

std::string windowText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(
        static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return wideToGbk(text);
}

void setWindowText(HWND window, const std::string& text) {
    SetWindowTextW(window, gbkToWide(text).c_str());
}

}  // namespace win32
