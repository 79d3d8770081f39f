#include "app/startup.h"

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include "platform/win32/system.h"
#include "platform/win32/window_text.h"
#include "skin/skin.h"
#include "ui/ui.h"

namespace {

void onMainWindowCreated() {
    attachSkinResource({kSkinResource, kSkinResourceSize}, "", 90, 75, 0);
    adjustSkinAero(220, 30, 0, 9, 0, 0, 50, 0, 255);
    // Off the window thread: the window is usable while the probe and the echo page wait.
    ui::showPublicAddress();
}

void onProgramEnd() {
    releaseSkinState();
}

}  // namespace

void runVerdalo(CreateMainWindow createMainWindow) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    // Built once and never destroyed: workers may still use it while the process ends.
    static auto* system = new platform::win32::System;
    static platform::Services os = system->services();
    createModuleLoader(os.moduleMemory);
    ui::registerEndRoutine(onProgramEnd);
    loadSkinLibrary();
    if (!createMainWindow(os, onMainWindowCreated)) {
        // The end routines do not run on this path.
        const std::wstring text =
            win32::gbkToWide("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
        MessageBoxW(nullptr, text.c_str(), win32::gbkToWide("错误").c_str(), MB_OK | MB_ICONERROR);
        ExitProcess(static_cast<UINT>(-1));
    }
    ui::endProgram(ui::runMessageLoop());
}
