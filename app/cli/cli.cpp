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
#include "app/cli/gzip.h"
#include "app/cli/output.h"
#include "app/cli/pipeline.h"
#include "app/cli/progress.h"
#include "app/cli/query.h"
#include "io/escape.h"
#include "ipdata/data_files.h"
#include "map/places.h"
#include "map/raster.h"
#include "map/svg.h"
#include "map/tally.h"
#include "table/operators.h"
#include "table/summary.h"
#include "text/codepage.h"
#include "texts/cli_texts.h"
#include "texts/data_texts.h"

namespace cli {
namespace {

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
std::string groupingNames(const texts::CliTexts& t, bool marked = false) {
    std::string names;
    for (const FieldId by : groupings()) {
        if (!names.empty())
            names += by == groupings().back() ? t.listLastSeparator : t.listSeparator;
        names += fieldInfo(by).key;
        if (marked && by == FieldId::Region) names += t.markedDefault;
    }
    return names;
}

// The help, its field names from the table of fields.
std::string helpText(const texts::CliTexts& t) {
    std::vector<std::string_view> names, defaults;
    for (const FieldInfo& f : allFields()) {
        if (f.cli) names.push_back(f.key);
        if (f.cliDefault) defaults.push_back(f.key);
    }
    std::string help(t.help);
    auto put = [&help](std::string_view mark, const std::string& text) {
        help.replace(help.find(mark), mark.size(), text);
    };
    put("{fields}", wrapped(names, t.fieldsColumn, " "));
    put("{defaults}", wrapped(defaults, t.defaultsColumn, ","));
    put("{groupings}", groupingNames(t, true));
    return help;
}

enum class Command { Lookup, Summary, Ranges, Map };

struct Options {
    texts::Language language = texts::Language::Chinese;
    const texts::CliTexts* t = &texts::cliTexts(language);
    Command command = Command::Lookup;
    std::vector<std::string> data;  // --data, in order; empty: the files beside the program
    std::string asn;                // empty: asn.db beside the program, when it is there
    Format format = Format::Tsv;
    bool json = false;  // summary
    Columns columns = defaultColumns();
    bool fieldsGiven = false;
    FieldId by = FieldId::Region;
    bool byGiven = false;
    geo::Extent extent = geo::Extent::World;
    std::size_t top = 0;  // 0: every group
    bool cidr = false;
    bool approx = false;  // summary: addresses estimated in fixed memory
    unsigned threads = std::max(2u, std::thread::hardware_concurrency());
    bool help = false, version = false;
    std::vector<std::string> operands;  // files, or keywords
    RangeQuery query;                   // ranges: the keywords, by field or not
    AddressChoice choice;               // lookup, summary: which address of a line counts

