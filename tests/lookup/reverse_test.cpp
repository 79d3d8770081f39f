#include <atomic>

#include "support.h"

namespace lookup_test {
namespace {

const std::string kHost = hosts::kRangeSearchHost;

// "北京 电信" as the service receives it: every UTF-8 byte as %XX, the space as %20.
const std::string kEncoded = "%E5%8C%97%E4%BA%AC%20%E7%94%B5%E4%BF%A1";

std::string single(const std::string& range, const std::string& place) {
    return utf8(u8"<p class='bg'>IP ") + range + utf8(u8"地址：") + place + "</p>";
}

std::string multi(const std::string& first, const std::string& place) {
    return utf8(u8"<p class='bg'>IP地址段：") + first + " - 9.9.9.9<br/>" + utf8(u8"详细地址：") +
           place + "<br/>more</p>";
}

std::string resultPage(int pages, const std::string& entries) {
    return utf8(u8"<div>共") + std::to_string(pages) + utf8(u8"页</div>") + entries;
}

class ReverseTest : public LookupTest {
  protected:
    void run() {
        startReverseSearch(window.views);
        ASSERT_TRUE(waitForThreads());
    }
    std::vector<std::vector<std::string>> rows() { return window.list.rows(); }
};

TEST_F(ReverseTest, WalksEveryPageAndEveryDetailPage) {
    window.keywordBox.setText("北京 电信");
    window.list.addRow({"old", "row"});
    net.handler = [](const std::string&, int, const std::string& object) {
        const std::string base = "/ip.php?" + kEncoded;
        if (object == base)
            return page(resultPage(3, single("1.0.1.0-1.0.1.255", utf8(u8"北京 电信")) +
                                          multi("1.0.2.0", utf8(u8"北京市 电信"))));
        if (object == base + "&1") return page(resultPage(3, single("1.0.3.0-1.0.3.255", "B")));
        if (object == base + "&2") return page(resultPage(3, ""));
        if (object == "/ip-1.0.2.0.htm")
            return page(
                "<p>1.0.2.0-1.0.2.255<br/> 1.0.4.0-1.0.4.255<br/> 1.0.5.0-1.0.5.255 "
                "1.0.6.0-1.0.6.255</p>");
        return failed();
    };
    run();
    EXPECT_EQ(net.requests(),
              (std::vector<std::string>{kHost + "/ip.php?" + kEncoded, kHost + "/ip-1.0.2.0.htm",
                                        kHost + "/ip.php?" + kEncoded + "&1",
                                        kHost + "/ip.php?" + kEncoded + "&2"}));
    EXPECT_EQ(rows(), (std::vector<std::vector<std::string>>{
                          {"1.0.1.0-1.0.1.255", "北京 电信"},
                          {"1.0.2.0-1.0.2.255", "北京市 电信"},
                          {"1.0.4.0-1.0.4.255", "北京市 电信"},
                          {"1.0.5.0-1.0.5.255", "北京市 电信"},
                          {"1.0.6.0-1.0.6.255", "北京市 电信"},
                          {"1.0.3.0-1.0.3.255", "B"},
                      }));
    auto shown = statuses();
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), "正在查询...");
    EXPECT_EQ(shown[1], "正在查询,已找到1条数据!");
    EXPECT_EQ(shown.back(), "查询完毕,共找到6条数据!");
    EXPECT_EQ(g_queryRunning.load(), 0);
}

