// The engines without a window: inputs as values in, events out, through the poster alone.
#include "support.h"
#include "tests/ipdata/data_file.h"

namespace lookup_test {
namespace {

// Every event as a line, answers with their source and the data's region field.
struct Recorder final : lookup::Events {
    std::vector<std::string> seen;
    bool answered(RowId id, const Answer& a) override {
        seen.push_back(std::to_string(id) + " " + describe(a));
        return true;
    }
    void batchFinished() override { seen.push_back("end"); }
    void offlineBatchFinished(const std::vector<RowAnswer>& answers,
                              std::size_t unplaced) override {
        for (const RowAnswer& a : answers) answered(a.id, a.answer);
        seen.push_back("end, unplaced " + std::to_string(unplaced));
    }
    void offlineBatchFailed() override { seen.push_back("no data"); }
    void rangesFound(RowStore) override {}
    void searchFinished(RowStore) override {}
    void singleAnswered(const std::string&, const lookup::SingleResult&) override {}
    void publicAddressFound(const std::optional<std::string>&) override {}
    void dataFileRefused(const lookup::DataFileProblem&) override { seen.push_back("refused"); }
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
    EXPECT_EQ(
        batch({{7, "9.9.9.9"}, {8, "1.0.0.9"}, {9, "8.8.8.8"}}, false),
        (std::vector<std::string>{"7 web:网", "8 data:重庆 重庆市 电信/重庆", "9 web:", "end"}));
}

TEST_F(EngineTest, AnOfflineBatchAsksNoServiceAndCountsWhatTheDataLacks) {
    EXPECT_EQ(batch({{1, "1.0.0.1"}, {2, "8.8.8.8"}, {3, "not an address"}}, true),
              (std::vector<std::string>{"1 data:重庆 重庆市 电信/重庆", "end, unplaced 2"}));
    EXPECT_TRUE(net.requests().empty());
}

}  // namespace
}  // namespace lookup_test