    Encoding encoding = Encoding::Undecided;  // --encoding: Undecided is auto
    std::string output;                       // -o: a file instead of standard output
    bool header = false;                      // --header: a line of the fields' keys first
    bool progress = false;                    // shown on standard error
};

void say(std::string_view text) {
    writeError("verdalo-cli: ");
    writeError(text);
    writeError("\n");
}

int usage(const Options& o, std::string_view text) {
    say(std::string(text) + std::string(o.t->seeHelp));
    return kBadUsage;
}

// What a run returns when its output could not be written: kBadInput to the caller, but a
// file -o names must not replace the one there.
constexpr int kOutputLost = -1;

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

std::string_view openErrorText(OpenError error, texts::Language language) {
    return texts::fileErrorReason(refusalOf(error), language);
}

std::optional<unsigned long> number(std::string_view text) {
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The options of the inputs and the output that take a value.
bool takesInputValue(std::string_view name) {
    return name == "--encoding" || name == "-o";
}

// Parses `args` into `o`; a usage message and kBadUsage when they are wrong.
int parse(const std::vector<std::string>& args, Options& o) {
    const texts::CliTexts& t = *o.t;
    std::string format, encoding;
    bool annotate = false, commandGiven = false, choiceGiven = false, inputFormat = false;
    for (std::size_t i = 0, options = true; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options || a == "-" || !a.starts_with("-")) {
            // The first word may name the command, options before it or not.
            static constexpr std::pair<std::string_view, Command> kCommands[] = {
                {"lookup", Command::Lookup},
                {"summary", Command::Summary},
                {"ranges", Command::Ranges},
                {"map", Command::Map}};
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
        const bool takesValue =
            name == "--data" || name == "--asn" || name == "--format" || name == "--fields" ||
            name == "--by" || name == "--top" || name == "--threads" || name == "--nth" ||
            name == "--column" || name == "--input-format" || name == "--json-key" ||
            queryField(name.substr(2)).has_value() || takesInputValue(name) || name == "--extent";
        if (const auto eq = a.find('='); eq != std::string::npos && a.starts_with("--")) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
        } else if (takesValue) {
            if (i + 1 == args.size()) return usage(o, texts::fill(t.missingValue, {name}));
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
            o.data.push_back(value);
        } else if (name == "--asn") {
            if (value.empty()) return usage(o, t.asnNeedsFile);
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
                if (!column) return usage(o, texts::fill(t.unknownField, {field, cliFieldNames()}));
                o.columns.push_back(column->id);
                from = comma + 1;
            }
        } else if (name == "--by") {
            const FieldInfo* by = fieldKeyed(value);
            if (!by || !by->grouping) return usage(o, texts::fill(t.byOnly, {groupingNames(t)}));
            o.by = by->id;
            o.byGiven = true;
        } else if (name == "--extent") {
            const auto extent = geo::extentNamed(value);
            if (!extent) return usage(o, t.extentNames);
            o.extent = *extent;
        } else if (const auto field =
                       name.starts_with("--") ? queryField(name.substr(2)) : std::nullopt) {
            if (value.empty()) return usage(o, texts::fill(t.fieldNeedsName, {name}));
            o.query.fields.emplace_back(*field, value);
        } else if (name == "--nth" || name == "--column") {
            const auto n = number(value);
            if (!n || *n == 0) return usage(o, texts::fill(t.needsPositive, {name}));
            (name == "--nth" ? o.choice.nth : o.choice.column) = *n;
            choiceGiven = true;
        } else if (name == "--last" || name == "--public") {
            (name == "--last" ? o.choice.last : o.choice.publicOnly) = true;
            choiceGiven = true;
        } else if (name == "--input-format") {
            if (value != "text" && value != "csv") return usage(o, t.inputFormatOnly);
            o.choice.csv = value == "csv";
            inputFormat = true;
        } else if (name == "--json-key") {
            if (value.empty()) return usage(o, t.jsonKeyNeedsKey);
            o.choice.jsonKey = value;
            choiceGiven = true;
        } else if (name == "--top") {
            const auto n = number(value);
            if (!n || *n == 0) return usage(o, t.topNeedsPositive);
            o.top = *n;
        } else if (name == "--threads") {
            const auto n = number(value);
            if (!n || *n == 0 || *n > 256) return usage(o, t.threadsRange);
            o.threads = static_cast<unsigned>(*n);
        } else if (name == "--encoding") {
            encoding = value;
        } else if (name == "-o") {
            o.output = value;
        } else if (name == "--header") {
            o.header = true;
        } else {
            return usage(o, texts::fill(t.unknownOption, {name}));
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
            return usage(o, t.lookupFormats);
        else if (summary)
            return usage(o, t.summaryFormats);
        else
            return usage(o, o.command == Command::Map ? t.mapNoFormat : t.rangesNoFormat);
    }
    if (annotate) {
        if (!lookup) return usage(o, t.annotateOnly);
        if (!format.empty() || o.fieldsGiven) return usage(o, t.annotateAlone);
        o.format = Format::Annotate;
    }
    if (o.fieldsGiven && !lookup) return usage(o, t.fieldsOnly);
    if ((choiceGiven || inputFormat) && (o.command == Command::Ranges || annotate))
        return usage(o, t.choiceOnly);
    if (o.choice.last && o.choice.nth != 1) return usage(o, t.nthOrLast);
    if (o.choice.column != 0 && !o.choice.jsonKey.empty()) return usage(o, t.columnOrKey);
    if (inputFormat && o.choice.column == 0) return usage(o, t.inputFormatNeedsColumn);
    if (o.cidr && o.command != Command::Ranges) return usage(o, t.cidrOnly);
    if (o.top && !summary) return usage(o, t.topOnly);
    const bool map = o.command == Command::Map;
    if (!map && o.extent != geo::Extent::World) return usage(o, t.extentOnly);
    if (map && !o.byGiven) o.by = FieldId::Operator;
    if (o.approx && !summary) return usage(o, t.approxOnly);
    if (!o.query.fields.empty() && o.command != Command::Ranges)
        return usage(o, t.fieldKeywordsOnly);
    if (!encoding.empty()) {
        static constexpr std::pair<std::string_view, Encoding> kEncodings[] = {
            {"auto", Encoding::Undecided},
            {"utf-8", Encoding::Utf8},
            {"gbk", Encoding::Gbk},
            {"utf-16le", Encoding::Utf16Le},
            {"utf-16be", Encoding::Utf16Be}};
        const auto named = std::find_if(std::begin(kEncodings), std::end(kEncodings),
                                        [&](const auto& e) { return e.first == encoding; });
        if (named == std::end(kEncodings)) return usage(o, t.encodingNames);
        if (o.command == Command::Ranges) return usage(o, t.encodingOnly);
        o.encoding = named->second;
    }
    if (o.header && !(lookup && (o.format == Format::Tsv || o.format == Format::Csv)))
        return usage(o, t.headerOnly);
    if (o.command == Command::Ranges) {
        for (const std::string& operand : o.operands)
            if (!operand.empty()) addOperand(o.query, operand);
        if (o.query.empty()) return usage(o, t.rangesNeedKeyword);
        return kDone;
    }
    if (o.operands.empty()) o.operands.push_back("-");
    return kDone;
}

struct Data {
    std::unique_ptr<ipdata::DataFiles> files;
    std::shared_ptr<const ipdata::Database> db;
    std::shared_ptr<const ipdata::Networks> asn;  // null: no network numbers
    bool asnRefused = false;                      // there, but unreadable or damaged (and said so)
};

// The report on the first file of `kind`; null when none was asked for.
const ipdata::FileReport* reportOn(const Data& data, ipdata::FileKind kind) {
    for (const ipdata::FileReport& report : data.files->reports())
        if (report.file.kind == kind) return &report;
    return nullptr;
}

// Whether the command shows network numbers at all.
bool usesAsn(const Options& o) {
    return o.version ||
           ((o.command == Command::Summary || o.command == Command::Map) && o.by == FieldId::Asn) ||
           (o.command == Command::Lookup && o.format != Format::Annotate && needsAsn(o.columns));
}

// Whether the command writes coordinates or what comes with them.
bool wantsExtras(const Options& o) {
    if (o.command != Command::Lookup || o.format == Format::Annotate) return false;
    return std::any_of(o.columns.begin(), o.columns.end(), [](FieldId id) {
        const FieldInfo& f = fieldInfo(id);
        return f.from == FieldFrom::Record && f.record >= static_cast<int>(Field::Latitude);
    });
}

// Opens the data file, and the ASN file when the command shows network numbers; says why
// the data file cannot be used.
int openData(const Options& o, Data& data) {
    // The files named, in order; else every data file beside the program, in its order.
    std::vector<ipdata::DataFile> wanted;
    for (const std::string& path : o.data)
        wanted.push_back({ipdata::FileKind::Location, path, true});
    std::vector<ipdata::DataFile> beside;
    if (const std::string folder = programFolder(); !folder.empty())
        beside = ipdata::filesBeside(folder, namesIn(folder));
    else
        beside = ipdata::filesBeside("");
    for (ipdata::DataFile& file : beside)
        if (file.kind == ipdata::FileKind::Location && o.data.empty()) wanted.push_back(file);
    // The ASN file is optional beside the program: missing, it leaves the network fields
    // empty; damaged or unreadable, it says so and leaves them empty. A file that --asn
    // names must be there and sound.
    if (!o.asn.empty()) {
        wanted.push_back({ipdata::FileKind::Network, o.asn, true});
    } else if (usesAsn(o) && !programFolder().empty()) {
        for (ipdata::DataFile& file : beside)
            if (file.kind == ipdata::FileKind::Network) wanted.push_back(file);
    }
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
        say(texts::commandLineRefusal(*reportOn(data, ipdata::FileKind::Location), o.language));
        return kBadData;
    }
    // A file refused beside others that serve: said, and the others answer; but a file the
    // user named is there to be used, and the run does not go on without it.
    int status = kDone;
    for (const ipdata::FileReport& report : data.files->reports()) {
        if (report.file.kind != ipdata::FileKind::Location || !report.worthSaying()) continue;
        say(texts::commandLineRefusal(report, o.language));
        if (report.file.named) status = kBadData;
    }
    return status;
}

// Says why the ASN file cannot be used; kBadData when --asn named it.
int openAsn(const Options& o, Data& data) {
    const ipdata::FileReport* report = reportOn(data, ipdata::FileKind::Network);
    if (!report || report->used()) return kDone;
    data.asnRefused = report->refusal != ipdata::Refusal::Missing;
    if (report->worthSaying()) say(texts::commandLineRefusal(*report, o.language));
    return report->file.named ? kBadData : kDone;
}

int version(const Options& o) {
    writeOutput(std::string("verdalo-cli ") + kVersion + "\n");
    Data data;
    if (const int status = openData(o, data)) return status;
    // Every location file in use, in the order they answer.
    for (const ipdata::FileReport& report : data.files->reports())
        if (report.used() && !report.network) writeOutput(texts::versionLine(report, o.language));
    if (const int status = openAsn(o, data)) return status;
    const ipdata::FileReport* network = nullptr;
    for (const ipdata::FileReport& report : data.files->reports())
        if (report.used() && report.network && !network) network = &report;
    if (!data.asn || !network) {
        writeOutput(texts::noNetworkVersionLine(data.asnRefused, o.language));
    } else {
        writeOutput(texts::versionLine(*network, o.language));
    }
    writeOutput(texts::attributionLines(data.files->reports()));
    return kDone;
}

// The lines a block holds, near enough for a rate (a UTF-16 character may hold a 0x0A byte).
std::uint64_t linesIn(std::string_view block) {
    return static_cast<std::uint64_t>(std::count(block.begin(), block.end(), '\n'));
}

// Reads one file (or standard input, "-") through `pipeline`. kBadInput when it could not
// be read, or not to its end.
int readFile(const Options& o, const std::string& path, Pipeline& pipeline, Progress& progress,
             bool& outputFailed) {
    const texts::CliTexts& t = *o.t;
    OpenError error;
    std::unique_ptr<Input> opened = openInput(path, error);
    if (!opened) {
        progress.clear();
        say(texts::fill(t.cannotRead, {path, openErrorText(error, o.language)}));
        return kBadInput;
    }
    auto counted = std::make_unique<CountedInput>(std::move(opened));
    const CountedInput& raw = *counted;
    progress.start(raw.size());
    const std::unique_ptr<Input> input = decompressed(std::move(counted));
    BlockReader reader(*input, 1 << 20, o.encoding);
    Encoding encoding;
    // The c-ip column a W3C header names, read here in input order: each block starts
    // with the one in effect after the blocks before it.
    std::size_t w3c = 0;
    std::string block, text;
    while (reader.next(block, encoding)) {
        const std::size_t start = w3c;
        if (o.choice.followsW3c() && o.format != Format::Annotate)
            w3c = w3cColumnAfter(blockText(block, encoding, text), w3c);
        const std::uint64_t lines = o.progress ? linesIn(block) : 0;
        if (!pipeline.push(block, encoding, start)) {
            outputFailed = true;
            return kDone;
        }
        progress.advance(raw.bytes(), lines);
    }
    if (!reader.failed()) return kDone;
    progress.clear();
    const std::string name = path == "-" ? std::string(t.standardInput) : path;
    say(texts::fill(input->damaged() ? t.gzipDamaged : t.readFailed, {name}));
    return kBadInput;
}

// Reads every operand through `pipeline`, in order. kBadInput when one could not be read
// (the others are still read).
int readInputs(const Options& o, Pipeline& pipeline, bool& outputFailed) {
    int status = kDone;
    Progress progress(o.progress, *o.t);
    for (const std::string& operand : o.operands) {
        // An address where a file would be, and no file of that name: a line of its own.
        if (operand != "-" && ip::parseAddress(operand) && !pathExists(operand)) {
            std::string line = operand + "\n";
            if (!pipeline.push(line, Encoding::Utf8)) {
                outputFailed = true;
                return status;
            }
            continue;
        }
        const std::vector<std::string> paths =
            operand == "-" ? std::vector<std::string>{operand} : expandOperand(operand);
        if (paths.empty()) {
            progress.clear();
            say(texts::fill(o.t->noMatch, {operand}));
            status = kBadInput;
        }
        for (const std::string& path : paths) {
            if (readFile(o, path, pipeline, progress, outputFailed) != kDone) status = kBadInput;
            if (outputFailed) return status;
        }
    }
    return status;
}

int outputGone(const Options& o) {
    say(o.t->outputGone);
    return kOutputLost;
}

int lookup(const Options& o, const Data& data) {
    if (o.header) {
        std::string header;
        for (const FieldId column : o.columns) {
            if (!header.empty()) header += o.format == Format::Csv ? ',' : '\t';
            header += fieldInfo(column).key;
        }
        if (!writeOutput(header + "\n")) return outputGone(o);
    }
    bool outputFailed = false;
    Pipeline pipeline(
        o.threads,
        [&]() -> Pipeline::Work {
            auto answers = std::make_shared<Answers>(
                *data.db, o.format == Format::Annotate ? nullptr : data.asn.get(), wantsExtras(o));
            auto writer = std::make_shared<LookupWriter>(*answers, o.format, o.columns, o.choice);
            return [answers, writer](Job& job) {
                std::string storage;
                writer->block(blockText(job.block, job.encoding, storage), job.encoding, job.out,
                              job.w3c);
            };
        },
        [](Job& job) { return writeOutput(job.out); });
    const int status = readInputs(o, pipeline, outputFailed);
    if (!pipeline.finish() || outputFailed) return outputGone(o);
    return status;
}

std::string share(std::uint64_t part, std::uint64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f",
                  whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0);
    return text;
}

