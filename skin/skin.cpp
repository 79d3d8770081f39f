// Skin attachment: the skin engine is loaded from memory before any window exists, and
// handed the skin once the main window does. Nothing here reports failure: without the
// engine the windows simply keep the system's look.
#include "skin/skin.h"

#include "skin/module_loader.h"

std::unique_ptr<InMemoryModule> g_moduleLoader;
std::vector<unsigned char> g_skinResource;

void createModuleLoader(platform::ModuleMemory& memory) {
    g_moduleLoader = std::make_unique<InMemoryModule>(memory);
}

#if defined(_WIN32)
void loadSkinLibrary() {
    if (g_moduleLoader)
        g_moduleLoader->load({kEmbeddedSkinLibrary, kEmbeddedSkinLibrarySize}, 0, 0);
}
#endif

namespace {
// A fresh lookup at every call; a missing export is skipped, never called through 0.
platform::Address skinExport(std::string_view name) {
    return g_moduleLoader ? g_moduleLoader->findExport(name) : 0;
}

std::uint32_t asArgument(std::int32_t v) {
    return static_cast<std::uint32_t>(v);
}
}  // namespace

void attachSkinResource(std::span<const unsigned char> resource, const std::string& text,
                        std::int32_t s1, std::int32_t s2, std::int32_t s3) {
    g_skinResource.assign(resource.begin(), resource.end());
    platform::Address attach = skinExport("SkinH_AttachRes");
    if (attach == 0) return;
    platform::ModuleMemory& os = g_moduleLoader->memory();
    // The engine reads the caller's bytes, not the private copy.
    platform::Address bytes = resource.empty() ? 0 : os.addressOf(resource.data(), resource.size());
    platform::Address textAddress = text.empty() ? 0 : os.addressOf(text.c_str(), text.size() + 1);
    callAddress(os, attach, bytes, static_cast<std::uint32_t>(resource.size()), textAddress,
                asArgument(s1), asArgument(s2), asArgument(s3));
}

void adjustSkinAero(std::int32_t w1, std::int32_t w2, std::int32_t w3, std::int32_t w4,
                    std::int32_t w5, std::int32_t w6, std::int32_t w7, std::int32_t w8,
                    std::int32_t w9) {
    platform::Address adjust = skinExport("SkinH_AdjustAero");
    if (adjust == 0) return;
    callAddress(g_moduleLoader->memory(), adjust, asArgument(w1), asArgument(w2), asArgument(w3),
                asArgument(w4), asArgument(w5), asArgument(w6), asArgument(w7), asArgument(w8),
                asArgument(w9));
}

void releaseSkinState() {
    g_moduleLoader.reset();
    g_skinResource.clear();
    g_skinResource.shrink_to_fit();
}
