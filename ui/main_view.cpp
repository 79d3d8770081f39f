// The main window as the work sees it: the query list is an owner-data list view drawing
// the table, so setting its item count shows any number of rows at once, and a changed row
// is only invalidated; the list asks for the texts it paints (LVN_GETDISPINFOW).
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <memory>

#include "platform/win32/window_text.h"
#include "ui/internal.h"
#include "ui/result_text.h"
#include "ui/ui.h"

namespace ui {

namespace {

std::array<std::string, QueryTable::kColumns> columnHeaders() {
    return {kListColumns[0].header, kListColumns[1].header};
}

class WindowMainView final : public MainView {
  public:
    WindowMainView() : table_(columnHeaders()) {
        table_.setListener([this](const QueryTable::Change& change) { showChange(change); });
    }

    void bind(HWND window) {
        main_ = window;
        list_ = controlHandle(window, id::queryList);
        status_ = controlHandle(window, id::statusBar);
    }

    QueryTable& table() override { return table_; }

    std::string text(Box box) override {
        HWND edit = boxHandle(box);
        if (!edit) return {};
        std::wstring text(static_cast<size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
        text.resize(
            static_cast<size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
        return win32::wideToGbk(text);
    }

    void setText(Box box, const std::string& text) override {
        HWND edit = boxHandle(box);
        if (!edit) return;
        const std::wstring wide =
            win32::gbkToWide(box == Box::Result ? boundResultText(text) : text);
        SetWindowTextW(edit, wide.c_str());
    }

    void setPanel(int index, const std::string& text) override {
        if (index < 0 || index > 2 || !status_) return;
        // A status text speaks of the rows: they are shown by the time it is.
        showAppendedRows();
        const std::wstring wide = win32::gbkToWide(text);
        SendMessageW(status_, SB_SETTEXTW, index, reinterpret_cast<LPARAM>(wide.c_str()));
    }

    std::string panel(int index) override {
        if (index < 0 || index > 2 || !status_) return {};
        const size_t n = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, index, 0));
        std::wstring text(n + 1, L'\0');
        SendMessageW(status_, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(n);
        return win32::wideToGbk(text);
    }

    void post(std::function<void()> work) override {
        auto* payload = new std::function<void()>(std::move(work));
        // A window that is gone (or going) takes nothing more; the work is dropped.
        if (!main_ || !PostMessageW(main_, kPostedWork, 0, reinterpret_cast<LPARAM>(payload)))
            delete payload;
    }

    // The list asks for a cell's text while painting it or when another program reads it.
    void answerDisplayInfo(NMLVDISPINFOW& info) {
        LVITEMW& item = info.item;
        if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
        item.pszText[0] = L'\0';
        if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= table_.size()) return;
        const std::wstring text =
            win32::gbkToWide(table_.cell(static_cast<size_t>(item.iItem), item.iSubItem));
        const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
        text.copy(item.pszText, n);
        item.pszText[n] = L'\0';
    }

    HWND list() const { return list_; }

    // Rows added one by one (a reverse search) reach the list at most every kAppendedRowsMs:
    // under Wine each new item count re-lays the list out, some 20 ms, and a fast search
    // kept the window thread that far behind its answers.
    void showAppendedRows() {
        if (!appendedPending_) return;
        appendedPending_ = false;
        KillTimer(main_, kAppendedRowsTimer);
        SendMessageW(list_, LVM_SETITEMCOUNT, table_.size(),
                     LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    }

  private:
    void showChange(const QueryTable::Change& change) {
        if (!list_) return;
        if (change.appended) {
            if (!appendedPending_) {
                appendedPending_ = true;
                SetTimer(main_, kAppendedRowsTimer, kAppendedRowsMs, nullptr);
            }
        } else if (change.allRows) {
            appendedPending_ = false;
            KillTimer(main_, kAppendedRowsTimer);
            SendMessageW(list_, LVM_SETITEMCOUNT, table_.size(), LVSICF_NOSCROLL);
            InvalidateRect(list_, nullptr, FALSE);
        } else {
            SendMessageW(list_, LVM_REDRAWITEMS, change.index, change.index);
        }
    }

    bool appendedPending_ = false;

    HWND boxHandle(Box box) const {
        if (!main_) return nullptr;
        switch (box) {
            case Box::FileLocation:
                return controlHandle(main_, id::fileBox);
            case Box::SaveLocation:
                return controlHandle(main_, id::saveBox);
            case Box::Address:
                return controlHandle(main_, id::addressBox);
            case Box::Result:
                return controlHandle(main_, id::resultBox);
            case Box::Keywords:
                return controlHandle(main_, id::keywordsBox);
        }
        return nullptr;
    }

    QueryTable table_;
    HWND main_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
};

WindowMainView& theView() {
    static WindowMainView view;
    return view;
}

}  // namespace

MainView& mainView() {
    return theView();
}

void bindMainView(HWND window) {
    theView().bind(window);
}

bool answerListNotification(const NMHDR& header, LRESULT&) {
    if (header.hwndFrom != theView().list() || header.code != LVN_GETDISPINFOW) return false;
    theView().answerDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
    return true;
}

void showAppendedRows() {
    theView().showAppendedRows();
}

void runPostedWork(LPARAM payload) {
    std::unique_ptr<std::function<void()>> work(reinterpret_cast<std::function<void()>*>(payload));
    (*work)();
}

void dropPostedWork(HWND window) {
    MSG msg;
    while (PeekMessageW(&msg, window, kPostedWork, kPostedWork, PM_REMOVE))
        delete reinterpret_cast<std::function<void()>*>(msg.lParam);
}

}  // namespace ui
