// The records' fast UTF-8 to GBK table against the converter it stands in for.
#include "ipdata/gbk.h"

#include <gtest/gtest.h>

#include "text/codepage.h"
#include "text/text.h"

namespace {

TEST(GbkEncoder, AgreesWithTheConverterOnEveryCharacter) {
    const ipdata::GbkEncoder encoder;
    // Every character of the plane on a line of its own, through the converter at once.
    std::vector<std::string> characters;
    std::string all;
    for (char32_t c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c <= 0xDFFF) continue;
        characters.push_back(codepage::utf16ToUtf8(std::u16string(1, static_cast<char16_t>(c))));
        all += characters.back() + "\n";
    }
    // Split by bytes: a GBK text split would take the line end after the single byte 80
    // (the euro sign) for its trail.
    std::vector<std::string> expected(1);
    for (char b : utf8ToGbk(all)) {
        if (b == '\n') {
            expected.emplace_back();
        } else {
            expected.back() += b;
        }
    }
    ASSERT_EQ(expected.size(), characters.size() + 1);
    std::size_t fast = 0;
    for (std::size_t i = 0; i < characters.size(); ++i) {
        std::string out;
        if (!encoder.append(characters[i], out)) continue;
        ++fast;
        EXPECT_EQ(out, expected[i]) << characters[i];
    }
    EXPECT_GT(fast, 21000u);  // GBK's characters, from the table

    const struct {
        std::string utf8;
        std::string gbk;
    } texts[] = {
        {"\xE4\xB8\xAD\xE5\x9B\xBD\tCN", "中国\tCN"},
        {"e\xCC\x81", "é"},          // a mark folded into its letter
        {"\xF0\x9F\x98\x80", "??"},  // beyond the plane: one "?" per UTF-16 unit
        {"\xE4\xB8", "?"},           // cut short
        {"\xEA\xB0\x80", "?"},       // 가: no GBK
        {"\xE2\x82\xAC", "\x80"},    // the euro sign is one byte
        {"", ""},
    };
    for (const auto& t : texts) EXPECT_EQ(encoder(t.utf8), t.gbk) << t.utf8;
}

}  // namespace
