// The clipboard with CF_UNICODETEXT beside CF_TEXT (GBK, marked by CF_LOCALE as Chinese),
// so programs of any locale paste the text right.
#include "platform/win32/clipboard.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/unique_handle.h"
#include "text/codepage.h"

namespace platform::win32 {
namespace {

// SetClipboardData fails after EmptyClipboard when the clipboard was opened without a
// window, so the clipboard gets one of its own: message-only, never shown.
HWND clipboardWindow() {
    static HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                         GetModuleHandleW(nullptr), nullptr);
    return window;
}

class ClipboardLock {
  public:
    ClipboardLock() {
        // Another program may hold the clipboard for a moment; wait a little for it.
        for (int attempt = 0; attempt < 20 && !open_; ++attempt) {
            open_ = OpenClipboard(clipboardWindow()) != 0;
            if (!open_) Sleep(10);
        }
    }
    ~ClipboardLock() {
        if (open_) CloseClipboard();
    }
    ClipboardLock(const ClipboardLock&) = delete;
    ClipboardLock& operator=(const ClipboardLock&) = delete;
    bool open() const { return open_; }

  private:
    bool open_ = false;
};

// Hands a copy of the bytes to the clipboard; the clipboard owns the memory on success.
bool putData(UINT format, const void* data, std::size_t size) {
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, size));
    if (!memory) return false;
    void* target = GlobalLock(memory.get());
    if (!target) return false;
    std::memcpy(target, data, size);
    GlobalUnlock(memory.get());
    if (!SetClipboardData(format, memory.get())) return false;
    memory.release();
    return true;
}

}  // namespace

bool SystemClipboard::setText(const std::string& text) {
    ClipboardLock lock;
    if (!lock.open() || !EmptyClipboard()) return false;
    const std::u16string wide = codepage::utf8ToUtf16(text) + u'\0';
    const bool unicode = putData(CF_UNICODETEXT, wide.data(), wide.size() * sizeof(char16_t));
    // The GBK copy for programs that read only CF_TEXT, as the system locale reads it here.
    const std::string gbk = codepage::utf16ToGbk(wide.substr(0, wide.size() - 1));
    const bool ansi = putData(CF_TEXT, gbk.c_str(), gbk.size() + 1);
    const LCID chinese =
        MAKELCID(MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED), SORT_DEFAULT);
    putData(CF_LOCALE, &chinese, sizeof chinese);
    return unicode && ansi;
}

bool SystemClipboard::getText(std::string& text) {
    ClipboardLock lock;
    if (!lock.open()) return false;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        const auto* wide = static_cast<const char16_t*>(GlobalLock(data));
        if (!wide) return false;
        const std::size_t limit = GlobalSize(data) / sizeof(char16_t);
        std::size_t length = 0;
        while (length < limit && wide[length]) ++length;
        text = codepage::utf16ToUtf8(std::u16string(wide, length));
        GlobalUnlock(data);
        return true;
    }
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        const auto* bytes = static_cast<const char*>(GlobalLock(data));
        if (!bytes) return false;
        text = codepage::utf16ToUtf8(
            codepage::gbkToUtf16(std::string(bytes, strnlen(bytes, GlobalSize(data)))));
        GlobalUnlock(data);
        return true;
    }
    return false;
}

}  // namespace platform::win32
