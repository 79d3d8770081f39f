// The in-memory loader and its export lookup over mutated images, in the simulated address
// space: no read or write may leave the image or the region it is mapped into. The skin
// resource parser gets the same bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "tests/fakes/fake_module_memory.h"
#include "skin/engine/skin_format.h"
#include "skin/module_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::ModuleMemory os;
    os.maxRegionSize = 8u << 20;  // keeps each run small; larger images simply fail to map
    std::uint32_t kernel = os.addLibrary("KERNEL32.dll");
    os.addExport(kernel, "GetTickCount", 0, nullptr);
    os.addExport(kernel, "", 17, nullptr);
    platform::setModuleMemory(&os);

    // The first byte picks what the images' code "returns" and whether a resolver runs.
    os.unknownCallResult = size > 0 && (data[0] & 1) ? 0 : 1;
    platform::Address resolver =
        size > 0 && (data[0] & 2)
            ? os.addRoutine([](const platform::CallArguments& a) { return a[2]; })
            : 0;

    InMemoryModule m;
    if (m.load({data, size}, resolver, 0)) {
        static const char* const kNames[] = {
            "SkinH_AttachRes", "SkinH_AdjustAero", "1", "0", "-1", "2147483647", "01", ""};
        for (const char* name : kNames) m.findExport(name);
        m.entryAddress();
        InMemoryModule copy = m.copy();
        copy.findExport("1");
        m.unload();
    }
    platform::setModuleMemory(nullptr);

    skin::Skin s;
    skin::parse(data, static_cast<unsigned>(size), s);
    return 0;
}
