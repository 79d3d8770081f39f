#include "app/cli/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "app/cli/cidr.h"
#include "app/cli/output.h"
#include "app/cli/pipeline.h"
#include "io/escape.h"
#include "ipdata/json.h"
#include "table/summary.h"
#include "text/codepage.h"
#include "ui/lookup_presenter.h"

namespace cli {
namespace {

// This file is compiled with UTF-8 literals: every text here is what the user reads.
constexpr std::string_view kHelp =
    "用法: verdalo-cli [lookup] [选项] [文件...]\n"
    "      verdalo-cli summary [选项] [文件...]\n"
    "      verdalo-cli ranges [选项] 关键字...\n"
    "\n"
    "只用本地的地址数据文件回答, 从不访问网络。\n"
    "\n"
    "lookup (默认)  每个输入行写一个输出行: 行中第一个地址、它的位置和各字段, 以制表符分隔;\n"
    "               没有地址的行写空字段。文件可为 UTF-8 (有无 BOM 均可)、带 BOM 的 UTF-16 或 "
    "GBK,\n"
    "               不给文件或给 - 时读标准输入。输出为 UTF-8。\n"
    "summary        按国家、省份、城市、运营商或 ASN 统计地址数和出现次数, 多的在前。\n"
    "ranges         地址数据中每个关键字都出现的地址段 (与窗口的反向查询相同)。\n"
    "\n"
    "选项:\n"
    "  --data 文件        地址数据文件 (默认: 程序旁的 ipdata.db)\n"
    "  --asn 文件         ASN 数据文件 (默认: 程序旁的 asn.db; 没有它时 asn 和 as_name 为空)\n"
    "  --format 格式      lookup: tsv (默认)、csv 或 jsonl; summary: tsv (默认) 或 json\n"
    "  --fields 字段,...  lookup 输出的字段和顺序, 可用:{fields}\n"
    "                     (默认:{defaults})\n"
    "  --annotate         lookup 原样写出每一行, 每个地址后加上 [位置]\n"
    "  --by 分类          summary 的分类: {groupings}\n"
    "  --top N            summary 只列前 N 项, 其余合为一行 \"其他\"\n"
    "  --cidr             ranges 写出覆盖这些地址段的最少 CIDR 块, 每行一个\n"
    "  --threads N        工作线程数 (默认: 处理器数, 至少 2)\n"
    "  --help             显示本说明\n"
    "  --version          显示版本、地址数据文件和 ASN 数据文件\n"
    "\n"
    "退出码: 0 完成; 1 用法错误; 2 地址数据文件或 --asn 指定的文件缺失或无法使用;\n"
    "        3 输入文件无法读取。\n";

// Words after `at` columns of a help line, each after `separator`, wrapped under the
// options' descriptions.
std::string wrapped(const std::vector<std::string_view>& words, std::size_t at,
                    std::string_view separator) {
    constexpr std::size_t kIndent = 21, kWidth = 88;
    std::string out;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::size_t need = (i == 0 ? 1 : separator.size()) + words[i].size();
        if (i > 0 && at + need > kWidth) {
            out += separator.substr(0, separator.size() - (separator.back() == ' ' ? 1 : 0));
            out += "\n" + std::string(kIndent, ' ');
            at = kIndent;
        } else {
            out += i == 0 ? " " : separator;
        }
        out += words[i];
        at += need;
    }
    return out;
}

// "country、region、city、operator 或 asn": what --by takes; with `marked`, the default
// marked so.
std::string groupingNames(bool marked = false) {
    std::string names;
    for (const FieldId by : groupings()) {
        if (!names.empty()) names += by == groupings().back() ? " 或 " : "、";
        names += fieldInfo(by).key;
        if (marked && by == FieldId::Region) names += " (默认)";
    }
    return names;
}

// The help, its field names from the table of fields.
std::string helpText() {
    std::vector<std::string_view> names, defaults;
    for (const FieldInfo& f : allFields()) {
        if (f.cli) names.push_back(f.key);
        if (f.cliDefault) defaults.push_back(f.key);
    }
    std::string help(kHelp);
    auto put = [&help](std::string_view mark, const std::string& text) {
        help.replace(help.find(mark), mark.size(), text);
    };
    // The lines' text before the names is 51 and 28 columns wide (a Chinese character
    // takes two).
    put("{fields}", wrapped(names, 51, " "));
    put("{defaults}", wrapped(defaults, 28, ","));
    put("{groupings}", groupingNames(true));
    return help;
}

enum class Command { Lookup, Summary, Ranges };

struct Options {
    Command command = Command::Lookup;
    std::string data;
    std::string asn;  // empty: asn.db beside the program, when it is there
    Format format = Format::Tsv;
    bool json = false;  // summary
    Columns columns = defaultColumns();
    bool fieldsGiven = false;
    FieldId by = FieldId::Region;
    std::size_t top = 0;  // 0: every group
    bool cidr = false;
    unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    bool help = false, version = false;
    std::vector<std::string> operands;  // files, or keywords
};

void say(std::string_view text) {
    writeError("verdalo-cli: ");
    writeError(text);
    writeError("\n");
}

int usage(std::string_view text) {
    say(std::string(text) + "\n用 verdalo-cli --help 查看用法。");
    return kBadUsage;
}

std::string gbkAsUtf8(const std::string& gbk) {
    return codepage::utf16ToUtf8(codepage::gbkToUtf16(gbk));
}

std::string_view openErrorText(OpenError error) {
    switch (error) {
        case OpenError::Missing:
            return "文件不存在";
        case OpenError::Denied:
            return "没有读取它的权限, 或它被占用";
        case OpenError::Folder:
            return "这是一个文件夹";
        default:
            return "无法打开";
    }
}

std::optional<unsigned long> number(std::string_view text) {
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Parses `args` into `o`; a usage message and kBadUsage when they are wrong.
int parse(const std::vector<std::string>& args, Options& o) {
    std::string format;
    bool annotate = false, commandGiven = false;
    for (std::size_t i = 0, options = true; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options || a == "-" || !a.starts_with("-")) {
            // The first word may name the command, options before it or not.
            static constexpr std::pair<std::string_view, Command> kCommands[] = {
                {"lookup", Command::Lookup},
                {"summary", Command::Summary},
                {"ranges", Command::Ranges}};
            const auto named = std::find_if(std::begin(kCommands), std::end(kCommands),
                                            [&](const auto& c) { return c.first == a; });
            if (options && !commandGiven && o.operands.empty() && named != std::end(kCommands)) {
                o.command = named->second;
                commandGiven = true;
            } else {
                o.operands.push_back(a);
            }
            continue;
        }
        if (a == "--") {
            options = false;
            continue;
        }
        std::string name = a, value;
        const bool takesValue = name == "--data" || name == "--asn" || name == "--format" ||
                                name == "--fields" || name == "--by" || name == "--top" ||
                                name == "--threads";
        if (const auto eq = a.find('='); eq != std::string::npos && a.starts_with("--")) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else if (takesValue) {
            if (i + 1 == args.size()) return usage("选项 " + name + " 缺少值。");
            value = args[++i];
        }
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--version") {
            o.version = true;
        } else if (name == "--annotate") {
            annotate = true;
        } else if (name == "--cidr") {
            o.cidr = true;
        } else if (name == "--data") {
            o.data = value;
        } else if (name == "--asn") {
            if (value.empty()) return usage("--asn 要一个文件名。");
            o.asn = value;
        } else if (name == "--format") {
            format = value;
        } else if (name == "--fields") {
            o.fieldsGiven = true;
            o.columns.clear();
            for (std::size_t from = 0; from <= value.size();) {
                std::size_t comma = value.find(',', from);
                if (comma == std::string::npos) comma = value.size();
                const std::string field = value.substr(from, comma - from);
                const FieldInfo* column = fieldKeyed(field);
                if (!column) return usage("没有字段 \"" + field + "\"。可用: " + cliFieldNames());
                o.columns.push_back(column->id);
                from = comma + 1;
            }
        } else if (name == "--by") {
            const FieldInfo* by = fieldKeyed(value);
            if (!by || !by->grouping) return usage("--by 只能是 " + groupingNames() + "。");
            o.by = by->id;
        } else if (name == "--top") {
            const auto n = number(value);
            if (!n || *n == 0) return usage("--top 要一个正整数。");
            o.top = *n;
        } else if (name == "--threads") {
            const auto n = number(value);
            if (!n || *n == 0 || *n > 256) return usage("--threads 要 1 到 256 之间的整数。");
            o.threads = static_cast<unsigned>(*n);
        } else {
            return usage("未知的选项 " + name + "。");
        }
    }
    if (o.help || o.version) return kDone;
    const bool lookup = o.command == Command::Lookup, summary = o.command == Command::Summary;
    if (!format.empty()) {
        if (lookup && format == "tsv")
            o.format = Format::Tsv;
        else if (lookup && format == "csv")
            o.format = Format::Csv;
        else if (lookup && format == "jsonl")
            o.format = Format::Jsonl;
        else if (summary && (format == "tsv" || format == "json"))
            o.json = format == "json";
        else if (lookup)
            return usage("lookup 的 --format 只能是 tsv、csv 或 jsonl。");
        else if (summary)
            return usage("summary 的 --format 只能是 tsv 或 json。");
        else
            return usage("ranges 没有 --format 选项。");
    }
    if (annotate) {
        if (!lookup) return usage("--annotate 只用于 lookup。");
        if (!format.empty() || o.fieldsGiven)
            return usage("--annotate 不能和 --format 或 --fields 一起用。");
        o.format = Format::Annotate;
    }
    if (o.fieldsGiven && !lookup) return usage("--fields 只用于 lookup。");
    if (o.cidr && o.command != Command::Ranges) return usage("--cidr 只用于 ranges。");
    if (o.top && !summary) return usage("--top 只用于 summary。");
    if (o.command == Command::Ranges && o.operands.empty())
        return usage("ranges 至少要一个关键字。");
    if (o.operands.empty()) o.operands.push_back("-");
    return kDone;
}

