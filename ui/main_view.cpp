// The main window as the work sees it: the query list is an owner-data list view drawing
// the table, so setting its item count shows any number of rows at once, and a changed row
// is only invalidated; the list asks for the texts it paints (LVN_GETDISPINFOW).
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>

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
        redrawChangedRows();
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

    // Posted work waits in an inbox with one message on its way for the lot: under Wine each
    // message and each row's redraw is a trip to the server, and a fast batch kept the
    // window thread busy with them alone.
    void post(std::function<void()> work) override {
        std::deque<std::function<void()>> unrun;  // freed after the lock is let go
        std::lock_guard lock(inboxMutex_);
        // A window that is gone (or going) takes nothing more; the work is dropped.
        if (!main_ || inboxClosed_) return;
        inbox_.push_back(std::move(work));
        if (inbox_.size() == 1 && !PostMessageW(main_, kPostedWork, 0, 0)) {
            inboxClosed_ = true;
            unrun.swap(inbox_);
        }
    }

    // Runs what was waiting when the message came, in posting order, one item at a time, so
    // that a message box opened by one of them runs the later ones in order too. Work
    // posted meanwhile gets a message of its own: input and painting get their turn.
    void runPosted() {
        std::size_t count;
        {
            std::lock_guard lock(inboxMutex_);
            count = inbox_.size();
        }
        ++draining_;
        for (; count > 0; --count) {
            std::function<void()> work;
            {
                std::lock_guard lock(inboxMutex_);
                if (inbox_.empty()) break;
                work = std::move(inbox_.front());
                inbox_.pop_front();
            }
            work();
        }
        if (--draining_ == 0) redrawChangedRows();
        std::lock_guard lock(inboxMutex_);
        if (!inbox_.empty() && !inboxClosed_ && !PostMessageW(main_, kPostedWork, 0, 0))
            inboxClosed_ = true;
    }

    void dropPosted() {
        std::deque<std::function<void()>> unrun;
        {
            std::lock_guard lock(inboxMutex_);
            inboxClosed_ = true;
            unrun.swap(inbox_);
        }
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
            changedRows_ = false;
            KillTimer(main_, kAppendedRowsTimer);
            SendMessageW(list_, LVM_SETITEMCOUNT, table_.size(), LVSICF_NOSCROLL);
            InvalidateRect(list_, nullptr, FALSE);
        } else if (draining_ > 0) {
            // Rows changed by posted work are redrawn together when the inbox is done.
            firstChanged_ = changedRows_ ? std::min(firstChanged_, change.index) : change.index;
            lastChanged_ = changedRows_ ? std::max(lastChanged_, change.index) : change.index;
            changedRows_ = true;
        } else {
            SendMessageW(list_, LVM_REDRAWITEMS, change.index, change.index);
        }
    }

    void redrawChangedRows() {
        if (!changedRows_) return;
        changedRows_ = false;
        SendMessageW(list_, LVM_REDRAWITEMS, firstChanged_, lastChanged_);
    }

    bool appendedPending_ = false;
    int draining_ = 0;
    bool changedRows_ = false;
    std::size_t firstChanged_ = 0, lastChanged_ = 0;
    std::mutex inboxMutex_;
    std::deque<std::function<void()>> inbox_;
    bool inboxClosed_ = false;

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

void runPostedWork() {
    theView().runPosted();
}

void dropPostedWork() {
    theView().dropPosted();
}

}  // namespace ui
