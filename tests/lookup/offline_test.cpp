#include "support.h"
#include "tests/ipdata/data_file.h"

namespace lookup_test {
namespace {

const std::string kDataPath = "C:\\Verdalo\\ipdata.db";
const std::string kChongqing = "重庆 重庆市 电信";

std::string dataFile() {
    return ipdata_test::buildFile({
        {"0.0.0.0", "0.255.255.255", "0|0|0|内网IP|内网IP"},
        {"1.0.1.0", "1.0.3.255", "中国|0|重庆|重庆市|电信"},
        {"1.0.4.0", "1.0.4.0", "中国|0|重庆|重庆市|联通"},
        {"1.0.4.1", "1.0.7.255", "中国|0|重庆|重庆市|电信"},
        // a gap up to 2.0.0.0
        {"2.0.0.0", "2.0.0.255", "中国|0|江苏省|南京市|电信"},
        {"3.0.0.0", "3.0.0.255", "0|0|0|0|0"},
    });
}

// The location service answers every address but those it is told to fail.
fake::HttpResponse locationAnswer(const std::string& object) {
    const std::string address = getTextBetween(object, "ip=", "&action=2");
    if (address.rfind("1.", 0) == 0 || address.rfind("3.", 0) == 0 || address == "bad")
        return failed();
    if (address.rfind("2.", 0) == 0) return page("<ul><li>no markers</ul>");
    return gbkPage("<ul><li>本站主数据：网" + address + "</li><li>参考：" + address + "</li></ul>");
}

// Files whose reads wait at a gate: the open of the data is held up.
class HeldFiles : public fake::Files {
  public:
    explicit HeldFiles(Gate& gate) : gate_(gate) {}
    bool readAll(const platform::Path& path, std::string& bytes) override {
        gate_.wait();
        return fake::Files::readAll(path, bytes);
    }

  private:
    Gate& gate_;
};

enum class Data { None, Usable, Refused, Unreadable };

class OfflineTest : public LookupTest {
  protected:
    void SetUp() override {
        net.handler = [](const std::string&, int, const std::string& object) {
            return locationAnswer(object);
        };
        useData(Data::Usable);
    }
    // A fresh presenter and engine over the data file in the given state.
    void useData(Data data) {
        lookups.reset();
        window.dropQueued();
        files.clear();
        if (data == Data::Usable || data == Data::Unreadable) files.put(kDataPath, dataFile());
        if (data == Data::Refused) files.put(kDataPath, "not address data");
        if (data == Data::Unreadable) files.unreadable.insert(kDataPath);
        window.setPanel(1, "");
        window.statusHistory.clear();
        lookups = std::make_unique<ui::LookupPresenter>(
            os, executor, window.table(), window, window, platform::Path::fromUtf8(kDataPath));
    }
    void reverseSearch(const std::string& keywords) {
        window.setText(Box::Keywords, keywords);
        window.statusHistory.clear();
        lookups->startReverseSearch();
        ASSERT_TRUE(runToEnd());
    }
    // Files that hold the open up; the base's TearDown ends the presenter before they go.
    std::unique_ptr<HeldFiles> held;
    std::unique_ptr<platform::Services> heldOs;
};

TEST(Keywords, SplitAtAnyKindOfSpace) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"重庆市 电信", {"重庆市", "电信"}},
        {"  重庆市\t\t电信 ", {"重庆市", "电信"}},
        {"重庆市　电信", {"重庆市", "电信"}},  // full-width space
        // 啊 is B0 A1 and 、 is A1 A2: the bytes A1 A1 across them are no space.
        {"啊、", {"啊、"}},
        {"", {}},
        {" 　 ", {}},
    };
    for (const auto& [text, words] : cases) EXPECT_EQ(lookup::keywordsOf(text), words) << text;
}

