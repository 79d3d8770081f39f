// The command-line program's pure parts: lines from streams in every encoding, however the
// stream is cut into reads and blocks; the CIDR cover; the output line per input line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "app/cli/cidr.h"
#include "app/cli/distinct.h"
#include "app/cli/gzip.h"
#include "app/cli/lines.h"
#include "app/cli/os.h"
#include "app/cli/output.h"
#include "app/cli/pick.h"
#include "app/cli/query.h"
#include "io/escape.h"
#include "text/codepage.h"
#include "texts/cli_texts.h"
#include "texts/language.h"

namespace {

// Gives its bytes `piece` at a time, as a pipe does.
class PieceInput : public cli::Input {
  public:
    PieceInput(std::string bytes, std::size_t piece) : bytes_(std::move(bytes)), piece_(piece) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const std::size_t n = std::min({size, piece_, bytes_.size() - at_});
        std::copy_n(bytes_.data() + at_, n, buffer);
        at_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }

  private:
    std::string bytes_;
    std::size_t piece_, at_ = 0;
};

std::string utf16(const std::u16string& text, bool big) {
    std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t u : text) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        out += big ? high : low;
        out += big ? low : high;
    }
    return out;
}

// The stream's lines as UTF-8.
std::vector<std::string> linesOf(const std::string& bytes, std::size_t piece, std::size_t block) {
    PieceInput input(bytes, piece);
    cli::BlockReader reader(input, block);
    std::vector<std::string> lines;
    std::string b, storage;
    cli::Encoding encoding;
    while (reader.next(b, encoding)) {
        cli::forEachLine(cli::blockText(b, encoding, storage), [&](std::string_view line) {
            lines.push_back(cli::lineUtf8(
                line, encoding == cli::Encoding::Gbk ? encoding : cli::Encoding::Utf8));
        });
    }
    return lines;
}

TEST(CliLines, EveryEncodingGivesTheSameLinesHoweverTheStreamIsCut) {
    const std::vector<std::string> expected = {"1.2.3.4 重庆", "", "x\t😀 2001:db8::1", "末行"};
    const std::u16string text = u"1.2.3.4 重庆\r\n\nx\t😀 2001:db8::1\n末行";
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"utf-8", "1.2.3.4 重庆\r\n\nx\t😀 2001:db8::1\n末行"},
        {"utf-8 with BOM",
         "\xEF\xBB\xBF"
         "1.2.3.4 重庆\r\n\nx\t😀 2001:db8::1\n末行"},
        {"utf-16 LE", utf16(text, false)},
        {"utf-16 BE", utf16(text, true)},
    };
    for (const Case& c : cases) {
        // Pieces of one byte split every character and the BOM; blocks of 3 bytes split
        // every UTF-16 unit and surrogate pair; the large block holds everything.
        for (std::size_t piece : {1, 2, 3, 7, 1 << 20}) {
            for (std::size_t block : {1, 2, 3, 5, 1 << 20}) {
                EXPECT_EQ(linesOf(c.bytes, piece, block), expected)
                    << c.name << " piece " << piece << " block " << block;
            }
        }
    }
}

// Every byte a stream gives, read `piece` bytes at a time; nullopt when reading failed (and
// `damaged` says whether for bad bytes).
std::optional<std::string> readAll(cli::Input& input, std::size_t piece, bool& damaged) {
    std::string out, buffer(piece, '\0');
    while (true) {
        const std::ptrdiff_t got = input.read(buffer.data(), piece);
        if (got < 0) {
            damaged = input.damaged();
            return std::nullopt;
        }
        if (got == 0) return out;
        out.append(buffer, 0, static_cast<std::size_t>(got));
    }
}

TEST(CliGzip, MembersAreReadWholeAndDamageIsReportedAsSuch) {
    // "1.2.3.4 a\n8.8.8.8\n" and "9.9.9.9\n", as gzip writes them.
    const std::string first(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\x33\xd4\x33\xd2\x33\xd6\x33\x51\x48\xe4\xb2\xd0"
        "\x03\x43\x2e\x00\x38\xa0\xc6\x8c\x12\x00\x00\x00",
        34);
    const std::string second(
        "\x1f\x8b\x08\x00\x00\x00\x00\x00\x02\x03\xb3\xd4\xb3\x04\x41\x2e\x00\x9b\xaa\x07\x6c\x08"
        "\x00\x00\x00",
        25);
    std::string badCrc = first;
    badCrc[28] ^= 1;
    struct Case {
        const char* name;
        std::string bytes;
        std::optional<std::string> text;  // nullopt: fails as damaged
    } cases[] = {
        {"one member", first, "1.2.3.4 a\n8.8.8.8\n"},
        {"rotated logs concatenated", first + second + first,
         "1.2.3.4 a\n8.8.8.8\n9.9.9.9\n1.2.3.4 a\n8.8.8.8\n"},
        {"plain text", "1.2.3.4\n", "1.2.3.4\n"},
        {"one byte", "\x1f", "\x1f"},
        {"empty", "", ""},
        {"cut in its data", first.substr(0, 20), std::nullopt},
        {"cut in its trailer", first.substr(0, 30), std::nullopt},
        {"magic only", "\x1f\x8b", std::nullopt},
        {"a wrong checksum", badCrc, std::nullopt},
        {"garbage after a member", first + "garbage", std::nullopt},
        {"a second member cut short", first + second.substr(0, 12), std::nullopt},
    };
    for (const Case& c : cases) {
        for (std::size_t piece : {1, 3, 1 << 16}) {
            bool damaged = false;
            const std::unique_ptr<cli::Input> input =
                cli::decompressed(std::make_unique<PieceInput>(c.bytes, piece));
            const std::optional<std::string> got = readAll(*input, piece, damaged);
            EXPECT_EQ(got, c.text) << c.name << " piece " << piece;
            EXPECT_EQ(damaged, !c.text.has_value()) << c.name << " piece " << piece;
        }
    }
}

