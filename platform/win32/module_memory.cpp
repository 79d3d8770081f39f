// kernel32 behind the module memory services. On i386 an address is the pointer itself.
#include "platform/win32/module_memory.h"

#include <windows.h>

namespace platform::win32 {
namespace {

void* toPointer(Address a) {
    return reinterpret_cast<void*>(a);
}
Address toAddress(const void* p) {
    return static_cast<Address>(reinterpret_cast<std::uintptr_t>(p));
}
HMODULE toModule(std::uint32_t module) {
    return static_cast<HMODULE>(toPointer(module));
}

}  // namespace

Address KernelModuleMemory::virtualAlloc(Address address, std::uint32_t size, std::uint32_t type,
                                         std::uint32_t protect) {
    return toAddress(VirtualAlloc(toPointer(address), size, type, protect));
}

bool KernelModuleMemory::virtualFree(Address address, std::uint32_t size, std::uint32_t type) {
    return VirtualFree(toPointer(address), size, type) != 0;
}

bool KernelModuleMemory::virtualProtect(Address address, std::uint32_t size,
                                        std::uint32_t protect) {
    DWORD old = 0;  // VirtualProtect fails without somewhere to put it
    return VirtualProtect(toPointer(address), size, protect, &old) != 0;
}

std::uint32_t KernelModuleMemory::loadLibrary(Address name) {
    return toAddress(LoadLibraryA(static_cast<const char*>(toPointer(name))));
}

bool KernelModuleMemory::freeLibrary(std::uint32_t module) {
    return FreeLibrary(toModule(module)) != 0;
}

Address KernelModuleMemory::getProcAddress(std::uint32_t module, Address nameOrOrdinal) {
    return toAddress(reinterpret_cast<void*>(
        GetProcAddress(toModule(module), static_cast<LPCSTR>(toPointer(nameOrOrdinal)))));
}

std::uint32_t KernelModuleMemory::call(Address address, const CallArguments& a) {
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

unsigned char* KernelModuleMemory::hostPointer(Address address, std::uint32_t size) {
    if (address == 0 || address + static_cast<std::uint64_t>(size) > 0x100000000ull) return nullptr;
    return static_cast<unsigned char*>(toPointer(address));
}

Address KernelModuleMemory::addressOf(const void* bytes, std::size_t) {
    return toAddress(bytes);
}

}  // namespace platform::win32