TEST_F(OfflineTest, ReverseSearchFillsTheListFromTheDataInAddressOrder) {
    struct Case {
        const char* keywords;
        std::vector<RowCells> rows;  // empty: nothing found, the list kept
    };
    const Case cases[] = {
        {"重庆市 电信", {{"1.0.1.0-1.0.3.255", kChongqing}, {"1.0.4.1-1.0.7.255", kChongqing}}},
        {"电信",
         {{"1.0.1.0-1.0.3.255", kChongqing},
          {"1.0.4.1-1.0.7.255", kChongqing},
          {"2.0.0.0-2.0.0.255", "江苏省 南京市 电信"}}},
        {"　重庆　联通", {{"1.0.4.0-1.0.4.0", "重庆 重庆市 联通"}}},
        {"南京 联通", {}},
        {"0", {}},
    };
    const std::vector<RowCells> mine{{"9.9.9.9", "甲"}, {"8.8.8.8", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keywords);
        setRows(mine);
        reverseSearch(c.keywords);
        EXPECT_EQ(rows(), c.rows.empty() ? mine : c.rows);
        EXPECT_EQ(
            window.statusHistory,
            (std::vector<std::string>{
                "正在查询...", "查询完毕,共找到" + std::to_string(c.rows.size()) + "条数据!"}));
    }
    EXPECT_TRUE(net.requests().empty());
}

// Rows the page leaves empty are answered from the data, marked, and counted apart.
// Keywords GBK cannot hold go as "?" to the service and to the data alike; the status
// says how many characters were replaced on either road, and nothing when none were.
TEST_F(OfflineTest, ReverseSearchSaysWhichKeywordCharactersGbkLacks) {
    const struct {
        Data data;
        std::u16string keywords;
        std::string started, finished;
    } cases[] = {
        {Data::None, u"\uC11C\uC6B8 KT", "正在查询...关键字中2个字符无法转换为GBK,已替换为?",
         "查询完毕,共找到0条数据!关键字中2个字符无法转换为GBK,已替换为?"},
        // The data searches the keywords whole: its end says nothing of GBK.
        {Data::Usable, u"\U00020000? KT", "正在查询...关键字中1个字符无法转换为GBK,已替换为?",
         "查询完毕,共找到0条数据!"},
        {Data::Usable, u"? KT", "正在查询...", "查询完毕,共找到0条数据!"},
    };
    for (const auto& c : cases) {
        useData(c.data);
        net.handler = [](const std::string&, int, const std::string&) { return failed(); };
        window.setPath(Box::Keywords, platform::Path(c.keywords));
        lookups->startReverseSearch();
        ASSERT_TRUE(runToEnd());
        EXPECT_EQ(window.statusHistory, (std::vector<std::string>{c.started, c.finished}));
    }
    EXPECT_EQ(attempted().front(), "/ip.php?%3F%3F%20%4B%54");
}

