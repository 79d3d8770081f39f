// The engines without a window: inputs as values in, events out, through the poster alone.
#include "support.h"
#include "tests/ipdata/data_file.h"
#include "tests/ipdata/mmdb_file.h"

namespace lookup_test {
namespace {

// Every event as a line, answers with their source and the data's region field; the ends
// with their counts. `replaced`: an import has replaced the list, no row is left.
struct Recorder final : lookup::Events {
    std::vector<std::string> seen;
    bool replaced = false;
    bool answered(RowId id, const Answer& a) override {
        seen.push_back(std::to_string(id) + " " + describe(a));
        return !replaced;
    }
    bool listed(RowId) const override { return !replaced; }
    void batchFinished(const lookup::BatchOutcome& o) override {
        seen.push_back("end " + std::to_string(o.answered) + "/" + std::to_string(o.fromData) +
                       (o.stopped ? " stopped" : "") + (o.listReplaced ? " replaced" : ""));
    }
    void offlineBatchFinished(const SharedAnswers& shared,
                              const lookup::OfflineOutcome& o) override {
        for (const auto& [id, place] : shared.rows) answered(id, shared.answers[place]);
        seen.push_back("end, unplaced " + std::to_string(o.unplaced) +
                       (o.listReplaced ? " replaced" : ""));
    }
    void offlineBatchFailed(const lookup::NoData& why) override {
        seen.push_back(why.refusal ? "no data: refused" : "no data");
    }
    void rangesFound(RowStore) override {}
    void searchFinished(RowStore, bool) override {}
    void singleAnswered(const std::string&, const lookup::SingleResult&) override {}
    void publicAddressFound(const std::optional<std::string>&) override {}
    void dataFileRefused(const lookup::DataFileProblem&) override { seen.push_back("refused"); }
    // Each file of the reports, in order, its format or "refused".
    std::vector<std::string> opened;
    void dataFilesOpened(const std::vector<ipdata::FileReport>& reports) override {
        for (const ipdata::FileReport& r : reports)
            opened.push_back(r.file.path + " " + (r.used() ? std::string(r.format) : "refused"));
    }
    static std::string describe(const Answer& a) {
        const char* sources[] = {"none", "web", "data", "search"};
        return sources[static_cast<int>(a.source)] + (":" + a.text) +
               (a.fields ? "/" + (*a.fields)[static_cast<int>(Field::Region)] : "");
    }
};

class EngineTest : public LookupTest {
  protected:
    void SetUp() override {
        lookups.reset();
        files.put("C:\\ipdata.db",
                  ipdata_test::buildFile({{"1.0.0.0", "1.0.0.255", "中国|0|重庆|重庆市|电信"}}));
        net.handler = [](const std::string&, int, const std::string& object) {
            const std::string address = getTextBetween(object, "ip=", "&action=2");
            return address == "9.9.9.9" ? gbkPage("<li>本站主数据：网</li>") : failed();
        };
    }
    // Runs the batch until its end has been reported.
    std::vector<std::string> batch(std::vector<PendingRow> rows, bool offline) {
        lookup::Engine engine(os, executor, window, events,
                              platform::Path::fromUtf8("C:\\ipdata.db"));
        EXPECT_TRUE(engine.startBatch(std::move(rows), offline));
        EXPECT_TRUE(window.runUntil(
            [&] { return !events.seen.empty() && events.seen.back().rfind("end", 0) == 0; }));
        std::sort(events.seen.begin(), events.seen.end() - 1);  // lanes answer in any order
        return events.seen;
    }
    Recorder events;
};

TEST_F(EngineTest, AWebBatchReportsEachAnswerWithItsSource) {
    EXPECT_EQ(batch({{7, "9.9.9.9"}, {8, "1.0.0.9"}, {9, "8.8.8.8"}}, false),
              (std::vector<std::string>{"7 web:网", "8 data:重庆 重庆市 电信/重庆",
                                        "9 web:", "end 3/1"}));
}

TEST_F(EngineTest, AnOfflineBatchAsksNoServiceAndCountsWhatTheDataLacks) {
    EXPECT_EQ(batch({{1, "1.0.0.1"}, {2, "8.8.8.8"}, {3, "not an address"}}, true),
              (std::vector<std::string>{"1 data:重庆 重庆市 电信/重庆", "end, unplaced 2"}));
    EXPECT_TRUE(net.requests().empty());
}

// A long batch with coordinates from a world file beside answers in two halves at once:
// every row gets its own answer, whichever half it lies in (the second half's answers placed
// after the first's), and the unplaced rows of both are counted.
TEST_F(EngineTest, ALongOfflineBatchAnswersEveryRowOfBothHalves) {
    files.put("C:\\ipdata.db",
              ipdata_test::buildFile({{"1.0.0.0", "1.0.0.127", "中国|0|重庆|重庆市|电信"},
                                      {"1.0.0.128", "1.0.0.255", "中国|0|广西|南宁市|联通"}}));
    mmdbfile::Data world;
    const auto place = static_cast<std::uint32_t>(world.map(1));
    world.string("location");
    world.map(2);
    world.string("latitude");
    world.number(29.5);
    world.string("longitude");
    world.number(106.5);
    files.put("C:\\world.mmdb",
              mmdbfile::build(mmdbfile::tree(24, 4), {mmdbfile::v4(0x01000000, 24, place)}, world));
    files.listsFolders = true;
    const char* const addresses[] = {"1.0.0.1", "1.0.0.200", "8.8.8.8"};
    const char* const answers[] = {" data:重庆 重庆市 电信/重庆", " data:广西 南宁市 联通/广西",
                                   ""};
    std::vector<PendingRow> rows;
    std::vector<std::string> expected;
    for (RowId id = 1; id <= 40000; ++id) {
        // The first half 重庆 and unplaced rows; the second's first answer is 广西.
        const int second[] = {2, 1, 0};
        const int kind = id <= 20000 ? (id % 7 == 0 ? 2 : 0) : second[id % 3];
        rows.push_back({id, addresses[kind]});
        if (kind != 2) expected.push_back(std::to_string(id) + answers[kind]);
    }
    std::sort(expected.begin(), expected.end());
    expected.push_back("end, unplaced " + std::to_string(40000 - (expected.size())));
    EXPECT_EQ(batch(rows, true), expected);
}

// The end's counts are the engine's alone: a stop midway counts what landed; rows answered
// before an import replaced the list count nothing, whether an answer found its row gone or
// the run was stopped before any did.
TEST_F(EngineTest, ABatchEndsWithExactCounts) {
    enum class Then { Stop, Replace, ReplaceAndStop };
    const std::pair<Then, std::string> cases[] = {
        {Then::Stop, "end 3/1 stopped"},
        {Then::Replace, "end 0/0 replaced"},
        {Then::ReplaceAndStop, "end 0/0 stopped replaced"},
    };
    for (const auto& [then, end] : cases) {
        SCOPED_TRACE(end);
        events = Recorder();
        Gate& gate = newGate();
        // Three rows answer at once (the service, the data, nothing); the rest wait.
        net.handler = [&gate](const std::string&, int, const std::string& object) {
            const std::string address = getTextBetween(object, "ip=", "&action=2");
            if (address == "9.9.9.9") return gbkPage("<li>本站主数据：网</li>");
            if (address == "1.0.0.9" || address == "8.8.8.8") return failed();
            fake::HttpResponse r = gbkPage("<li>本站主数据：晚</li>");
            r.beforeBody = [&gate] { gate.wait(); };
            return r;
        };
        std::vector<PendingRow> rows = {{1, "9.9.9.9"}, {2, "1.0.0.9"}, {3, "8.8.8.8"}};
        for (RowId id = 4; id <= 9; ++id) rows.push_back({id, "7.7.7." + std::to_string(id)});
        lookup::Engine engine(os, executor, window, events,
                              platform::Path::fromUtf8("C:\\ipdata.db"));
        ASSERT_TRUE(engine.startBatch(std::move(rows), false));
        ASSERT_TRUE(window.runUntil([&] { return events.seen.size() == 3; }));
        ASSERT_TRUE(gate.awaitWaiting(4));
        events.replaced = then != Then::Stop;
        if (then != Then::Replace) engine.stop();
        gate.open();
        ASSERT_TRUE(window.runUntil([&] { return events.seen.back().rfind("end", 0) == 0; }));
        EXPECT_EQ(events.seen.back(), end);
    }
}

// The window learns which files are in use once they are open, after their refusals.
TEST_F(EngineTest, ReportsTheFilesOnceOpen) {
    files.put("C:\\asn.db", "not an asn file");
    lookup::Engine engine(os, executor, window, events, platform::Path::fromUtf8("C:\\ipdata.db"));
    ASSERT_TRUE(window.runUntil([&] { return !events.opened.empty(); }));
    EXPECT_EQ(events.seen, (std::vector<std::string>{"refused"}));
    EXPECT_EQ(events.opened,
              (std::vector<std::string>{"C:\\ipdata.db ip2region", "C:\\asn.db refused"}));
}

}  // namespace
}  // namespace lookup_test
