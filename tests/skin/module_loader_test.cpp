// The in-memory loader against synthetic images in a simulated 32-bit address space.
#include "skin/module_loader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/fakes/fake_module_memory.h"
#include "tests/skin/pe_writer.h"

namespace {

constexpr std::uint32_t kBase = 0x10000000;

class Loader : public ::testing::Test {
  protected:
    std::vector<fake::ModuleCall> callsNamed(const std::string& name) const {
        std::vector<fake::ModuleCall> out;
        for (const auto& c : os.calls)
            if (c.name == name) out.push_back(c);
        return out;
    }
    std::uint32_t read32(platform::Address a) {
        std::uint32_t v = 0;
        unsigned char* p = os.hostPointer(a, 4);
        if (p) std::memcpy(&v, p, 4);
        return v;
    }
    bool load(InMemoryModule& m, const pe::Image& image, platform::Address resolver = 0,
              std::uint32_t value = 0) {
        bytes = image.build();
        return m.load(bytes, resolver, value);
    }

    fake::ModuleMemory os;
    std::vector<unsigned char> bytes;
};

pe::Image minimalDll() {
    pe::Image img;
    img.put32(0x1000, 0xC3C3C3C3);  // the "code" at the entry point
    return img;
}

struct Export {
    std::string name;
    std::uint16_t ordinal;  // index into the function table
};

// Export directory with the name texts one after another, as linkers lay them out.
void addExports(pe::Image& img, std::uint32_t ordinalBase,
                const std::vector<std::uint32_t>& functions, const std::vector<Export>& names) {
    const std::uint32_t dir = 0x1800, functionTable = 0x1840, nameTable = 0x1900,
                        ordinalTable = 0x1980, texts = 0x1A00;
    img.put32(dir + 16, ordinalBase);
    img.put32(dir + 20, static_cast<std::uint32_t>(functions.size()));
    img.put32(dir + 24, static_cast<std::uint32_t>(names.size()));
    img.put32(dir + 28, functionTable);
    img.put32(dir + 32, nameTable);
    img.put32(dir + 36, ordinalTable);
    for (std::size_t i = 0; i < functions.size(); ++i)
        img.put32(functionTable + 4 * static_cast<std::uint32_t>(i), functions[i]);
    std::uint32_t text = texts;
    for (std::size_t i = 0; i < names.size(); ++i) {
        img.put32(nameTable + 4 * static_cast<std::uint32_t>(i), text);
        img.put16(ordinalTable + 2 * static_cast<std::uint32_t>(i), names[i].ordinal);
        img.putText(text, names[i].name);
        text += static_cast<std::uint32_t>(names[i].name.size()) + 1;
    }
    img.directory(0, dir, 40);
}

struct Import {
    std::string library;
    std::vector<std::string> routines;  // "#17" imports ordinal 17
};

// Import descriptors with 0 in their first field: only FirstThunk leads to the entries.
// Returns the RVA of each library's FirstThunk table.
std::vector<std::uint32_t> addImports(pe::Image& img, const std::vector<Import>& imports) {
    const std::uint32_t descriptors = 0x2000;
    std::uint32_t names = 0x2100, thunks = 0x2200, hints = 0x2400;
    std::vector<std::uint32_t> tables;
    for (std::size_t i = 0; i < imports.size(); ++i) {
        std::uint32_t d = descriptors + 20 * static_cast<std::uint32_t>(i);
        img.put32(d, 0);
        img.put32(d + 12, names);
        img.put32(d + 16, thunks);
        img.putText(names, imports[i].library);
        names += static_cast<std::uint32_t>(imports[i].library.size()) + 1;
        tables.push_back(thunks);
        for (const std::string& r : imports[i].routines) {
            if (r[0] == '#') {
                img.put32(thunks,
                          0x80000000u | static_cast<std::uint32_t>(std::stoul(r.substr(1))));
            } else {
                img.put32(thunks, hints);
                img.put16(hints, 0);
                img.putText(hints + 2, r);
                hints += static_cast<std::uint32_t>(r.size()) + 3 + 1;
            }
            thunks += 4;
        }
        img.put32(thunks, 0);
        thunks += 4;
    }
    img.put(descriptors + 20 * static_cast<std::uint32_t>(imports.size()),
            std::string(20, '\0').data(), 20);
    img.directory(1, descriptors, 20 * static_cast<std::uint32_t>(imports.size() + 1));
    return tables;
}

// ---- bad images: each fails, leaves nothing mapped and calls nothing --------------------

struct BadImage {
    const char* what;
    std::function<std::vector<unsigned char>()> make;
};

std::vector<unsigned char> built(const std::function<void(pe::Image&)>& bend) {
    pe::Image img = minimalDll();
    bend(img);
    return img.build();
}

TEST_F(Loader, RejectsBadImagesAndLeavesNothingMapped) {
    const BadImage cases[] = {
        {"63 bytes",
         [] {
             auto b = minimalDll().build();
             b.resize(63);
             return b;
         }},
        {"64 bytes without MZ",
         [] {
             auto b = minimalDll().build();
             b.resize(64);
             b[0] = 'X';
             return b;
         }},
        {"ends inside the NT headers",
         [] {
             auto b = minimalDll().build();
             b.resize(64 + 247);
             return b;
         }},
        {"ends inside the section table",
         [] {
             auto b = minimalDll().build();
             b.resize(64 + 248 + 39);
             return b;
         }},
        {"PE signature wrong", [] { return built([](pe::Image& i) { i.signature = 0x4551; }); }},
        {"not an executable image",
         [] { return built([](pe::Image& i) { i.characteristics = 0x2100; }); }},
        {"negative e_lfanew",
         [] {
             auto b = minimalDll().build();
             b[63] = 0x80;
             return b;
         }},
        {"e_lfanew past the end",
         [] {
             auto b = minimalDll().build();
             b[61] = 0x7F;
             return b;
         }},
        {"SectionAlignment 0",
         [] {
             return built([](pe::Image& i) {
                 i.sectionAlignment = 0;
                 i.sizeOfImage = 0x2000;
             });
         }},
        {"raw data past the end",
         [] { return built([](pe::Image& i) { i.body().rawSizeOverride = 0x100000; }); }},
        {"raw pointer past the end",
         [] {
             auto b = minimalDll().build();
             const std::uint32_t far = 0x7FFFFF00;
             std::memcpy(&b[64 + 248 + 20], &far, 4);
             return b;
         }},
        {"DLL with entry point 0", [] { return built([](pe::Image& i) { i.entryPoint = 0; }); }},
        {"entry point outside the image",
         [] { return built([](pe::Image& i) { i.entryPoint = 0x900000; }); }},
        {"section end overflows 32 bits",
         [] {
             return built([](pe::Image& i) {
                 i.sections.push_back({0xFFFFF000, 0x2000, {}, 0, -1});
             });
         }},
        {"image too large to map",
         [] {
             return built([](pe::Image& i) {
                 i.sections.push_back({0x10000, 0x90000000, {}, 0, -1});
             });
         }},
        {"65535 sections announced",
         [] { return built([](pe::Image& i) { i.sectionCountOverride = 0xFFFF; }); }},
        {"import directory outside the image",
         [] { return built([](pe::Image& i) { i.directory(1, 0x7FFF0000, 20); }); }},
        {"import library name outside the image",
         [] {
             return built([](pe::Image& i) {
                 addImports(i, {{"a.dll", {"f"}}});
                 i.put32(0x2000 + 12, 0x7FFF0000);
             });
         }},
        {"import name text outside the image",
         [] {
             return built([](pe::Image& i) {
                 auto t = addImports(i, {{"a.dll", {"f"}}});
                 i.put32(t[0], 0x7FFF0000);
             });
         }},
        {"thunk table outside the image",
         [] {
             return built([](pe::Image& i) {
                 addImports(i, {{"a.dll", {"f"}}});
                 i.put32(0x2000 + 16, 0x7FFF0000);
             });
         }},
        {"relocation block smaller than 8 bytes",
         [] {
             return built([](pe::Image& i) {
                 i.put32(0x3000, 0x1000);
                 i.put32(0x3004, 4);
                 i.put32(0x3008, 0);
                 i.directory(5, 0x3000, 8);
             });
         }},
        {"relocation block of size 0",
         [] {
             return built([](pe::Image& i) {
                 i.put32(0x3000, 0x1000);
                 i.put32(0x3004, 0);
                 i.directory(5, 0x3000, 8);
             });
         }},
        {"relocation block past the image",
         [] {
             return built([](pe::Image& i) {
                 i.put32(0x3000, 0x1000);
                 i.put32(0x3004, 0x100000);
                 i.directory(5, 0x3000, 8);
             });
         }},
        {"relocation target outside the image",
         [] {
             return built([](pe::Image& i) {
                 i.put32(0x3000, 0x7FFF0000);
                 i.put32(0x3004, 10);
                 i.put16(0x3008, 0x3000);
                 i.put32(0x300C, 0);
                 i.directory(5, 0x3000, 12);
             });
         }},
        {"relocation directory outside the image",
         [] { return built([](pe::Image& i) { i.directory(5, 0x7FFF0000, 8); }); }},
    };
    for (const BadImage& c : cases) {
        SCOPED_TRACE(c.what);
        os.calls.clear();
        std::uint32_t lib = os.addLibrary("a.dll");
        InMemoryModule m(os);
        std::vector<unsigned char> image = c.make();
        EXPECT_FALSE(m.load(image, 0, 0));
        EXPECT_EQ(m.moduleBase(), 0u);
        EXPECT_EQ(os.regionCount(), 0u);
        EXPECT_EQ(os.references(lib), 0);
        EXPECT_TRUE(callsNamed("call").empty());
    }
}

TEST_F(Loader, WellFormedMinimalImageLoadsAndStarts) {
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, minimalDll()));
    EXPECT_EQ(m.moduleBase(), kBase);
    EXPECT_EQ(m.entryAddress(), kBase + 0x1000);
    auto calls = callsNamed("call");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].args,
              (std::vector<std::uint32_t>{kBase + 0x1000, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0}));
    // Headers are mapped as they were, ImageBase included.
    EXPECT_EQ(read32(kBase + 64 + 52), kBase);
}

