// The main window's controls as the view interfaces of the work. A call from a worker
// thread is carried to the window thread with a synchronous SendMessage, so each update is
// complete, and in order, before the worker goes on.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <functional>

#include "platform/win32/window_text.h"
#include "ui/internal.h"
#include "ui/ui.h"

namespace ui {

namespace {

// Runs `work` on the thread of the main window. A closed window runs nothing: the view then
// reads as empty and writes go nowhere, as the program is ending.
void onWindowThread(const std::function<void()>& work) {
    HWND main = mainWindowHandle();
    if (!main) return;
    if (GetWindowThreadProcessId(main, nullptr) == GetCurrentThreadId()) {
        work();
        return;
    }
    SendMessageW(main, kRunOnWindowThread, 0, reinterpret_cast<LPARAM>(&work));
}

// Reads a text through a message that copies at most `capacity` characters, growing the
// buffer until the whole text fits.
template <typename Read>
std::wstring readWhole(Read read) {
    for (size_t capacity = 256;; capacity *= 4) {
        std::wstring buffer(capacity, L'\0');
        const size_t n = read(buffer.data(), static_cast<int>(capacity));
        if (n + 1 < capacity || capacity > (1u << 26)) {
            buffer.resize(std::min(n, capacity));
            return buffer;
        }
    }
}

class ListView final : public view::ListView {
  public:
    HWND list = nullptr;

    int rowCount() override {
        int n = 0;
        onWindowThread([&] { n = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); });
        return n;
    }
    int columnCount() override {
        int n = 0;
        onWindowThread([&] { n = columns(); });
        return n;
    }
    void deleteAllRows() override {
        onWindowThread([&] {
            deferRedraw();
            SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
        });
    }
    int appendRow() override {
        int index = -1;
        onWindowThread([&] {
            deferRedraw();
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            item.pszText = const_cast<wchar_t*>(L"");
            index = static_cast<int>(
                SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        });
        return index;
    }
    std::string cell(int row, int column) override {
        std::wstring text;
        onWindowThread([&] {
            if (exists(row, column)) text = readCell(row, column);
        });
        return win32::wideToGbk(text);
    }
    void setCell(int row, int column, const std::string& text) override {
        const std::wstring wide = win32::gbkToWide(text);
        onWindowThread([&] {
            if (exists(row, column)) writeCell(row, column, wide);
        });
    }
    bool setCellIfKey(int row, int column, const std::string& text, int keyColumn,
                      const std::string& key) override {
        const std::wstring wide = win32::gbkToWide(text);
        const std::wstring wideKey = win32::gbkToWide(key);
        bool set = false;
        onWindowThread([&] {
            if (!exists(row, column) || !exists(row, keyColumn)) return;
            if (readCell(row, keyColumn) == wideKey) set = writeCell(row, column, wide);
        });
        return set;
    }
    std::string header(int column) override {
        std::wstring text;
        onWindowThread([&] {
            if (column < 0 || column >= columns()) return;
            text = readWhole([&](wchar_t* buffer, int capacity) {
                LVCOLUMNW c{};
                c.mask = LVCF_TEXT;
                c.pszText = buffer;
                c.cchTextMax = capacity;
                if (!SendMessageW(list, LVM_GETCOLUMNW, column, reinterpret_cast<LPARAM>(&c)))
                    return size_t{0};
                return static_cast<size_t>(lstrlenW(buffer));
            });
        });
        return win32::wideToGbk(text);
    }

    // Wine's list view repaints (and re-lays out its scroll bars) on every inserted row,
    // some 14 ms a row: an import of 100 000 lines took the better part of an hour. So a
    // change turns painting off, and a timer on the main window turns it back on at most
    // every kListRedrawMs, which the message loop or the import's pumping delivers.
    void deferRedraw() {
        if (frozen_) return;
        HWND main = mainWindowHandle();
        if (!main || !SetTimer(main, kListRedrawTimer, kListRedrawMs, nullptr)) return;
        SendMessageW(list, WM_SETREDRAW, FALSE, 0);
        frozen_ = true;
    }
    void thaw() {
        if (HWND main = mainWindowHandle()) KillTimer(main, kListRedrawTimer);
        if (!frozen_) return;
        frozen_ = false;
        SendMessageW(list, WM_SETREDRAW, TRUE, 0);
        RedrawWindow(list, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
    }

  private:
    bool frozen_ = false;  // touched on the window thread only

    // On the window thread, for a cell that exists.
    std::wstring readCell(int row, int column) {
        return readWhole([&](wchar_t* buffer, int capacity) {
            LVITEMW item{};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = capacity;
            return static_cast<size_t>(
                SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)));
        });
    }
    bool writeCell(int row, int column, const std::wstring& text) {
        deferRedraw();
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = const_cast<wchar_t*>(text.c_str());
        return SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item)) != 0;
    }

    int columns() {
        HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
        return header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    }
    bool exists(int row, int column) {
        return row >= 0 && row < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) && column >= 0 &&
               column < columns();
    }
};

class StatusBar final : public view::StatusBar {
  public:
    HWND bar = nullptr;

    void setPanel(int index, const std::string& text) override {
        if (index < 0 || index > 2) return;
        const std::wstring wide = win32::gbkToWide(text);
        onWindowThread(
            [&] { SendMessageW(bar, SB_SETTEXTW, index, reinterpret_cast<LPARAM>(wide.c_str())); });
    }
    std::string panel(int index) override {
        if (index < 0 || index > 2) return {};
        std::wstring text;
        onWindowThread([&] {
            const size_t n = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, index, 0));
            text.assign(n + 1, L'\0');
            SendMessageW(bar, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(text.data()));
            text.resize(n);
        });
        return win32::wideToGbk(text);
    }
};

class EditBox final : public view::EditBox {
  public:
    HWND edit = nullptr;

    std::string text() override {
        std::wstring text;
        onWindowThread([&] {
            const int n = GetWindowTextLengthW(edit);
            text.assign(static_cast<size_t>(n) + 1, L'\0');
            text.resize(static_cast<size_t>(GetWindowTextW(edit, text.data(), n + 1)));
        });
        return win32::wideToGbk(text);
    }
    void setText(const std::string& text) override {
        const std::wstring wide = win32::gbkToWide(text);
        onWindowThread([&] { SetWindowTextW(edit, wide.c_str()); });
    }
};

class MessagePump final : public view::MessagePump {
  public:
    void processPending() override { processPendingMessages(); }
};

ListView g_list;
StatusBar g_status;
EditBox g_fileBox, g_saveBox, g_ipBox, g_resultBox, g_keywordBox;
MessagePump g_pump;
view::MainViews g_views{g_list,  g_status,    g_fileBox,    g_saveBox,
                        g_ipBox, g_resultBox, g_keywordBox, g_pump};

}  // namespace

void bindMainViews(HWND window) {
    g_list.list = controlHandle(window, id::超级列表框_查询列表);
    g_status.bar = controlHandle(window, id::状态条1);
    g_fileBox.edit = controlHandle(window, id::编辑框_文件位置);
    g_saveBox.edit = controlHandle(window, id::编辑框_保存位置);
    g_ipBox.edit = controlHandle(window, id::编辑框_IP地址);
    g_resultBox.edit = controlHandle(window, id::编辑框_结果);
    g_keywordBox.edit = controlHandle(window, id::编辑框_实际地址);
}

void thawQueryList() {
    g_list.thaw();
}

view::MainViews& mainViews() {
    return g_views;
}

}  // namespace ui