// A program that sends one empty line and waits for its answer is not kept waiting for a
// second byte to tell whether gzip comes.
TEST(CliGzip, OneByteThatIsNoMagicIsHandedOnAtOnce) {
    class Waiting : public cli::Input {
      public:
        std::size_t reads = 0;
        std::ptrdiff_t read(char* buffer, std::size_t) override {
            if (++reads > 1) ADD_FAILURE() << "read again before the line was answered";
            buffer[0] = '\n';
            return 1;
        }
    };
    auto waiting = std::make_unique<Waiting>();
    const Waiting& seen = *waiting;
    const std::unique_ptr<cli::Input> input = cli::decompressed(std::move(waiting));
    char c = 0;
    EXPECT_EQ(input->read(&c, 1), 1);
    EXPECT_EQ(c, '\n');
    EXPECT_EQ(seen.reads, 1u);
}

TEST(CliLines, AnEncodingGivenOverridesWhatTheBytesSuggest) {
    const auto read = [](const std::string& bytes, cli::Encoding given) {
        PieceInput input(bytes, 3);
        cli::BlockReader reader(input, 1 << 20, given);
        std::string block, storage, text;
        cli::Encoding encoding;
        while (reader.next(block, encoding)) {
            EXPECT_EQ(encoding, given);
            text += cli::lineUtf8(cli::blockText(block, encoding, storage),
                                  encoding == cli::Encoding::Gbk ? encoding : cli::Encoding::Utf8);
        }
        return text;
    };
    using E = cli::Encoding;
    // Short texts may be read either way (the detection's guess is a guess); the option
    // decides, and a mark of another encoding is text.
    struct Case {
        const char* name;
        std::string bytes;
        E given;
        std::string text;
    } cases[] = {
        {"gbk that looks like UTF-8", "\xD6\xD8\xC7\xEC", E::Gbk, "重庆"},
        {"UTF-8 that would pass for GBK", "重庆", E::Utf8, "重庆"},
        {"UTF-16LE without a mark", std::string("1\0.\0", 4), E::Utf16Le, "1."},
        {"UTF-16BE without a mark", std::string("\0001\0.", 4), E::Utf16Be, "1."},
        {"its own mark taken off", std::string("\xFF\xFE\x31\x00", 4), E::Utf16Le, "1"},
        {"another's mark kept as text",
         "\xEF\xBB\xBF"
         "a",
         E::Gbk,
         cli::lineUtf8("\xEF\xBB\xBF"
                       "a",
                       E::Gbk)},
    };
    for (const Case& c : cases) EXPECT_EQ(read(c.bytes, c.given), c.text) << c.name;
}

TEST(CliTexts, TheLanguageComesFromTheFirstSettingThatIsSet) {
    using L = texts::Language;
    struct Case {
        const char *lcAll, *lcMessages, *lang, *language;
        L expected;
    } cases[] = {
        {"", "", "", "", L::Chinese},  // nothing set: the program's own
        {"", "", "zh_CN.UTF-8", "", L::Chinese},
        {"", "", "zh_TW.Big5", "", L::Chinese},
        {"", "", "en_US.UTF-8", "", L::English},
        {"", "", "de_DE", "", L::English},
        {"", "", "C.UTF-8", "", L::Chinese},  // no language named
        {"", "", "POSIX", "", L::Chinese},
        {"en_US.UTF-8", "", "zh_CN.UTF-8", "", L::English},
        {"", "zh_CN.UTF-8", "en_US.UTF-8", "", L::Chinese},
        {"", "", "", "fr:zh_CN", L::English},
        {"", "", "", "zh_CN:en", L::Chinese},
    };
    for (const Case& c : cases)
        EXPECT_EQ(texts::languageOfSettings(c.lcAll, c.lcMessages, c.lang, c.language), c.expected)
            << c.lcAll << "|" << c.lcMessages << "|" << c.lang << "|" << c.language;
}

