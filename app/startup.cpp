#include "app/startup.h"

#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include "platform/win32/program_folder.h"
#include "platform/win32/system.h"
#include "platform/win32/window_text.h"
#include "skin/skin.h"
#include "ui/ui.h"

namespace {

void onMainWindowCreated(Skin& skin, ui::MainWindow& window) {
    skin.attachSkinResource({kSkinResource, kSkinResourceSize}, "", kProgramColours);
    skin.adjustSkinAero(kProgramAero);
    // Off the window thread: the window is usable while the probe and the echo page wait.
    window.showPublicAddress();
}

}  // namespace

std::unique_ptr<ui::MainWindow> createMainWindow(platform::Services& os) {
    // The address data file beside the program, wherever it was started from.
    const std::wstring folder = win32::programFolder();
    auto window = std::make_unique<ui::MainWindow>(
        os, folder.empty() ? platform::Path() : win32::pathOf(folder + L"ipdata.db"));
    if (!window->create()) return nullptr;
    return window;
}

int runVerdalo(CreateMainWindow createMainWindow) {
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    platform::win32::System system;
    platform::Services os = system.services();
    // Before any window, so that it ends after the last one: its end unloads the engine,
    // which hands every window it skinned back its own procedure.
    Skin skin(os.moduleMemory);
    skin.loadSkinLibrary();
    std::unique_ptr<ui::MainWindow> window = createMainWindow(os);
    if (!window) {
        const std::wstring text =
            win32::utf8ToWide("运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
        MessageBoxW(nullptr, text.c_str(), win32::utf8ToWide("错误").c_str(), MB_OK | MB_ICONERROR);
        return -1;
    }
    onMainWindowCreated(skin, *window);
    const int exitCode = ui::runMessageLoop();
    // The work stops (its requests cut short) and the window goes before the skin engine.
    window.reset();
    return exitCode;
}
