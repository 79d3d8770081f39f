// Maps a 32-bit Windows library image (PE32, i386) held in memory into one region of its
// own, relocates it, links its imports, protects each section as it asks, starts it and
// finds its exports: what the system's loader does for a file, without the file. Every
// operating-system service comes from the ModuleMemory the caller passes in.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "platform/module_memory.h"

// Calls `address` with exactly ten 32-bit arguments and restores the stack pointer after
// the call, so cdecl and stdcall callees taking any number of them work. Address 0 is
// never called; the result is then 0.
std::uint32_t callAddress(platform::ModuleMemory& memory, platform::Address address,
                          std::uint32_t a1 = 0, std::uint32_t a2 = 0, std::uint32_t a3 = 0,
                          std::uint32_t a4 = 0, std::uint32_t a5 = 0, std::uint32_t a6 = 0,
                          std::uint32_t a7 = 0, std::uint32_t a8 = 0, std::uint32_t a9 = 0,
                          std::uint32_t a10 = 0);

// Owns at most one loaded image and the libraries its imports loaded. Move-only: one
// mapping has one owner, and the owner's end unloads it.
class InMemoryModule {
  public:
    explicit InMemoryModule(platform::ModuleMemory& memory) : memory_(&memory) {}
    ~InMemoryModule() { unload(); }
    InMemoryModule(InMemoryModule&& other) noexcept;
    // Unloads what this one holds, then takes the other's image.
    InMemoryModule& operator=(InMemoryModule&& other) noexcept;
    InMemoryModule(const InMemoryModule&) = delete;
    InMemoryModule& operator=(const InMemoryModule&) = delete;

    // Unloads a held image first. `resolver` (0 for none) is called for every import with
    // the library name, the routine name (an ordinal as decimal text) and `resolverValue`,
    // and returns the address to use or 0 to leave it to the platform. Any image that
    // fails a check leaves nothing mapped and no library loaded.
    bool load(std::span<const unsigned char> image, platform::Address resolver = 0,
              std::uint32_t resolverValue = 0);
    // Tells a started image it is detached, releases the region and then the libraries;
    // true when nothing is loaded afterwards. When the mapped headers lost their
    // signatures or the release is refused, the image stays and so do its libraries.
    bool unload();
    // An export by exact name, or by ordinal when `name` is canonical decimal ("7", "-2"
    // but not "07"); 0 when absent or nothing is loaded.
    platform::Address findExport(std::string_view name) const;
    platform::Address entryAddress() const;
    platform::Address moduleBase() const { return base_; }
    std::uint32_t mappedSize() const { return size_; }
    platform::ModuleMemory& memory() const { return *memory_; }

  private:
    void forget();

    platform::ModuleMemory* memory_;
    platform::Address base_ = 0;
    // Every later walk of the mapped headers is bounded by the region actually mapped.
    std::uint32_t size_ = 0;
    bool started_ = false;  // its entry point accepted the attach
    std::vector<std::uint32_t> libraries_;
};
