#include <atomic>
#include <functional>
#include <map>

#include "support.h"

namespace lookup_test {
namespace {

// The location page the fake service gives for an address: one distinct answer each.
fake::HttpResponse answerFor(const std::string& object) {
    std::string address = getTextBetween(object, "ip=", "&action=2");
    return page("<ul><li>本站主数据：地点" + address + "</li></ul>");
}

std::string addressOf(const std::string& request) {
    return getTextBetween(request, "ip=", "&action=2");
}

// A list whose cell reads can run a hook, to act while the worker walks the rows.
struct HookedList : fake::ListView {
    std::string cell(int row, int column) override {
        if (onCell) onCell(row, column);
        return fake::ListView::cell(row, column);
    }
    std::function<void(int, int)> onCell;
};

struct HookedWindow : fake::MainWindow {
    HookedList hooked;
    view::MainViews hookedViews{hooked, status,    fileBox,    saveBox,
                                ipBox,  resultBox, keywordBox, pump};
};

class BatchTest : public LookupTest {
  protected:
    void SetUp() override {
        LookupTest::SetUp();
        net.handler = [this](const std::string&, int, const std::string& object) {
            // What the window showed while this row's request was under way.
            std::lock_guard lock(seenMutex);
            statusDuringRequest[addressOf(object)] = status();
            return answerFor(object);
        };
    }
    void runToEnd(view::MainViews& views) {
        startBatchQuery(views);
        ASSERT_TRUE(waitForThreads());
    }
    std::vector<std::string> lookedUp() {
        std::vector<std::string> out;
        for (const auto& r : net.requests()) out.push_back(addressOf(r));
        return out;
    }
    std::mutex seenMutex;
    std::map<std::string, std::string> statusDuringRequest;
};

TEST_F(BatchTest, FillsEmptyRowsAndCountsThem) {
    struct Case {
        const char* name;
        std::vector<std::vector<std::string>> rows;
        std::vector<std::string> lookedUp;
        std::string finalStatus;
    };
    const Case cases[] = {
        {"empty list", {}, {}, "没有可用IP地址!"},
        {"all empty",
         {{"1.1.1.1"}, {"2.2.2.2"}, {"3.3.3.3"}},
         {"1.1.1.1", "2.2.2.2", "3.3.3.3"},
         "查询完毕,共查询出3条数据!"},
        {"second row answered",
         {{"1.1.1.1"}, {"2.2.2.2", "旧"}, {"3.3.3.3"}},
         {"1.1.1.1", "3.3.3.3"},
         "查询完毕,共查询出2条数据!"},
        {"all answered", {{"1.1.1.1", "甲"}, {"2.2.2.2", "乙"}}, {}, "查询完毕,共查询出0条数据!"},
        {"empty address is looked up",
         {{""}, {" 4.4.4.4 "}},
         {"", " 4.4.4.4 "},
         "查询完毕,共查询出2条数据!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::MainWindow w;
        ThreadsEndFirst guard;
        net.reset();
        statusDuringRequest.clear();
        for (const auto& row : c.rows) w.list.addRow(row);
        runToEnd(w.views);
        EXPECT_EQ(lookedUp(), c.lookedUp);
        EXPECT_EQ(w.status.panel(1), c.finalStatus);
        for (const auto& row : w.list.rows()) {
            auto original =
                std::find_if(c.rows.begin(), c.rows.end(), [&](auto& r) { return r[0] == row[0]; });
            bool wasAnswered = original->size() > 1;
            EXPECT_EQ(row[1], wasAnswered ? (*original)[1] : "地点" + row[0]);
        }
        EXPECT_EQ(g_queryRunning.load(), 0);
    }
}

TEST_F(BatchTest, EveryLookedUpRowShowsProgressDuringItsRequest) {
    for (const char* a : {"1.1.1.1", "2.2.2.2"}) window.list.addRow({a});
    runToEnd(window.views);
    ASSERT_EQ(statusDuringRequest.size(), 2u);
    for (const auto& [address, shown] : statusDuringRequest)
        EXPECT_EQ(shown, "正在查询IP地址...") << address;
}

TEST_F(BatchTest, FailedRequestLeavesAnEmptyCellAndTheRunGoesOn) {
    for (const char* a : {"1.1.1.1", "bad", "3.3.3.3"}) window.list.addRow({a});
    net.handler = [](const std::string&, int, const std::string& object) {
        return addressOf(object) == "bad" ? failed() : answerFor(object);
    };
    runToEnd(window.views);
    auto rows = window.list.rows();
    EXPECT_EQ(rows[0][1], "地点1.1.1.1");
    EXPECT_EQ(rows[1][1], "");
    EXPECT_EQ(rows[2][1], "地点3.3.3.3");
    EXPECT_EQ(status(), "查询完毕,共查询出3条数据!");
}

TEST_F(BatchTest, StopDuringARowFinishesItThenAStartContinues) {
    for (int i = 1; i <= 8; ++i) window.list.addRow({"10.0.0." + std::to_string(i)});
    net.handler = [](const std::string&, int, const std::string& object) {
        if (addressOf(object) == "10.0.0.5") requestStop();
        return answerFor(object);
    };
    runToEnd(window.views);
    EXPECT_EQ(status(), "查询完毕,共查询出5条数据!");
    EXPECT_EQ(window.list.cell(4, 1), "地点10.0.0.5");
    EXPECT_EQ(window.list.cell(5, 1), "");
    EXPECT_EQ(g_stopRequested.load(), 0);
    EXPECT_EQ(g_queryRunning.load(), 0);

    net.reset();
    net.handler = [](const std::string&, int, const std::string& object) {
        return answerFor(object);
    };
    runToEnd(window.views);
    EXPECT_EQ(lookedUp(), (std::vector<std::string>{"10.0.0.6", "10.0.0.7", "10.0.0.8"}));
    EXPECT_EQ(status(), "查询完毕,共查询出3条数据!");
}

TEST_F(BatchTest, PendingStopEndsTheNextRunAfterOneRow) {
    struct Case {
        const char* name;
        std::function<void(HookedWindow&)> requestStopSomehow;
    };
    const Case cases[] = {
        {"stop while idle", [](HookedWindow&) { requestStop(); }},
        {"stop while the last run only skipped rows",
         [this](HookedWindow&) {
             // A run that finds every row answered and skips them: a stop arriving then
             // is not looked at, so it waits for the next run.
             HookedWindow other;
             ThreadsEndFirst guard;
             other.hooked.addRow({"9.9.9.9", "有"});
             other.hooked.addRow({"9.9.9.8", "有"});
             other.hooked.onCell = [](int row, int column) {
                 if (row == 0 && column == 1) requestStop();
             };
             runToEnd(other.hookedViews);
             EXPECT_EQ(other.status.panel(1), "查询完毕,共查询出0条数据!");
             EXPECT_EQ(g_stopRequested.load(), 1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HookedWindow w;
        ThreadsEndFirst guard;
        net.reset();
        g_stopRequested = 0;
        for (const char* a : {"1.1.1.1", "2.2.2.2", "3.3.3.3"}) w.hooked.addRow({a});
        c.requestStopSomehow(w);
        net.reset();
        runToEnd(w.hookedViews);
        EXPECT_EQ(lookedUp(), std::vector<std::string>{"1.1.1.1"});
        EXPECT_EQ(w.status.panel(1), "查询完毕,共查询出1条数据!");
        EXPECT_EQ(g_stopRequested.load(), 0);
    }
}

TEST_F(BatchTest, RowsAddedDuringARunWaitForTheNext) {
    window.list.addRow({"1.1.1.1"});
    window.list.addRow({"2.2.2.2"});
    net.handler = [this](const std::string&, int, const std::string& object) {
        if (addressOf(object) == "1.1.1.1") window.list.addRow({"3.3.3.3"});
        return answerFor(object);
    };
    runToEnd(window.views);
    EXPECT_EQ(lookedUp(), (std::vector<std::string>{"1.1.1.1", "2.2.2.2"}));
    EXPECT_EQ(window.list.cell(2, 1), "");
}

// An import replacing the list while an answer is on its way: the answer must not land in
// the row that now holds another address, and nothing is asked past the new list's end.
TEST_F(BatchTest, ListReplacedDuringARequestKeepsAnswersWithTheirAddresses) {
    for (int i = 1; i <= 6; ++i) window.list.addRow({"10.0.0." + std::to_string(i)});
    net.handler = [this](const std::string&, int, const std::string& object) {
        if (addressOf(object) == "10.0.0.2") {
            window.list.deleteAllRows();
            window.list.addRow({"10.9.9.1"});
            window.list.addRow({"10.9.9.2"});
            window.list.addRow({"10.0.0.3"});
        }
        return answerFor(object);
    };
    runToEnd(window.views);
    EXPECT_EQ(window.list.rows(), (std::vector<std::vector<std::string>>{
                                      {"10.9.9.1", ""}, {"10.9.9.2", ""}, {"10.0.0.3", "地点10.0.0.3"}}));
    EXPECT_EQ(lookedUp(), (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(status(), "查询完毕,共查询出3条数据!");
}

// The refused start and the one running: a second start, and a start after a stop while
// the stopped worker still waits for its row, both leave exactly one worker.
TEST_F(BatchTest, ASecondStartIsRefusedAndTheRunningOneGoesOn) {
    struct Case {
        const char* name;
        bool stopFirst;
        std::string finalStatus;
        int rowsAnswered;
    };
    const Case cases[] = {
        {"start during a run", false, "查询完毕,共查询出3条数据!", 3},
        {"start while a stopped worker finishes its row", true, "查询完毕,共查询出1条数据!", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::MainWindow w;
        Gate gate;
        ThreadsEndFirst guard;  // ends before the gate and the window go
        net.reset();
        for (const char* a : {"1.1.1.1", "2.2.2.2", "3.3.3.3"}) w.list.addRow({a});
        net.handler = [&](const std::string&, int, const std::string& object) {
            if (addressOf(object) == "1.1.1.1") gate.wait();
            return answerFor(object);
        };
        startBatchQuery(w.views);
        ASSERT_TRUE(gate.awaitWaiting(1));
        if (c.stopFirst) {
            requestStop();
            EXPECT_EQ(g_queryRunning.load(), 0);
        }
        startBatchQuery(w.views);
        // The refused worker ends without touching the list or the running worker.
        auto refusedShown = [&] {
            for (const auto& s : w.status.history(1))
                if (s == "已开始查询,请先停止!") return true;
            return false;
        };
        EXPECT_TRUE(waitFor(refusedShown));
        // The first worker, still at its row, is the only thread left.
        EXPECT_TRUE(waitFor([] { return runningLookupThreads() == 1; }));
        gate.open();
        ASSERT_TRUE(waitForThreads());
        EXPECT_EQ(w.status.panel(1), c.finalStatus);
        int answered = 0;
        for (const auto& row : w.list.rows()) answered += !row[1].empty();
        EXPECT_EQ(answered, c.rowsAnswered);
        EXPECT_EQ(net.requests().size(), static_cast<size_t>(c.rowsAnswered));
        EXPECT_EQ(peakWorkersInLoop(), 1);
    }
}

TEST_F(BatchTest, ReverseSearchIsRefusedWhileABatchRuns) {
    window.list.addRow({"1.1.1.1"});
    window.keywordBox.setText("北京");
    Gate gate;
    ThreadsEndFirst guard;
    net.handler = [&](const std::string&, int, const std::string& object) {
        gate.wait();
        return answerFor(object);
    };
    startBatchQuery(window.views);
    ASSERT_TRUE(gate.awaitWaiting(1));
    startReverseSearch(window.views);
    EXPECT_EQ(status(), "已开始查询,请先停止!");
    requestStop();  // the stopped batch still finishes its row: still refused
    startReverseSearch(window.views);
    EXPECT_EQ(status(), "已开始查询,请先停止!");
    gate.open();
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(status(), "查询完毕,共查询出1条数据!");
    EXPECT_EQ(net.requests().size(), 1u);
}

TEST_F(BatchTest, AStartRightAfterTheFinalMessageIsServed) {
    // The driver of a window presses start as soon as it sees the final message.
    for (int round = 0; round < 50; ++round) {
        fake::MainWindow w;
        ThreadsEndFirst guard;
        w.list.addRow({"1.1.1.1"});
        startBatchQuery(w.views);
        // Polled without sleeping: the start must follow the message as closely as can be.
        for (auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
             w.status.panel(1) != "查询完毕,共查询出1条数据!" &&
             std::chrono::steady_clock::now() < end;)
            std::this_thread::yield();
        ASSERT_EQ(w.status.panel(1), "查询完毕,共查询出1条数据!");
        w.list.addRow({"2.2.2.2"});
        startBatchQuery(w.views);
        ASSERT_TRUE(waitForThreads());
        ASSERT_EQ(w.status.panel(1), "查询完毕,共查询出1条数据!") << round;
        ASSERT_EQ(w.list.cell(1, 1), "地点2.2.2.2") << round;
    }
}

TEST_F(BatchTest, StartAndStop200TimesNeverPutTwoWorkersInTheLoop) {
    for (int i = 0; i < 400; ++i)
        window.list.addRow({"10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256)});
    std::atomic<int> rounds{0};
    net.handler = [&](const std::string&, int, const std::string& object) {
        // A short exchange, so starts and stops land both inside and between requests.
        if (rounds % 3 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return answerFor(object);
    };
    for (int i = 0; i < 200; ++i) {
        startBatchQuery(window.views);
        if (i % 7 == 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        requestStop();
        ++rounds;
    }
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(peakWorkersInLoop(), 1);
    EXPECT_EQ(g_workersInLoop.load(), 0);
    // With two workers in the loop a row could be looked up twice.
    std::map<std::string, int> times;
    for (const auto& a : lookedUp()) ++times[a];
    for (const auto& [address, n] : times) EXPECT_EQ(n, 1) << address;
}

}  // namespace
}  // namespace lookup_test