TEST_F(ReverseTest, DetailRangesAndEntryShapes) {
    struct Case {
        const char* name;
        std::string entry;
        std::string detail;  // empty: the detail request fails
        std::vector<std::vector<std::string>> rows;
    };
    const Case cases[] = {
        {"single range", single("2.0.0.0-2.0.0.255", "X"), "", {{"2.0.0.0-2.0.0.255", "X"}}},
        {"single entry without markers", "<p class='bg'>nothing here</p>", "", {{"", ""}}},
        {"four ranges",
         multi("3.0.0.0", "Y"),
         "<p>a<br/> b<br/> c<br/> d</p>",
         {{"a", "Y"}, {"b", "Y"}, {"c", "Y"}, {"d", "Y"}}},
        {"two spaces end the list",
         multi("3.0.0.0", "Y"),
         "<p>a b  c d</p>",
         {{"a", "Y"}, {"b", "Y"}}},
        {"failed detail request", multi("3.0.0.0", "Y"), "", {}},
        {"upper-case BR is no break",
         utf8(u8"<p class='bg'>IP 4.0.0.0<BR/>地址：Z</p>"),
         "",
         {{"4.0.0.0<BR/>", "Z"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.reset();
        window.keywordBox.setText("k");
        net.handler = [&](const std::string&, int, const std::string& object) {
            if (object == "/ip.php?%6B") return page(resultPage(1, c.entry));
            if (object == "/ip-3.0.0.0.htm" && !c.detail.empty()) return page(c.detail);
            return failed();
        };
        run();
        EXPECT_EQ(rows(), c.rows);
        EXPECT_EQ(status(), "查询完毕,共找到" + std::to_string(c.rows.size()) + "条数据!");
    }
}

TEST_F(ReverseTest, FirstPageDecidesThePageCount) {
    struct Case {
        const char* name;
        fake::HttpResponse first;
        std::size_t requests;
    };
    const Case cases[] = {
        {"failed first request", failed(), 1},
        {"no page count", page("<html>no results</html>"), 1},
        {"one page", page(resultPage(1, "")), 1},
        {"three pages", page(resultPage(3, "")), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.reset();
        window.keywordBox.setText("k");
        net.handler = [&](const std::string&, int, const std::string& object) {
            return object == "/ip.php?%6B" ? c.first : failed();
        };
        run();
        EXPECT_EQ(attempted().size(), c.requests);
        EXPECT_EQ(status(), "查询完毕,共找到0条数据!");
    }
}

TEST_F(ReverseTest, LaterPagesUseTheKeywordsAsEditedMeanwhile) {
    window.keywordBox.setText("a");
    window.keywordBox.onRead = [](fake::EditBox& box) {
        // The user edits the box after the search has read it for the first page.
        if (box.reads == 3) box.setText("b c");
    };
    net.handler = [](auto&&...) { return page(resultPage(3, "")); };
    run();
    EXPECT_EQ(net.requests(),
              (std::vector<std::string>{kHost + "/ip.php?%61", kHost + "/ip.php?%62%20%63&1",
                                        kHost + "/ip.php?%62%20%63&2"}));
}

TEST_F(ReverseTest, EmptyKeywordsStartNothing) {
    window.list.addRow({"kept"});
    run();
    EXPECT_EQ(status(), "没有填写实际地址!");
    EXPECT_TRUE(net.requests().empty());
    EXPECT_EQ(window.list.rowCount(), 1);
}

TEST_F(ReverseTest, StopDuringADetailRequestWritesTheWholeEntry) {
    window.keywordBox.setText("k");
    Gate gate;
    ThreadsEndFirst guard;
    net.handler = [&](const std::string&, int, const std::string& object) {
        if (object == "/ip.php?%6B")
            return page(resultPage(2, multi("5.0.0.0", "P") + single("6.0.0.0", "Q")));
        if (object == "/ip-5.0.0.0.htm") {
            gate.wait();
            return page("<p>r1 r2 r3</p>");
        }
        return page(resultPage(2, single("7.0.0.0", "R")));
    };
    startReverseSearch(window.views);
    ASSERT_TRUE(gate.awaitWaiting(1));
    requestStop();
    EXPECT_EQ(g_queryRunning.load(), 0);
    gate.open();
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(rows(),
              (std::vector<std::vector<std::string>>{{"r1", "P"}, {"r2", "P"}, {"r3", "P"}}));
    auto shown = statuses();
    EXPECT_EQ(std::vector<std::string>(shown.end() - 4, shown.end()),
              (std::vector<std::string>{
                  "正在查询,已找到1条数据![停止中]", "正在查询,已找到2条数据![停止中]",
                  "正在查询,已找到3条数据![停止中]", "查询完毕,共找到3条数据!"}));
    EXPECT_EQ(g_stopRequested.load(), 0);
    EXPECT_EQ(net.requests().size(), 2u);  // no second page
}

TEST_F(ReverseTest, PendingStopEndsTheRunAfterItsFirstEntry) {
    window.keywordBox.setText("k");
    net.handler = [](auto&&...) {
        return page(resultPage(2, single("1.0.0.0", "A") + single("2.0.0.0", "B")));
    };
    requestStop();
    run();
    EXPECT_EQ(rows(), (std::vector<std::vector<std::string>>{{"1.0.0.0", "A"}}));
    EXPECT_EQ(g_stopRequested.load(), 0);
    EXPECT_EQ(net.requests().size(), 1u);
}

TEST_F(ReverseTest, TwoQuickClicksGiveOneSearch) {
    window.keywordBox.setText("k");
    Gate gate;
    ThreadsEndFirst guard;
    std::atomic<int> firstPages{0};
    net.handler = [&](const std::string&, int, const std::string& object) {
        if (object == "/ip.php?%6B") ++firstPages;
        gate.wait();
        return page(resultPage(1, single("1.0.0.0", "A")));
    };
    // Both clicks come before the first worker has set g_queryRunning.
    startReverseSearch(window.views);
    startReverseSearch(window.views);
    ASSERT_TRUE(gate.awaitWaiting(1));
    gate.open();
    ASSERT_TRUE(waitForThreads());
    EXPECT_EQ(firstPages.load(), 1);
    EXPECT_EQ(rows().size(), 1u);
    EXPECT_EQ(status(), "查询完毕,共找到1条数据!");
    EXPECT_EQ(peakWorkersInLoop(), 1);
}

}  // namespace
}  // namespace lookup_test
