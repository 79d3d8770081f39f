#include "app/startup.h"

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include "lookup/lookup.h"
#include "platform/win32/window_text.h"
#include "skin/skin.h"
#include "ui/ui.h"

namespace {

void onMainWindowCreated() {
    attachSkinResource({kSkinResource, kSkinResourceSize}, "", 90, 75, 0);
    adjustSkinAero(220, 30, 0, 9, 0, 0, 50, 0, 255);
    ui::mainViews().状态条1.setPanel(2, fetchPublicAddress());
}

void onProgramEnd() {
    releaseSkinState();
}

}  // namespace

void runVerdalo(CreateMainWindow createMainWindow) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    createModuleLoader();
    ui::registerEndRoutine(onProgramEnd);
    loadSkinLibrary();
    if (!createMainWindow(onMainWindowCreated)) {
        // The end routines do not run on this path.
        const std::wstring text =
            win32::gbkToWide("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
        MessageBoxW(nullptr, text.c_str(), win32::gbkToWide("错误").c_str(), MB_OK | MB_ICONERROR);
        ExitProcess(static_cast<UINT>(-1));
    }
    ui::endProgram(ui::runMessageLoop());
}