TEST(CliTexts, EveryMessageHasItsValuesInBothLanguages) {
    // A text whose "{}" count differs between the tables would drop or misplace a value.
    const texts::CliTexts &zh = texts::cliTexts(texts::Language::Chinese),
                          &en = texts::cliTexts(texts::Language::English);
    const auto marks = [](std::string_view text) {
        std::size_t n = 0;
        for (std::size_t at = text.find("{}"); at != std::string_view::npos;
             at = text.find("{}", at + 2))
            ++n;
        return n;
    };
    const std::pair<std::string_view, std::string_view> pairs[] = {
        {zh.missingValue, en.missingValue},
        {zh.unknownField, en.unknownField},
        {zh.byOnly, en.byOnly},
        {zh.fieldNeedsName, en.fieldNeedsName},
        {zh.needsPositive, en.needsPositive},
        {zh.unknownOption, en.unknownOption},
        {zh.cannotRead, en.cannotRead},
        {zh.readFailed, en.readFailed},
        {zh.gzipDamaged, en.gzipDamaged},
        {zh.noMatch, en.noMatch},
        {zh.cannotWrite, en.cannotWrite},
        {zh.progress, en.progress},
        {zh.progressShare, en.progressShare},
    };
    for (const auto& [chinese, english] : pairs)
        EXPECT_EQ(marks(chinese), marks(english)) << english;
    EXPECT_EQ(texts::fill("a {} b {}", {"1", "2"}), "a 1 b 2");
    EXPECT_EQ(texts::fill("{} {}", {"{}"}), "{} {}");  // a value is never filled again
}

TEST(CliLines, GbkIsToldFromUtf8ByTheFirstBlockPastAscii) {
    // "重庆" in GBK after a whole block of ASCII: the decision waits for it.
    const std::string gbk = std::string(100, 'a') + "\n1.2.3.4 \xD6\xD8\xC7\xEC\n";
    EXPECT_EQ(linesOf(gbk, 16, 16),
              (std::vector<std::string>{std::string(100, 'a'), "1.2.3.4 重庆"}));
    // Invalid UTF-8 that is no GBK either is read as GBK, each bad byte a "?"-like
    // replacement, and the stream goes on.
    const std::vector<std::string> bad = linesOf("\xFF\xFF\n8.8.8.8\n", 1, 1 << 20);
    ASSERT_EQ(bad.size(), 2u);
    EXPECT_EQ(bad[1], "8.8.8.8");
}

TEST(CliLines, LinesAreCountedAsLineFeeds) {
    struct Case {
        std::string bytes;
        std::size_t lines;
    } cases[] = {
        {"", 0},       {"\n", 1},       {"a", 1},      {"a\n", 1},
        {"a\nb", 2},   {"\r\n\r\n", 2}, {"a\rb\n", 1}, {std::string("a\0b\n\0\n", 6), 2},
        {"\n\n\n", 3}, {"a\r", 1},
    };
    for (const Case& c : cases) {
        for (std::size_t block : {1, 4, 1 << 20}) {
            EXPECT_EQ(linesOf(c.bytes, 3, block).size(), c.lines)
                << testing::PrintToString(c.bytes) << " block " << block;
        }
    }
}

// A program that sends lines and waits for their answers (a pipe kept open) gets each
// block as soon as its lines are complete, the first one too.
TEST(CliLines, CompleteLinesAreHandedOnWithoutWaitingForMore) {
    class Pieces : public cli::Input {
      public:
        std::vector<std::string> pieces = {"1\n", "2.2.2.2\n8", ".8.8.8\n"};
        std::size_t reads = 0;
        std::ptrdiff_t read(char* buffer, std::size_t size) override {
            if (reads == pieces.size()) return 0;
            const std::string& p = pieces[reads++];
            EXPECT_LE(p.size(), size);
            std::copy(p.begin(), p.end(), buffer);
            return static_cast<std::ptrdiff_t>(p.size());
        }
    } input;
    cli::BlockReader reader(input, 1 << 20);
    std::string block;
    cli::Encoding encoding;
    const std::pair<const char*, std::size_t> expected[] = {
        {"1\n", 1}, {"2.2.2.2\n", 2}, {"8.8.8.8\n", 3}};
    for (const auto& [text, reads] : expected) {
        ASSERT_TRUE(reader.next(block, encoding));
        EXPECT_EQ(block, text);
        EXPECT_EQ(input.reads, reads) << text;
    }
}

TEST(CliLines, ALineLongerThanABlockIsOneLine) {
    const std::string line = std::string(3 << 20, 'x') + " 9.9.9.9";
    const auto lines = linesOf(line + "\n1.1.1.1\n", 1 << 16, 1 << 16);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], line);
}

