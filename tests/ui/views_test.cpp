// The main window as the work sees it, on the real window under Wine: the owner-data list
// shows the table as it changes, posted work runs on the window thread in posting order,
// and the result box is bounded while the table keeps whole texts.
#include <gtest/gtest.h>
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <thread>

#include "platform/win32/system.h"
#include "ui/main_window.h"
#include "ui/result_text.h"

namespace {

ui::MainWindow& view() {
    static platform::win32::System system;
    static platform::Services os = system.services();
    static std::unique_ptr<ui::MainWindow> window = [] {
        auto made = std::make_unique<ui::MainWindow>(os, platform::Path());
        if (!made->create()) std::abort();
        return made;
    }();
    return *window;
}

HWND list() {
    view();
    HWND main = FindWindowW(L"VerdaloMain", nullptr);
    HWND group = GetDlgItem(main, 110);
    return GetDlgItem(group, 111);
}

std::wstring listCell(int row, int column) {
    wchar_t buffer[256] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = 256;
    SendMessageW(list(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
    return buffer;
}

void pumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i) {
        MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
}

TEST(QueryList, ShowsTheTableAsItChanges) {
    QueryTable& table = view().table();
    std::vector<RowCells> rows(100000);
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i][0] = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
    table.replace(std::move(rows));
    EXPECT_EQ(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0), 100000);
    EXPECT_EQ(listCell(99999, 0), L"10.0.390.159");
    EXPECT_TRUE(table.setLocation(table.row(5).id, "重庆市 电信"));
    EXPECT_EQ(listCell(5, 1), L"重庆市 电信");
    // An answer from the address data is drawn marked; the table keeps it unmarked.
    EXPECT_TRUE(table.setAnswer(table.row(6).id, {"重庆 电信", Source::DataFile}));
    EXPECT_EQ(listCell(6, 1), L"重庆 电信 (离线库)");
    EXPECT_EQ(table.cell(6, 1), "重庆 电信");
    EXPECT_EQ(listCell(100000, 0), L"");  // past the end

    table.clear();
    EXPECT_EQ(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0), 0);
    // Appended rows are shown in bursts, and always by the time a status text speaks of them.
    table.append({"1.2.3.4", "北京市"});
    table.append({"5.6.7.8", "上海市"});
    view().setStatus("正在查询,已找到2条数据!");
    EXPECT_EQ(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(listCell(1, 1), L"上海市");
    table.append({"9.9.9.9", ""});
    pumpUntil([] { return SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0) == 3; });
    EXPECT_EQ(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0), 3);
}

// Longer addresses widen the address column to the widest text, never past the list, and
// never narrow it again.
TEST(QueryList, AddressColumnWidensToItsLongestText) {
    QueryTable& table = view().table();
    auto width = [] { return static_cast<int>(SendMessageW(list(), LVM_GETCOLUMNWIDTH, 0, 0)); };
    auto textWidth = [](const wchar_t* text) {
        return static_cast<int>(
            SendMessageW(list(), LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(text)));
    };
    table.replace({{"1.2.3.4", ""}});
    EXPECT_EQ(width(), 120);
    table.replace({{"1.2.3.4", ""}, {"14.104.0.0-14.111.255.255", "重庆"}});
    const int ranges = width();
    EXPECT_GE(ranges, textWidth(L"14.104.0.0-14.111.255.255"));
    table.append(
        {"2001:db8:ffff:ffff:ffff:ffff:ffff:0-2001:db8:ffff:ffff:ffff:ffff:ffff:ffff", ""});
    table.append({"2001:db8::1", ""});
    pumpUntil([&] { return width() > ranges; });
    RECT client{};
    GetClientRect(list(), &client);
    EXPECT_EQ(width(), client.right);  // as wide as the list, no wider
    table.replace({{"1.2.3.4", ""}});
    EXPECT_EQ(width(), client.right);
}

TEST(Post, WorkFromWorkersRunsOnTheWindowThreadInOrder) {
    ui::MainWindow& v = view();
    const DWORD windowThread = GetCurrentThreadId();
    std::vector<int> seen;
    bool allOnWindowThread = true;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            v.post([&, i] {
                seen.push_back(i);
                allOnWindowThread = allOnWindowThread && GetCurrentThreadId() == windowThread;
            });
    });
    worker.join();
    pumpUntil([&] { return seen.size() == 200; });
    ASSERT_EQ(seen.size(), 200u);
    EXPECT_TRUE(allOnWindowThread);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
}

TEST(ResultBox, LongAnswersAreCutPerLineAndShortOnesKept) {
    struct Case {
        std::string in, shown;
    };
    const std::string longLine(5000, 'a');
    const std::string longChinese = [] {
        std::string s;
        for (int i = 0; i < 1500; ++i) s += "中";
        return s;
    }();
    std::string chinese1024;
    for (int i = 0; i < 1024; ++i) chinese1024 += "中";
    const Case cases[] = {
        {"本站主数据：北京市 联通\r\n参考数据：北京市",
         "本站主数据：北京市 联通\r\n参考数据：北京市"},
        {longLine + "\r\nb", std::string(1024, 'a') + "…\r\nb"},
        {longChinese, chinese1024 + "…"},
        {std::string(1024, 'x'), std::string(1024, 'x')},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(boundResultText(c.in), c.shown);
        view().setText(Box::Result, c.in);
        EXPECT_EQ(view().text(Box::Result), c.shown);
    }
}

}  // namespace
