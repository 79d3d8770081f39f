// The about window: modal over the main window, closed by its button or Esc; its link
// label opens the maker's address in the user's browser.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <shellapi.h>

#include "platform/win32/system_call.h"
#include "platform/win32/window_text.h"
#include "ui/internal.h"
#include "ui/ui.h"

namespace ui {

namespace {

const wchar_t kAboutClass[] = L"VerdaloAbout";
HWND g_about = nullptr;
HWND g_owner = nullptr;  // disabled while the about window is open

LRESULT CALLBACK aboutProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(w) == id::about::okButton && HIWORD(w) == BN_CLICKED) closeAboutWindow();
            return 0;
        case WM_CTLCOLORSTATIC: {
            LRESULT brush;
            if (labelColours(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w), brush))
                return brush;
            break;
        }
        case WM_CLOSE:
            closeAboutWindow();
            return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

HWND createAboutWindow() {
    if (!registerWindowClass(kAboutClass, aboutProc)) return nullptr;
    const std::wstring caption = win32::gbkToWide(kAboutWindow.caption);
    // No owner: the window has its own taskbar entry; modality comes from disabling main.
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, kAboutClass, caption.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50, 50,
                                  kAboutWindow.width, kAboutWindow.height, nullptr, nullptr,
                                  instance(), nullptr);
    if (!window) return nullptr;
    if (!createControls(window, kAboutWindow)) {
        DestroyWindow(window);
        return nullptr;
    }
    return window;
}

}  // namespace

HWND aboutWindowHandle() {
    return g_about;
}

void openAboutWindow(HWND owner) {
    if (g_about) {
        SetForegroundWindow(g_about);
        return;
    }
    g_about = createAboutWindow();
    if (!g_about) return;
    g_owner = owner;
    HWND main = owner;
    centreOnScreen(g_about);
    if (main) EnableWindow(main, FALSE);
    ShowWindow(g_about, SW_SHOWNORMAL);
    UpdateWindow(g_about);
    SetFocus(GetDlgItem(g_about, id::about::okButton));

    MSG msg;
    while (g_about) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending; the outer loop must see the quit too.
            closeAboutWindow();
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        dispatchOne(msg);
    }
}

void closeAboutWindow() {
    if (!g_about) return;
    HWND about = g_about;
    g_about = nullptr;
    // Enable main first, so activation returns to it rather than to another program.
    HWND main = IsWindow(g_owner) ? g_owner : nullptr;
    g_owner = nullptr;
    if (main) EnableWindow(main, TRUE);
    DestroyWindow(about);
    if (main) SetActiveWindow(main);
}

void openAboutLink() {
    HWND about = g_about;
    if (!about) return;
    HWND label = GetDlgItem(about, id::about::link);
    const int length = GetWindowTextLengthW(label);
    std::wstring address(static_cast<size_t>(length) + 1, L'\0');
    address.resize(static_cast<size_t>(GetWindowTextW(label, address.data(), length + 1)));
    // The caption is the program's own GBK text; the address is plain ASCII, so the ANSI
    // call reads it the same on any locale. The outcome is not reported.
    const std::string gbk = win32::wideToGbk(address);
    if (auto* open = win32::systemCall<decltype(ShellExecuteA)>(L"shell32.dll", "ShellExecuteA"))
        open(nullptr, "open", gbk.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ui
