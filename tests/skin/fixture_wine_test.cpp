// The loader with the real platform under Wine: a fixture DLL of ours, relocated, linked
// against system libraries and called; and callAddress with real cdecl and stdcall code.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/win32/module_memory.h"
#include "skin/module_loader.h"

namespace {

std::vector<unsigned char> fixtureImage() {
    std::ifstream in(VERDALO_SKIN_FIXTURE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Address = platform::Address;
Address addressOf(const void* p) {
    return static_cast<Address>(reinterpret_cast<std::uintptr_t>(p));
}

TEST(FixtureDll, LoadsRelocatedLinksImportsAndAnswers) {
    platform::win32::KernelModuleMemory os;
    const std::vector<unsigned char> image = fixtureImage();
    ASSERT_GT(image.size(), 1024u) << VERDALO_SKIN_FIXTURE;
    InMemoryModule m(os);
    ASSERT_TRUE(m.load(image, 0, 0));
    // Its preferred address is this program's own: it had to move.
    EXPECT_NE(m.moduleBase(), 0x00400000u);
    EXPECT_EQ(callAddress(os, m.findExport("fixture_attach_count")), 1u);

    const char* greeting =
        reinterpret_cast<const char*>(callAddress(os, m.findExport("fixture_greeting")));
    ASSERT_NE(greeting, nullptr);
    EXPECT_STREQ(greeting, "relocated pointer");

    char text[] = "verdalo";
    EXPECT_EQ(callAddress(os, m.findExport("fixture_upper_length"), addressOf(text)), 7u);
    EXPECT_STREQ(text, "VERDALO");

    EXPECT_EQ(callAddress(os, m.findExport("fixture_weighted_sum"), 1, 1, 1, 1, 1, 1, 1, 1, 1, 1),
              55u);

    // A hundred numbered exports, by name and by ordinal.
    int found = 0;
    for (int n = 10; n < 110; ++n) {
        Address f = m.findExport("fixture_" + std::to_string(n));
        if (f != 0 && callAddress(os, f, 3) == static_cast<std::uint32_t>(3 * n + n)) ++found;
    }
    EXPECT_EQ(found, 100);
    EXPECT_NE(m.findExport("1"), 0u);
    EXPECT_EQ(m.findExport("0"), 0u);
    EXPECT_EQ(m.findExport("FIXTURE_10"), 0u);

    // Unloading tells the DLL (reason 0) and releases its memory.
    int reason = 0;
    callAddress(os, m.findExport("fixture_watch"), addressOf(&reason));
    const Address base = m.moduleBase();
    EXPECT_TRUE(m.unload());
    EXPECT_EQ(reason, 100 + DLL_PROCESS_DETACH);
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(reinterpret_cast<void*>(base), &info, sizeof info);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
}

TEST(FixtureDll, AnUnresolvableImportFailsAndReleases) {
    platform::win32::KernelModuleMemory os;
    std::vector<unsigned char> image = fixtureImage();
    // Rename the imported lstrlenA to a routine kernel32 does not have.
    const std::string from = "lstrlenA", to = "lstrlenQ";
    auto at = std::search(image.begin(), image.end(), from.begin(), from.end());
    ASSERT_NE(at, image.end());
    std::copy(to.begin(), to.end(), at);
    InMemoryModule m(os);
    EXPECT_FALSE(m.load(image, 0, 0));
    EXPECT_EQ(m.moduleBase(), 0u);
}

TEST(FixtureDll, ResolverSeesNamesAndCanReplaceImports) {
    platform::win32::KernelModuleMemory os;
    struct Seen {
        std::vector<std::string> names;
    } seen;
    struct Resolver {
        static Address __stdcall resolve(const char* library, const char* name, Seen* s) {
            s->names.push_back(std::string(library) + "!" + name);
            return std::string(name) == "lstrlenA" ? addressOf(reinterpret_cast<void*>(&fortyTwo))
                                                   : 0;
        }
        static int __stdcall fortyTwo(const char*) { return 42; }
    };
    InMemoryModule m(os);
    ASSERT_TRUE(m.load(fixtureImage(), addressOf(reinterpret_cast<void*>(&Resolver::resolve)),
                       addressOf(&seen)));
    EXPECT_NE(std::find(seen.names.begin(), seen.names.end(), "KERNEL32.dll!lstrlenA"),
              seen.names.end());
    EXPECT_NE(std::find(seen.names.begin(), seen.names.end(), "USER32.dll!CharUpperBuffA"),
              seen.names.end());
    char text[64] = "abc";  // the stand-in says 42 characters: CharUpperBuffA takes its word
    EXPECT_EQ(callAddress(os, m.findExport("fixture_upper_length"), addressOf(text)), 42u);
    EXPECT_TRUE(m.unload());
}

extern "C" int __cdecl cdeclTen(int a, int b, int c, int d, int e, int f, int g, int h, int i,
                                int j) {
    return a - b + c - d + e - f + g - h + i - j;
}
extern "C" int __stdcall stdcallTwo(int a, int b) {
    return a * b;
}
extern "C" int __stdcall stdcallNone() {
    return 7;
}

TEST(CallAddress, CdeclAndStdcallOfAnyArityLeaveTheStackAsItWas) {
    platform::win32::KernelModuleMemory os;
    volatile int guard = 0x5A5A5A5A;  // a local the compiler addresses through the stack
    for (int round = 0; round < 1000; ++round) {
        ASSERT_EQ(callAddress(os, addressOf(reinterpret_cast<void*>(&cdeclTen)), 10, 1, 10, 1, 10,
                              1, 10, 1, 10, 1),
                  45u);
        ASSERT_EQ(callAddress(os, addressOf(reinterpret_cast<void*>(&stdcallTwo)), 6, 7), 42u);
        ASSERT_EQ(callAddress(os, addressOf(reinterpret_cast<void*>(&stdcallNone))), 7u);
    }
    EXPECT_EQ(guard, 0x5A5A5A5A);
}

}  // namespace