// ---- mapping ------------------------------------------------------------------------------

TEST_F(Loader, ImageSizeGrowsToTheAlignedEndOfASection) {
    pe::Image img = minimalDll();
    img.sizeOfImage = 0x2000;
    pe::Section late{0x3000, 0x10, {0xAB, 0xCD}, 0, -1};
    img.sections.push_back(late);
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    EXPECT_EQ(callsNamed("alloc")[0].args[1], 0x4000u);
    EXPECT_EQ(m.mappedSize(), 0x4000u);
    EXPECT_EQ(read32(kBase + 0x3000) & 0xFFFF, 0xCDABu);
    EXPECT_NE(os.hostPointer(kBase + 0x3FFC, 4), nullptr);
}

TEST_F(Loader, SectionWithoutRawDataReadsAsZero) {
    pe::Image img = minimalDll();
    // Its PointerToRawData names real, non-zero file bytes; they must not be copied.
    img.sections.insert(img.sections.begin(), pe::Section{0x5000, 0x2000, {}, 0x200, -1});
    img.sections[0].rawSizeOverride = 0;
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    for (std::uint32_t at = 0x5000; at < 0x7000; at += 4) ASSERT_EQ(read32(kBase + at), 0u) << at;
}

// ---- relocation ---------------------------------------------------------------------------

