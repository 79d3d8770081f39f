// The in-memory loader and its export lookup over mutated images, in the simulated address
// space: no read or write may leave the image or the region it is mapped into. The skin
// resource parser gets the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "skin/engine/skin_format.h"
#include "skin/module_loader.h"
#include "tests/fakes/fake_module_memory.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake::ModuleMemory os;
    os.maxRegionSize = 8u << 20;  // keeps each run small; larger images simply fail to map
    std::uint32_t kernel = os.addLibrary("KERNEL32.dll");
    os.addExport(kernel, "GetTickCount", 0, nullptr);
    os.addExport(kernel, "", 17, nullptr);

    // The first byte picks what the images' code "returns" and whether a resolver runs.
    os.unknownCallResult = size > 0 && (data[0] & 1) ? 0 : 1;
    platform::Address resolver =
        size > 0 && (data[0] & 2)
            ? os.addRoutine([](const platform::CallArguments& a) { return a[2]; })
            : 0;

    bool loaded = false;
    {
        InMemoryModule m(os);
        loaded = m.load({data, size}, resolver, 0);
        if (loaded) {
            static const char* const kNames[] = {
                "SkinH_AttachRes", "SkinH_AdjustAero", "1", "0", "-1", "2147483647", "01", ""};
            for (const char* name : kNames) m.findExport(name);
            m.entryAddress();
            InMemoryModule moved = std::move(m);
            moved.findExport("1");
        }
    }
    // A failed load gives back all it took, and so does the end of a loaded image, unless
    // its own relocations or imports overwrote the mapped signatures: then the image stays
    // with its libraries, as a refused unload leaves it.
    const bool anythingLeft = os.regionCount() != 0 || os.references(kernel) != 0;
    if ((!loaded && anythingLeft) || (os.regionCount() == 0 && os.references(kernel) != 0))
        std::abort();

    skin::Skin s;
    skin::parse(data, static_cast<unsigned>(size), s);
    return 0;
}
