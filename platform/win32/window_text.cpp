#include "platform/win32/window_text.h"

#include "text/codepage.h"

namespace win32 {

// wchar_t is UTF-16 on Windows: the text room's converter serves the window calls too.
std::wstring gbkToWide(const std::string& text) {
    const std::u16string wide = codepage::gbkToUtf16(text);
    return std::wstring(wide.begin(), wide.end());
}

std::string wideToGbk(const std::wstring& text) {
    return codepage::utf16ToGbk(std::u16string(text.begin(), text.end()));
}

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
