// The skin attachment against a stand-in engine: a synthetic DLL whose two exports are
// routines of the simulated address space.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "skin/module_loader.h"
#include "skin/skin.h"
#include "tests/fakes/fake_module_memory.h"
#include "tests/skin/pe_writer.h"

namespace {

// A DLL exporting SkinH_AdjustAero (RVA 0x1100) and SkinH_AttachRes (0x1200), Base 1.
std::vector<unsigned char> engineImage(bool withAttach) {
    pe::Image img;
    img.put32(0x1000, 0xC3);
    const std::uint32_t dir = 0x1800;
    img.put32(dir + 16, 1);
    img.put32(dir + 20, 2);
    img.put32(dir + 24, withAttach ? 2 : 1);
    img.put32(dir + 28, 0x1840);
    img.put32(dir + 32, 0x1900);
    img.put32(dir + 36, 0x1980);
    img.put32(0x1840, 0x1100);
    img.put32(0x1844, 0x1200);
    img.put32(0x1900, 0x1A00);
    img.put16(0x1980, 0);
    img.putText(0x1A00, "SkinH_AdjustAero");
    if (withAttach) {
        img.put32(0x1904, 0x1A11);
        img.put16(0x1982, 1);
        img.putText(0x1A11, "SkinH_AttachRes");
    }
    img.directory(0, dir, 40);
    return img.build();
}

class SkinAttach : public ::testing::Test {
  protected:
    void loadEngine(bool withAttach = true) {
        image = engineImage(withAttach);
        ASSERT_TRUE(skin->engine().load(image, 0, 0));
        base = skin->engine().moduleBase();
        os.setRoutine(base + 0x1100, [this](const platform::CallArguments& a) {
            adjustCalls.push_back(a);
            return 1u;
        });
        os.setRoutine(base + 0x1200, [this](const platform::CallArguments& a) {
            attachCalls.push_back(a);
            attachTexts.push_back(os.readText(a[2]));  // the caller's text lives only this long
            return 1u;
        });
    }

