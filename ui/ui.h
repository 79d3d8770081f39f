// The windowing toolkit of the program: the two windows, the message loop, the end
// routines, and the handlers that belong to the window itself.
#pragma once

#include "platform/services.h"
#include "table/main_view.h"

namespace ui {

// Creates the main window with every control and the work behind its buttons (over `os`),
// centres and shows it, then runs `onCreated` once on this thread. False when the window
// cannot be created.
bool createMainWindow(platform::Services& os, void (*onCreated)());

// The main window as the work sees it; usable once createMainWindow has succeeded.
MainView& mainView();
// Start-up's last step: the public address in panel 2, fetched off the window thread.
void showPublicAddress();

// Runs until the main window is closed; returns the quit code.
int runMessageLoop();

// End routines run in the order of registration when the program ends.
void registerEndRoutine(void (*routine)());
// Runs the end routines and ends the process at once: a worker still running stops
// where it is and writes nothing further.
[[noreturn]] void endProgram(int exitCode);

void onToolbarButton(int index);
void openAboutWindow();  // modal; returns when the about window has been closed
void closeAboutWindow();
void openAboutLink();

}  // namespace ui