TEST(CliLines, AddressesFoundRunByRunAsThePasteRulesFindThemInTheWholeLine) {
    // GBK pairs whose second byte is a letter ("\x81a" is one character), UTF-8 characters
    // before a hex letter, ports, glued words.
    const std::vector<std::pair<std::string, cli::Encoding>> lines = {
        {"a 1.2.3.4:80 b 5.6.7.8", cli::Encoding::Utf8},
        {"\x81"
         "a1.2.3.4 x1.2.3.5 \x81"
         "b::1",
         cli::Encoding::Gbk},
        {"重1.2.3.4 重a::1 2001:DB8::1, ::1", cli::Encoding::Utf8},
        {"v1.2.3.4 1.2.3.4.5 [::ffff:1.2.3.4]", cli::Encoding::Utf8},
        {"1.2.3. 01.02.003.9 4.3.2.1x 256.1.1.1 9.9.9.9_ 8.8.8.8. .7.7.7.7 6.6.6.6",
         cli::Encoding::Utf8},
    };
    for (const auto& [line, encoding] : lines) {
        std::string storage;
        const std::string_view scan = cli::scanText(line, encoding, storage);
        ASSERT_EQ(scan.size(), line.size());
        std::vector<std::string> runs;
        ip::forEachAddressRun(scan, [&](std::size_t, std::span<const ip::Address> found) {
            for (const ip::Address& a : found) runs.push_back(ip::formatAddress(a));
            return true;
        });
        // The window reads the line as GBK text first.
        const std::string gbk = encoding == cli::Encoding::Gbk
                                    ? line
                                    : codepage::utf16ToGbk(codepage::utf8ToUtf16(line));
        EXPECT_EQ(runs, ip::findAddresses(gbk)) << line;
    }
}

