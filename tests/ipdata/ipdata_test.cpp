#include "ipdata/ipdata.h"

#include <gtest/gtest.h>

#include "tests/ipdata/data_file.h"

namespace {

using ipdata::Database;
using ipdata::openIp2region;
using ipdata::parseAddress;
using ipdata_test::buildFile;
using ipdata_test::FileRange;
using ipdata_test::putLe32;

std::uint32_t ip(const char* dotted) {
    auto address = parseAddress(dotted);
    EXPECT_TRUE(address) << dotted;
    return address.value_or(0);
}

const std::vector<FileRange> kRanges = {
    {"0.0.0.0", "0.255.255.255", "0|0|0|内网IP|内网IP"},
    {"1.0.0.0", "1.0.0.255", "澳大利亚|0|0|0|0"},
    {"1.0.1.0", "1.0.3.255", "中国|0|重庆|重庆市|电信"},
    {"1.0.4.0", "1.0.4.0", "中国|0|重庆|重庆市|联通"},
    {"1.0.4.1", "1.0.7.255", "中国|0|重庆|重庆市|电信"},
    // a gap up to 2.0.0.0
    {"2.0.0.0", "2.0.0.255", "中国|0|江苏省|南京市|电信"},
    {"8.8.8.0", "8.8.8.255", "美国|0|0|0|Level3"},
    {"100.0.0.0", "100.0.0.255", "中国|0|0|0|电信"},
    {"100.0.1.0", "100.0.1.255", "中国|0|0|0|电信"},  // joins the one before in a search
    {"255.255.255.0", "255.255.255.255", "中国|0|北京|北京市|0"},
};

std::unique_ptr<Database> openTestFile() {
    ipdata::OpenFailure reason;
    auto db = openIp2region(buildFile(kRanges), reason);
    EXPECT_TRUE(db) << static_cast<int>(reason.error);
    return db;
}

TEST(IpdataOpen, RefusesBrokenFilesWithAReason) {
    const std::string good = buildFile(kRanges);
    auto changed = [&](std::size_t at, std::uint32_t value) {
        std::string file = good;
        putLe32(file, at, value);
        return file;
    };
    const std::uint32_t firstPointer = static_cast<unsigned char>(good[16]) |
                                       static_cast<unsigned char>(good[17]) << 8 |
                                       static_cast<unsigned char>(good[18]) << 16;
    const std::uint32_t lastIndex = 8 + 12 * (kRanges.size() - 1);
    using E = ipdata::OpenError;
    const struct {
        const char* name;
        std::string bytes;
        E error;
        std::size_t range;  // for the errors that name one
    } cases[] = {
        {"empty", "", E::Empty, 0},
        {"short header", good.substr(0, 7), E::NoHeader, 0},
        {"first index after last", changed(0, lastIndex + 12), E::IndexReversed, 0},
        {"index over the header", changed(0, 4), E::IndexOverlapsHeader, 0},
        {"misaligned index", changed(4, lastIndex - 1), E::IndexNotWholeEntries, 0},
        {"index past the end", changed(4, static_cast<std::uint32_t>(good.size())),
         E::IndexNotWholeEntries, 0},
        {"index end past the end", changed(4, static_cast<std::uint32_t>(good.size() - 11)),
         E::IndexPastEnd, 0},
        {"record past the end",
         changed(16, 0x10000000u | static_cast<std::uint32_t>(good.size() - 15)), E::RecordPastEnd,
         0},
        {"record without city id", changed(16, 0x03000000u | firstPointer), E::RecordTooShort, 0},
        {"range upside down", changed(8, ip("1.0.0.0")), E::RangeReversed, 0},
        {"ranges overlap", changed(20, ip("0.255.255.255")), E::RangeOutOfOrder, 1},
    };
    for (const auto& c : cases) {
        ipdata::OpenFailure reason;
        EXPECT_FALSE(openIp2region(c.bytes, reason)) << c.name;
        EXPECT_EQ(reason.error, c.error) << c.name;
        EXPECT_EQ(reason.range, c.range) << c.name;
    }
    // The last record ends the file, so every shorter prefix is incomplete.
    for (std::size_t n = 0; n < good.size(); ++n) {
        ipdata::OpenFailure reason;
        EXPECT_FALSE(openIp2region(good.substr(0, n), reason)) << n;
    }
}

TEST(IpdataFind, AnswersAtEveryRangeEdge) {
    const auto db = openTestFile();
    ASSERT_TRUE(db);
    EXPECT_EQ(db->rangeCount(), kRanges.size());
    const struct {
        const char* address;
        const char* range;  // "" for none
        const char* region;
    } cases[] = {
        {"0.0.0.0", "0.0.0.0-0.255.255.255", "0|0|0|内网IP|内网IP"},
        {"0.255.255.255", "0.0.0.0-0.255.255.255", "0|0|0|内网IP|内网IP"},
        {"1.0.0.0", "1.0.0.0-1.0.0.255", "澳大利亚|0|0|0|0"},
        {"1.0.3.255", "1.0.1.0-1.0.3.255", "中国|0|重庆|重庆市|电信"},
        {"1.0.4.0", "1.0.4.0-1.0.4.0", "中国|0|重庆|重庆市|联通"},
        {"1.0.4.1", "1.0.4.1-1.0.7.255", "中国|0|重庆|重庆市|电信"},
        {"1.0.8.0", "", ""},
        {"1.255.255.255", "", ""},
        {"2.0.0.0", "2.0.0.0-2.0.0.255", "中国|0|江苏省|南京市|电信"},
        {"255.255.254.255", "", ""},
        {"255.255.255.0", "255.255.255.0-255.255.255.255", "中国|0|北京|北京市|0"},
        {"255.255.255.255", "255.255.255.0-255.255.255.255", "中国|0|北京|北京市|0"},
    };
    for (const auto& c : cases) {
        auto range = db->find(ip(c.address));
        if (*c.range == '\0') {
            EXPECT_FALSE(range) << c.address;
            continue;
        }
        ASSERT_TRUE(range) << c.address;
        EXPECT_EQ(ipdata::rangeDisplay(*range), c.range);
        EXPECT_EQ(range->region, c.region);
        EXPECT_EQ(range->display, ipdata::regionDisplay(c.region));
    }
}

TEST(IpdataSearch, EveryKeywordMustMatchAField) {
    const auto db = openTestFile();
    ASSERT_TRUE(db);
    // "缧" is GBK E7D0: the tail of 电 (B5E7) and the head of 信 (D0C5) side by side.
    const struct {
        std::vector<std::string> keywords;
        std::vector<std::string> ranges;
    } cases[] = {
        {{"重庆市", "电信"}, {"1.0.1.0-1.0.3.255", "1.0.4.1-1.0.7.255"}},
        {{"", "联通"}, {"1.0.4.0-1.0.4.0"}},
        {{"中国 电信"}, {"100.0.0.0-100.0.1.255"}},
        {{"南京", "联通"}, {}},
        {{"level3"}, {}},
        {{"Level3"}, {"8.8.8.0-8.8.8.255"}},
        {{"0"}, {}},
        {{"缧"}, {}},
        {{}, {}},
        {{""}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> got;
        for (const auto& range : db->search(c.keywords)) got.push_back(ipdata::rangeDisplay(range));
        EXPECT_EQ(got, c.ranges) << (c.keywords.empty() ? "(none)" : c.keywords[0]);
    }
    EXPECT_EQ(db->search({"北京市"}).at(0).region, "中国|0|北京|北京市|0");

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_TRUE(db->search({"中国"}, stopped.get_token()).empty());
}

TEST(IpdataDisplay, RegionsAndAddresses) {
    const struct {
        const char* region;
        const char* shown;
    } regions[] = {
        {"中国|0|重庆|重庆市|电信", "重庆 重庆市 电信"},
        {"中国|0|江苏省|南京市|0", "江苏省 南京市"},
        {"中国|0|0|0|电信", "中国 电信"},
        {"中国|0|0|0|0", "中国"},
        {"美国|0|0|0|Level3", "美国 Level3"},
        {"美国|0|纽约|纽约|0", "美国 纽约"},
        {"0|0|0|内网IP|内网IP", "内网IP"},
        {"中国|0|亅|0|0", "亅"},  // 亅 is GBK 81 7C: its second byte is '|'
        {"", ""},
    };
    for (const auto& r : regions) EXPECT_EQ(ipdata::regionDisplay(r.region), r.shown) << r.shown;

    const struct {
        const char* text;
        const char* parsed;  // "" when refused
    } addresses[] = {
        {"1.2.3.4", "1.2.3.4"},
        {" \t1.2.3.4\r\n", "1.2.3.4"},
        {"001.020.255.0", "1.20.255.0"},
        {"255.255.255.255", "255.255.255.255"},
        {"256.1.1.1", ""},
        {"1.2.3", ""},
        {"1..3.4", ""},
        {"1.2.3.0004", ""},
        {"1.2.3.4x", ""},
        {"1.2. 3.4", ""},
        {"-1.2.3.4", ""},
        {"", ""},
    };
    for (const auto& a : addresses) {
        auto address = parseAddress(a.text);
        EXPECT_EQ(address ? ipdata::addressDisplay(*address) : "", a.parsed) << a.text;
    }
}

}  // namespace
