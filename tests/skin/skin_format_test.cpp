// The compiled skin: the build's own resource parses completely, and damaged ones are
// refused whole.
#include "skin/engine/skin_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> compiledSkin() {
    std::ifstream in(VERDALO_SKIN_RESOURCE, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void reseal(std::vector<unsigned char>& r) {
    std::uint32_t h = skin::fnv1a(r.data() + 16, static_cast<unsigned>(r.size() - 16));
    std::memcpy(&r[12], &h, 4);
}

TEST(SkinFormat, TheBuildsSkinNamesEveryColourAndFont) {
    std::vector<unsigned char> r = compiledSkin();
    ASSERT_GT(r.size(), 16u);
    skin::Skin s;
    ASSERT_TRUE(skin::parse(r.data(), static_cast<unsigned>(r.size()), s));
    // Every key appears in the resource, so nothing falls back to the engine's defaults.
    std::string bytes(r.begin(), r.end());
    for (const auto& c : skin::kColourNames)
        EXPECT_NE(bytes.find(c.name), std::string::npos) << c.name;
    for (const auto& m : skin::kMetricNames)
        EXPECT_NE(bytes.find(m.name), std::string::npos) << m.name;
    EXPECT_EQ(s.colour[skin::CaptionActiveTop], 0x806B1Fu);  // #1F6B80 as 0x00BBGGRR
    EXPECT_EQ(s.metric[skin::FrameRadius], 8);
    EXPECT_EQ(s.font[skin::CaptionFont].height, -14);
    EXPECT_EQ(std::u16string(s.font[skin::CaptionFont].face), u"Microsoft YaHei");
}

TEST(SkinFormat, EveryTruncationIsRefused) {
    std::vector<unsigned char> r = compiledSkin();
    skin::Skin s;
    for (std::size_t n = 0; n < r.size(); ++n)
        EXPECT_FALSE(skin::parse(r.data(), static_cast<unsigned>(n), s)) << n;
    EXPECT_FALSE(skin::parse(nullptr, 100, s));
}

TEST(SkinFormat, DamagedResourcesAreRefusedWhole) {
    // The header and the first record alone ("caption.active.top", 26 bytes), so every
    // bent length below runs past the end rather than into the next record.
    std::vector<unsigned char> good = compiledSkin();
    ASSERT_GE(good.size(), 42u);
    good.resize(42);
    good[6] = 1;
    good[7] = 0;
    const std::uint32_t total = 42;
    std::memcpy(&good[8], &total, 4);
    reseal(good);
    {
        skin::Skin s;
        ASSERT_TRUE(skin::parse(good.data(), 42, s));
    }
    struct Case {
        const char* what;
        void (*bend)(std::vector<unsigned char>&);
        bool resealed;
    };
    const Case cases[] = {
        {"magic", [](std::vector<unsigned char>& r) { r[0] = 'X'; }, true},
        {"version 2", [](std::vector<unsigned char>& r) { r[4] = 2; }, true},
        {"one byte flipped", [](std::vector<unsigned char>& r) { r[40] ^= 1; }, false},
        {"one record more than there are", [](std::vector<unsigned char>& r) { r[6] += 1; }, true},
        {"one record fewer: bytes left over", [](std::vector<unsigned char>& r) { r[6] -= 1; },
         true},
        {"total length beyond the bytes", [](std::vector<unsigned char>& r) { r[9] += 1; }, true},
        {"name length past the end", [](std::vector<unsigned char>& r) { r[17] = 0xFF; }, true},
        {"value length past the end",
         [](std::vector<unsigned char>& r) {
             r[18] = 0xFF;
             r[19] = 0xFF;
         },
         true},
        {"colour of 5 bytes", [](std::vector<unsigned char>& r) { r[18] = 5; }, true},
        {"empty name", [](std::vector<unsigned char>& r) { r[17] = 0; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<unsigned char> r = good;
        c.bend(r);
        if (c.resealed) reseal(r);
        skin::Skin s;
        s.colour[0] = 0x12345678;
        EXPECT_FALSE(skin::parse(r.data(), static_cast<unsigned>(r.size()), s));
        EXPECT_EQ(s.colour[0], 0x12345678u);  // untouched on failure
    }
}

TEST(SkinFormat, UnknownRecordsAreSkippedAndMetricsClamped) {
    std::vector<unsigned char> r(16, 0);
    auto record = [&](unsigned char kind, const std::string& name,
                      std::vector<unsigned char> value) {
        r.push_back(kind);
        r.push_back(static_cast<unsigned char>(name.size()));
        r.push_back(static_cast<unsigned char>(value.size()));
        r.push_back(static_cast<unsigned char>(value.size() >> 8));
        r.insert(r.end(), name.begin(), name.end());
        r.insert(r.end(), value.begin(), value.end());
    };
    record(9, "future.kind", {1, 2, 3});
    record(skin::KindColour, "no.such.colour", {1, 2, 3, 0});
    record(skin::KindMetric, "button.radius", {0xE8, 0x03, 0, 0});  // 1000: clamped
    record(skin::KindFont, "caption", {0xF0, 0xFF, 0xFF, 0xFF, 0x90, 0x01, 0xE5, 0xBE, 0xAE});
    std::memcpy(r.data(), "VSKN", 4);
    r[4] = 1;
    r[6] = 4;
    std::uint32_t total = static_cast<std::uint32_t>(r.size());
    std::memcpy(&r[8], &total, 4);
    reseal(r);
    skin::Skin s;
    ASSERT_TRUE(skin::parse(r.data(), total, s));
    EXPECT_EQ(s.metric[skin::ButtonRadius], 12);
    EXPECT_EQ(s.font[skin::CaptionFont].height, -16);
    EXPECT_EQ(s.font[skin::CaptionFont].weight, 400);
    EXPECT_EQ(std::u16string(s.font[skin::CaptionFont].face), u"\u5FAE");
    EXPECT_EQ(s.colour[skin::CaptionActiveTop],
              skin::kColourNames[skin::CaptionActiveTop].fallback);
    // A malformed UTF-8 face refuses the whole resource.
    r[r.size() - 1] = 0x41;
    reseal(r);
    EXPECT_FALSE(skin::parse(r.data(), total, s));
}

}  // namespace
