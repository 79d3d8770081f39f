// The about window: modal over the main window, closed by its button or Esc; its link
// label opens the maker's address in the user's browser.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <shellapi.h>

#include "platform/win32/system_call.h"
#include "platform/win32/window_text.h"
#include "ui/internal.h"

namespace ui {

namespace {

const wchar_t kAboutClass[] = L"VerdaloAbout";

HFONT aboutFont(int height, bool underline) {
    LOGFONTW lf{};
    lf.lfHeight = -height;  // character height, not cell height
    lf.lfWeight = FW_NORMAL;
    lf.lfUnderline = underline;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    lstrcpynW(lf.lfFaceName, L"微软雅黑", LF_FACESIZE);
    return CreateFontIndirectW(&lf);
}

}  // namespace

bool isAboutWindow(HWND window) {
    wchar_t name[32] = {};
    return window && GetClassNameW(window, name, static_cast<int>(std::size(name))) > 0 &&
           lstrcmpW(name, kAboutClass) == 0;
}

LRESULT CALLBACK AboutWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<AboutWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<AboutWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self) {
        switch (message) {
            case WM_COMMAND:
                if (LOWORD(w) == id::about::okButton && HIWORD(w) == BN_CLICKED) self->close();
                return 0;
            case WM_CTLCOLORSTATIC: {
                LRESULT brush;
                if (self->theme_.labelColours(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w),
                                              brush))
                    return brush;
                break;
            }
            case WM_CLOSE:
                self->close();
                return 0;
            case WM_NCDESTROY:
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
                break;
        }
    }
    return DefWindowProcW(window, message, w, l);
}

HWND AboutWindow::create() {
    if (!registerWindowClass(kAboutClass, procedure)) return nullptr;
    if (!textFont_) {
        textFont_.reset(aboutFont(14, false));
        titleFont_.reset(aboutFont(20, false));
        linkFont_.reset(aboutFont(14, true));
    }
    const std::wstring caption = win32::utf8ToWide(kAboutWindow.caption);
    // No owner: the window has its own taskbar entry; modality comes from disabling main.
    HWND window = CreateWindowExW(WS_EX_APPWINDOW, kAboutClass, caption.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 50, 50,
                                  kAboutWindow.width, kAboutWindow.height, nullptr, nullptr,
                                  instance(), this);
    if (!window) return nullptr;
    const ControlLook look{theme_.defaultFont(), nullptr, textFont_.get(), titleFont_.get(),
                           linkFont_.get()};
    if (!createControls(window, kAboutWindow, look)) {
        DestroyWindow(window);
        return nullptr;
    }
    return window;
}

void AboutWindow::open(HWND owner) {
    if (window_) {
        SetForegroundWindow(window_);
        return;
    }
    window_ = create();
    if (!window_) return;
    owner_ = owner;
    centreOnScreen(window_);
    if (owner_) EnableWindow(owner_, FALSE);
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
    SetFocus(GetDlgItem(window_, id::about::okButton));

    MSG msg;
    while (window_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // The program is ending; the outer loop must see the quit too.
            close();
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (got < 0) break;
        dispatchOne(msg);
    }
}

void AboutWindow::close() {
    if (!window_) return;
    HWND about = window_;
    window_ = nullptr;
    // Enable main first, so activation returns to it rather than to another program.
    HWND main = IsWindow(owner_) ? owner_ : nullptr;
    owner_ = nullptr;
    if (main) EnableWindow(main, TRUE);
    DestroyWindow(about);
    if (main) SetActiveWindow(main);
}

void openAboutLink(HWND label) {
    const int length = GetWindowTextLengthW(label);
    std::wstring address(static_cast<size_t>(length) + 1, L'\0');
    address.resize(static_cast<size_t>(GetWindowTextW(label, address.data(), length + 1)));
    // The address is plain ASCII, so the ANSI call reads it the same on any locale. The
    // outcome is not reported.
    const std::string ascii = win32::wideToUtf8(address);
    if (auto* open = win32::systemCall<decltype(ShellExecuteA)>(L"shell32.dll", "ShellExecuteA"))
        open(nullptr, "open", ascii.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace ui
