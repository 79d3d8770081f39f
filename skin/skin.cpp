// Skin attachment: the skin engine is loaded from memory before any window exists, and
// handed the skin once the main window does. Nothing here reports failure: without the
// engine the windows simply keep the system's look.
#include "skin/skin.h"

#include <memory>

#include "skin/module_loader.h"

namespace {
std::unique_ptr<InMemoryModule> g_moduleLoader;
}  // namespace

InMemoryModule* skinModuleLoader() {
    return g_moduleLoader.get();
}

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
                        const SkinColours& colours) {
    platform::Address attach = skinExport("SkinH_AttachRes");
    if (attach == 0) return;
    platform::ModuleMemory& os = g_moduleLoader->memory();
    // The engine keeps reading the caller's bytes: they must live as long as the skin.
    platform::Address bytes = resource.empty() ? 0 : os.addressOf(resource.data(), resource.size());
    platform::Address textAddress = text.empty() ? 0 : os.addressOf(text.c_str(), text.size() + 1);
    callAddress(os, attach, bytes, static_cast<std::uint32_t>(resource.size()), textAddress,
                asArgument(colours.saturation), asArgument(colours.gloss), asArgument(colours.hue));
}

void adjustSkinAero(const SkinAero& aero) {
    platform::Address adjust = skinExport("SkinH_AdjustAero");
    if (adjust == 0) return;
    callAddress(g_moduleLoader->memory(), adjust, asArgument(aero.alpha),
                asArgument(aero.shadowDark), asArgument(aero.shadowSharp),
                asArgument(aero.shadowSize), asArgument(aero.shadowX), asArgument(aero.shadowY),
                asArgument(aero.red), asArgument(aero.green), asArgument(aero.blue));
}

void releaseSkinState() {
    g_moduleLoader.reset();
}
