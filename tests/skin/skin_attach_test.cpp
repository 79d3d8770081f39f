// The skin attachment against a stand-in engine: a synthetic DLL whose two exports are
// routines of the simulated address space.
#include <gtest/gtest.h>

#include <cstring>

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
    void SetUp() override { createModuleLoader(os); }
    void TearDown() override { releaseSkinState(); }
    void loadEngine(bool withAttach = true) {
        image = engineImage(withAttach);
        ASSERT_TRUE(skinModuleLoader()->load(image, 0, 0));
        base = skinModuleLoader()->moduleBase();
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
    std::vector<unsigned char> image;
    platform::Address base = 0;
    std::vector<platform::CallArguments> attachCalls, adjustCalls;
    std::vector<std::string> attachTexts;
};

TEST_F(SkinAttach, AttachHandsTheEngineTheCallersBytesAndTheSettings) {
    loadEngine();
    const std::vector<unsigned char> resource = {'V', 'S', 'K', 'N', 1, 2, 3};
    attachSkinResource(resource, "", kProgramColours);
    ASSERT_EQ(attachCalls.size(), 1u);
    const platform::CallArguments& a = attachCalls[0];
    EXPECT_EQ(os.exposed(a[0]), resource.data());  // the caller's bytes, not the kept copy
    EXPECT_EQ(a[1], resource.size());
    EXPECT_EQ(a[2], 0u);  // an empty text is 0, not the address of ""
    EXPECT_EQ((std::vector<std::uint32_t>(a.begin() + 3, a.end())),
              (std::vector<std::uint32_t>{90, 75, 0, 0, 0, 0, 0}));
}

TEST_F(SkinAttach, ANonEmptyTextAndNegativeSettingsArriveAsTheyAre) {
    loadEngine();
    attachSkinResource({}, "Face", {-1, 0, 7});
    ASSERT_EQ(attachCalls.size(), 1u);
    EXPECT_EQ(attachCalls[0][0], 0u);  // empty resource: address 0
    EXPECT_EQ(attachCalls[0][1], 0u);
    EXPECT_EQ(attachTexts[0], "Face");
    EXPECT_EQ(attachCalls[0][3], 0xFFFFFFFFu);
}

TEST_F(SkinAttach, SecondAttachHandsOverTheNewBytes) {
    loadEngine();
    const std::vector<unsigned char> first = {1, 2, 3}, second = {9, 8};
    attachSkinResource(first, "", kProgramColours);
    attachSkinResource(second, "", kProgramColours);
    ASSERT_EQ(attachCalls.size(), 2u);
    EXPECT_EQ(os.exposed(attachCalls[1][0]), second.data());
}

TEST_F(SkinAttach, AdjustPassesNineValuesAndAZero) {
    loadEngine();
    adjustSkinAero(kProgramAero);
    ASSERT_EQ(adjustCalls.size(), 1u);
    EXPECT_EQ(adjustCalls[0], (platform::CallArguments{220, 30, 0, 9, 0, 0, 50, 0, 255, 0}));
}

TEST_F(SkinAttach, MissingEngineOrExportIsSkippedWithoutACall) {
    // Nothing loaded: both calls are skipped.
    const std::vector<unsigned char> resource = {1};
    attachSkinResource(resource, "", kProgramColours);
    adjustSkinAero(kProgramAero);
    EXPECT_TRUE(os.calls.empty());
    // Loaded, but without SkinH_AttachRes.
    loadEngine(false);
    os.calls.clear();
    attachSkinResource(resource, "", kProgramColours);
    EXPECT_TRUE(attachCalls.empty());
    for (const auto& c : os.calls) EXPECT_NE(c.name, "call");
    adjustSkinAero({1, 2, 3, 4, 5, 6, 7, 8, 9});
    EXPECT_EQ(adjustCalls.size(), 1u);
}

TEST_F(SkinAttach, ReleaseDetachesTheEngineAndUnmapsIt) {
    loadEngine();
    attachSkinResource(std::vector<unsigned char>{1, 2}, "", kProgramColours);
    os.calls.clear();
    releaseSkinState();
    ASSERT_EQ(os.calls.size(), 2u);
    EXPECT_EQ(os.calls[0].name, "call");
    EXPECT_EQ(os.calls[0].args,
              (std::vector<std::uint32_t>{base + 0x1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(os.calls[1].name, "free");
    EXPECT_EQ(skinModuleLoader(), nullptr);
    EXPECT_EQ(os.regionCount(), 0u);
}

}  // namespace
