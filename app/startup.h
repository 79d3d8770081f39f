// The program's life cycle, with the main window's creation passed in (a test gives one
// that fails, to see the fatal path).
#pragma once

#include "platform/services.h"

using CreateMainWindow = bool (*)(platform::Services& os, void (*onCreated)());

// Start-up in its fixed order, the message loop, the end routines; never returns.
[[noreturn]] void runVerdalo(CreateMainWindow createMainWindow);