TEST(CliCidr, CoversWithTheFewestBlocks) {
    auto a = [](const char* text) { return *ip::parseAddress(text); };
    struct Case {
        std::vector<std::pair<const char*, const char*>> ranges;
        std::vector<std::string> blocks;
    } cases[] = {
        {{{"0.0.0.0", "255.255.255.255"}}, {"0.0.0.0/0"}},
        {{{"::", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}}, {"::/0"}},
        {{{"1.2.3.4", "1.2.3.4"}}, {"1.2.3.4/32"}},
        {{{"2001:db8::1", "2001:db8::1"}}, {"2001:db8::1/128"}},
        {{{"255.255.255.255", "255.255.255.255"}}, {"255.255.255.255/32"}},
        {{{"ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}},
         {"ffff:ffff:ffff:ffff:ffff:ffff:ffff:fffe/127"}},
        // Adjacent and overlapping ranges are joined, given in any order.
        {{{"10.0.1.0", "10.0.1.255"}, {"10.0.0.0", "10.0.0.255"}, {"10.0.0.128", "10.0.1.3"}},
         {"10.0.0.0/23"}},
        {{{"1.0.0.1", "1.0.0.6"}}, {"1.0.0.1/32", "1.0.0.2/31", "1.0.0.4/31", "1.0.0.6/32"}},
        {{{"0.0.0.1", "255.255.255.255"}, {"0.0.0.0", "0.0.0.0"}}, {"0.0.0.0/0"}},
        // A range across the middle of the 128 bits.
        {{{"::ffff:ffff:ffff:ffff", "0:0:0:1::"}}, {"::ffff:ffff:ffff:ffff/128", "0:0:0:1::/128"}},
        {{{"2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"}, {"1.0.0.0", "1.0.0.255"}},
         {"1.0.0.0/24", "2001:db8::/32"}},
        // The top of one family does not join the bottom of the next.
        {{{"255.255.255.0", "255.255.255.255"}, {"::", "::ff"}}, {"255.255.255.0/24", "::/120"}},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<ip::Address, ip::Address>> ranges;
        for (const auto& [first, last] : c.ranges) ranges.emplace_back(a(first), a(last));
        std::vector<std::string> blocks;
        for (const cli::Block& b : cli::coverWithBlocks(ranges))
            blocks.push_back(cli::formatBlock(b));
        EXPECT_EQ(blocks, c.blocks) << c.ranges.front().first;
    }
}

TEST(CliOutput, FieldsNeverBreakTheirColumnsOrLines) {
    struct Case {
        std::string value, tsv, csv, json;
    } cases[] = {
        {"plain", "plain", "plain", "\"plain\""},
        {"a\tb\nc\r", "a b c ", "\"a\tb\nc\r\"", "\"a\\u0009b\\u000ac\\u000d\""},
        {"x,\"y\"", "x,\"y\"", "\"x,\"\"y\"\"\"", "\"x,\\\"y\\\"\""},
        {"重庆\\", "重庆\\", "重庆\\", "\"重庆\\\\\""},
    };
    for (const Case& c : cases) {
        std::string tsv, csv, json;
        io::appendTsvField(tsv, c.value);
        io::appendCsvField(csv, c.value, io::Formulas::AsIs);
        io::appendJsonString(json, c.value);
        EXPECT_EQ(tsv, c.tsv);
        EXPECT_EQ(csv, c.csv);
        EXPECT_EQ(json, c.json);
    }
}

// Answers 1.0.0.N with the N-th text, each as the file words it; nothing else.
class WordedData : public ipdata::Database {
  public:
    explicit WordedData(std::vector<std::string> texts) : texts_(std::move(texts)) {}
    std::optional<ipdata::Place> locate(const ip::Address& a) const override {
        const std::uint32_t n = a.isV4() ? a.v4Value() - 0x01000000u : 0;
        if (n == 0 || n > texts_.size()) return std::nullopt;
        const std::string& text = texts_[n - 1];
        return ipdata::Place{a, a, {}, text, text};
    }
    void searchEach(const std::vector<std::string>&, const std::function<void(ipdata::Range&)>&,
                    const std::stop_token&) const override {}
    void searchWhere(const std::function<bool(const ipdata::FieldViews&)>&,
                     const std::function<void(ipdata::Range&)>&,
                     const std::stop_token&) const override {}
    std::size_t rangeCount() const override { return texts_.size(); }
    std::string_view formatName() const override { return "worded"; }

  private:
    std::vector<std::string> texts_;
};

// The columns an answer fills are made on its first line and copied after: a repeated
// address writes what its first line wrote, in each writer's own columns and format, while
// two writers share the answers; a range asked for is looked up again on a repeat.
TEST(CliOutput, ARepeatedAddressWritesItsFirstLineAgain) {
    const WordedData data({"甲\t乙", "丙,丁"});
    cli::Answers answers(data);
    cli::LookupWriter csv(answers, cli::Format::Csv,
                          {FieldId::Answer, FieldId::Ip, FieldId::Range, FieldId::Country});
    cli::LookupWriter jsonl(answers, cli::Format::Jsonl, {FieldId::Ip, FieldId::Answer});
    const std::string lines = "1.0.0.1\n1.0.0.2\n9.9.9.9\n";
    std::string csvFirst, jsonFirst, csvAgain, jsonAgain;
    csv.block(lines, cli::Encoding::Utf8, csvFirst);
    jsonl.block(lines, cli::Encoding::Utf8, jsonFirst);
    csv.block(lines, cli::Encoding::Utf8, csvAgain);
    jsonl.block(lines, cli::Encoding::Utf8, jsonAgain);
    EXPECT_EQ(csvAgain, csvFirst);
    EXPECT_EQ(jsonAgain, jsonFirst);
    EXPECT_EQ(jsonFirst,
              "{\"ip\":\"1.0.0.1\",\"answer\":\"甲\\u0009乙\"}\n"
              "{\"ip\":\"1.0.0.2\",\"answer\":\"丙,丁\"}\n"
              "{\"ip\":\"9.9.9.9\",\"answer\":\"\"}\n");
    EXPECT_EQ(csvFirst,
              "甲\t乙,1.0.0.1,1.0.0.1-1.0.0.1,\n\"丙,丁\",1.0.0.2,1.0.0.2-1.0.0.2,\n,9.9.9.9,,\n");
}

// The line an annotated line was made of, by the rule docs/cli.md gives: after each token,
// one annotation for each of its addresses taken off; the answers unescaped in `answers`.
// nullopt where an annotation is missing or unclosed.
std::optional<std::string> unannotated(std::string_view out, std::vector<std::string>& answers) {
    std::string back;
    while (true) {
        std::string storage;
        std::size_t end = std::string_view::npos, count = 0;
        cli::forEachAddressToken(cli::scanText(out, cli::Encoding::Utf8, storage),
                                 [&](std::size_t tokenEnd, std::span<const ip::Address> found) {
                                     end = tokenEnd;
                                     count = found.size();
                                     return false;
                                 });
        if (end == std::string_view::npos) return back + std::string(out);
        back += out.substr(0, end);
        out.remove_prefix(end);
        for (; count > 0; --count) {
            if (!out.starts_with(" [")) return std::nullopt;
            std::string answer;
            std::size_t i = 2;
            for (; i < out.size() && out[i] != ']'; ++i) {
                if (out[i] == '\\' && ++i == out.size()) return std::nullopt;
                answer += out[i];
            }
            if (i == out.size()) return std::nullopt;
            answers.push_back(answer);
            out.remove_prefix(i + 1);
        }
    }
}

TEST(CliAnnotate, AfterTheWholeTokenAndTakenOffAgain) {
    const std::vector<std::string> texts = {"辽河油田通信[华宇宽带]", "网吧(新华西道\\唐人街)",
                                            "] [x\\", "1.0.0.1 [1.0.0.2]", "\\]"};
    WordedData data(texts);
    cli::Answers answers(data);
    cli::LookupWriter writer(answers, cli::Format::Annotate, {});
    const std::pair<std::string, std::string> lines[] = {
        {"1.0.0.1", "1.0.0.1 [辽河油田通信\\[华宇宽带\\]]"},
        // Brackets and port, zone, prefix length, a word glued on: the answer after them.
        {"[2400::1]:443 x", "[2400::1]:443 [] x"},
        {"2400::1%eth0 up", "2400::1%eth0 [] up"},
        {"1.0.0.2/31", "1.0.0.2/31 [网吧(新华西道\\\\唐人街)]"},
        {"1.0.0.3:8080:extra", "1.0.0.3:8080:extra [\\] \\[x\\\\]"},
        // Separators end a token; several addresses of one token follow it in order.
        {"1.0.0.4,1.0.0.5;x", "1.0.0.4 [1.0.0.1 \\[1.0.0.2\\]],1.0.0.5 [\\\\\\]];x"},
        {"\"1.0.0.1-1.0.0.2\"",
         "\"1.0.0.1-1.0.0.2 [辽河油田通信\\[华宇宽带\\]] [网吧(新华西道\\\\唐人街)]\""},
        // Reverse-DNS names are no addresses.
        {"5.0.0.1.in-addr.arpa. PTR 1.0.0.3", "5.0.0.1.in-addr.arpa. PTR 1.0.0.3 [\\] \\[x\\\\]"},
        {"4.0.0.1.IP6.ARPA", "4.0.0.1.IP6.ARPA"},
        // The line's own brackets and backslashes stay as they are.
        {"1.0.0.9 [already] \\ [", "1.0.0.9 [] [already] \\ ["},
        {"a]1.0.0.2[b 重庆1.0.0.4重庆",
         "a]1.0.0.2 [网吧(新华西道\\\\唐人街)][b 重庆1.0.0.4 [1.0.0.1 \\[1.0.0.2\\]]重庆"},
    };
    const std::string more[] = {"",
                                "::",
                                "x1.0.0.1 1.0.0.1x",
                                "1.0.0.1 [",
                                "]]]\\\\ 1.0.0.5]",
                                "[1.0.0.3] [1.0.0.4]",
                                "1.0.0.1\t\t1.0.0.1",
                                "::1.0.0.1 ::ffff:1.0.0.2"};
    auto check = [&](const std::string& line, const std::string* expected) {
        std::string out;
        writer.line(line, cli::Encoding::Utf8, out);
        ASSERT_TRUE(out.ends_with('\n')) << line;
        out.pop_back();
        if (expected) EXPECT_EQ(out, *expected) << line;
        std::vector<std::string> said;
        EXPECT_EQ(unannotated(out, said), line) << out;
        // Each answer unescaped is one the data gave (or the special table's, or none).
        for (const std::string& answer : said)
            EXPECT_TRUE(answer.find_first_of("[]\\") == std::string::npos ||
                        std::find(texts.begin(), texts.end(), answer) != texts.end())
                << answer;
    };
    for (const auto& [line, expected] : lines) check(line, &expected);
    for (const std::string& line : more) check(line, nullptr);
}

TEST(CliPick, TheAddressThatCounts) {
    auto with = [](auto set) {
        cli::AddressChoice c;
        set(c);
        return c;
    };
    const cli::AddressChoice first, second = with([](auto&c) { c.nth = 2; }),
                                    last = with([](auto&c) { c.last = true; }),
                                    publics = with([](auto&c) { c.publicOnly = true; }),
                                    lastPublic = with([](auto&c) { c.last = c.publicOnly = true; }),
                                    column3 = with([](auto&c) { c.column = 3; }),
                                    csv2 = with([](auto&c) { c.column = 2, c.csv = true; }),
                                    key = with([](auto&c) { c.jsonKey = "ip"; });
    const std::string line = "10.0.0.1 x 218.70.0.1:80 192.0.2.1 8.8.8.8 fe80::1";
    struct Case {
        const cli::AddressChoice* choice;
        std::string line;
        const char* address;  // null: none
    } cases[] = {
        {&first, line, "10.0.0.1"},
        {&second, line, "218.70.0.1"},
        {&last, line, "fe80::1"},
        {&publics, line, "218.70.0.1"},
        {&lastPublic, line, "8.8.8.8"},
        {&publics, "10.0.0.1 192.168.0.1 ::1", nullptr},
        // Globally reachable special blocks are public all the same (an AS112 server).
        {&publics, "10.0.0.1 192.31.196.1", "192.31.196.1"},
        {&column3, line, "218.70.0.1"},
        {&column3, "  a\t\tb   1.2.3.4 9.9.9.9", "1.2.3.4"},
        {&csv2, "\"a, 1.2.3.4\",\"5.6.7.8\"\"x\"\"\",9.9.9.9", "5.6.7.8"},
        {&csv2, "\"1.2.3.4,", nullptr},
        {&key, R"({"server":"10.0.0.1","ip":"218.70.0.1"})", "218.70.0.1"},
        {&key, R"( { "a" : {"ip":"1.1.1.1","b":["]",{}]}, "n":-1.5e3 , "ip" : "\u0032.2.2.2" } )",
         "2.2.2.2"},
        {&key, R"({"ip":"a\"1.2.3.4\"b"})", "1.2.3.4"},
        {&key, R"({"ip":7})", nullptr},
        {&key, R"({"x":"unclosed)", nullptr},
        {&key, "1.2.3.4 not json", nullptr},
    };
    for (const Case& c : cases) {
        cli::AddressPicker picker(*c.choice);
        std::size_t w3c = 0;
        const auto got = picker.pick(c.line, cli::Encoding::Utf8, w3c);
        EXPECT_EQ(got ? ip::formatAddress(*got) : "none", c.address ? c.address : "none") << c.line;
    }
}

