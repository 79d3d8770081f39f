// Program entry. The program reads no command line.
#include <windows.h>

#include "app/startup.h"
#include "ui/ui.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    runVerdalo(ui::createMainWindow);
}
