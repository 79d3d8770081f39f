// Skin attachment: the embedded skin engine is loaded from memory at start-up and handed
// the embedded skin once the main window exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "platform/module_memory.h"
#include "skin/module_loader.h"

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

// The skin engine for the program's life: made empty at start-up, before any window, and
// ended after the last one. Its end unloads the engine, whose detach hands every window it
// skinned back its own procedure. Nothing here reports failure: without the engine the
// windows simply keep the system's look.
class Skin {
  public:
    // Loads through `memory`, which must outlive this object.
    explicit Skin(platform::ModuleMemory& memory) : engine_(memory) {}

#if defined(_WIN32)
    // The engine embedded in the program.
    void loadSkinLibrary() {
        loadSkinLibrary({kEmbeddedSkinLibrary, kEmbeddedSkinLibrarySize});
    }
#endif
    void loadSkinLibrary(std::span<const unsigned char> image) {
        engine_.load(image, 0, 0);
    }
    // The engine keeps reading `resource`: it must live as long as the skin.
    void attachSkinResource(std::span<const unsigned char> resource, const std::string& text,
                            const SkinColours& colours);
    void adjustSkinAero(const SkinAero& aero);

    // The loaded engine (for tests).
    InMemoryModule& engine() {
        return engine_;
    }

  private:
    InMemoryModule engine_;
};