pe::Image relocatedDll() {
    pe::Image img = minimalDll();
    img.put32(0x1010, kBase + 0x1100);  // HIGHLOW target
    img.put32(0x1020, 0x11111111);      // named by a type-10 entry: not ours to move
    img.put32(0x1030, 0x22222222);      // named by a type-0 (padding) entry
    img.put32(0x3000, 0x1000);
    img.put32(0x3004, 8 + 2 * 4);
    img.put16(0x3008, 0x3010);
    img.put16(0x300A, 0xA020);
    img.put16(0x300C, 0x0030);
    img.put16(0x300E, 0x0000);
    // A block for page 0, as linkers write for images with small section alignment: its
    // VirtualAddress of 0 must not end the walk. Its target lies in the zero-filled gap
    // behind the mapped headers.
    img.put32(0x3010, 0);
    img.put32(0x3014, 12);
    img.put16(0x3018, 0x31F0);
    img.put16(0x301A, 0);
    // Behind the directory's end: a broken block that must never be read.
    img.put32(0x301C, 0x1000);
    img.put32(0x3020, 4);
    img.directory(5, 0x3000, 28);
    return img;
}

TEST_F(Loader, RelocationWithThePreferredAddressFreeAndTaken) {
    struct Case {
        const char* what;
        bool taken;
    };
    for (Case c : {Case{"free", false}, Case{"taken", true}}) {
        SCOPED_TRACE(c.what);
        fake::ModuleMemory fresh;
        if (c.taken) fresh.reserve(kBase, 0x100000);
        InMemoryModule m(fresh);
        std::vector<unsigned char> image = relocatedDll().build();
        ASSERT_TRUE(m.load(image, 0, 0));
        platform::Address b = m.moduleBase();
        EXPECT_EQ(b == kBase, !c.taken);
        auto at = [&](std::uint32_t rva) {
            std::uint32_t v;
            std::memcpy(&v, fresh.hostPointer(b + rva, 4), 4);
            return v;
        };
        EXPECT_EQ(at(0x1010), b + 0x1100);
        EXPECT_EQ(at(0x1020), 0x11111111u);
        EXPECT_EQ(at(0x1030), 0x22222222u);
        EXPECT_EQ(at(0x1F0), b - kBase);
    }
}