    fake::ModuleMemory os;
    std::optional<Skin> skin{std::in_place, os};
    std::vector<unsigned char> image;
    platform::Address base = 0;
    std::vector<platform::CallArguments> attachCalls, adjustCalls;
    std::vector<std::string> attachTexts;
};

// Each setting reaches the engine in its own argument, in the order the engine declares
// them, negative values as their 32-bit pattern; the rest of the ten are zero.
TEST_F(SkinAttach, AttachHandsTheEngineTheCallersBytesAndEachSettingInItsPlace) {
    loadEngine();
    const std::vector<unsigned char> resource = {'V', 'S', 'K', 'N', 1, 2, 3};
    const SkinColours cases[] = {{11, 22, 33}, {-1, 0, -90}, kProgramColours};
    for (const SkinColours& c : cases) {
        attachCalls.clear();
        skin->attachSkinResource(resource, "", c);
        ASSERT_EQ(attachCalls.size(), 1u);
        const platform::CallArguments& a = attachCalls[0];
        EXPECT_EQ(os.exposed(a[0]), resource.data());  // the caller's bytes, not a copy
        EXPECT_EQ(a[1], resource.size());
        EXPECT_EQ(a[2], 0u);  // an empty text is 0, not the address of ""
        EXPECT_EQ((std::vector<std::uint32_t>(a.begin() + 3, a.begin() + 6)),
                  (std::vector<std::uint32_t>{static_cast<std::uint32_t>(c.saturation),
                                              static_cast<std::uint32_t>(c.gloss),
                                              static_cast<std::uint32_t>(c.hue)}));
        EXPECT_EQ((std::vector<std::uint32_t>(a.begin() + 6, a.end())),
                  std::vector<std::uint32_t>(4, 0));
    }
}

TEST_F(SkinAttach, ANonEmptyTextArrivesAndAnEmptyResourceIsAddressZero) {
    loadEngine();
    skin->attachSkinResource({}, "Face", kProgramColours);
    ASSERT_EQ(attachCalls.size(), 1u);
    EXPECT_EQ(attachCalls[0][0], 0u);
    EXPECT_EQ(attachCalls[0][1], 0u);
    EXPECT_EQ(attachTexts[0], "Face");
}

TEST_F(SkinAttach, SecondAttachHandsOverTheNewBytes) {
    loadEngine();
    const std::vector<unsigned char> first = {1, 2, 3}, second = {9, 8};
    skin->attachSkinResource(first, "", kProgramColours);
    skin->attachSkinResource(second, "", kProgramColours);
    ASSERT_EQ(attachCalls.size(), 2u);
    EXPECT_EQ(os.exposed(attachCalls[1][0]), second.data());
}

// One field set at a time: it must land in its own argument and nowhere else, so that two
// settings swapped on the way are caught.
TEST_F(SkinAttach, AdjustHandsEachAeroSettingToItsOwnArgument) {
    loadEngine();
    std::int32_t SkinAero::*const fields[] = {
        &SkinAero::alpha,      &SkinAero::shadowDark, &SkinAero::shadowSharp,
        &SkinAero::shadowSize, &SkinAero::shadowX,    &SkinAero::shadowY,
        &SkinAero::red,        &SkinAero::green,      &SkinAero::blue};
    for (std::size_t i = 0; i < std::size(fields); ++i) {
        SkinAero aero{0, 0, 0, 0, 0, 0, 0, 0, 0};
        aero.*fields[i] = -7;
        adjustCalls.clear();
        skin->adjustSkinAero(aero);
        ASSERT_EQ(adjustCalls.size(), 1u);
        platform::CallArguments expected{};
        expected[i] = static_cast<std::uint32_t>(-7);
        EXPECT_EQ(adjustCalls[0], expected) << "field " << i;
    }
}

// The engine clamps what lies outside its ranges (skin/engine/README.md; any hue is
// taken): the program's own look must lie inside them, or it would not be what it says.
TEST(SkinSettings, TheProgramsLookIsInsideTheEnginesRanges) {
    auto within = [](std::int32_t v, std::int32_t low, std::int32_t high) {
        return v >= low && v <= high;
    };
    EXPECT_TRUE(within(kProgramColours.saturation, 0, 200));
    EXPECT_TRUE(within(kProgramColours.gloss, 0, 100));
    const SkinAero& a = kProgramAero;
    EXPECT_TRUE(within(a.alpha, 0, 255));
    EXPECT_TRUE(within(a.shadowDark, 0, 100));
    EXPECT_TRUE(within(a.shadowSharp, 0, 100));
    EXPECT_TRUE(within(a.shadowSize, 0, 12));
    EXPECT_TRUE(within(a.shadowX, -8, 8) && within(a.shadowY, -8, 8));
    for (std::int32_t c : {a.red, a.green, a.blue}) EXPECT_TRUE(within(c, 0, 255));
}

TEST_F(SkinAttach, MissingEngineOrExportIsSkippedWithoutACall) {
    // Nothing loaded: both calls are skipped.
    const std::vector<unsigned char> resource = {1};
    skin->attachSkinResource(resource, "", kProgramColours);
    skin->adjustSkinAero(kProgramAero);
    EXPECT_TRUE(os.calls.empty());
    // Loaded, but without SkinH_AttachRes.
    loadEngine(false);
    os.calls.clear();
    skin->attachSkinResource(resource, "", kProgramColours);
    EXPECT_TRUE(attachCalls.empty());
    for (const auto& c : os.calls) EXPECT_NE(c.name, "call");
    skin->adjustSkinAero(kProgramAero);
    EXPECT_EQ(adjustCalls.size(), 1u);
}

TEST_F(SkinAttach, TheSkinsEndDetachesTheEngineAndUnmapsIt) {
    loadEngine();
    skin->attachSkinResource(std::vector<unsigned char>{1, 2}, "", kProgramColours);
    os.calls.clear();
    skin.reset();
    ASSERT_EQ(os.calls.size(), 2u);
    EXPECT_EQ(os.calls[0].name, "call");
    EXPECT_EQ(os.calls[0].args,
              (std::vector<std::uint32_t>{base + 0x1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(os.calls[1].name, "free");
    EXPECT_EQ(os.regionCount(), 0u);
}

}  // namespace
