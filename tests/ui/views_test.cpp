// The main window's controls as the views the work uses, on the real window under Wine:
// the rules of the list and the status bar, and a worker's calls carried to the window
// thread, each complete before the worker goes on.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "ui/ui.h"

namespace {

view::MainViews& views() {
    static bool created = false;
    if (!created) {
        created = ui::createMainWindow(nullptr);
        if (!created) std::abort();
    }
    return ui::mainViews();
}

// Runs `work` on a worker thread while this (the window) thread keeps handling messages.
void onWorker(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work();
        done = true;
    });
    while (!done) {
        // Wakes for the worker's sent messages as the real message loop would.
        MsgWaitForMultipleObjectsEx(0, nullptr, 20, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        views().pump.processPending();
    }
    worker.join();
}

TEST(ListView, MissingRowsColumnsAndHeadersReadEmpty) {
    view::ListView& list = views().超级列表框_查询列表;
    list.deleteAllRows();
    EXPECT_EQ(list.appendRow(), 0);
    list.setCell(0, 0, "1.2.3.4");
    list.setCell(0, 1, "重庆市 电信");
    struct Case {
        int row, column;
        const char* text;
    } cases[] = {{0, 0, "1.2.3.4"}, {0, 1, "重庆市 电信"}, {1, 0, ""},      {-1, 0, ""},
                 {0, 2, ""},        {0, -1, ""},           {1000000, 1, ""}};
    for (const Case& c : cases)
        EXPECT_EQ(list.cell(c.row, c.column), c.text) << c.row << "," << c.column;
    EXPECT_EQ(list.columnCount(), 2);
    EXPECT_EQ(list.header(0), "IP");
    EXPECT_EQ(list.header(1), "来自");
    EXPECT_EQ(list.header(2), "");
    EXPECT_EQ(list.header(-1), "");
}

TEST(ListView, WritingAMissingRowAddsNothing) {
    view::ListView& list = views().超级列表框_查询列表;
    list.deleteAllRows();
    list.setCell(0, 0, "x");
    list.setCell(3, 1, "x");
    EXPECT_EQ(list.rowCount(), 0);
    EXPECT_EQ(list.appendRow(), 0);
    EXPECT_EQ(list.appendRow(), 1);
    EXPECT_EQ(list.cell(1, 0), "");
    list.deleteAllRows();
    EXPECT_EQ(list.rowCount(), 0);
}

TEST(ListView, ACellGivesItsWholeText) {
    view::ListView& list = views().超级列表框_查询列表;
    list.deleteAllRows();
    list.appendRow();
    std::string text;
    for (int i = 0; i < 20000; ++i) text += i % 2 ? "来" : "ab";  // 60000 bytes, past any buffer
    list.setCell(0, 1, text);
    EXPECT_EQ(list.cell(0, 1), text);
}

TEST(StatusBar, OnlyPanelsZeroToTwoExist) {
    view::StatusBar& status = views().状态条1;
    status.setPanel(1, "就绪");
    status.setPanel(-1, "x");
    status.setPanel(3, "x");
    EXPECT_EQ(status.panel(0), "状态");
    EXPECT_EQ(status.panel(1), "就绪");
    EXPECT_EQ(status.panel(3), "");
    view::setStatus(views(), "查询完毕,共查询出3条数据!");
    EXPECT_EQ(status.panel(1), "查询完毕,共查询出3条数据!");
}

TEST(EditBox, KeepsLineBreaksAndChinese) {
    views().编辑框_结果.setText("本站主数据：北京市 联通\r\n参考数据：北京市");
    EXPECT_EQ(views().编辑框_结果.text(), "本站主数据：北京市 联通\r\n参考数据：北京市");
    views().编辑框_IP地址.setText("");
    EXPECT_EQ(views().编辑框_IP地址.text(), "");
}

TEST(Worker, EachCallIsDoneBeforeTheWorkerGoesOn) {
    view::MainViews& v = views();
    v.超级列表框_查询列表.deleteAllRows();
    bool inOrder = true;
    onWorker([&] {
        for (int i = 0; i < 100; ++i) {
            const int row = v.超级列表框_查询列表.appendRow();
            const std::string text = "第" + std::to_string(i) + "行";
            v.超级列表框_查询列表.setCell(row, 1, text);
            v.状态条1.setPanel(1, text);
            // Read back at once: the write has happened, on the window, in order.
            inOrder = inOrder && row == i && v.超级列表框_查询列表.cell(row, 1) == text &&
                      v.状态条1.panel(1) == text;
            v.pump.processPending();  // from a worker: nothing to do, returns
        }
    });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(v.超级列表框_查询列表.rowCount(), 100);
    EXPECT_EQ(v.超级列表框_查询列表.cell(99, 1), "第99行");
}

TEST(MessagePump, HandlesWhatIsWaitingAndReturns) {
    views();
    HWND main = FindWindowW(L"VerdaloMain", nullptr);
    ASSERT_NE(main, nullptr);
    for (int i = 0; i < 50; ++i) PostMessageW(main, WM_NULL, 0, 0);
    views().pump.processPending();
    EXPECT_EQ(HIWORD(GetQueueStatus(QS_POSTMESSAGE)), 0);
}

}  // namespace