struct Data {
    Mapped file;
    std::unique_ptr<ipdata::Database> db;
    std::string path;
    Mapped asnFile;
    std::unique_ptr<ipdata::AsnDatabase> asn;  // null: no network numbers
    std::string asnPath;
    bool asnRefused = false;  // there, but unreadable or damaged (and said so)
};

std::optional<Mapped> freshView(const Mapped& file) {
    return file.again ? file.again() : std::nullopt;
}

// The open read every page of `file` to check it: `db` goes on through a fresh view of it.
template <class Database>
void keepFresh(std::unique_ptr<Database>& db, Mapped& file) {
    if (std::optional<Mapped> fresh = freshView(file)) {
        if (auto moved = db->at(fresh->bytes, fresh->owner)) {
            db = std::move(moved);
            file = std::move(*fresh);
        }
    }
}

int openData(const Options& o, Data& data) {
    data.path = o.data.empty() ? programFolder() + "ipdata.db" : o.data;
    OpenError error;
    auto mapped = mapFile(data.path, error);
    if (!mapped) {
        say("无法读取地址数据文件 " + data.path + ": " + std::string(openErrorText(error)) + "。");
        return kBadData;
    }
    data.file = std::move(*mapped);
    ipdata::OpenFailure failure;
    data.db = ipdata::openDatabase(data.file.bytes, data.file.owner, failure);
    if (!data.db) {
        say("地址数据文件 " + data.path + " 无法使用: " + gbkAsUtf8(ui::refusalText(failure)));
        return kBadData;
    }
    keepFresh(data.db, data.file);
    return kDone;
}

