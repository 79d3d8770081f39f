// Skin attachment: the embedded skin engine is loaded from memory at start-up and handed
// the embedded skin once the main window exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/module_memory.h"

class InMemoryModule;  // skin/module_loader.h

extern const unsigned char kEmbeddedSkinLibrary[];
extern const std::size_t kEmbeddedSkinLibrarySize;
extern const unsigned char kSkinResource[];
extern const std::size_t kSkinResourceSize;

// How the engine colours the attached skin (its SkinH_AttachRes arguments after the text).
struct SkinColours {
    std::int32_t saturation = 100;  // percent of the skin's own
    std::int32_t gloss = 50;        // percent strength of the glossy highlight
    std::int32_t hue = 0;           // degrees the skin's hues are turned by
};
// The frame and caption glow (SkinH_AdjustAero's arguments, in order).
struct SkinAero {
    std::int32_t alpha = 255;               // weight of the skin's frame colours against the tint
    std::int32_t shadowDark = 0;            // percent darkness of the glow behind captions
    std::int32_t shadowSharp = 0;           // percent: 0 fades the glow out, 100 keeps it solid
    std::int32_t shadowSize = 0;            // glow radius in pixels
    std::int32_t shadowX = 0, shadowY = 0;  // glow offset in pixels
    std::int32_t red = 0, green = 0, blue = 0;  // the tint
};
// The program's look: a warm, slightly glossy skin with a soft glow behind captions.
inline constexpr SkinColours kProgramColours{90, 75, 0};
inline constexpr SkinAero kProgramAero{220, 30, 0, 9, 0, 0, 50, 0, 255};

// Start-up: the module loader, empty, loading through `memory` (which must outlive it).
// It is kept until releaseSkinState, whose unloading of the engine hands every window it
// skinned back its own procedure.
void createModuleLoader(platform::ModuleMemory& memory);
// The loader, while there is one (for tests).
InMemoryModule* skinModuleLoader();
void loadSkinLibrary();
void attachSkinResource(std::span<const unsigned char> resource, const std::string& text,
                        const SkinColours& colours);
void adjustSkinAero(const SkinAero& aero);
// End routine, once no window is left: unloads the engine.
void releaseSkinState();
