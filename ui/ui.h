// The windowing toolkit of the program as start-up sees it: the message loop.
#pragma once

namespace ui {

// Runs until the main window is closed; returns the quit code.
int runMessageLoop();

}  // namespace ui
