// The program's operating-system services: built once at start-up and handed down as
// platform::Services. Whatever holds those references must not outlive this object.
#pragma once

#include "platform/services.h"
#include "platform/win32/clipboard.h"
#include "platform/win32/dialogs.h"
#include "platform/win32/files.h"
#include "platform/win32/internet.h"
#include "platform/win32/module_memory.h"
#include "platform/win32/probe.h"

namespace platform::win32 {

class System {
  public:
    System() = default;
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    Services services() { return {files_, dialogs_, clipboard_, internet_, probe_, moduleMemory_}; }

  private:
    FileSystem files_;
    CommonDialogs dialogs_;
    SystemClipboard clipboard_;
    WinInet internet_;
    IcmpProbe probe_;
    KernelModuleMemory moduleMemory_;
};

}  // namespace platform::win32
