#include <algorithm>
#include <atomic>
#include <set>

#include "support.h"

namespace lookup_test {
namespace {

std::string addressOf(const std::string& object) {
    return getTextBetween(object, "ip=", "&action=2");
}

// The location page the fake service gives for an address: one distinct answer each.
fake::HttpResponse answerFor(const std::string& object) {
    return gbkPage("<ul><li>本站主数据：地点" + addressOf(object) + "</li></ul>");
}

class BatchTest : public LookupTest {
  protected:
    void SetUp() override {
        net.handler = [](const std::string&, int, const std::string& object) {
            return answerFor(object);
        };
    }
    // Every request held at `gate`, counting how many are under way at once, noting the
    // threads that ask and, in order, each request's start and end.
    void holdRequestsAt(Gate& gate) {
        net.handler = [this, &gate](const std::string&, int, const std::string& object) {
            const int now = ++inFlight;
            for (int seen = peak; now > seen && !peak.compare_exchange_weak(seen, now);) {
            }
            note("ask " + addressOf(object));
            fake::HttpResponse r = answerFor(object);
            r.beforeBody = [this, &gate, object] {
                gate.wait();
                note("done " + addressOf(object));
                --inFlight;
            };
            return r;
        };
    }
    void note(const std::string& what) {
        std::lock_guard lock(logMutex);
        log.push_back(what);
        askers.insert(std::this_thread::get_id());
    }
    std::vector<std::string> lookedUp() {
        std::vector<std::string> out;
        for (const auto& object : attempted()) out.push_back(addressOf(object));
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<RowCells> numberedRows(int n) {
        std::vector<RowCells> out;
        for (int i = 1; i <= n; ++i) out.push_back({"10.0.0." + std::to_string(i), ""});
        return out;
    }
    std::atomic<int> inFlight{0};
    std::atomic<int> peak{0};
    std::mutex logMutex;
    std::vector<std::string> log;
    std::set<std::thread::id> askers;
};

TEST_F(BatchTest, FillsEmptyRowsAndCountsThem) {
    struct Case {
        const char* name;
        std::vector<RowCells> rows;
        std::vector<std::string> lookedUp;  // sorted
        std::string finalStatus;
        std::vector<std::string> locations;
    };
    const Case cases[] = {
        {"all empty",
         {{"1.1.1.1", ""}, {"2.2.2.2", ""}, {"3.3.3.3", ""}},
         {"1.1.1.1", "2.2.2.2", "3.3.3.3"},
         "查询完毕,共查询出3条数据!",
         {"地点1.1.1.1", "地点2.2.2.2", "地点3.3.3.3"}},
        {"second row answered",
         {{"1.1.1.1", ""}, {"2.2.2.2", "旧"}, {"3.3.3.3", ""}},
         {"1.1.1.1", "3.3.3.3"},
         "查询完毕,共查询出2条数据!",
         {"地点1.1.1.1", "旧", "地点3.3.3.3"}},
        {"all answered", {{"1.1.1.1", "甲"}}, {}, "查询完毕,共查询出0条数据!", {"甲"}},
        {"a failed request is counted and leaves the cell empty",
         {{"bad", ""}, {"4.4.4.4", ""}},
         {"4.4.4.4", "bad"},
         "查询完毕,共查询出2条数据!",
         {"", "地点4.4.4.4"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.reset();
        net.handler = [](const std::string&, int, const std::string& object) {
            return addressOf(object) == "bad" ? failed() : answerFor(object);
        };
        setRows(c.rows);
        window.statusHistory.clear();
        lookups->startBatchQuery();
        ASSERT_TRUE(runToEnd());
        EXPECT_EQ(lookedUp(), c.lookedUp);
        EXPECT_EQ(status(), c.finalStatus);
        std::vector<std::string> locations;
        for (const RowCells& row : rows()) locations.push_back(row[1]);
        EXPECT_EQ(locations, c.locations);
        if (!c.lookedUp.empty()) {
            EXPECT_EQ(window.statusHistory.front(), "正在查询IP地址...");
        }
    }
}

TEST_F(BatchTest, AtMostFourRequestsAreUnderWayAtOnce) {
    Gate& gate = newGate();
    holdRequestsAt(gate);
    setRows(numberedRows(12));
    lookups->startBatchQuery();
    ASSERT_TRUE(gate.awaitWaiting(4));
    gate.open();
    ASSERT_TRUE(runToEnd());
    // Four lanes, each a thread asking one address after another: never a fifth request
    // beside them, however the answers come in.
    EXPECT_EQ(peak.load(), 4);
    EXPECT_EQ(askers.size(), 4u);
    EXPECT_EQ(status(), "查询完毕,共查询出12条数据!");
    for (const RowCells& row : rows()) EXPECT_EQ(row[1], "地点" + row[0]);
    // One root handle for the whole run.
    int opens = 0;
    for (const auto& call : net.calls()) opens += call.name == "open";
    EXPECT_EQ(opens, 1);
}

// Another action's text meanwhile (an export's, as the window tells it) gives way to the
// progress text at the next answer.
TEST_F(BatchTest, AnAnswerPutsTheProgressTextBack) {
    Gate& gate = newGate();
    holdRequestsAt(gate);
    setRows(numberedRows(2));
    window.statusHistory.clear();
    lookups->startBatchQuery();
    ASSERT_TRUE(gate.awaitWaiting(2));
    window.setPanel(1, "导出txt完毕!");
    lookups->statusShown("导出txt完毕!");
    gate.open();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(window.statusHistory,
              (std::vector<std::string>{"正在查询IP地址...", "导出txt完毕!", "正在查询IP地址...",
                                        "查询完毕,共查询出2条数据!"}));
}

// A stop ends the run at once, but the requests it gave up are still open at the service:
// the next run asks nothing until they are done, so the service never sees more than 4.
TEST_F(BatchTest, ANewRunWaitsForTheRequestsAStoppedOneGaveUp) {
    Gate& gate = newGate();
    holdRequestsAt(gate);
    setRows(numberedRows(12));
    lookups->startBatchQuery();
    ASSERT_TRUE(gate.awaitWaiting(4));
    lookups->requestStop();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共查询出0条数据!");
    lookups->startBatchQuery();
    gate.open();
    ASSERT_TRUE(runUntil([&] { return status() == "查询完毕,共查询出12条数据!"; }));
    EXPECT_EQ(peak.load(), 4);
    // The second run's first request went out after the four given up were done.
    std::lock_guard lock(logMutex);
    const auto firstOfSecondRun = std::find_if(
        log.begin() + 4, log.end(), [](const auto& e) { return e.rfind("ask ", 0) == 0; });
    EXPECT_EQ(std::count_if(log.begin(), firstOfSecondRun,
                            [](const auto& e) { return e.rfind("done ", 0) == 0; }),
              4);
}

// An import that replaces the list while answers are on their way: no answer lands in the
// new rows (not even one holding the same address), and the next run asks about them.
TEST_F(BatchTest, AnswersForAReplacedListAreDropped) {
    Gate& gate = newGate();
    holdRequestsAt(gate);
    setRows(numberedRows(8));
    lookups->startBatchQuery();
    ASSERT_TRUE(gate.awaitWaiting(4));
    setRows({{"10.0.0.3", ""}, {"9.9.9.9", ""}});
    gate.open();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"10.0.0.3", ""}, {"9.9.9.9", ""}}));
    EXPECT_EQ(status(), "查询完毕,共查询出0条数据!");

