// Prints what the clipboard holds, for the end-to-end copy test: the CF_UNICODETEXT text
// as UTF-8 hex, whether CF_TEXT is there beside it, and the CF_LOCALE identifier.
#include <windows.h>

#include <cstdio>
#include <string>

#include "text/codepage.h"

int main() {
    for (int attempt = 0; attempt < 50 && !OpenClipboard(nullptr); ++attempt) Sleep(20);
    std::string hex;
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* text = static_cast<const char16_t*>(GlobalLock(data))) {
            const std::string utf8 = codepage::utf16ToUtf8(text);
            for (unsigned char c : utf8) {
                char b[3];
                std::snprintf(b, sizeof b, "%02x", c);
                hex += b;
            }
            GlobalUnlock(data);
        }
    }
    unsigned long locale = 0;
    if (HANDLE data = GetClipboardData(CF_LOCALE)) {
        if (const auto* id = static_cast<const LCID*>(GlobalLock(data))) {
            locale = *id;
            GlobalUnlock(data);
        }
    }
    std::printf("unicode %s\ntext %d\nlocale %lx\n", hex.empty() ? "-" : hex.c_str(),
                IsClipboardFormatAvailable(CF_TEXT) ? 1 : 0, locale);
    CloseClipboard();
    return 0;
}