TEST_F(OfflineTest, BatchAnswersFromTheDataWhatThePageDoesNotGive) {
    struct Case {
        const char* name;
        Data data;
        std::vector<std::string> locations;
        std::string finalStatus;
    };
    const std::vector<RowCells> list{{"1.0.2.3", ""},   {"5.5.5.5", ""},  {"2.0.0.9", ""},
                                     {"1.0.9.9", ""},   {"3.0.0.1", ""},  {"bad", ""},
                                     {" 1.0.4.0 ", ""}, {"1.0.5.0", "旧"}};
    const std::string mark = kDataFileMark;
    const Case cases[] = {
        {"with data",
         Data::Usable,
         {kChongqing + mark, "网5.5.5.5", "江苏省 南京市 电信" + mark, "", "", "",
          "重庆 重庆市 联通" + mark, "旧"},
         "查询完毕,共查询出7条数据!(其中3条来自离线库)"},
        {"without data",
         Data::None,
         {"", "网5.5.5.5", "", "", "", "", "", "旧"},
         "查询完毕,共查询出7条数据!"},
        {"refused data",
         Data::Refused,
         {"", "网5.5.5.5", "", "", "", "", "", "旧"},
         "查询完毕,共查询出7条数据!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        useData(c.data);
        setRows(list);
        lookups->startBatchQuery();
        ASSERT_TRUE(runUntil([&] { return status().rfind("查询完毕", 0) == 0; }));
        EXPECT_EQ(status(), c.finalStatus);
        std::vector<std::string> locations;
        for (const RowCells& row : rows()) locations.push_back(row[1]);
        EXPECT_EQ(locations, c.locations);
    }
    // A batch whose answers all come from the page keeps the old final text.
    useData(Data::Usable);
    setRows({{"5.5.5.5", ""}});
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共查询出1条数据!");
}

// The offline mode answers the batch and the single query from the data alone, with the
// mark, and says how many rows the data could not place; back off it, a batch asks the
// service again for the rows the data answered.
TEST_F(OfflineTest, OfflineModeAsksNoServiceAndLeavingItAsksAgain) {
    const std::string mark = " (离线库)";
    setRows({{"1.0.1.9", ""}, {"9.9.9.9", ""}, {"3.0.0.1", ""}, {"2.0.0.7", "已有"}});
    lookups->setOfflineMode(true);
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共查询出1条数据!(离线查询,离线库中没有2条)");
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"1.0.1.9", kChongqing + mark},
                                             {"9.9.9.9", ""},
                                             {"3.0.0.1", ""},
                                             {"2.0.0.7", "已有"}}));
    for (const auto& [address, result] :
         {std::pair<std::string, std::string>{"9.9.9.9", "离线库中没有这个地址的信息!"},
          {"[240e::1]", "不是IPv4或IPv6地址,无法离线查询!"}}) {
        window.setText(Box::Address, address);
        window.setText(Box::Result, "");
        lookups->runSingleQuery();
        ASSERT_TRUE(runUntil([&] { return window.text(Box::Result) == result; })) << address;
    }
    EXPECT_TRUE(net.requests().empty());

    lookups->setOfflineMode(false);
    lookups->startBatchQuery();
    ASSERT_TRUE(runToEnd());
    // 1.0.1.9 is asked again (the service fails it, the data answers again), as are the
    // rows without a location; the row with a web answer is not.
    std::vector<std::string> asked;
    for (const std::string& object : attempted())
        asked.push_back(getTextBetween(object, "ip=", "&"));
    EXPECT_EQ(asked.size(), 3u);
    EXPECT_EQ(rows()[0][1], kChongqing + mark);
    EXPECT_EQ(rows()[1][1], "网9.9.9.9");
    EXPECT_EQ(rows()[3][1], "已有");
}

TEST_F(OfflineTest, SingleQueryFallsBackWhenThePageGivesNothing) {
    struct Case {
        Data data;
        const char* address;
        std::string result;
    };
    const Case cases[] = {
        {Data::Usable, "1.0.2.3", kChongqing + kDataFileMark},
        {Data::Usable, "2.0.0.1", "江苏省 南京市 电信" + std::string(kDataFileMark)},
        {Data::Usable, "5.5.5.5", "本站主数据：网5.5.5.5\r\n参考：5.5.5.5"},
        {Data::Usable, "1.0.9.9", "\r\n"},  // in no range
        {Data::Usable, "3.0.0.1", "\r\n"},  // a range that names nothing
        {Data::None, "1.0.2.3", "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        useData(c.data);
        window.setText(Box::Address, c.address);
        lookups->runSingleQuery();
        ASSERT_TRUE(runUntil([&] { return status() == "查询完毕!"; }));
        EXPECT_EQ(window.text(Box::Result), c.result);
        EXPECT_EQ(window.statusHistory,
                  (std::vector<std::string>{"正在查询,已查询到1条数据!", "查询完毕!"}));
    }
}

// A data file that is there but cannot be used is said once; the lookups go on as without
// one: the reverse search asks the web.
TEST_F(OfflineTest, UnusableFileIsReportedOnceAndTheWebAnswers) {
    const std::pair<Data, std::string> cases[] = {
        {Data::Refused, "离线地址库无法使用:地址库文件头有误"},
        {Data::Unreadable, "离线地址库无法使用:无法读取文件 " + kDataPath},
        {Data::None, ""},
    };
    for (const auto& [data, message] : cases) {
        SCOPED_TRACE(message);
        net.reset();
        useData(data);
        reverseSearch("重庆市");
        EXPECT_EQ(attempted().size(), 1u);
        EXPECT_EQ(status(), "查询完毕,共找到0条数据!");
        // The refusal is posted by the open, which the search waited for: it came first.
        std::vector<std::string> said;
        for (const std::string& text : window.statusHistory)
            if (text.rfind("离线地址库无法使用", 0) == 0) said.push_back(text);
        ASSERT_EQ(said.size(), message.empty() ? 0u : 1u);
        if (!said.empty()) {
            EXPECT_EQ(said[0].substr(0, message.size()), message);
        }
    }
}

// The open runs off the window thread; a search clicked meanwhile waits for it, and a stop
// pressed while it waits ends the search with nothing found.
TEST_F(OfflineTest, ClicksDuringTheOpenNeverWaitAndAStopIsKept) {
    Gate& gate = newGate();
    held = std::make_unique<HeldFiles>(gate);
    held->put(kDataPath, dataFile());
    heldOs = std::make_unique<platform::Services>(
        platform::Services{*held, dialogs, clipboard, net, probe, moduleMemory});
    lookups.reset();
    window.dropQueued();
    lookups = std::make_unique<ui::LookupPresenter>(*heldOs, executor, window.table(), window,
                                                    window, platform::Path::fromUtf8(kDataPath));
    ASSERT_TRUE(gate.awaitWaiting(1));

    setRows({{"mine", ""}});
    window.setText(Box::Keywords, "电信");
    lookups->startReverseSearch();
    lookups->requestStop();
    EXPECT_EQ(status(), "正在查询...");
    gate.open();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共找到0条数据!");
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"mine", ""}}));

    lookups->startReverseSearch();
    ASSERT_TRUE(runUntil([&] { return status() == "查询完毕,共找到3条数据!"; }));
    EXPECT_TRUE(net.requests().empty());
}