// ---- imports ------------------------------------------------------------------------------

TEST_F(Loader, ImportsAreLinkedThroughFirstThunkWhenTheFirstFieldIsZero) {
    std::uint32_t kernel = os.addLibrary("KERNEL32.dll");
    platform::Address tick = os.addExport(kernel, "GetTickCount", 0, nullptr);
    platform::Address sleep = os.addExport(kernel, "Sleep", 0, nullptr);
    std::uint32_t user = os.addLibrary("USER32.dll");
    platform::Address beep = os.addExport(user, "MessageBeep", 0, nullptr);
    pe::Image img = minimalDll();
    auto tables = addImports(
        img, {{"KERNEL32.dll", {"GetTickCount", "Sleep"}}, {"USER32.dll", {"MessageBeep"}}});
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    EXPECT_EQ(read32(kBase + tables[0]), tick);
    EXPECT_EQ(read32(kBase + tables[0] + 4), sleep);
    EXPECT_EQ(read32(kBase + tables[0] + 8), 0u);
    EXPECT_EQ(read32(kBase + tables[1]), beep);
    auto libraries = callsNamed("loadLibrary");
    ASSERT_EQ(libraries.size(), 2u);
    EXPECT_EQ(libraries[0].text, "KERNEL32.dll");
    EXPECT_EQ(libraries[1].text, "USER32.dll");
}

TEST_F(Loader, OrdinalImportReachesTheResolverAsDecimalText) {
    std::uint32_t lib = os.addLibrary("ord.dll");
    platform::Address byOrdinal = os.addExport(lib, "", 17, nullptr);
    std::vector<std::string> seen;
    std::uint32_t seenValue = 0;
    platform::Address resolver = os.addRoutine([&](const platform::CallArguments& a) {
        seen = {os.readText(a[0]), os.readText(a[1])};
        seenValue = a[2];
        return 0u;  // leave it to the platform
    });
    pe::Image img = minimalDll();
    auto tables = addImports(img, {{"ord.dll", {"#17"}}});
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img, resolver, 0xBEEF));
    EXPECT_EQ(seen, (std::vector<std::string>{"ord.dll", "17"}));
    EXPECT_EQ(seenValue, 0xBEEFu);
    auto lookups = callsNamed("getProcAddress");
    ASSERT_EQ(lookups.size(), 1u);
    EXPECT_EQ(lookups[0].args[1], 17u);  // an ordinal, not a text address
    EXPECT_EQ(read32(kBase + tables[0]), byOrdinal);
}

TEST_F(Loader, ResolverAnswerIsUsedWithoutAskingThePlatform) {
    os.addLibrary("a.dll");
    platform::Address mine = os.addRoutine(nullptr);
    platform::Address resolver =
        os.addRoutine([&](const platform::CallArguments&) { return mine; });
    pe::Image img = minimalDll();
    auto tables = addImports(img, {{"a.dll", {"Anything"}}});
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img, resolver, 0));
    EXPECT_EQ(read32(kBase + tables[0]), mine);
    EXPECT_TRUE(callsNamed("getProcAddress").empty());
}

TEST_F(Loader, OneUnresolvableImportFailsTheLoadAndReleasesTheRegion) {
    std::uint32_t lib = os.addLibrary("a.dll");
    os.addExport(lib, "Known", 0, nullptr);
    pe::Image img = minimalDll();
    addImports(img, {{"a.dll", {"Known", "Missing"}}});
    InMemoryModule m(os);
    EXPECT_FALSE(load(m, img));
    EXPECT_EQ(m.moduleBase(), 0u);
    EXPECT_EQ(os.regionCount(), 0u);
    auto frees = callsNamed("free");
    ASSERT_EQ(frees.size(), 1u);
    EXPECT_EQ(frees[0].args, (std::vector<std::uint32_t>{kBase, 0, 0x8000}));
    EXPECT_TRUE(callsNamed("call").empty());
    EXPECT_EQ(os.references(lib), 0);  // the library its imports loaded is given back
}

