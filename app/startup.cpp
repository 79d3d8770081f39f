#include "app/startup.h"

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include "platform/win32/system.h"
#include "platform/win32/window_text.h"
#include "skin/skin.h"
#include "ui/ui.h"

namespace {

void onMainWindowCreated(ui::MainWindow& window) {
    attachSkinResource({kSkinResource, kSkinResourceSize}, "", kProgramColours);
    adjustSkinAero(kProgramAero);
    // Off the window thread: the window is usable while the probe and the echo page wait.
    window.showPublicAddress();
}

void onProgramEnd() {
    releaseSkinState();
}

}  // namespace

std::unique_ptr<ui::MainWindow> createMainWindow(platform::Services& os) {
    auto window = std::make_unique<ui::MainWindow>(os, ui::offlineDataPath());
    if (!window->create()) return nullptr;
    return window;
}

void runVerdalo(CreateMainWindow createMainWindow) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Lives until the process ends (runVerdalo never returns).
    platform::win32::System system;
    platform::Services os = system.services();
    createModuleLoader(os.moduleMemory);
    ui::registerEndRoutine(onProgramEnd);
    loadSkinLibrary();
    std::unique_ptr<ui::MainWindow> window = createMainWindow(os);
    if (!window) {
        // The end routines do not run on this path.
        const std::wstring text =
            win32::gbkToWide("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
        MessageBoxW(nullptr, text.c_str(), win32::gbkToWide("错误").c_str(), MB_OK | MB_ICONERROR);
        ExitProcess(static_cast<UINT>(-1));
    }
    onMainWindowCreated(*window);
    const int exitCode = ui::runMessageLoop();
    // The work stops (its requests cut short) before the end routines run.
    window.reset();
    ui::endProgram(exitCode);
}