TEST(CliPick, AW3cHeaderNamesTheClientColumnInEveryBlockAfterIt) {
    // The header in one block, its lines in later ones; a second header moves c-ip.
    const std::vector<std::string> blocks = {
        "#Software: IIS\n1.1.1.1 x\n#Fields: date s-ip c-ip\n",
        "d 10.0.0.1 2.2.2.2\n#Remark 9.9.9.9\n",
        "#Fields: c-ip s-ip\r\n3.3.3.3 10.0.0.1\n#Fields: date\n10.0.0.1 4.4.4.4\n"};
    const std::vector<std::string> expected = {"none", "1.1.1.1", "none", "2.2.2.2", "none",
                                               "none", "3.3.3.3", "none", "10.0.0.1"};
    const cli::AddressChoice choice;
    cli::AddressPicker picker(choice);
    std::vector<std::string> got;
    std::size_t w3c = 0;
    for (const std::string& block : blocks) {
        std::size_t at = w3c;  // each block from the state the reader hands it
        cli::forEachLine(block, [&](std::string_view line) {
            const auto a = picker.pick(line, cli::Encoding::Utf8, at);
            got.push_back(a ? ip::formatAddress(*a) : "none");
        });
        w3c = cli::w3cColumnAfter(block, w3c);
        EXPECT_EQ(w3c, at) << block;
    }
    EXPECT_EQ(got, expected);
}