    lookups->startBatchQuery();
    ASSERT_TRUE(runUntil([&] { return status() == "查询完毕,共查询出2条数据!"; }));
    EXPECT_EQ(rows(),
              (std::vector<RowCells>{{"10.0.0.3", "地点10.0.0.3"}, {"9.9.9.9", "地点9.9.9.9"}}));
}

// A list replaced after some answers landed: those rows are gone, so the run's one final
// text counts none of them, whether the run then ends on an answer that finds no row or on
// a stop with no answer after the replace.
TEST_F(BatchTest, AReplacedListEndsTheRunWithATrueCountOnce) {
    const bool stopAfterReplace[] = {false, true};
    for (bool stop : stopAfterReplace) {
        SCOPED_TRACE(stop ? "stopped" : "answered");
        Gate& gate = newGate();
        net.reset();
        net.handler = [&gate](const std::string&, int, const std::string& object) {
            fake::HttpResponse r = answerFor(object);
            const std::string address = addressOf(object);
            if (address != "10.0.0.1" && address != "10.0.0.2")
                r.beforeBody = [&gate] { gate.wait(); };
            return r;
        };
        setRows(numberedRows(8));
        window.statusHistory.clear();
        lookups->startBatchQuery();
        ASSERT_TRUE(runUntil([&] {
            return !window.table().cell(0, 1).empty() && !window.table().cell(1, 1).empty();
        }));
        setRows({{"9.9.9.9", ""}});
        window.setPanel(1, "导入txt完毕!");
        lookups->statusShown("导入txt完毕!");
        if (stop) lookups->requestStop();
        gate.open();
        ASSERT_TRUE(runToEnd());
        EXPECT_EQ(status(), "查询完毕,共查询出0条数据!");
        EXPECT_EQ(std::count_if(window.statusHistory.begin(), window.statusHistory.end(),
                                [](const std::string& s) { return s.rfind("查询完毕", 0) == 0; }),
                  1);
        EXPECT_EQ(rows(), (std::vector<RowCells>{{"9.9.9.9", ""}}));
    }
}

// A stop ends the requests under way at once, sends no new one, keeps the cut rows for the
// next run, and belongs to its own run only.
TEST_F(BatchTest, StopCutsTheRunShortAndTheNextStartContinues) {
    net.handler = [](const std::string&, int, const std::string& object) {
        fake::HttpResponse r = answerFor(object);
        r.stall = addressOf(object) != "10.0.0.1";  // a silent service after the first row
        return r;
    };
    setRows(numberedRows(10));
    lookups->startBatchQuery();
    ASSERT_TRUE(runUntil([&] { return !window.table().cell(0, 1).empty(); }));
    ASSERT_TRUE(waitFor([&] { return attempted().size() >= 5u; }));
    lookups->requestStop();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共查询出1条数据!");
    EXPECT_EQ(attempted().size(), 5u);  // the first row, then four in flight
    for (std::size_t i = 1; i < 10; ++i) EXPECT_EQ(window.table().cell(i, 1), "") << i;

    // A stop with nothing running is forgotten: the next run goes to the end.
    lookups->requestStop();
    net.reset();
    net.handler = [](const std::string&, int, const std::string& object) {
        return answerFor(object);
    };
    lookups->startBatchQuery();
    ASSERT_TRUE(runUntil([&] { return status() == "查询完毕,共查询出9条数据!"; }));
    EXPECT_EQ(attempted().size(), 9u);
}

// While a run (or a stopped run's last answers) is under way, neither a batch nor a
// reverse search starts beside it.
TEST_F(BatchTest, NothingStartsBesideARun) {
    struct Case {
        const char* name;
        bool stopFirst;
        std::string finalStatus;
    };
    const Case cases[] = {
        {"during a run", false, "查询完毕,共查询出3条数据!"},
        {"while a stopped run ends", true, "查询完毕,共查询出0条数据!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gate& gate = newGate();
        holdRequestsAt(gate);
        net.reset();
        setRows(numberedRows(3));
        window.setText(Box::Keywords, "北京");
        lookups->startBatchQuery();
        ASSERT_TRUE(gate.awaitWaiting(3));
        if (c.stopFirst) lookups->requestStop();
        lookups->startBatchQuery();
        EXPECT_EQ(status(), "已开始查询,请先停止!");
        lookups->startReverseSearch();
        EXPECT_EQ(status(), "已开始查询,请先停止!");
        gate.open();
        ASSERT_TRUE(runToEnd());
        EXPECT_EQ(status(), c.finalStatus);
        EXPECT_EQ(attempted().size(), 3u);
    }
}

}  // namespace
}  // namespace lookup_test