// An offline batch without data says why: a file that is there but refused gives its
// reason again, now that the user asked for it; without a file there is nothing to use.
TEST_F(OfflineTest, AnOfflineBatchWithoutDataSaysWhy) {
    const std::pair<Data, std::string> cases[] = {
        {Data::Refused, "离线地址库无法使用:地址库文件头有误"},
        {Data::Unreadable, "离线地址库无法使用:无法读取文件 " + kDataPath},
        {Data::None, "没有可用的离线地址库,无法离线查询!"},
    };
    for (const auto& [data, message] : cases) {
        SCOPED_TRACE(message);
        useData(data);
        setRows({{"1.0.1.9", ""}});
        lookups->setOfflineMode(true);
        lookups->startBatchQuery();
        // The open's refusal, then the batch's end.
        const auto saidTimes = [&, &message = message] {
            return std::count_if(
                window.statusHistory.begin(), window.statusHistory.end(),
                [&](const std::string& s) { return s.substr(0, message.size()) == message; });
        };
        const long said = data == Data::None ? 1 : 2;
        ASSERT_TRUE(runUntil([&] { return saidTimes() == said; }));
        EXPECT_EQ(status().substr(0, message.size()), message);
        // The run is over: the next one starts, and ends the same way.
        lookups->startBatchQuery();
        EXPECT_EQ(status(), "正在查询IP地址...");
        ASSERT_TRUE(runUntil([&] { return saidTimes() == said + 1; }));
    }
}

// An offline batch whose list an import replaced meanwhile: its answers and the rows the
// data could not place went with the old list, so its text counts neither.
TEST_F(OfflineTest, AnOfflineBatchOverAReplacedListCountsNothing) {
    Gate& gate = newGate();
    held = std::make_unique<HeldFiles>(gate);
    held->put(kDataPath, dataFile());
    heldOs = std::make_unique<platform::Services>(
        platform::Services{*held, dialogs, clipboard, net, probe, moduleMemory});
    lookups.reset();
    window.dropQueued();
    lookups = std::make_unique<ui::LookupPresenter>(*heldOs, executor, window.table(), window,
                                                    window, platform::Path::fromUtf8(kDataPath));
    ASSERT_TRUE(gate.awaitWaiting(1));

    setRows({{"1.0.1.9", ""}, {"9.9.9.9", ""}});
    lookups->setOfflineMode(true);
    lookups->startBatchQuery();
    setRows({{"3.0.0.1", ""}});
    gate.open();
    ASSERT_TRUE(runToEnd());
    EXPECT_EQ(status(), "查询完毕,共查询出0条数据!(离线查询)");
    EXPECT_EQ(rows(), (std::vector<RowCells>{{"3.0.0.1", ""}}));
}

}  // namespace
}  // namespace lookup_test