std::string_view asnErrorText(ipdata::AsnError error) {
    using E = ipdata::AsnError;
    switch (error) {
        case E::kTooShort:
            return "文件太短, 没有完整的文件头";
        case E::kNotAsnFile:
            return "这不是 ASN 数据文件";
        case E::kUnknownVersion:
            return "文件格式的版本本程序不认识";
        case E::kBadHeader:
            return "文件头有误: 它记下的大小与文件不符, 文件可能不完整";
        case E::kSectionOutOfFile:
            return "文件已损坏: 有一张表超出了文件末尾, 或与另一张表重叠";
        case E::kUnsortedRanges:
            return "文件已损坏: 地址段未按地址排列、起止颠倒或相互重叠";
        case E::kEntryOutOfTable:
            return "文件已损坏: 地址段指向不存在的网络";
        case E::kStringOutOfTable:
            return "文件已损坏: 组织名称超出了字符串表";
        case E::kBadText:
            return "文件已损坏: 组织名称不是有效的 UTF-8 文本";
        default:
            return "无法使用";
    }
}

// Whether the command shows network numbers at all.
bool usesAsn(const Options& o) {
    return o.version || (o.command == Command::Summary && o.by == FieldId::Asn) ||
           (o.command == Command::Lookup && o.format != Format::Annotate && needsAsn(o.columns));
}

