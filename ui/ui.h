// The windowing toolkit of the program: the two windows, the message loop, the end
// routines, and the handlers that belong to the window itself.
#pragma once

#include <windows.h>

namespace ui {

// Runs until the main window is closed; returns the quit code.
int runMessageLoop();

// End routines run in the order of registration when the program ends.
void registerEndRoutine(void (*routine)());
// Runs the end routines and ends the process at once: a worker still running stops
// where it is and writes nothing further.
[[noreturn]] void endProgram(int exitCode);

// Modal over `owner`; returns when the about window has been closed.
void openAboutWindow(HWND owner);
void closeAboutWindow();
void openAboutLink();

}  // namespace ui
