// The program's life cycle, with the main window's making passed in (a test gives one that
// fails, to see the fatal path).
#pragma once

#include <memory>

#include "platform/services.h"
#include "ui/main_window.h"

// Builds the main window over `os` and shows it; null when it cannot be.
using CreateMainWindow = std::unique_ptr<ui::MainWindow> (*)(platform::Services& os);
std::unique_ptr<ui::MainWindow> createMainWindow(platform::Services& os);

// Start-up in its fixed order, the message loop, the end routines; never returns.
[[noreturn]] void runVerdalo(CreateMainWindow createMainWindow);