// The ASN file is optional beside the program: missing, it leaves the network fields empty;
// damaged or unreadable, it says so and leaves them empty. A file that --asn names must be
// there and sound.
int openAsn(const Options& o, Data& data) {
    const bool named = !o.asn.empty();
    if (!named && programFolder().empty()) return kDone;
    data.asnPath = named ? o.asn : programFolder() + "asn.db";
    const std::string emptyFields = named ? "" : " asn 和 as_name 字段将为空。";
    OpenError error;
    auto mapped = mapFile(data.asnPath, error);
    if (!mapped) {
        data.asnRefused = error != OpenError::Missing;
        if (named || data.asnRefused)
            say("无法读取 ASN 数据文件 " + data.asnPath + ": " + std::string(openErrorText(error)) +
                "。" + emptyFields);
        return named ? kBadData : kDone;
    }
    data.asnFile = std::move(*mapped);
    ipdata::AsnError failure = ipdata::AsnError::kNone;
    data.asn = ipdata::AsnDatabase::open(data.asnFile.bytes, data.asnFile.owner, failure);
    if (!data.asn) {
        data.asnRefused = true;
        say("ASN 数据文件 " + data.asnPath + " 无法使用: " + std::string(asnErrorText(failure)) +
            "。" + emptyFields);
        return named ? kBadData : kDone;
    }
    keepFresh(data.asn, data.asnFile);
    return kDone;
}

// The build date an ipdb file's metadata gives; empty when there is none.
std::string buildDate(std::string_view bytes) {
    if (bytes.size() < 5 || bytes[0] != 0 || bytes[4] != '{') return {};
    const std::size_t length = static_cast<std::size_t>(static_cast<unsigned char>(bytes[1]))
                                   << 16 |
                               static_cast<std::size_t>(static_cast<unsigned char>(bytes[2])) << 8 |
                               static_cast<unsigned char>(bytes[3]);
    if (length > bytes.size() - 4) return {};
    const auto meta = ipdata::json::parse(bytes.substr(4, length));
    const ipdata::json::Value* build = meta ? meta->member("build") : nullptr;
    if (!build || !build->integer) return {};
    const std::time_t t = static_cast<std::time_t>(*build->integer);
    std::tm day{};
#ifdef _WIN32
    if (gmtime_s(&day, &t) != 0) return {};
#else
    if (!gmtime_r(&t, &day)) return {};
#endif
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &day);
    return text;
}

int version(const Options& o) {
    writeOutput(std::string("verdalo-cli ") + kVersion + "\n");
    Data data;
    if (const int status = openData(o, data)) return status;
    const std::string date = buildDate(data.file.bytes);
    writeOutput("地址数据: " + data.path + " (" + std::string(data.db->formatName()) +
                (date.empty() ? std::string(", 文件中没有日期") : ", " + date) + ")\n");
    if (const int status = openAsn(o, data)) return status;
    if (!data.asn) {
        writeOutput(data.asnRefused ? "ASN 数据: 无 (程序旁的 asn.db 无法使用)\n"
                                    : "ASN 数据: 无 (程序旁没有 asn.db)\n");
        return kDone;
    }
    std::string asnDate = "文件中没有日期";
    if (const std::uint32_t d = data.asn->date()) {
        char text[16];
        std::snprintf(text, sizeof text, "%04u-%02u-%02u", static_cast<unsigned>(d / 10000),
                      static_cast<unsigned>(d / 100 % 100), static_cast<unsigned>(d % 100));
        asnDate = text;
    }
    const std::string_view source = data.asn->source();
    writeOutput("ASN 数据: " + data.asnPath + " (" + asnDate +
                (source.empty() ? std::string() : ", " + std::string(source)) + ")\n");
    return kDone;
}

