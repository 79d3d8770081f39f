// The operating-system services the program uses, built once at start-up and passed down
// to whatever needs them: the Win32 ones in the program, fakes in native tests.
#pragma once

#include "platform/clipboard.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/internet.h"
#include "platform/module_memory.h"
#include "platform/probe.h"

namespace platform {

struct Services {
    Files& files;
    Dialogs& dialogs;
    Clipboard& clipboard;
    Internet& internet;
    Probe& probe;
    ModuleMemory& moduleMemory;
};

}  // namespace platform