// Each address of the inputs once with its hits into `distinct`, as map counts them.
int countAddresses(const Options& o, DistinctAddresses& distinct, std::uint64_t& lines) {
    bool outputFailed = false;
    Pipeline pipeline(
        o.threads,
        [&]() -> Pipeline::Work {
            return [&distinct, scan = std::string(), storage = std::string(),
                    picker = AddressPicker(o.choice), all = o.choice.isDefault(),
                    found = std::vector<ip::Address>()](Job& job) mutable {
                std::size_t w3c = job.w3c;
                found.clear();
                forEachLine(blockText(job.block, job.encoding, storage),
                            [&](std::string_view line) {
                                ++job.lines;
                                // One address a line, the one lookup answers, once any option
                                // or a W3C header says which; else every address of the line.
                                if (!all || w3c != 0 || line.starts_with(kW3cFields)) {
                                    if (auto a = picker.pick(line, job.encoding, w3c))
                                        found.push_back(*a);
                                    return;
                                }
                                for (const std::string& text :
                                     ip::findAddresses(scanText(line, job.encoding, scan)))
                                    if (auto a = ip::parseAddress(text)) found.push_back(*a);
                            });
                distinct.add(found);
            };
        },
        [&](Job& job) {
            lines += job.lines;
            return true;
        });
    const int status = readInputs(o, pipeline, outputFailed);
    pipeline.finish();
    return status;
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
        say(texts::fill(o.t->approxError, {error}));
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
    if (!writeOutput(out)) return outputGone(o);
    return status;
}

