#include "support.h"

namespace lookup_test {
namespace {

using lookup::LookupMode;

TEST(LocationPage, BothModes) {
    struct Case {
        const char* name;
        std::string page;
        std::string mainData;
        std::string detailed;
    };
    const Case cases[] = {
        {"two items",
         "<ul class=\"ul1\"><li>本站主数据：广东省深圳市 电信</li><li>参考数据一：深圳 "
         "电信</li></ul>",
         "广东省深圳市 电信", "本站主数据：广东省深圳市 电信\r\n参考数据一：深圳 电信"},
        {"second item after a line break",
         "<ul><li>本站主数据：北京市 联通</li>\r\n<li>参考数据一：北京</li></ul>", "北京市 联通",
         "本站主数据：北京市 联通\r\n"},
        {"upper-case tags", "<UL><LI>本站主数据：上海市 移动</LI><LI>参考：上海</LI></UL>",
         "上海市 移动", "本站主数据：上海市 移动\r\n参考：上海"},
        {"no list end", "<li>本站主数据：天津</li><li>x</li>", "天津", "\r\n"},
        {"untrimmed piece", "<ul><li> 本站主数据： 两侧空格 </li></ul>", " 两侧空格 ",
         " 本站主数据： 两侧空格 \r\n"},
        {"failed request", "", "", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The page and what is cut out of it are GBK.
        const std::string page = utf8ToGbk(c.page);
        EXPECT_EQ(gbkToUtf8(lookup::locationOf(page, LookupMode::MainData)), c.mainData);
        EXPECT_EQ(gbkToUtf8(lookup::locationOf(page, LookupMode::Detailed)), c.detailed);
    }
}

// Whatever the box or the list holds goes into the path trimmed and percent-encoded, so a
// stray "&" or space cannot change the query the service sees.
TEST_F(LookupTest, AddressGoesIntoThePathTrimmedAndEncoded) {
    const std::pair<std::string, std::string> cases[] = {
        {"1.2.3.4", "1.2.3.4"},
        {" 10.0.0.1 \r\n", "10.0.0.1"},
        {"1.2.3.4&action=1", "1.2.3.4%26action%3D1"},
        {"a b", "a%20b"},
    };
    for (const auto& [address, inPath] : cases) {
        net.reset();
        WebSession session(net);
        lookup::lookupLocation(session, address, LookupMode::MainData);
        EXPECT_EQ(attempted(), std::vector<std::string>{"/ips138.asp?ip=" + inPath + "&action=2"})
            << address;
    }
}

TEST_F(LookupTest, SingleQueryShowsTheAnswerBetweenItsTwoMessages) {
    struct Case {
        const char* name;
        fake::HttpResponse response;
        std::string result;
    };
    const Case cases[] = {
        {"answer", gbkPage("<ul><li>本站主数据：广东</li><li>参考：深圳</li></ul>"),
         "本站主数据：广东\r\n参考：深圳"},
        {"failed request", failed(), "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.handler = [&](auto&&...) { return c.response; };
        window.setPanel(1, "");
        window.statusHistory.clear();
        window.setText(Box::Address, "8.8.8.8");
        window.setText(Box::Result, "old");
        lookups->runSingleQuery();
        ASSERT_TRUE(runUntil([&] { return status() == "查询完毕!"; }));
        EXPECT_EQ(window.text(Box::Result), c.result);
        EXPECT_EQ(window.statusHistory,
                  (std::vector<std::string>{"正在查询,已查询到1条数据!", "查询完毕!"}));
    }
}

// Each action with nothing to work on says so, asks nothing and leaves the window as it was.
TEST_F(LookupTest, MissingInputGivesItsMessage) {
    using Action = void (ui::LookupPresenter::*)();
    const std::pair<Action, std::string> cases[] = {
        {&ui::LookupPresenter::runSingleQuery, "没有填写IP地址!"},
        {&ui::LookupPresenter::startReverseSearch, "没有填写实际地址!"},
        {&ui::LookupPresenter::startBatchQuery, "没有可用IP地址!"},
    };
    window.setText(Box::Result, "kept");
    for (const auto& [action, message] : cases) {
        ((*lookups).*action)();
        window.drain();
        EXPECT_EQ(status(), message);
    }
    EXPECT_EQ(window.text(Box::Result), "kept");
    EXPECT_TRUE(net.requests().empty());
}

// A second query clicked while the first waits runs after it; each answer is shown with
// the address it belongs to, unless the user has typed a new one meanwhile.
TEST_F(LookupTest, SingleQueriesRunInTheOrderClicked) {
    struct Case {
        const char* name;
        bool clickSecond;
        std::string boxWithFirstAnswer;
    };
    const Case cases[] = {
        {"second clicked", true, "1.1.1.1"},
        {"second only typed", false, "2.2.2.2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Gate& first = newGate();
        Gate& second = newGate();
        net.reset();
        net.handler = [&](const std::string&, int, const std::string& object) {
            const std::string address = getTextBetween(object, "ip=", "&");
            (address == "1.1.1.1" ? first : second).wait();
            return gbkPage("<ul><li>答" + address + "</li></ul>");
        };
        window.setText(Box::Address, "1.1.1.1");
        lookups->runSingleQuery();
        ASSERT_TRUE(first.awaitWaiting(1));
        window.setText(Box::Address, "2.2.2.2");
        if (c.clickSecond) lookups->runSingleQuery();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(second.waiting(), 0);  // not asked before the first is answered
        first.open();
        ASSERT_TRUE(runUntil([&] { return window.text(Box::Result) == "答1.1.1.1\r\n"; }));
        EXPECT_EQ(window.text(Box::Address), c.boxWithFirstAnswer);
        second.open();
        if (c.clickSecond) {
            ASSERT_TRUE(runUntil([&] { return window.text(Box::Result) == "答2.2.2.2\r\n"; }));
            EXPECT_EQ(window.text(Box::Address), "2.2.2.2");
        }
        lookups = std::make_unique<ui::LookupPresenter>(os, executor, window.table(), window,
                                                        window);  // a fresh one per round
        EXPECT_EQ(net.requests().size(), c.clickSecond ? 2u : 1u);
    }
}

}  // namespace
}  // namespace lookup_test