TEST(CliQuery, FieldKeywordsMatchTheirFieldOnly) {
    // country, region, city, district, owner, operator, country code
    const ipdata::FieldViews cafe = {"中国", "吉林", "长春", "", "重庆路附近网吧", "电信", "CN"};
    const ipdata::FieldViews chongqing = {"中国", "重庆", "重庆", "", "", "电信", "CN"};
    const ipdata::FieldViews hetzner = {"德国", "", "", "", "Hetzner Online", "", "DE"};
    struct Case {
        std::vector<std::string> operands;
        bool cafe, chongqing, hetzner;
    } cases[] = {
        // Plain keywords anywhere, as the window's search; the suffix rule; Latin in any case.
        {{"重庆市", "电信"}, true, true, false},
        {{"hetzner"}, false, false, true},
        {{"HETZNER online"}, false, false, true},
        // A field keyword holds for that field's whole value only.
        {{"region:重庆市", "operator:电信"}, false, true, false},
        {{"city:重庆"}, false, true, false},
        {{"region:重"}, false, false, false},
        {{"operator:中国电信"}, true, true, false},
        {{"operator:China Telecom"}, true, true, false},
        {{"operator:电信通"}, false, false, false},
        {{"country:德国"}, false, false, true},
        // One field's keywords are alternatives; different fields must all hold.
        {{"region:吉林", "region:重庆"}, true, true, false},
        {{"region:吉林", "city:重庆"}, false, false, false},
        {{"region:吉林", "网吧"}, true, false, false},
        // An unknown prefix is a plain keyword.
        {{"owner:Hetzner"}, false, false, false},
    };
    for (const Case& c : cases) {
        cli::RangeQuery query;
        for (const std::string& operand : c.operands) cli::addOperand(query, operand);
        const std::string name = testing::PrintToString(c.operands);
        EXPECT_EQ(cli::matches(query, cafe), c.cafe) << name;
        EXPECT_EQ(cli::matches(query, chongqing), c.chongqing) << name;
        EXPECT_EQ(cli::matches(query, hetzner), c.hetzner) << name;
    }
}

}  // namespace

// A second view of a mapped file holds the same bytes elsewhere and outlives the first.
TEST(CliOs, AnotherViewOfAMappedFile) {
    const std::string path = ::testing::TempDir() + "cli_map_test.bin";
    const std::string bytes = std::string("first\0second", 12) + std::string(100000, 'x');
    {
        std::ofstream out(path, std::ios::binary);
        out << bytes;
    }
    cli::OpenError error;
    std::optional<cli::Mapped> first = cli::mapFile(path, error);
    ASSERT_TRUE(first && first->again);
    std::optional<cli::Mapped> second = first->again();
    ASSERT_TRUE(second);
    EXPECT_NE(second->bytes.data(), first->bytes.data());
    first.reset();  // unmapped: the second view stands alone
    EXPECT_EQ(second->bytes, bytes);
    std::optional<cli::Mapped> third = second->again();
    ASSERT_TRUE(third);
    EXPECT_EQ(third->bytes, bytes);
    std::remove(path.c_str());
}