// Reads every operand through `pipeline`, in order. kBadInput when one could not be read
// (the others are still read).
int readInputs(const Options& o, Pipeline& pipeline, bool& outputFailed) {
    int status = kDone;
    std::string block;
    for (const std::string& path : o.operands) {
        OpenError error;
        std::unique_ptr<Input> input = openInput(path, error);
        if (!input) {
            say("无法读取文件 " + path + ": " + std::string(openErrorText(error)) + "。");
            status = kBadInput;
            continue;
        }
        BlockReader reader(*input, 1 << 20);
        Encoding encoding;
        while (reader.next(block, encoding)) {
            if (!pipeline.push(block, encoding)) {
                outputFailed = true;
                return status;
            }
        }
        if (reader.failed()) {
            say("读取文件 " + (path == "-" ? std::string("(标准输入)") : path) +
                " 时出错, 其余部分未能读取。");
            status = kBadInput;
        }
    }
    return status;
}

int outputGone() {
    say("无法写出结果。");
    return kBadInput;
}

int lookup(const Options& o, const Data& data) {
    bool outputFailed = false;
    Pipeline pipeline(
        o.threads,
        [&]() -> Pipeline::Work {
            auto answers = std::make_shared<Answers>(
                *data.db, o.format == Format::Annotate ? nullptr : data.asn.get());
            auto writer = std::make_shared<LookupWriter>(*answers, o.format, o.columns);
            return [answers, writer](Job& job) {
                std::string storage;
                writer->block(blockText(job.block, job.encoding, storage), job.encoding, job.out);
            };
        },
        [](Job& job) { return writeOutput(job.out); });
    const int status = readInputs(o, pipeline, outputFailed);
    if (!pipeline.finish() || outputFailed) return outputGone();
    return status;
}

struct AddressHash {
    std::size_t operator()(const ip::Address& a) const {
        const std::uint64_t h = a.high() * 0x9E3779B97F4A7C15ull ^ a.low();
        return static_cast<std::size_t>(h ^ h >> 31);
    }
};

std::string share(std::uint64_t part, std::uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

int summary(const Options& o, const Data& data) {
    // Each address once with its hits: the one thing that grows with the input (with the
    // number of distinct addresses, not of lines).
    std::unordered_map<ip::Address, std::uint64_t, AddressHash> hits;
    std::uint64_t lines = 0;
    bool outputFailed = false;
    Pipeline pipeline(
        o.threads,
        []() -> Pipeline::Work {
            return [scan = std::string(), storage = std::string()](Job& job) mutable {
                forEachLine(blockText(job.block, job.encoding, storage),
                            [&](std::string_view line) {
                                ++job.lines;
                                for (const std::string& text :
                                     ip::findAddresses(scanText(line, job.encoding, scan)))
                                    if (auto a = ip::parseAddress(text))
                                        job.addresses.push_back(*a);
                            });
            };
        },
        [&](Job& job) {
            lines += job.lines;
            for (const ip::Address& a : job.addresses) ++hits[a];
            return true;
        });
    const int status = readInputs(o, pipeline, outputFailed);
    pipeline.finish();

    Answers answers(*data.db, data.asn.get());
    const FieldInfo& by = fieldInfo(o.by);
    // Each group's name once: the counter keeps views of them.
    std::unordered_set<std::string> names;
    summary::Counter counter;
    for (const auto& [address, count] : hits) {
        Network network;
        const Answer* answer = answers.find(address, nullptr, &network);
        if (!answer) counter.unplaced();
        std::string name;
        if (by.from == FieldFrom::Network) {
            if (network.known) name = summary::networkName(network.number, network.organisation);
        } else {
            name = !answer ? "离线库未能定位" : answer->fields[static_cast<std::size_t>(by.record)];
        }
        // No value, or no network: one group, as before a value spelled so.
        if (name.empty()) name = "未知";
        counter.add(*names.insert(std::move(name)).first, count);
    }
    const summary::Summary s =
        counter.summary(o.by, o.top ? o.top : std::numeric_limits<std::size_t>::max());
    std::vector<summary::Line> shown = s.lines;
    if (s.hasRest) shown.push_back({"其他", s.rest.addresses, s.rest.hits});
    const std::uint64_t total = hits.size();
    std::string out;
    if (o.json) {
        out = "{\"by\":\"" + std::string(by.key) + "\",\"lines\":" + std::to_string(lines) +
              ",\"addresses\":" + std::to_string(total) + ",\"hits\":" + std::to_string(s.hits) +
              ",\"unplaced\":" + std::to_string(s.unplaced) + ",\"groups\":[";
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (i > 0) out += ',';
            out += "{\"name\":";
            io::appendJsonString(out, shown[i].name);
            out += ",\"addresses\":" + std::to_string(shown[i].addresses) +
                   ",\"share\":" + share(shown[i].addresses, total) +
                   ",\"hits\":" + std::to_string(shown[i].hits) + "}";
        }
        out += "]}\n";
    } else {
        out = "name\taddresses\tshare\thits\n";
        for (const summary::Line& g : shown) {
            io::appendTsvField(out, g.name);
            out += "\t" + std::to_string(g.addresses) + "\t" + share(g.addresses, total) + "%\t" +
                   std::to_string(g.hits) + "\n";
        }
    }
    if (outputFailed || !writeOutput(out)) return outputGone();
    return status;
}

