// kernel32 behind the module memory services; the program's services object holds one.
#pragma once

#include "platform/module_memory.h"

namespace platform::win32 {

class KernelModuleMemory final : public ModuleMemory {
  public:
    Address virtualAlloc(Address address, std::uint32_t size, std::uint32_t type,
                         std::uint32_t protect) override;
    bool virtualFree(Address address, std::uint32_t size, std::uint32_t type) override;
    bool virtualProtect(Address address, std::uint32_t size, std::uint32_t protect) override;
    std::uint32_t loadLibrary(Address name) override;
    bool freeLibrary(std::uint32_t module) override;
    Address getProcAddress(std::uint32_t module, Address nameOrOrdinal) override;
    std::uint32_t call(Address address, const CallArguments& arguments) override;
    unsigned char* hostPointer(Address address, std::uint32_t size) override;
    Address addressOf(const void* bytes, std::size_t size) override;
};

}  // namespace platform::win32
