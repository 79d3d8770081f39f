// Verdalo's start-up with a main window that cannot be created.
#include <windows.h>

#include "app/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return runVerdalo([](platform::Services&) { return std::unique_ptr<ui::MainWindow>(); });
}
