// The qqwry.dat reader: files of our own writing in each record layout, damaged copies of
// them, and the real file of the lib-qqwry package against that package's own reader, run by
// Node (skipped when scripts/install-deps.sh has not fetched it).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ipdata/file_date.h"
#include "ipdata/ipdata.h"
#include "tests/ipdata/qqwry_file.h"
#include "text/bytes.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using ipdata::OpenError;
using qqwry_test::Layout;
using qqwry_test::redirect;
using qqwry_test::Row;
using qqwry_test::writeQqwry;
using qqwry_test::Written;

std::uint32_t v4(const char* dotted) {
    return *ipdata::parseAddress(dotted);
}

std::vector<Row> sampleRows() {
    const std::vector<std::pair<std::string, std::string>> texts = {
        {"重庆市", "电信"},
        {"广东省深圳市", "电信/新世纪网吧"},
        {"北京市海淀区", "联通"},
        {"内蒙古兴安盟突泉县", "移动"},
        {"广西壮族自治区桂林市", "电信ADSL"},
        {"广东省广州市", " CZ88.NET"},
        {"湖北省恩施州利川市", "电信"},
        {"美国", " CZ88.NET"},
        {"美国加利福尼亚州", "谷歌公司"},
        {"中国", "教育网"},
        {" CZ88.NET", " CZ88.NET"},
        {"美国", " CZ88.NET"},
    };
    std::vector<Row> rows;
    for (std::uint32_t i = 0; i < texts.size(); ++i)
        rows.push_back({(i + 1) << 24, ((i + 1) << 24) + 0xFF, texts[i].first, texts[i].second,
                        static_cast<Layout>(i % 3)});
    // Another record right after the last that reads the same.
    rows.push_back({rows.back().last + 1, rows.back().last + 10, "美国", "", Layout::Plain});
    rows.push_back(
        {v4("255.255.255.0"), 0xFFFFFFFFu, "纯真网络", "2024年01月17日IP数据", Layout::MoveBoth});
    return rows;
}

std::unique_ptr<ipdata::Database> open(const std::string& bytes) {
    ipdata::OpenFailure failure;
    auto db = ipdata::openDatabase(bytes, nullptr, failure);
    EXPECT_TRUE(db) << static_cast<int>(failure.error) << " at " << failure.range;
    return db;
}

TEST(Qqwry, ReadsEachLayoutIntoFieldsAndAnswers) {
    const Written file = writeQqwry(sampleRows());
    const auto db = open(file.bytes);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->formatName(), "qqwry");
    struct Case {
        const char* address;
        const char* shown;
        ipdata::FieldViews fields;
    } cases[] = {
        {"1.0.0.0", "重庆 电信", {"中国", "重庆", "重庆", "", "", "电信", ""}},
        {"2.0.0.255",
         "广东 深圳 新世纪网吧 电信",
         {"中国", "广东", "深圳", "", "新世纪网吧", "电信", ""}},
        {"3.0.0.1", "北京 海淀区 联通", {"中国", "北京", "北京", "海淀区", "", "联通", ""}},
        {"4.0.0.1",
         "内蒙古 兴安盟 突泉县 移动",
         {"中国", "内蒙古", "兴安盟", "突泉县", "", "移动", ""}},
        {"5.0.0.1", "广西 桂林 电信ADSL", {"中国", "广西", "桂林", "", "", "电信ADSL", ""}},
        {"6.0.0.1", "广东 广州", {"中国", "广东", "广州", "", "", "", ""}},
        {"7.0.0.1",
         "湖北 恩施州 利川市 电信",
         {"中国", "湖北", "恩施州", "利川市", "", "电信", ""}},
        {"8.0.0.1", "美国", {"美国", "", "", "", "", "", ""}},
        {"9.0.0.1",
         "美国加利福尼亚州 谷歌公司",
         {"美国加利福尼亚州", "", "", "", "谷歌公司", "", ""}},
        {"10.0.0.1", "中国 教育网", {"中国", "", "", "", "", "教育网", ""}},
        {"11.0.0.1", "", {}},
        {"12.0.1.1", "美国", {"美国", "", "", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        const auto place = db->locate(ip::Address::v4(v4(c.address)));
        ASSERT_TRUE(place) << c.address;
        EXPECT_EQ(ipdata::displayOf(*place), c.shown) << c.address;
        EXPECT_EQ(place->fields, c.fields) << c.address;
    }
    EXPECT_EQ(db->find(v4("1.0.0.9"))->region, "重庆市|电信");
    // Between ranges, and before the first, there is no answer.
    for (const char* gap : {"0.255.255.255", "1.0.1.0", "12.0.1.10"})
        EXPECT_FALSE(db->locate(ip::Address::v4(v4(gap)))) << gap;
}

TEST(Qqwry, TheVersionRecordIsTheDateAndNoAnswer) {
    const Written file = writeQqwry(sampleRows());
    const auto db = open(file.bytes);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->versionText(), "纯真网络 2024年01月17日IP数据");
    EXPECT_EQ(ipdata::qqwryVersion(file.bytes), db->versionText());
    EXPECT_EQ(ipdata::versionDateOfFile(file.bytes), "2024-01-17");
    EXPECT_FALSE(db->find(0xFFFFFFFFu));
    EXPECT_EQ(db->rangeCount(), 13u);
    EXPECT_TRUE(db->search({"纯真"}).empty());
    std::size_t ranges = 0;
    db->searchWhere([](const ipdata::FieldViews&) { return true; },
                    [&](ipdata::Range& range) {
                        ++ranges;
                        EXPECT_LT(range.first.v4Value(), v4("255.0.0.0"));
                    });
    EXPECT_EQ(ranges, 12u);  // the two adjacent 美国 ranges joined
}

