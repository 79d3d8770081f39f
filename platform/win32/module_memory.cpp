// kernel32 behind the module memory services. On i386 an address is the pointer itself.
#include "platform/module_memory.h"

#include <windows.h>

namespace {

class Win32ModuleMemory : public platform::ModuleMemory {
  public:
    platform::Address virtualAlloc(platform::Address address, std::uint32_t size,
                                   std::uint32_t type, std::uint32_t protect) override {
        return toAddress(VirtualAlloc(toPointer(address), size, type, protect));
    }
    bool virtualFree(platform::Address address, std::uint32_t size, std::uint32_t type) override {
        return VirtualFree(toPointer(address), size, type) != 0;
    }
    std::uint32_t loadLibrary(platform::Address name) override {
        return toAddress(LoadLibraryA(static_cast<const char*>(toPointer(name))));
    }
    platform::Address getProcAddress(std::uint32_t module,
                                     platform::Address nameOrOrdinal) override {
        return toAddress(
            reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(toPointer(module)),
                                                   static_cast<LPCSTR>(toPointer(nameOrOrdinal)))));
    }
    std::uint32_t call(platform::Address address, const platform::CallArguments& a) override {
        std::uint32_t result;
        // edi keeps the stack pointer across the call (callees preserve it); the stack is
        // 16-byte aligned at the call so callees built for either alignment are content.
        asm volatile(
            "movl %%esp, %%edi\n\t"
            "andl $-16, %%esp\n\t"
            "subl $8, %%esp\n\t"
            "pushl 36(%%esi)\n\t"
            "pushl 32(%%esi)\n\t"
            "pushl 28(%%esi)\n\t"
            "pushl 24(%%esi)\n\t"
            "pushl 20(%%esi)\n\t"
            "pushl 16(%%esi)\n\t"
            "pushl 12(%%esi)\n\t"
            "pushl 8(%%esi)\n\t"
            "pushl 4(%%esi)\n\t"
            "pushl 0(%%esi)\n\t"
            "call *%%eax\n\t"
            "movl %%edi, %%esp\n\t"
            : "=a"(result)
            : "0"(address), "S"(a.data())
            : "ecx", "edx", "edi", "memory", "cc");
        return result;
    }
    unsigned char* hostPointer(platform::Address address, std::uint32_t size) override {
        if (address == 0 || address + static_cast<std::uint64_t>(size) > 0x100000000ull)
            return nullptr;
        return static_cast<unsigned char*>(toPointer(address));
    }
    platform::Address addressOf(const void* bytes, std::size_t) override {
        return toAddress(bytes);
    }

  private:
    static void* toPointer(platform::Address a) { return reinterpret_cast<void*>(a); }
    static platform::Address toAddress(const void* p) {
        return static_cast<platform::Address>(reinterpret_cast<std::uintptr_t>(p));
    }
};

Win32ModuleMemory g_win32ModuleMemory;

// Installs kernel32 as the module memory services of every program that links this.
struct Installer {
    Installer() { platform::setModuleMemory(&g_win32ModuleMemory); }
} g_installer;

}  // namespace
