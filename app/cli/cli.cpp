#include "app/cli/cli.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <limits>
#include <memory>
#include <thread>

#include "app/cli/cidr.h"
#include "app/cli/distinct.h"
#include "app/cli/output.h"
#include "app/cli/pipeline.h"
#include "app/cli/query.h"
#include "io/escape.h"
#include "ipdata/data_files.h"
#include "table/operators.h"
#include "table/summary.h"
#include "text/codepage.h"
#include "texts/data_texts.h"

namespace cli {
namespace {

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
    "summary        按国家、省份、城市、运营商或 ASN 统计地址数和出现次数, 多的在前;\n"
    "               统计行中每个地址; 给了选用地址的选项或日志有 W3C 头时,\n"
    "               只统计 lookup 回答的那一个。\n"
    "ranges         地址数据中每个关键字都出现的地址段 (与窗口的反向查询相同,\n"
    "               拉丁字母不分大小写); region:重庆 这样的关键字只与该字段的\n"
    "               整个值相比 (同 --region 重庆)。\n"
    "\n"
    "选项:\n"
    "  --data 文件        地址数据文件 (默认: 程序旁的 ipdata.db)\n"
    "  --asn 文件         ASN 数据文件 (默认: 程序旁的 asn.db; 没有它时 asn 和 as_name 为空)\n"
    "  --format 格式      lookup: tsv (默认)、csv 或 jsonl; summary: tsv (默认) 或 json\n"
    "  --fields 字段,...  lookup 输出的字段和顺序, 可用:{fields}\n"
    "                     (默认:{defaults})\n"
    "  --annotate         lookup 原样写出每一行, 每个地址连同粘在它上面的端口、区域、前缀长度等\n"
    "                     之后加上 \" [位置]\" (位置中的 \\、[ 和 ] 前加 \\; 没有位置时为 [])\n"
    "  --by 分类          summary 的分类: {groupings}\n"
    "  --top N            summary 只列前 N 项, 其余合为一行 \"其他\"\n"
    "  --cidr             ranges 写出覆盖这些地址段的最少 CIDR 块, 每行一个\n"
    "  --country 名称     ranges 只要国家是这个名称的地址段; --region (省份)、--city (城市)、\n"
    "                     --operator (运营商, \"中国电信\" 与 \"电信\" 相同) 亦然;\n"
    "                     \"重庆市\" 与 \"重庆\" 相同; 同一字段给几次时符合其一即可\n"
    "  --threads N        工作线程数 (默认: 处理器数, 至少 2)\n"
    "  --help             显示本说明\n"
    "  --version          显示版本、地址数据文件和 ASN 数据文件\n"
    "\n"
    "选用地址 (lookup 和 summary; 默认: 行中第一个地址; 有 W3C 日志的 #Fields: 头时取 c-ip 列):\n"
    "  --nth N            第 N 个地址\n"
    "  --last             最后一个地址\n"
    "  --public           跳过专用地址 (局域网、本机、保留地址等)\n"
    "  --column N         只在第 N 列中找 (列以空格或制表符分隔)\n"
    "  --input-format csv 与 --column 合用: 列为 CSV 字段 (以逗号分隔, 可带引号)\n"
    "  --json-key 键      每行是一个 JSON 对象, 只在这个键的字符串值中找\n"
    "\n"
    "退出码: 0 完成; 1 用法错误; 2 地址数据文件或 --asn 指定的文件缺失或无法使用;\n"
    "        3 输入文件无法读取; 4 ranges 没有找到地址段。\n";

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
    bool approx = false;  // summary: addresses estimated in fixed memory
    unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    bool help = false, version = false;
    std::vector<std::string> operands;  // files, or keywords
    RangeQuery query;                   // ranges: the keywords, by field or not
    AddressChoice choice;               // lookup, summary: which address of a line counts
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

ipdata::Refusal refusalOf(OpenError error) {
    switch (error) {
        case OpenError::Missing:
            return ipdata::Refusal::Missing;
        case OpenError::Denied:
            return ipdata::Refusal::Denied;
        case OpenError::Folder:
            return ipdata::Refusal::Folder;
        default:
            return ipdata::Refusal::Unreadable;
    }
}

std::string_view openErrorText(OpenError error) {
    return texts::fileErrorReason(refusalOf(error));
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
    bool annotate = false, commandGiven = false, choiceGiven = false, inputFormat = false;
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
                                name == "--threads" || name == "--nth" || name == "--column" ||
                                name == "--input-format" || name == "--json-key" ||
                                queryField(name.substr(2)).has_value();
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
        } else if (name == "--approx") {
            o.approx = true;
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
        } else if (const auto field =
                       name.starts_with("--") ? queryField(name.substr(2)) : std::nullopt) {
            if (value.empty()) return usage("选项 " + name + " 要一个名称。");
            o.query.fields.emplace_back(*field, value);
        } else if (name == "--nth" || name == "--column") {
            const auto n = number(value);
            if (!n || *n == 0) return usage(name + " 要一个正整数。");
            (name == "--nth" ? o.choice.nth : o.choice.column) = *n;
            choiceGiven = true;
        } else if (name == "--last" || name == "--public") {
            (name == "--last" ? o.choice.last : o.choice.publicOnly) = true;
            choiceGiven = true;
        } else if (name == "--input-format") {
            if (value != "text" && value != "csv")
                return usage("--input-format 只能是 text 或 csv。");
            o.choice.csv = value == "csv";
            inputFormat = true;
        } else if (name == "--json-key") {
            if (value.empty()) return usage("--json-key 要一个键名。");
            o.choice.jsonKey = value;
            choiceGiven = true;
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
    if ((choiceGiven || inputFormat) && (o.command == Command::Ranges || annotate))
        return usage(
            "--nth、--last、--public、--column、--input-format 和 --json-key 只用于 lookup "
            "(不带 --annotate) 和 summary。");
    if (o.choice.last && o.choice.nth != 1) return usage("--nth 和 --last 只能选一个。");
    if (o.choice.column != 0 && !o.choice.jsonKey.empty())
        return usage("--column 和 --json-key 只能选一个。");
    if (inputFormat && o.choice.column == 0) return usage("--input-format 要和 --column 一起用。");
    if (o.cidr && o.command != Command::Ranges) return usage("--cidr 只用于 ranges。");
    if (o.top && !summary) return usage("--top 只用于 summary。");
    if (o.approx && !summary) return usage("--approx 只用于 summary。");
    if (!o.query.fields.empty() && o.command != Command::Ranges)
        return usage("--country、--region、--city 和 --operator 只用于 ranges。");
    if (o.command == Command::Ranges) {
        for (const std::string& operand : o.operands)
            if (!operand.empty()) addOperand(o.query, operand);
        if (o.query.empty()) return usage("ranges 至少要一个关键字。");
        return kDone;
    }
    if (o.operands.empty()) o.operands.push_back("-");
    return kDone;
}

struct Data {
    std::unique_ptr<ipdata::DataFiles> files;
    std::shared_ptr<const ipdata::Database> db;
    std::shared_ptr<const ipdata::AsnDatabase> asn;  // null: no network numbers
    bool asnRefused = false;  // there, but unreadable or damaged (and said so)
};

// The report on the first file of `kind`; null when none was asked for.
const ipdata::FileReport* reportOn(const Data& data, ipdata::FileKind kind) {
    for (const ipdata::FileReport& report : data.files->reports())
        if (report.file.kind == kind) return &report;
    return nullptr;
}

// Whether the command shows network numbers at all.
bool usesAsn(const Options& o) {
    return o.version || (o.command == Command::Summary && o.by == FieldId::Asn) ||
           (o.command == Command::Lookup && o.format != Format::Annotate && needsAsn(o.columns));
}

// Opens the data file, and the ASN file when the command shows network numbers; says why
// the data file cannot be used.
int openData(const Options& o, Data& data) {
    std::vector<ipdata::DataFile> wanted{{ipdata::FileKind::Location,
                                          o.data.empty() ? programFolder() + "ipdata.db" : o.data,
                                          !o.data.empty()}};
    // The ASN file is optional beside the program: missing, it leaves the network fields
    // empty; damaged or unreadable, it says so and leaves them empty. A file that --asn
    // names must be there and sound.
    if (!o.asn.empty())
        wanted.push_back({ipdata::FileKind::Network, o.asn, true});
    else if (usesAsn(o) && !programFolder().empty())
        wanted.push_back({ipdata::FileKind::Network, programFolder() + "asn.db"});
    data.files = std::make_unique<ipdata::DataFiles>(
        [](const std::string& path, ipdata::Refusal& why) -> std::optional<Mapped> {
            OpenError error = OpenError::None;
            std::optional<Mapped> mapped = mapFile(path, error);
            if (!mapped) why = refusalOf(error);
            return mapped;
        },
        std::move(wanted));
    data.files->open();
    data.db = data.files->location();
    data.asn = data.files->network();
    if (!data.db) {
        say(texts::commandLineRefusal(*reportOn(data, ipdata::FileKind::Location)));
        return kBadData;
    }
    return kDone;
}

// Says why the ASN file cannot be used; kBadData when --asn named it.
int openAsn(const Options&, Data& data) {
    const ipdata::FileReport* report = reportOn(data, ipdata::FileKind::Network);
    if (!report || report->used()) return kDone;
    data.asnRefused = report->refusal != ipdata::Refusal::Missing;
    if (report->worthSaying()) say(texts::commandLineRefusal(*report));
    return report->file.named ? kBadData : kDone;
}

int version(const Options& o) {
    writeOutput(std::string("verdalo-cli ") + kVersion + "\n");
    Data data;
    if (const int status = openData(o, data)) return status;
    writeOutput(texts::versionLine(*reportOn(data, ipdata::FileKind::Location)));
    if (const int status = openAsn(o, data)) return status;
    if (!data.asn) {
        writeOutput(texts::noNetworkVersionLine(data.asnRefused));
        return kDone;
    }
    writeOutput(texts::versionLine(*reportOn(data, ipdata::FileKind::Network)));
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
        // The c-ip column a W3C header names, read here in input order: each block starts
        // with the one in effect after the blocks before it.
        std::size_t w3c = 0;
        std::string text;
        while (reader.next(block, encoding)) {
            const std::size_t start = w3c;
            if (o.choice.followsW3c() && o.format != Format::Annotate)
                w3c = w3cColumnAfter(blockText(block, encoding, text), w3c);
            if (!pipeline.push(block, encoding, start)) {
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
            auto writer = std::make_shared<LookupWriter>(*answers, o.format, o.columns, o.choice);
            return [answers, writer](Job& job) {
                std::string storage;
                writer->block(blockText(job.block, job.encoding, storage), job.encoding, job.out,
                              job.w3c);
            };
        },
        [](Job& job) { return writeOutput(job.out); });
    const int status = readInputs(o, pipeline, outputFailed);
    if (!pipeline.finish() || outputFailed) return outputGone();
    return status;
}

std::string share(std::uint64_t part, std::uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

int summary(const Options& o, const Data& data) {
    SummaryCount counting(*data.db, data.asn.get(), o.by, o.choice, o.approx, o.threads);
    std::uint64_t lines = 0;
    bool outputFailed = false;
    Pipeline pipeline(
        o.threads, [&] { return counting.work(); },
        [&](Job& job) {
            lines += job.lines;
            return true;
        });
    const int status = readInputs(o, pipeline, outputFailed);
    pipeline.finish();

    const FieldInfo& by = fieldInfo(o.by);
    summary::Counter counter;
    const std::uint64_t total = counting.into(counter);
    if (o.approx) {
        char error[16];
        std::snprintf(error, sizeof error, "%.1f%%", 100 * DistinctSketch::standardError());
        say(std::string("--approx: 地址数是估计值, 标准误差约 ") + error + "; 次数是精确的。");
    }
    const summary::Summary s =
        counter.summary(o.by, o.top ? o.top : std::numeric_limits<std::size_t>::max());
    std::vector<summary::Line> shown = s.lines;
    if (s.hasRest) shown.push_back({"其他", s.rest.addresses, s.rest.hits});
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
    std::vector<std::pair<ip::Address, ip::Address>> found;
    std::string out;
    bool ok = true;
    // A walk over the whole file: through a database that lets go of the pages it has read.
    const std::shared_ptr<const ipdata::Database> walker = data.files->forWholeJob();
    const ipdata::Database* db = walker.get();
    std::size_t count = 0;
    db->searchWhere([&](const ipdata::FieldViews& record) { return matches(o.query, record); },
                    [&](ipdata::Range& range) {
                        ++count;
                        if (o.cidr) {
                            found.emplace_back(range.first, range.last);
                            return;
                        }
                        out += ipdata::rangeDisplay(range);
                        out += '\t';
                        io::appendTsvField(out, range.display);
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
    if (count == 0) {
        say("地址数据中没有相符的地址段。");
        return kNothingFound;
    }
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
