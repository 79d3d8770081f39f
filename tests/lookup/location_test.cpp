#include <atomic>

#include "support.h"

namespace lookup_test {
namespace {

const std::string kHost = hosts::kLocationHost;

struct PageCase {
    const char* name;
    std::string body;
    bool fail;
    std::string mainData;
    std::string detailed;
};

TEST_F(LookupTest, LocationPagesInBothModes) {
    const std::string list =
        "<ul class=\"ul1\"><li>本站主数据：广东省深圳市 电信</li><li>参考数据一：深圳 "
        "电信</li></ul>";
    const PageCase cases[] = {
        {"two items", list, false, "广东省深圳市 电信",
         "本站主数据：广东省深圳市 电信\r\n参考数据一：深圳 电信"},
        {"second item after a line break",
         "<ul><li>本站主数据：北京市 联通</li>\r\n<li>参考数据一：北京</li></ul>", false,
         "北京市 联通", "本站主数据：北京市 联通\r\n"},
        {"upper-case tags", "<UL><LI>本站主数据：上海市 移动</LI><LI>参考：上海</LI></UL>", false,
         "上海市 移动", "本站主数据：上海市 移动\r\n参考：上海"},
        {"no list end", "<li>本站主数据：天津</li><li>x</li>", false, "天津", "\r\n"},
        {"page without markers", "<html>维护中</html>", false, "", "\r\n"},
        {"NUL before the marker", std::string("<ul><li>a\0b", 11) + "本站主数据：X</li></ul>",
         false, "", "\r\n"},
        {"untrimmed piece", "<ul><li> 本站主数据： 两侧空格 </li></ul>", false, " 两侧空格 ",
         " 本站主数据： 两侧空格 \r\n"},
        {"failed request", "", true, "", "\r\n"},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.name);
        net.handler = [&](const std::string&, int, const std::string&) {
            return c.fail ? failed() : page(c.body);
        };
        EXPECT_EQ(lookupLocation("1.2.3.4", LookupMode::MainData), c.mainData);
        EXPECT_EQ(lookupLocation("1.2.3.4", LookupMode::Detailed), c.detailed);
    }
}

TEST_F(LookupTest, AddressIsSentExactlyAsGiven) {
    const char* addresses[] = {"1.2.3.4", " 10.0.0.1 ", "", "not-an-ip"};
    for (const char* address : addresses) {
        net.reset();
        lookupLocation(address, LookupMode::MainData);
        ASSERT_EQ(net.requests().size(), 1u);
        EXPECT_EQ(net.requests()[0],
                  kHost + "/ips138.asp?ip=" + std::string(address) + "&action=2");
    }
}

TEST_F(LookupTest, MainDataModeLeavesTheStatusAlone) {
    net.handler = [](auto&&...) { return page("<li>本站主数据：X</li></ul>"); };
    lookupLocation("1.1.1.1", LookupMode::MainData, &window.status);
    EXPECT_TRUE(statuses().empty());
    lookupLocation("1.1.1.1", LookupMode::Detailed, &window.status);
    EXPECT_EQ(statuses(), std::vector<std::string>{"正在查询,已查询到1条数据!"});
}

// A window whose status panel and result box write into one log, to see their order.
struct OrderedWindow : fake::MainWindow {
    struct LoggedStatus : fake::StatusBar {
        explicit LoggedStatus(std::vector<std::string>& l) : log(l) {}
        void setPanel(int index, const std::string& text) override {
            fake::StatusBar::setPanel(index, text);
            std::lock_guard lock(*mutex);
            log.push_back("status " + text);
        }
        std::vector<std::string>& log;
        std::mutex* mutex;
    };
    struct LoggedBox : fake::EditBox {
        explicit LoggedBox(std::vector<std::string>& l) : log(l) {}
        void setText(const std::string& text) override {
            fake::EditBox::setText(text);
            std::lock_guard lock(*mutex);
            log.push_back("result " + text);
        }
        std::vector<std::string>& log;
        std::mutex* mutex;
    };
    OrderedWindow() {
        loggedStatus.mutex = &logMutex;
        loggedResult.mutex = &logMutex;
    }
    std::vector<std::string> entries() {
        std::lock_guard lock(logMutex);
        return log;
    }
    std::mutex logMutex;
    std::vector<std::string> log;
    LoggedStatus loggedStatus{log};
    LoggedBox loggedResult{log};
    view::MainViews logged{list,  loggedStatus, fileBox,    saveBox,
                           ipBox, loggedResult, keywordBox, pump};
};

TEST_F(LookupTest, SingleQueryFillsTheBoxBetweenItsTwoMessages) {
    struct Case {
        const char* name;
        fake::HttpResponse response;
        std::string result;
    };
    const Case cases[] = {
        {"answer", page("<ul><li>本站主数据：广东</li><li>参考：深圳</li></ul>"),
         "本站主数据：广东\r\n参考：深圳"},
        {"failed request", failed(), "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OrderedWindow w;
        ThreadsEndFirst guard;
        net.reset();
        net.handler = [&](auto&&...) { return c.response; };
        w.ipBox.setText("8.8.8.8");
        w.resultBox.setText("old");
        runSingleQuery(w.logged);
        ASSERT_TRUE(waitForThreads());
        EXPECT_EQ(w.entries(),
                  (std::vector<std::string>{"status 正在查询,已查询到1条数据!",
                                            "result " + c.result, "status 查询完毕!"}));
        EXPECT_EQ(attempted(), std::vector<std::string>{"/ips138.asp?ip=8.8.8.8&action=2"});
    }
}

TEST_F(LookupTest, SingleQueryWithoutAddressSendsNothing) {
    window.resultBox.setText("kept");
    runSingleQuery(window.views);
    EXPECT_TRUE(waitForThreads());
    EXPECT_EQ(status(), "没有填写IP地址!");
    EXPECT_EQ(window.resultBox.text(), "kept");
    EXPECT_TRUE(net.requests().empty());
}

TEST_F(LookupTest, SecondClickDuringASingleQueryIsIgnored) {
    Gate gate;
    ThreadsEndFirst guard;
    std::atomic<int> served{0};
    net.handler = [&](auto&&...) {
        ++served;
        gate.wait();
        return page("<ul><li>本站主数据：甲</li></ul>");
    };
    window.ipBox.setText("1.1.1.1");
    runSingleQuery(window.views);
    ASSERT_TRUE(gate.awaitWaiting(1));
    window.ipBox.setText("2.2.2.2");
    runSingleQuery(window.views);
    gate.open();
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(served.load(), 1);
    EXPECT_EQ(window.resultBox.text(), "本站主数据：甲\r\n");
    // Once the first has finished, the next click is served.
    runSingleQuery(window.views);
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(served.load(), 2);
    EXPECT_EQ(net.requests().back(), kHost + "/ips138.asp?ip=2.2.2.2&action=2");
}

TEST_F(LookupTest, SingleQueryLeavesTheQueryFlagsAlone) {
    g_stopRequested = 1;
    g_queryRunning = 1;
    window.ipBox.setText("1.1.1.1");
    runSingleQuery(window.views);
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(g_stopRequested.load(), 1);
    EXPECT_EQ(g_queryRunning.load(), 1);
    EXPECT_EQ(status(), "查询完毕!");
}

}  // namespace
}  // namespace lookup_test
