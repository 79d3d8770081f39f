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

TEST(DataTexts, VersionAndAboutLines) {
    auto data = report(FileKind::Location, "/p/ipdata.db", false, Refusal::None);
    data.format = "ipdb";
    auto asn = report(FileKind::Network, "/p/asn.db", false, Refusal::None);
    asn.date = "2026-06-17";
    asn.source = "@ip-location-db/asn 2.3";
    EXPECT_EQ(texts::versionLine(data), "地址数据: /p/ipdata.db (ipdb, 文件中没有日期)\n");
    EXPECT_EQ(texts::versionLine(asn),
              "ASN 数据: /p/asn.db (2026-06-17, @ip-location-db/asn 2.3)\n");
    auto missing = report(FileKind::Network, "/p/asn.db", false, Refusal::Missing);
    EXPECT_EQ(texts::dataFilesLine({data, asn}, false),
              "数据文件: ipdata.db (日期不详), asn.db 2026-06-17");
    EXPECT_EQ(texts::dataFilesLine({data, missing}, false),
              "数据文件: ipdata.db (日期不详), asn.db (没有)");
}

}  // namespace
