// The main window: creation, the wiring of its controls to the work, the toolbar.
#include <functional>

#include "io/io.h"
#include "lookup/lookup.h"
#include "platform/win32/window_text.h"
#include "ui/internal.h"
#include "ui/ui.h"

namespace ui {

namespace {

const wchar_t kMainClass[] = L"VerdaloMain";
HWND g_main = nullptr;
HWND g_lastFocus = nullptr;

struct ButtonAction {
    int id;
    void (*action)(view::MainViews&);
};
const ButtonAction kButtonActions[] = {
    {id::按钮_单一查询, runSingleQuery},     {id::按钮_复制, copyResult},
    {id::按钮_反向查询, startReverseSearch}, {id::按钮_反向导出, exportWithDialog},
    {id::按钮_文件位置, browseImportFile},   {id::按钮_导入, importAddressList},
    {id::按钮_保存位置, browseSaveLocation}, {id::按钮_导出, exportResults},
};

void onCommand(int id, int code) {
    const int entries = static_cast<int>(std::size(kToolbarEntries));
    if (id >= kToolbarCommandBase && id < kToolbarCommandBase + entries) {
        onToolbarButton(id - kToolbarCommandBase);
        return;
    }
    if (code != BN_CLICKED) return;
    for (const ButtonAction& b : kButtonActions) {
        if (b.id == id) {
            b.action(mainViews());
            return;
        }
    }
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(w), HIWORD(w));
            return 0;
        case WM_CTLCOLORSTATIC: {
            LRESULT brush;
            if (labelColours(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w), brush))
                return brush;
            break;
        }
        case WM_ACTIVATE:
            // Like a dialog: the control that had the focus gets it back on reactivation
            // (after the about window, another program, a message box).
            if (LOWORD(w) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window, focus)) g_lastFocus = focus;
            } else if (g_lastFocus && IsWindow(g_lastFocus)) {
                SetFocus(g_lastFocus);
                return 0;
            }
            break;
        case WM_TIMER:
            if (w == kListRedrawTimer) {
                thawQueryList();
                return 0;
            }
            break;
        case kRunOnWindowThread:
            (*reinterpret_cast<const std::function<void()>*>(l))();
            return 0;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (window == g_main) PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, w, l);
}

}  // namespace

HINSTANCE instance() {
    return GetModuleHandleW(nullptr);
}
HWND mainWindowHandle() {
    return g_main;
}

bool createMainWindow(void (*onCreated)()) {
    if (!registerWindowClass(kMainClass, mainProc)) return false;

    const std::wstring caption = win32::gbkToWide(kMainWindow.caption);
    HWND window = CreateWindowExW(
        WS_EX_APPWINDOW, kMainClass, caption.c_str(),
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 50, 50,
        kMainWindow.width, kMainWindow.height, nullptr, nullptr, instance(), nullptr);
    if (!window) return false;
    if (!createControls(window, kMainWindow)) {
        DestroyWindow(window);
        return false;
    }
    g_main = window;
    bindMainViews(window);
    centreOnScreen(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (onCreated) onCreated();
    return true;
}

void onToolbarButton(int index) {
    switch (index) {
        case 0:
            startBatchQuery(mainViews());
            break;
        case 2:
            requestStop();
            break;
        case 4:
            openAboutWindow();
            break;
        default:
            break;  // separators never fire
    }
}

}  // namespace ui
