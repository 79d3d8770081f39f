// The module memory services in use, installed at start (or by a test).
#include "platform/module_memory.h"

#include <cstdlib>

namespace platform {
namespace {
ModuleMemory* g_moduleMemory = nullptr;
}

ModuleMemory& moduleMemory() {
    if (!g_moduleMemory) std::abort();  // a program or test that forgot to install one
    return *g_moduleMemory;
}

void setModuleMemory(ModuleMemory* implementation) {
    g_moduleMemory = implementation;
}

}  // namespace platform