// Where an address lies: the coordinates a data file gives (DB-IP's, a GeoLite2 City file);
// without such a file, the location fields naming a province of China or a country whose
// seat the program knows.
using Locate = std::optional<geo::Located> (*)(const geo::PlaceFields&);

std::optional<geo::Located> locate(Locate rule, const Answer* answer) {
    if (!answer) return std::nullopt;
    const auto field = [answer](Field f) {
        return std::string_view(answer->fields[static_cast<std::size_t>(f)]);
    };
    return rule({field(Field::Country), field(Field::Region), field(Field::City),
                 field(Field::Latitude), field(Field::Longitude), answer->text});
}

// The map goes where the output goes (-o or standard output); a PNG when -o names one.
int map(const Options& o, const Data& data) {
    const Locate rule = data.db->hasExtras() ? geo::placeByCoordinates : geo::placeByName;
    DistinctAddresses distinct;
    std::uint64_t lines = 0;
    const int status = countAddresses(o, distinct, lines);
    Answers answers(*data.db, data.asn.get(), /*extras=*/true);
    geo::PlaceTally tally;
    std::string buffer;
    for (std::size_t shard = 0; shard < DistinctAddresses::kShards; ++shard) {
        distinct.forEachIn(shard, [&](const ip::Address& address, std::uint64_t) {
            Network network;
            const Answer* answer = answers.find(address, nullptr, &network);
            tally.add(locate(rule, answer), groupName(o.by, answer, network, buffer));
        });
    }
    const geo::SvgOptions options{o.extent};
    const bool png =
        o.output.size() > 4 && (o.output.ends_with(".png") || o.output.ends_with(".PNG"));
    const std::string picture =
        png ? geo::pngOf(geo::rasterOf(tally.data(), geo::landOutline(), options))
            : geo::svgOf(tally.data(), geo::landOutline(), options);
    if (!writeOutput(picture)) return outputGone(o);
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
    if (!ok || !writeOutput(out)) return outputGone(o);
    if (count == 0) {
        say(o.t->nothingFound);
        return kNothingFound;
    }
    return kDone;
}

