// The main window: creation, the wiring of its controls to the work, the toolbar.
#include <memory>

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

// The work behind the buttons, made with the window and never destroyed: the process ends
// from endProgram with its workers wherever they are.
lookup::Lookups* g_lookups = nullptr;
io::Actions* g_io = nullptr;

// The address data file beside the program, wherever it was started from.
std::string offlineDataPath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    // A full buffer means the name was cut short: ask again with more room.
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size())
        path.resize(path.size() * 2);
    if (n == 0) return {};
    path.resize(n);
    path.resize(path.find_last_of(L"\\/") + 1);
    return win32::wideToGbk(path) + "ipdata.db";
}

struct ButtonAction {
    int id;
    void (*action)();
};
const ButtonAction kButtonActions[] = {
    {id::singleQueryButton, [] { g_lookups->runSingleQuery(); }},
    {id::copyButton, [] { g_io->copyResult(); }},
    {id::reverseSearchButton, [] { g_lookups->startReverseSearch(); }},
    {id::reverseExportButton, [] { g_io->exportWithDialog(); }},
    {id::browseFileButton, [] { g_io->browseImportFile(); }},
    {id::importButton, [] { g_io->importAddressList(); }},
    {id::browseSaveButton, [] { g_io->browseSaveLocation(); }},
    {id::exportButton, [] { g_io->exportResults(); }},
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
            b.action();
            return;
        }
    }
}

LRESULT CALLBACK mainProc(HWND window, UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(w), HIWORD(w));
            return 0;
        case WM_NOTIFY: {
            LRESULT result = 0;
            if (answerListNotification(*reinterpret_cast<const NMHDR*>(l), result)) return result;
            break;
        }
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
            if (w == kAppendedRowsTimer) {
                showAppendedRows();
                return 0;
            }
            break;
        case kPostedWork:
            runPostedWork();
            return 0;
        case WM_CLOSE:
            // A run's workers would go on asking the services while the window goes.
            if (g_lookups) g_lookups->requestStop();
            DestroyWindow(window);
            return 0;
        case WM_DESTROY:
            if (window == g_main) dropPostedWork();
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

bool createMainWindow(platform::Services& os, void (*onCreated)()) {
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
    bindMainView(window);
    g_lookups = new lookup::Lookups(os, mainView(), offlineDataPath());
    g_io = new io::Actions(os, mainView());
    centreOnScreen(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    if (onCreated) onCreated();
    return true;
}

void showPublicAddress() {
    if (g_lookups) g_lookups->showPublicAddress();
}

void onToolbarButton(int index) {
    switch (index) {
        case 0:
            g_lookups->startBatchQuery();
            break;
        case 2:
            g_lookups->requestStop();
            break;
        case 4:
            openAboutWindow();
            break;
        default:
            break;  // separators never fire
    }
}

}  // namespace ui
