// The program's life cycle, with the main window's making passed in (a test gives one that
// fails, to see the fatal path).
#pragma once

#include <memory>

#include "platform/services.h"
#include "ui/main_window.h"

// Builds the main window over `os` and shows it; null when it cannot be.
using CreateMainWindow = std::unique_ptr<ui::MainWindow> (*)(platform::Services& os);
std::unique_ptr<ui::MainWindow> createMainWindow(platform::Services& os);

// Start-up in its fixed order, the message loop, then the end: the window and its work go
// first, the skin engine after them. Returns the program's exit code: the main window's
// quit code, or -1 when it could not be made.
int runVerdalo(CreateMainWindow createMainWindow);
