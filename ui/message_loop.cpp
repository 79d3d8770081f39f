// The message loop.
#include "ui/internal.h"
#include "ui/ui.h"

namespace ui {

void dispatchOne(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    const bool ours = root && (isMainWindow(root) || isAboutWindow(root) || isStatsWindow(root));
    if (ours && msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE) {
        // None of our controls uses Esc itself, so it always closes the window that has it.
        PostMessageW(root, WM_CLOSE, 0, 0);
        return;
    }
    // Ctrl+C anywhere in the 统计 window copies its summary.
    if (ours && msg.message == WM_KEYDOWN && msg.wParam == 'C' && GetKeyState(VK_CONTROL) < 0 &&
        isStatsWindow(root)) {
        PostMessageW(root, WM_COPY, 0, 0);
        return;
    }
    // Tab moves between controls; Enter goes to the control (dialog navigation sends the
    // window IDOK, which nothing handles), so the focus stays where it is.
    if (ours && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

int runMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got < 0) return -1;
        dispatchOne(msg);
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace ui
