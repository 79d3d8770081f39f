// Skin attachment: the embedded skin engine is loaded from memory at start-up and handed
// the embedded skin once the main window exists.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/module_memory.h"

class InMemoryModule;  // skin/module_loader.h

extern const unsigned char kEmbeddedSkinLibrary[];
extern const std::size_t kEmbeddedSkinLibrarySize;
extern const unsigned char kSkinResource[];
extern const std::size_t kSkinResourceSize;

// Owned by start-up until the end routine; its end unloads the engine, which then hands
// every window it skinned back its own procedure.
extern std::unique_ptr<InMemoryModule> g_moduleLoader;
// The program's private copy of the attached resource; nobody reads it.
extern std::vector<unsigned char> g_skinResource;

// Start-up: g_moduleLoader, empty, loading through `memory` (which must outlive it).
void createModuleLoader(platform::ModuleMemory& memory);
void loadSkinLibrary();
void attachSkinResource(std::span<const unsigned char> resource, const std::string& text,
                        std::int32_t s1, std::int32_t s2, std::int32_t s3);
void adjustSkinAero(std::int32_t w1, std::int32_t w2, std::int32_t w3, std::int32_t w4,
                    std::int32_t w5, std::int32_t w6, std::int32_t w7, std::int32_t w8,
                    std::int32_t w9);
// End routine, once no window is left: unloads the engine, frees g_skinResource.
void releaseSkinState();