// The command `o` asks for, its output where it goes.
int work(const Options& o) {
    if (o.help) {
        writeOutput(helpText(*o.t));
        return kDone;
    }
    if (o.version) return version(o);
    Data data;
    if (const int status = openData(o, data)) return status;
    if (!o.asn.empty() || usesAsn(o)) {
        if (const int status = openAsn(o, data)) return status;
    }
    if (!data.asn && o.command == Command::Summary && o.by == FieldId::Asn) {
        say(o.t->asnNeededForSummary);
        return kBadData;
    }
    if (!data.asn && !data.asnRefused && o.fieldsGiven && usesAsn(o)) say(o.t->noAsnBeside);
    switch (o.command) {
        case Command::Summary:
            return summary(o, data);
        case Command::Ranges:
            return ranges(o, data);
        case Command::Map:
            return map(o, data);
        default:
            return lookup(o, data);
    }
}

}  // namespace

int run(const std::vector<std::string>& args) {
    Options o;
    o.language = userLanguage();
    o.t = &texts::cliTexts(o.language);
    if (const int status = parse(args, o)) return status;
    if (o.output.empty()) {
        o.progress = errorIsTerminal() && !outputIsTerminal();
        const int status = work(o);
        return status == kOutputLost ? kBadInput : status;
    }
    OpenError error;
    const std::unique_ptr<OutputFile> file = OutputFile::open(o.output, error);
    if (!file) {
        say(texts::fill(o.t->cannotWrite, {o.output, openErrorText(error, o.language)}));
        return kBadInput;
    }
    o.progress = errorIsTerminal();
    const int status = work(o);
    // A run that answered, if not every input, leaves its file; one that could not start,
    // or whose output was cut off, leaves the file there as it was.
    if (status == kOutputLost) return kBadInput;
    if (status == kDone || status == kBadInput || status == kNothingFound) {
        if (!file->commit()) {
            say(texts::fill(o.t->cannotWrite,
                            {o.output, openErrorText(OpenError::Other, o.language)}));
            return kBadInput;
        }
    }
    return status;
}

}  // namespace cli