TEST(Qqwry, SearchesTheTextsAndChinaByName) {
    const auto db = open(writeQqwry(sampleRows()).bytes);
    ASSERT_TRUE(db);
    struct Case {
        std::vector<std::string> keywords;
        std::vector<std::string> firsts;
    } cases[] = {
        {{"深圳"}, {"2.0.0.0"}},
        {{"中国", "电信"}, {"1.0.0.0", "2.0.0.0", "5.0.0.0", "7.0.0.0"}},
        {{"广东省"}, {"2.0.0.0", "6.0.0.0"}},
        {{"CZ88"}, {}},
        {{"美国"}, {"8.0.0.0", "9.0.0.0", "12.0.0.0"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> firsts;
        for (const ipdata::Range& range : db->search(c.keywords))
            firsts.push_back(ip::formatAddress(range.first));
        EXPECT_EQ(firsts, c.firsts) << c.keywords[0];
    }
}

TEST(Qqwry, DamagedFilesAreRefusedWithTheirReason) {
    const Written good = writeQqwry(sampleRows());
    const std::size_t size = good.bytes.size();
    const std::size_t record = good.records[1];  // row 1 redirects both texts
    struct Case {
        const char* what;
        std::string bytes;
        OpenError error;
        std::size_t range;
    };
    constexpr std::size_t kSomeRange = ~std::size_t{0};  // where depends on the sizes kept
    const auto edited = [&](std::size_t at, const std::string& with, std::string bytes = {}) {
        if (bytes.empty()) bytes = good.bytes;
        return bytes.replace(at, with.size(), with);
    };
    const std::uint32_t firstIndex = le::u32(good.bytes, 0);
    const std::uint32_t lastIndex = le::u32(good.bytes, 4);
    std::string reversed = good.bytes, overlapping = good.bytes, notWhole = good.bytes;
    le::set32(reversed, 0, lastIndex + 7);
    le::set32(overlapping, 0, 4);
    le::set32(notWhole, 4, lastIndex - 3);
    std::string pastEnd = good.bytes;
    pastEnd.replace(firstIndex + 7 * 2 + 4, 3, "\xFF\xFF\xFF");
    // Row 3 (Plain): its range's end made lower than its start, then higher than the next
    // range's start.
    std::string backwards = good.bytes, overlaps = good.bytes;
    le::set32(backwards, good.records[3], 5);
    le::set32(overlaps, good.records[3], v4("5.0.0.0"));
    const std::string withTail = good.bytes + "AB";
    // Ranges whose texts all start inside one run of letters: a small file of long texts.
    std::string sharing(8, '\0');
    const std::size_t run = sharing.size();
    sharing += std::string(1000, 'A') + '\0';
    std::vector<std::size_t> records;
    for (std::uint32_t i = 0; i < 3000; ++i) {
        records.push_back(sharing.size());
        le::append32(sharing, i);
        sharing += redirect(2, run + i % 1000) + redirect(2, run + i / 1000);
    }
    le::set32(sharing, 0, static_cast<std::uint32_t>(sharing.size()));
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        le::set32(sharing, 4, static_cast<std::uint32_t>(sharing.size()));
        le::append32(sharing, i);
        qqwry_test::put24(sharing, records[i]);
    }
    const Case cases[] = {
        {"empty", "", OpenError::Empty, 0},
        {"a cut header", good.bytes.substr(0, 5), OpenError::NoHeader, 0},
        {"cut in the index", good.bytes.substr(0, size - 1), OpenError::IndexPastEnd, 0},
        {"cut in half", good.bytes.substr(0, size / 2), OpenError::IndexPastEnd, 0},
        {"index reversed", reversed, OpenError::IndexReversed, 0},
        {"index over the header", overlapping, OpenError::IndexOverlapsHeader, 0},
        {"index not whole entries", notWhole, OpenError::QqwryIndexNotWholeEntries, 0},
        {"record past the end", pastEnd, OpenError::RecordPastEnd, 2},
        {"range reversed", backwards, OpenError::RangeReversed, 3},
        {"range overlapping the next", overlaps, OpenError::RangeOutOfOrder, 4},
        {"a redirect to itself", edited(record + 4, redirect(1, record + 4)),
         OpenError::QqwryRedirectLoop, 1},
        {"two redirects to each other",
         edited(record + 4, redirect(1, record + 8), edited(record + 8, redirect(2, record + 4))),
         OpenError::QqwryRedirectLoop, 1},
        {"a text pointed past the end", edited(good.records[3] + 4, redirect(2, 0xFFFFF0)),
         OpenError::QqwryRedirectPastEnd, 3},
        {"a text without its end", edited(good.records[3] + 4, redirect(2, size), withTail),
         OpenError::QqwryTextUnterminated, 3},
        {"a text too long for one", writeQqwry({{1, 2, std::string(1100, 'x'), "a"}}).bytes,
         OpenError::QqwryTextUnterminated, 0},
        {"texts overlapping", sharing, OpenError::QqwryTextsOverlap, kSomeRange},
    };
    for (const Case& c : cases) {
        ipdata::OpenFailure failure;
        EXPECT_FALSE(ipdata::openQqwry(c.bytes, failure)) << c.what;
        EXPECT_EQ(failure.error, c.error) << c.what;
        if (c.range != kSomeRange) {
            EXPECT_EQ(failure.range, c.range) << c.what;
        }
        // Told apart by content, a damaged file is refused too, whichever reader says why.
        EXPECT_FALSE(ipdata::openDatabase(c.bytes, nullptr, failure)) << c.what;
    }
    // Cut in its index, a file is said to be cut, not to be a damaged file of another format.
    ipdata::OpenFailure cut;
    EXPECT_FALSE(ipdata::openDatabase(good.bytes.substr(0, size - 1), nullptr, cut));
    EXPECT_EQ(cut.error, OpenError::IndexPastEnd);
}

#ifndef _WIN32
// The real file, against the package's own reader (natively: the Windows build has no Node).
std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

TEST(Qqwry, AgreesWithThePackagesOwnReader) {
    const char* root = std::getenv("VERDALO_SOURCE_DIR");
    const char* node = std::getenv("VERDALO_NODE");
    const std::filesystem::path package =
        std::filesystem::path(root ? root : ".") / "data" / "lib-qqwry";
    const std::string bytes = readAll(package / "data" / "qqwry.dat");
    if (bytes.empty())
        GTEST_SKIP() << "no data/lib-qqwry/data/qqwry.dat: run scripts/install-deps.sh";
    if (node == nullptr) GTEST_SKIP() << "no node to run the package's reader";
    ipdata::OpenFailure failure;
    const auto db = ipdata::openDatabase(bytes, nullptr, failure);
    ASSERT_TRUE(db) << static_cast<int>(failure.error) << " at " << failure.range;
    EXPECT_EQ(db->formatName(), "qqwry");
    EXPECT_EQ(ipdata::versionDate(db->versionText().value_or("")), "2024-01-17");
    EXPECT_EQ(ipdata::versionDateOfFile(bytes), "2024-01-17");

    // Half at random, half the ends of the ranges those fall in.
    std::mt19937 random(20240117);
    std::vector<std::uint32_t> addresses;
    std::vector<std::string> records;
    while (addresses.size() < 10000) {
        const std::uint32_t address = random() % v4("255.255.255.0");
        const auto place = db->locate(ip::Address::v4(address));
        ASSERT_TRUE(place) << ipdata::addressDisplay(address);
        for (const std::uint32_t one :
             {address, random() % 2 ? place->first.v4Value() : place->last.v4Value()}) {
            addresses.push_back(one);
            records.emplace_back(place->record);
        }
    }
    const std::filesystem::path list =
        std::filesystem::temp_directory_path() / ("qqwry_oracle_" + std::to_string(getpid()));
    {
        std::ofstream out(list);
        for (const std::uint32_t address : addresses)
            out << ipdata::addressDisplay(address) << '\n';
    }
    const std::string command = std::string(node) + " '" + root +
                                "/tests/ipdata/qqwry_oracle.js' '" + package.string() + "' '" +
                                list.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_TRUE(pipe);
    std::string answers;
    char buffer[65536];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) answers.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0);
    std::filesystem::remove(list);

    std::istringstream lines(answers);
    std::string line;
    std::size_t i = 0, differ = 0;
    for (; std::getline(lines, line) && i < addresses.size(); ++i) {
        line.replace(line.find('\t'), 1, "|");
        if (line != records[i] && ++differ <= 10)
            ADD_FAILURE() << ipdata::addressDisplay(addresses[i]) << ": ours " << records[i]
                          << ", the package's " << line;
    }
    EXPECT_EQ(i, addresses.size());
    EXPECT_EQ(differ, 0u);
}
#endif

}  // namespace