int ranges(const Options& o, const Data& data) {
    std::vector<std::string> keywords;
    for (const std::string& k : o.operands)
        keywords.push_back(codepage::utf16ToGbk(codepage::utf8ToUtf16(k)));
    std::vector<std::pair<ip::Address, ip::Address>> found;
    std::string out;
    bool ok = true;
    // A walk over the whole file: through a database that lets go of the pages it has read.
    const ipdata::Database* db = data.db.get();
    std::unique_ptr<ipdata::Database> walker;
    if (std::optional<Mapped> fresh = freshView(data.file)) {
        walker = data.db->at(fresh->bytes, fresh->owner,
                             [&file = data.file]() -> std::optional<ipdata::BytesView> {
                                 std::optional<Mapped> next = freshView(file);
                                 if (!next) return std::nullopt;
                                 return ipdata::BytesView{next->bytes, next->owner};
                             });
        if (walker) db = walker.get();
    }
    db->searchEach(keywords, [&](ipdata::Range& range) {
        if (o.cidr) {
            found.emplace_back(range.first, range.last);
            return;
        }
        out += ipdata::rangeDisplay(range);
        out += '\t';
        io::appendTsvField(out, gbkAsUtf8(range.display));
        out += '\n';
        if (out.size() >= (1 << 20)) {
            ok = ok && writeOutput(out);
            out.clear();
        }
    });
    if (o.cidr) {
        for (const Block& b : coverWithBlocks(std::move(found))) {
            out += formatBlock(b);
            out += '\n';
        }
    }
    if (!ok || !writeOutput(out)) return outputGone();
    return kDone;
}

}  // namespace

int run(const std::vector<std::string>& args) {
    Options o;
    if (const int status = parse(args, o)) return status;
    if (o.help) {
        writeOutput(helpText());
        return kDone;
    }
    if (o.version) return version(o);
    Data data;
    if (const int status = openData(o, data)) return status;
    if (!o.asn.empty() || usesAsn(o)) {
        if (const int status = openAsn(o, data)) return status;
    }
    if (!data.asn && o.command == Command::Summary && o.by == FieldId::Asn) {
        say("按 ASN 统计要 ASN 数据文件: 程序旁没有可用的 asn.db, 可用 --asn 指定。");
        return kBadData;
    }
    if (!data.asn && !data.asnRefused && o.fieldsGiven && usesAsn(o))
        say("程序旁没有 ASN 数据文件 asn.db, asn 和 as_name 字段将为空 (可用 --asn 指定)。");
    switch (o.command) {
        case Command::Summary:
            return summary(o, data);
        case Command::Ranges:
            return ranges(o, data);
        default:
            return lookup(o, data);
    }
}

}  // namespace cli
