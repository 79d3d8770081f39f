// The data files' owner: each file refused for its own reason while the others serve, the
// checked pages let go for a fresh view, and the dates named without an open.
#include "ipdata/data_files.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ipdata/pack/pack.h"
#include "tests/ipdata/ipdb_file.h"
#include "tests/ipdata/qqwry_file.h"

namespace {

using ipdata::FileKind;
using ipdata::Refusal;

// Files in memory; every view is a copy of its own, so that a database reading one view
// is told from one reading another.
struct Disk {
    std::map<std::string, std::string> files;
    std::map<std::string, Refusal> broken;  // mapping fails so
    std::vector<std::weak_ptr<const void>> views;

    ipdata::MappedFile view(const std::string& bytes) {
        auto copy = std::make_shared<const std::string>(bytes);
        views.push_back(copy);
        return {*copy, copy, [this, &bytes] { return std::optional(view(bytes)); }};
    }
    ipdata::MapFile mapper() {
        return [this](const std::string& path, Refusal& why) -> std::optional<ipdata::MappedFile> {
            if (auto b = broken.find(path); b != broken.end()) {
                why = b->second;
                return std::nullopt;
            }
            auto f = files.find(path);
            if (f == files.end()) {
                why = Refusal::Missing;
                return std::nullopt;
            }
            return view(f->second);
        };
    }
};

std::string locationFile() {
    return ipdata_test::buildIpdb({{"1.0.1.0/24", "中国\t重庆\t重庆\t\t\t电信\tCN\tAP"}}).bytes;
}

std::string asnFile() {
    asnpack::Report report;
    return asnpack::pack("1.0.0.0,1.0.255.255,4134,Chinanet\n", "", "test 1", 20260617, report);
}

TEST(DataFiles, EachFileRefusedForItsReasonWhileTheOtherServes) {
    struct Case {
        const char* name;
        FileKind kind;  // the file made unusable
        std::optional<std::string> bytes;
        Refusal broken;
        bool named;
        Refusal refusal;
        bool said;
    } cases[] = {
        {"missing beside", FileKind::Location, std::nullopt, Refusal::None, false, Refusal::Missing,
         false},
        {"named missing", FileKind::Network, std::nullopt, Refusal::None, true, Refusal::Missing,
         true},
        {"denied", FileKind::Location, locationFile(), Refusal::Denied, false, Refusal::Denied,
         true},
        {"folder", FileKind::Network, asnFile(), Refusal::Folder, true, Refusal::Folder, true},
        {"empty", FileKind::Location, "", Refusal::None, false, Refusal::Damaged, true},
        {"location data as asn", FileKind::Network, locationFile(), Refusal::None, false,
         Refusal::Damaged, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Disk disk;
        disk.files = {{"d/ipdata.db", locationFile()}, {"d/asn.db", asnFile()}};
        const std::string path = c.kind == FileKind::Location ? "d/ipdata.db" : "d/asn.db";
        if (c.bytes)
            disk.files[path] = *c.bytes;
        else
            disk.files.erase(path);
        if (c.broken != Refusal::None) disk.broken[path] = c.broken;
        std::vector<ipdata::DataFile> wanted = ipdata::filesBeside("d/");
        for (ipdata::DataFile& f : wanted) f.named = f.kind == c.kind && c.named;
        ipdata::DataFiles files(disk.mapper(), wanted);
        files.open();

        const bool location = c.kind == FileKind::Location;
        const ipdata::FileReport& bad = files.reports()[location ? 0 : 1];
        const ipdata::FileReport& good = files.reports()[location ? 1 : 0];
        EXPECT_EQ(bad.refusal, c.refusal);
        EXPECT_EQ(bad.worthSaying(), c.said);
        EXPECT_TRUE(good.used());
        EXPECT_EQ(files.location() != nullptr, !location);
        EXPECT_EQ(files.network() != nullptr, location);
        const ip::Address address = *ip::parseAddress("1.0.1.9");
        EXPECT_TRUE(location || files.location()->find(address));
        EXPECT_TRUE(!location || files.network()->find(address));
    }
    // The readers' own reasons come with the refusal.
    Disk disk;
    disk.files = {{"ipdata.db", ""}, {"asn.db", locationFile()}};
    ipdata::DataFiles files(disk.mapper(), ipdata::filesBeside(""));
    files.open();
    EXPECT_EQ(files.reports()[0].failure.error, ipdata::OpenError::Empty);
    EXPECT_EQ(files.reports()[1].asnError, ipdata::AsnError::kNotAsnFile);
}

TEST(DataFiles, CheckedPagesAreLetGoAndAWholeJobReadsViewsOfItsOwn) {
    Disk disk;
    disk.files = {{"ipdata.db", locationFile()}, {"asn.db", asnFile()}};
    ipdata::DataFiles files(disk.mapper(), ipdata::filesBeside(""));
    files.open();
    // Each file: the view checked, gone, and the fresh one it reads.
    ASSERT_EQ(disk.views.size(), 4u);
    EXPECT_TRUE(disk.views[0].expired());
    EXPECT_FALSE(disk.views[1].expired());
    EXPECT_TRUE(disk.views[2].expired());
    EXPECT_FALSE(disk.views[3].expired());

    std::shared_ptr<const ipdata::Database> job = files.forWholeJob();
    ASSERT_NE(job, files.location());
    ASSERT_EQ(disk.views.size(), 5u);
    EXPECT_TRUE(job->find(*ip::parseAddress("1.0.1.1")));
    job.reset();
    EXPECT_TRUE(disk.views[4].expired());
    EXPECT_TRUE(files.location()->find(*ip::parseAddress("1.0.1.1")));
}

TEST(DataFiles, DatesAndSourceFromTheFilesAndAGlanceOpensNothing) {
    Disk disk;
    disk.files = {{"ipdata.db", locationFile()}, {"asn.db", asnFile()}};
    ipdata::DataFiles files(disk.mapper(), ipdata::filesBeside(""));
    const std::vector<ipdata::FileReport> glance = files.glance();
    EXPECT_EQ(files.location(), nullptr);
    ASSERT_EQ(glance.size(), 2u);
    EXPECT_EQ(glance[0].date, "1970-01-01");  // the test file's build time is 1
    EXPECT_EQ(glance[1].date, "2026-06-17");
    files.open();
    EXPECT_EQ(files.reports()[0].date, "1970-01-01");
    EXPECT_EQ(files.reports()[0].format, "ipdb");
    EXPECT_EQ(files.reports()[1].date, "2026-06-17");
    EXPECT_EQ(files.reports()[1].source, "test 1");
}

// A qqwry.dat file says its date in its version record, at the end, not at its start.
TEST(DataFiles, AQqwryFileIsDatedByItsVersionRecord) {
    Disk disk;
    disk.files = {{"ipdata.db", qqwry_test::writeQqwry(
                                    {{0x01000000, 0x010000FF, "重庆市", "电信"},
                                     {0xFFFFFF00, 0xFFFFFFFF, "纯真网络", "2024年1月7日IP数据"}})
                                    .bytes}};
    ipdata::DataFiles files(disk.mapper(), ipdata::filesBeside(""));
    EXPECT_EQ(files.glance()[0].date, "2024-01-07");
    files.open();
    EXPECT_EQ(files.reports()[0].format, "qqwry");
    EXPECT_EQ(files.reports()[0].date, "2024-01-07");
}

}  // namespace
