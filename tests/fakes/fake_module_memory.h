// A simulated 32-bit address space for native tests of the module loader: regions are
// host buffers under made-up addresses, libraries and their routines are registered by
// the test, and a "code address" stands for a routine the test registered.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/module_memory.h"

namespace fake {

using Routine = std::function<std::uint32_t(const platform::CallArguments&)>;

struct ModuleCall {
    // "alloc", "free", "protect", "loadLibrary", "freeLibrary", "getProcAddress", "call"
    std::string name;
    std::vector<std::uint32_t> args;
    std::string text;  // the library or routine name read from the space, or "#17" for an ordinal
    std::uint32_t result = 0;
};

class ModuleMemory : public platform::ModuleMemory {
  public:
    platform::Address virtualAlloc(platform::Address address, std::uint32_t size,
                                   std::uint32_t type, std::uint32_t protect) override;
    bool virtualFree(platform::Address address, std::uint32_t size, std::uint32_t type) override;
    // Inside one region only; every page the range touches takes the new protection.
    bool virtualProtect(platform::Address address, std::uint32_t size,
                        std::uint32_t protect) override;
    std::uint32_t loadLibrary(platform::Address name) override;
    bool freeLibrary(std::uint32_t module) override;
    platform::Address getProcAddress(std::uint32_t module,
                                     platform::Address nameOrOrdinal) override;
    std::uint32_t call(platform::Address address, const platform::CallArguments& a) override;
    unsigned char* hostPointer(platform::Address address, std::uint32_t size) override;
    platform::Address addressOf(const void* bytes, std::size_t size) override;

    // Marks [address, address + size) as taken, so a request for it fails.
    void reserve(platform::Address address, std::uint32_t size);
    // A library the platform "loads" by this name (compared ignoring ASCII case).
    std::uint32_t addLibrary(const std::string& name);
    // An export of a library; `ordinal` 0 means by name only.
    platform::Address addExport(std::uint32_t library, const std::string& name,
                                std::uint16_t ordinal, Routine routine);
    // A code address that runs `routine` when called.
    platform::Address addRoutine(Routine routine);
    void setRoutine(platform::Address address, Routine routine);
    // Copies bytes into a fresh region and returns its address.
    platform::Address place(const std::vector<unsigned char>& bytes);
    std::string readText(platform::Address address);  // NUL-terminated, "" when unmapped
    // The host bytes behind an address that `addressOf` handed out, or nullptr.
    const void* exposed(platform::Address address) const;
    // The protection of the page holding `address`, or 0 when it is not mapped.
    std::uint32_t protectionAt(platform::Address address) const;
    // Library references handed out by loadLibrary and not yet given back.
    int references(std::uint32_t library) const;

    std::vector<ModuleCall> calls;
    std::size_t regionCount() const { return regions_.size(); }
    std::uint32_t maxRegionSize = 64u << 20;  // larger requests fail, like a full space
    std::uint32_t unknownCallResult = 1;      // result of a call to an address without routine
    bool refuseFree = false;
    bool refuseProtect = false;

  private:
    struct Region {
        std::vector<unsigned char> bytes;
        std::vector<std::uint32_t> protection;  // one per page
    };
    struct Library {
        std::string name;
        std::map<std::string, platform::Address> byName;
        std::map<std::uint16_t, platform::Address> byOrdinal;
    };
    bool overlaps(std::uint64_t address, std::uint64_t size) const;
    const std::pair<const platform::Address, Region>* regionAt(platform::Address address) const;
    std::map<platform::Address, Region> regions_;
    std::map<platform::Address, std::uint32_t> reserved_;
    std::map<platform::Address, std::pair<const void*, std::size_t>> exposed_;
    std::map<std::uint32_t, Library> libraries_;
    std::map<std::uint32_t, int> references_;
    std::map<platform::Address, Routine> routines_;
    platform::Address nextCode_ = 0xC0000000u;
    platform::Address nextExposed_ = 0xA0000000u;
};

}  // namespace fake
