// Memory, library and call services for the in-memory module loader: shaped like the
// kernel32 calls it makes. Addresses are 32-bit values in the process the image runs in;
// platform/win32 passes through to kernel32, tests/fakes simulates a 32-bit space.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

using Address = std::uint32_t;  // 0 is the null address
using CallArguments = std::array<std::uint32_t, 10>;

inline constexpr std::uint32_t kMemCommitReserve = 0x3000;
inline constexpr std::uint32_t kMemRelease = 0x8000;
inline constexpr std::uint32_t kPageReadOnly = 0x02;
inline constexpr std::uint32_t kPageReadWrite = 0x04;
inline constexpr std::uint32_t kPageExecuteRead = 0x20;
inline constexpr std::uint32_t kPageExecuteReadWrite = 0x40;

class ModuleMemory {
  public:
    virtual ~ModuleMemory() = default;
    // A zero-filled region at exactly `address` (anywhere when 0), or 0.
    virtual Address virtualAlloc(Address address, std::uint32_t size, std::uint32_t type,
                                 std::uint32_t protect) = 0;
    virtual bool virtualFree(Address address, std::uint32_t size, std::uint32_t type) = 0;
    // Sets the access of every page that [address, address + size) touches.
    virtual bool virtualProtect(Address address, std::uint32_t size, std::uint32_t protect) = 0;
    virtual std::uint32_t loadLibrary(Address name) = 0;
    // Gives back one reference that loadLibrary handed out.
    virtual bool freeLibrary(std::uint32_t module) = 0;
    // nameOrOrdinal below 0x10000 is an ordinal, as with GetProcAddress.
    virtual Address getProcAddress(std::uint32_t module, Address nameOrOrdinal) = 0;
    // Calls the code at `address` with ten 32-bit arguments, a[0] pushed last; the stack
    // pointer is restored afterwards, so cdecl and stdcall callees of any arity work.
    virtual std::uint32_t call(Address address, const CallArguments& arguments) = 0;
    // The bytes at `address` as this process sees them, or nullptr when [address,
    // address + size) is not inside one region handed out (or exposed) before.
    virtual unsigned char* hostPointer(Address address, std::uint32_t size) = 0;
    // The address under which code called through `call` sees the caller's bytes; 0 when
    // they cannot be shown to it.
    virtual Address addressOf(const void* bytes, std::size_t size) = 0;
};

}  // namespace platform