// ---- access per section -------------------------------------------------------------------

TEST_F(Loader, EachPageGetsTheAccessItsSectionsAskForBeforeTheEntryPointRuns) {
    constexpr std::uint32_t kRead = 0x40000000, kWrite = 0x80000000, kExecute = 0x20000000;
    struct Case {
        const char* what;
        std::uint32_t alignment;
        std::vector<pe::Section> sections;
        std::vector<std::pair<std::uint32_t, std::uint32_t>> expected;  // rva, protection
    };
    const Case cases[] = {
        {"one section a page",
         0x1000,
         {{0x1000, 0x10, {0xC3}, 0, -1, kRead | kExecute},
          {0x2000, 0x10, {1}, 0, -1, kRead},
          {0x3000, 0x10, {1}, 0, -1, kRead | kWrite},
          {0x4000, 0x10, {1}, 0, -1, kRead | kWrite | kExecute},
          {0x5000, 0x10, {1}, 0, -1, 0},  // no read bit: still readable
          {0x6000, 0x2000, {}, 0, -1, kRead | kWrite}},
         {{0, 0x02},
          {0x1000, 0x20},
          {0x2000, 0x02},
          {0x3000, 0x04},
          {0x4000, 0x40},
          {0x5000, 0x02},
          {0x6000, 0x04},
          {0x7FFF, 0x04}}},
        {"sections sharing a page",
         0x200,
         {{0x1000, 0x10, {0xC3}, 0, -1, kRead | kExecute},
          {0x1200, 0x10, {1}, 0, -1, kRead | kWrite},
          {0x2000, 0x10, {1}, 0, -1, kRead}},
         {{0, 0x02}, {0x1000, 0x40}, {0x2000, 0x02}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fake::ModuleMemory fresh;
        std::uint32_t lib = fresh.addLibrary("a.dll");
        fresh.addExport(lib, "Known", 0, nullptr);
        pe::Image img;
        img.sectionAlignment = c.alignment;
        img.sections = c.sections;
        std::vector<std::uint32_t> seen;  // the entry point's view of the code page
        fresh.setRoutine(kBase + 0x1000, [&](const platform::CallArguments&) {
            seen.push_back(fresh.protectionAt(kBase + 0x1000));
            return 1u;
        });
        InMemoryModule m(fresh);
        bytes = img.build();
        ASSERT_TRUE(m.load(bytes));
        for (auto [rva, protection] : c.expected)
            EXPECT_EQ(fresh.protectionAt(kBase + rva), protection) << std::hex << rva;
        EXPECT_EQ(seen, (std::vector<std::uint32_t>{c.expected[1].second}));
    }
}

TEST_F(Loader, AccessIsNarrowedOnlyAfterRelocationAndLinking) {
    std::uint32_t lib = os.addLibrary("a.dll");
    os.addExport(lib, "Known", 0, nullptr);
    pe::Image img = relocatedDll();
    addImports(img, {{"a.dll", {"Known"}}});
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    std::vector<std::string> order;
    for (const auto& c : os.calls)
        if (order.empty() || order.back() != c.name) order.push_back(c.name);
    EXPECT_EQ(order, (std::vector<std::string>{"alloc", "loadLibrary", "getProcAddress", "protect",
                                               "call"}));
}

// ---- entry point --------------------------------------------------------------------------

TEST_F(Loader, EntryPointReturningZeroIsDetachedAndTheLoadFails) {
    os.unknownCallResult = 0;
    InMemoryModule m(os);
    EXPECT_FALSE(load(m, minimalDll()));
    auto calls = callsNamed("call");
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].args[2], 1u);
    EXPECT_EQ(calls[1].args,
              (std::vector<std::uint32_t>{kBase + 0x1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(os.regionCount(), 0u);
}

TEST_F(Loader, RefusedProtectionFailsTheLoadBeforeTheEntryPoint) {
    std::uint32_t lib = os.addLibrary("a.dll");
    os.addExport(lib, "Known", 0, nullptr);
    pe::Image img = minimalDll();
    addImports(img, {{"a.dll", {"Known"}}});
    os.refuseProtect = true;
    InMemoryModule m(os);
    EXPECT_FALSE(load(m, img));
    EXPECT_EQ(os.regionCount(), 0u);
    EXPECT_EQ(os.references(lib), 0);
    EXPECT_TRUE(callsNamed("call").empty());
}

TEST_F(Loader, ImageWithoutTheDllBitIsMappedButNeverStarted) {
    pe::Image img = minimalDll();
    img.characteristics = 0x0102;
    img.entryPoint = 0;  // not a DLL: its entry point is never looked at
    InMemoryModule m(os);
    EXPECT_TRUE(load(m, img));
    EXPECT_NE(m.moduleBase(), 0u);
    EXPECT_TRUE(callsNamed("call").empty());
    EXPECT_TRUE(m.unload());
    EXPECT_TRUE(callsNamed("call").empty());
}

// ---- exports ------------------------------------------------------------------------------

TEST_F(Loader, FindExportByExactNameAndByCanonicalOrdinal) {
    pe::Image img = minimalDll();
    addExports(img, 1, {0x1100, 0x1200, 0, 0x1400},
               {{"Alpha", 0}, {"Beta", 1}, {"Hole", 2}, {"01", 3}, {"Wild", 9}});
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    struct Row {
        const char* name;
        std::uint32_t rva;  // 0: not found
    };
    const Row rows[] = {
        {"Alpha", 0x1100}, {"Beta", 0x1200},  {"alpha", 0},  {"ALPHA", 0}, {"Alph", 0},
        {"Alphabet", 0},   {"", 0},           {"Hole", 0},   {"Wild", 0},  {"1", 0x1100},
        {"2", 0x1200},     {"3", 0},          {"4", 0x1400}, {"5", 0},     {"0", 0},
        {"-1", 0},         {"01", 0x1400},    {"+1", 0},     {" 1", 0},    {"1a", 0},
        {"-0", 0},         {"4294967297", 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(m.findExport(r.name), r.rva ? kBase + r.rva : 0u);
    }
}

TEST_F(Loader, FindExportWithABrokenDirectoryFindsNothing) {
    pe::Image img = minimalDll();
    addExports(img, 1, {0x1100}, {{"Alpha", 0}});
    img.put32(0x1800 + 32, 0x7FFF0000);  // name table outside the image
    img.put32(0x1800 + 20, 0x40000000);  // a function count no table holds
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, img));
    EXPECT_EQ(m.findExport("Alpha"), 0u);
    EXPECT_EQ(m.findExport("1"), kBase + 0x1100);
    EXPECT_EQ(m.findExport("70000"), 0u);  // its slot lies outside the image
}

// ---- life cycle ---------------------------------------------------------------------------

TEST_F(Loader, EmptyObjectAnswersZeroAndUnloadsTrivially) {
    InMemoryModule m(os);
    EXPECT_EQ(m.findExport("Alpha"), 0u);
    EXPECT_EQ(m.entryAddress(), 0u);
    EXPECT_EQ(m.moduleBase(), 0u);
    EXPECT_TRUE(m.unload());
    EXPECT_TRUE(os.calls.empty());
}

TEST_F(Loader, SecondLoadUnloadsTheFirst) {
    InMemoryModule m(os);
    ASSERT_TRUE(load(m, minimalDll()));
    pe::Image other = minimalDll();
    other.imageBase = 0x20000000;
    os.calls.clear();
    ASSERT_TRUE(load(m, other));
    ASSERT_GE(os.calls.size(), 3u);
    EXPECT_EQ(os.calls[0].name, "call");
    EXPECT_EQ(os.calls[0].args,
              (std::vector<std::uint32_t>{kBase + 0x1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(os.calls[1].name, "free");
    EXPECT_EQ(os.calls[1].args[0], kBase);
    EXPECT_EQ(m.moduleBase(), 0x20000000u);
    EXPECT_EQ(os.regionCount(), 1u);
}

TEST_F(Loader, EndOfTheOwnerDetachesReleasesAndFreesItsLibraries) {
    std::uint32_t kernel = os.addLibrary("KERNEL32.dll");
    os.addExport(kernel, "Sleep", 0, nullptr);
    std::uint32_t user = os.addLibrary("USER32.dll");
    os.addExport(user, "MessageBeep", 0, nullptr);
    os.addLibrary("unused.dll");
    pe::Image img = minimalDll();
    addImports(img, {{"KERNEL32.dll", {"Sleep"}}, {"USER32.dll", {"MessageBeep"}}});
    {
        InMemoryModule m(os);
        ASSERT_TRUE(load(m, img));
        EXPECT_EQ(os.references(kernel), 1);
        os.calls.clear();
    }
    std::vector<std::string> order;
    for (const auto& c : os.calls) order.push_back(c.name + (c.text.empty() ? "" : " " + c.text));
    EXPECT_EQ(order, (std::vector<std::string>{"call", "free", "freeLibrary USER32.dll",
                                               "freeLibrary KERNEL32.dll"}));
    EXPECT_EQ(os.calls[0].args[2], 0u);  // DLL_PROCESS_DETACH
    EXPECT_EQ(os.regionCount(), 0u);
    EXPECT_EQ(os.references(kernel), 0);
    EXPECT_EQ(os.references(user), 0);
}

TEST_F(Loader, UnloadRefusedKeepsTheBaseAndTheLibraries) {
    struct Case {
        const char* what;
        std::function<void(InMemoryModule&)> spoil;
        std::size_t detachCalls;
    };
    const Case cases[] = {
        {"signature wiped",
         [&](InMemoryModule& m) { std::memset(os.hostPointer(m.moduleBase(), 2), 0, 2); }, 0},
        {"release refused", [&](InMemoryModule&) { os.refuseFree = true; }, 1},
    };
    std::uint32_t lib = os.addLibrary("a.dll");
    os.addExport(lib, "Known", 0, nullptr);
    pe::Image img = minimalDll();
    addImports(img, {{"a.dll", {"Known"}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        os.refuseFree = false;
        InMemoryModule m(os);
        ASSERT_TRUE(load(m, img));
        platform::Address base = m.moduleBase();
        c.spoil(m);
        os.calls.clear();
        EXPECT_FALSE(m.unload());
        EXPECT_FALSE(m.unload());
        EXPECT_EQ(m.moduleBase(), base);
        // The image is told once, and keeps what its import slots point into.
        EXPECT_EQ(callsNamed("call").size(), c.detachCalls);
        EXPECT_TRUE(callsNamed("freeLibrary").empty());
        os.refuseFree = false;
    }
}

TEST_F(Loader, MoveLeavesTheSourceEmptyAndOneOwner) {
    InMemoryModule first(os);
    ASSERT_TRUE(load(first, minimalDll()));
    InMemoryModule second(std::move(first));
    EXPECT_EQ(first.moduleBase(), 0u);
    EXPECT_EQ(first.findExport("1"), 0u);
    EXPECT_EQ(second.moduleBase(), kBase);

    // Assignment unloads what the target held before taking the other's image.
    InMemoryModule third(os);
    pe::Image other = minimalDll();
    other.imageBase = 0x20000000;
    ASSERT_TRUE(load(third, other));
    os.calls.clear();
    third = std::move(second);
    EXPECT_EQ(third.moduleBase(), kBase);
    EXPECT_EQ(second.moduleBase(), 0u);
    ASSERT_EQ(callsNamed("free").size(), 1u);
    EXPECT_EQ(callsNamed("free")[0].args[0], 0x20000000u);

    // The emptied sources end without a call; the one owner unloads once.
    os.calls.clear();
    EXPECT_TRUE(first.unload());
    EXPECT_TRUE(second.unload());
    EXPECT_TRUE(os.calls.empty());
    EXPECT_TRUE(third.unload());
    EXPECT_EQ(callsNamed("free").size(), 1u);
    EXPECT_EQ(os.regionCount(), 0u);
}

TEST_F(Loader, CallAddressPassesTenArgumentsAndNeverCallsZero) {
    platform::CallArguments seen{};
    platform::Address f = os.addRoutine([&](const platform::CallArguments& a) {
        seen = a;
        return 42u;
    });
    EXPECT_EQ(callAddress(os, f, 1, 2, 3), 42u);
    EXPECT_EQ(seen, (platform::CallArguments{1, 2, 3, 0, 0, 0, 0, 0, 0, 0}));
    os.calls.clear();
    EXPECT_EQ(callAddress(os, 0, 1, 2, 3), 0u);
    EXPECT_TRUE(os.calls.empty());
}

}  // namespace
