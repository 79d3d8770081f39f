#include "skin/skin.h"

namespace {
std::uint32_t asArgument(std::int32_t v) {
    return static_cast<std::uint32_t>(v);
}
}  // namespace

// The exports are looked up afresh at every call; a missing one is skipped, never called
// through 0.
void Skin::attachSkinResource(std::span<const unsigned char> resource, const std::string& text,
                              const SkinColours& colours) {
    const platform::Address attach = engine_.findExport("SkinH_AttachRes");
    if (attach == 0) return;
    platform::ModuleMemory& os = engine_.memory();
    platform::Address bytes = resource.empty() ? 0 : os.addressOf(resource.data(), resource.size());
    platform::Address textAddress = text.empty() ? 0 : os.addressOf(text.c_str(), text.size() + 1);
    callAddress(os, attach, bytes, static_cast<std::uint32_t>(resource.size()), textAddress,
                asArgument(colours.saturation), asArgument(colours.gloss), asArgument(colours.hue));
}

void Skin::adjustSkinAero(const SkinAero& aero) {
    const platform::Address adjust = engine_.findExport("SkinH_AdjustAero");
    if (adjust == 0) return;
    callAddress(engine_.memory(), adjust, asArgument(aero.alpha), asArgument(aero.shadowDark),
                asArgument(aero.shadowSharp), asArgument(aero.shadowSize), asArgument(aero.shadowX),
                asArgument(aero.shadowY), asArgument(aero.red), asArgument(aero.green),
                asArgument(aero.blue));
}