namespace {

std::map<ip::Address, std::uint64_t> contents(const cli::DistinctAddresses& set) {
    std::map<ip::Address, std::uint64_t> out;
    for (std::size_t s = 0; s < cli::DistinctAddresses::kShards; ++s)
        set.forEachIn(s, [&](const ip::Address& a, std::uint64_t hits) {
            EXPECT_TRUE(out.emplace(a, hits).second) << ip::formatAddress(a) << " twice";
        });
    return out;
}

}  // namespace

TEST(CliDistinct, EachAddressOnceWithItsExactHits) {
    const auto address = [](const char* t) { return *ip::parseAddress(t); };
    struct Case {
        const char* name;
        std::vector<std::pair<const char*, std::uint64_t>> added;
        std::map<std::string, std::uint64_t> expected;
    };
    const Case cases[] = {
        {"mapped is its IPv4 address", {{"::ffff:1.2.3.4", 1}, {"1.2.3.4", 2}}, {{"1.2.3.4", 3}}},
        {"0.0.0.0 and :: are addresses too",
         {{"0.0.0.0", 1}, {"::", 1}, {"0.0.0.0", 1}},
         {{"0.0.0.0", 2}, {"::", 1}}},
        {"the same bits in either family differ",
         {{"::1.2.3.4", 1}, {"1.2.3.4", 1}},
         {{"::102:304", 1}, {"1.2.3.4", 1}}},
        {"hits past 32 bits",
         {{"9.9.9.9", 0xFFFFFFFEull}, {"9.9.9.9", 3}, {"9.9.9.9", 5000000000ull}},
         {{"9.9.9.9", 0xFFFFFFFEull + 3 + 5000000000ull}}},
        {"IPv6 hits past 32 bits",
         {{"2001:db8::1", 5000000000ull}, {"2001:db8::1", 1}},
         {{"2001:db8::1", 5000000001ull}}},
    };
    for (const Case& c : cases) {
        cli::DistinctAddresses set;
        for (const auto& [text, hits] : c.added) set.add(address(text), hits);
        std::map<std::string, std::uint64_t> got;
        for (const auto& [a, hits] : contents(set)) got[ip::formatAddress(a)] = hits;
        EXPECT_EQ(got, c.expected) << c.name;
        EXPECT_EQ(set.size(), c.expected.size()) << c.name;
    }
}

TEST(CliDistinct, ThreadsAddingAtOnceLoseNothingAcrossGrowth) {
    // Every thread adds the same addresses, so each one's hits are the number of threads.
    constexpr std::uint32_t kEach = 200000;
    constexpr int kThreads = 4;
    cli::DistinctAddresses set;
    std::vector<std::thread> threads;
    // Half of them one by one, half in batches (an IPv4-mapped address among them).
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            std::vector<ip::Address> batch;
            for (std::uint32_t i = 0; i < kEach; ++i) {
                batch.push_back(i % 3 ? ip::Address::v4(i * 2654435761u)
                                      : ip::Address::v6(0, 0xFFFF00000000ull | (i * 2654435761u)));
                if (i % 8 == 0) batch.push_back(ip::Address::v6(0x20010DB8ull << 32, i));
                if (t % 2 == 0) {
                    for (const ip::Address& a : batch) set.add(a);
                    batch.clear();
                } else if (batch.size() >= 5000 || i + 1 == kEach) {
                    set.add(batch);
                    batch.clear();
                }
            }
        });
    for (std::thread& t : threads) t.join();
    const auto all = contents(set);
    EXPECT_EQ(all.size(), kEach + kEach / 8);
    EXPECT_EQ(set.size(), all.size());
    EXPECT_TRUE(
        std::all_of(all.begin(), all.end(), [](const auto& e) { return e.second == kThreads; }));
}

TEST(CliDistinct, TheSketchIsWithinItsErrorAndIgnoresRepeats) {
    // Exact while few, however they are merged; within four standard errors past that.
    for (const std::uint32_t n : {0u, 1u, 128u, 129u, 200u, 5000u, 200000u, 2000000u}) {
        cli::DistinctSketch a, b, c;
        for (std::uint32_t i = 0; i < n; ++i) {
            const ip::Address address = ip::Address::v4(i * 2654435761u + 7);
            (i % 2 ? a : b).add(address);
            (i % 2 ? a : b).add(address);    // repeats count once
            if (i % 3 == 0) c.add(address);  // and so does overlap
        }
        a.merge(b);
        a.merge(c);
        c.merge(a);
        for (const cli::DistinctSketch* s : {&a, &c}) {
            const double error = std::abs(static_cast<double>(s->estimate()) - n);
            EXPECT_LE(error, n <= cli::DistinctSketch::kExact
                                 ? 0.0
                                 : 4 * cli::DistinctSketch::standardError() * n)
                << n;
        }
    }
}
