// Maps a 32-bit Windows library image (PE32, i386) held in memory into one region of its
// own, relocates it, links its imports through the platform, starts it and finds its
// exports: what the system's loader does for a file, without the file.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/module_memory.h"

// Calls `address` with exactly ten 32-bit arguments and restores the stack pointer after
// the call, so cdecl and stdcall callees taking any number of them work. Address 0 is
// never called; the result is then 0.
std::uint32_t callAddress(platform::Address address, std::uint32_t a1 = 0, std::uint32_t a2 = 0,
                          std::uint32_t a3 = 0, std::uint32_t a4 = 0, std::uint32_t a5 = 0,
                          std::uint32_t a6 = 0, std::uint32_t a7 = 0, std::uint32_t a8 = 0,
                          std::uint32_t a9 = 0, std::uint32_t a10 = 0);

class InMemoryModule {
  public:
    InMemoryModule() = default;
    // Destruction is `destroy`: a loaded image stays mapped and is not told.
    ~InMemoryModule() = default;

    // Forgets the image without unloading it; it stays mapped for the rest of the process.
    void destroy() {
        base_ = 0;
        size_ = 0;
    }
    // A shallow copy sharing the mapping, without any count.
    InMemoryModule copy() const { return *this; }
    // Unloads a held image first. `resolver` (0 for none) is called for every import with
    // the library name, the routine name (an ordinal as decimal text) and `resolverValue`,
    // and returns the address to use or 0 to leave it to the platform. Any image that
    // fails a check leaves nothing mapped.
    bool load(std::span<const unsigned char> image, platform::Address resolver = 0,
              std::uint32_t resolverValue = 0);
    // Tells the image it is detached and releases the region; true when nothing is loaded
    // afterwards.
    bool unload();
    // An export by exact name, or by ordinal when `name` is canonical decimal ("7", "-2"
    // but not "07"); 0 when absent or nothing is loaded.
    platform::Address findExport(std::string_view name) const;
    platform::Address entryAddress() const;
    platform::Address moduleBase() const { return base_; }
    std::uint32_t mappedSize() const { return size_; }

  private:
    platform::Address base_ = 0;
    // Every later walk of the mapped headers is bounded by the region actually mapped.
    std::uint32_t size_ = 0;
};
