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
    void search(const std::string& keywords) {
        window.setText(Box::Keywords, keywords);
        window.statusHistory.clear();
        lookups->startReverseSearch();
        ASSERT_TRUE(runToEnd());
    }
};

TEST_F(ReverseTest, WalksEveryPageAndEveryDetailPage) {
    setRows({{"mine", "row"}});
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
    lookups->requestStop();  // pressed while nothing runs: no effect on the search
    search("北京 电信");
    EXPECT_EQ(net.requests(),
              (std::vector<std::string>{kHost + "/ip.php?" + kEncoded, kHost + "/ip-1.0.2.0.htm",
                                        kHost + "/ip.php?" + kEncoded + "&1",
                                        kHost + "/ip.php?" + kEncoded + "&2"}));
    EXPECT_EQ(rows(), (std::vector<RowCells>{
                          {"1.0.1.0-1.0.1.255", "北京 电信"},
                          {"1.0.2.0-1.0.2.255", "北京市 电信"},
                          {"1.0.4.0-1.0.4.255", "北京市 电信"},
                          {"1.0.5.0-1.0.5.255", "北京市 电信"},
                          {"1.0.6.0-1.0.6.255", "北京市 电信"},
                          {"1.0.3.0-1.0.3.255", "B"},
                      }));
    EXPECT_EQ(window.statusHistory,
              (std::vector<std::string>{"正在查询...", "正在查询,已找到1条数据!",
                                        "正在查询,已找到5条数据!", "正在查询,已找到6条数据!",
                                        "查询完毕,共找到6条数据!"}));
}

TEST_F(ReverseTest, DetailRangesAndEntryShapes) {
    struct Case {
        const char* name;
        std::string entry;
        std::string detail;  // empty: the detail request fails
        std::vector<RowCells> rows;
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
        // The page's text goes into the detail path encoded, so it cannot add a query.
        {"first address encoded into the path",
         multi("3.0.0.0?x=1", "Y"),
         "<p>a</p>",
         {{"a", "Y"}}},
        {"upper-case BR is no break",
         utf8(u8"<p class='bg'>IP 4.0.0.0<BR/>地址：Z</p>"),
         "",
         {{"4.0.0.0<BR/>", "Z"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.handler = [&](const std::string&, int, const std::string& object) {
            if (object == "/ip.php?%6B") return page(resultPage(1, c.entry));
            if ((object == "/ip-3.0.0.0.htm" || object == "/ip-3.0.0.0%3Fx%3D1.htm") &&
                !c.detail.empty())
                return page(c.detail);
            return failed();
        };
        setRows({{"mine", ""}});
        search("k");
        const std::vector<RowCells> kept{{"mine", ""}};
        EXPECT_EQ(rows(), c.rows.empty() ? kept : c.rows);
        EXPECT_EQ(status(), "查询完毕,共找到" + std::to_string(c.rows.size()) + "条数据!");
    }
}

// Nothing found, or a search that failed: the user's list stays as it was.
TEST_F(ReverseTest, FirstPageDecidesThePageCountAndNothingFoundKeepsTheList) {
    struct Case {
        const char* name;
        fake::HttpResponse first;
        std::size_t requests;
    };
    const Case cases[] = {
        {"failed first request", failed(), 1},
        {"no page count", page("<html>no results</html>"), 1},
        {"one page", page(resultPage(1, "")), 1},
        {"three empty pages", page(resultPage(3, "")), 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        net.reset();
        net.handler = [&](const std::string&, int, const std::string& object) {
            return object == "/ip.php?%6B" ? c.first : page(resultPage(3, ""));
        };
        setRows({{"1.1.1.1", "甲"}, {"2.2.2.2", ""}});
        search("k");
        EXPECT_EQ(attempted().size(), c.requests);
        EXPECT_EQ(status(), "查询完毕,共找到0条数据!");
        EXPECT_EQ(rows(), (std::vector<RowCells>{{"1.1.1.1", "甲"}, {"2.2.2.2", ""}}));
    }
}

// A stop during a detail request ends it at once: the rows found before stay, no further
// page is asked for. The detail request waits until the window has shown the rows before:
// the search's step ends by posting them, and only the window's reply starts the next.
TEST_F(ReverseTest, StopDuringADetailRequestEndsTheSearch) {
    net.handler = [](const std::string&, int, const std::string& object) {
        if (object == "/ip.php?%6B")
            return page(resultPage(2, single("6.0.0.0", "Q") + multi("5.0.0.0", "P")));
        fake::HttpResponse r = page("<p>r1 r2</p>");
        r.stall = object == "/ip-5.0.0.0.htm";
        return r;
    };
    setRows({{"mine", ""}});
    window.setText(Box::Keywords, "k");
    lookups->startReverseSearch();
    ASSERT_TRUE(waitFor([&] { return window.queued() == 1; }));
    EXPECT_EQ(attempted().size(), 1u);
    window.drain();
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"6.0.0.0", "Q"}}));
    ASSERT_TRUE(waitFor([&] { return attempted().size() == 2u; }));
    lookups->requestStop();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"6.0.0.0", "Q"}}));
    const auto& shown = window.statusHistory;
    EXPECT_EQ(std::vector<std::string>(shown.end() - 2, shown.end()),
              (std::vector<std::string>{"正在查询,已找到1条数据!", "查询完毕,共找到1条数据!"}));
    EXPECT_EQ(attempted().size(), 2u);
}

}  // namespace
}  // namespace lookup_test
