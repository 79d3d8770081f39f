// The main window as the work sees it: the query list is an owner-data list view drawing
// the table, so setting its item count shows any number of rows at once, and a changed row
// is only invalidated; the list asks for the texts it paints (LVN_GETDISPINFOW).
#include <algorithm>
#include <vector>

#include "platform/win32/window_text.h"
#include "ui/internal.h"
#include "ui/main_window.h"
#include "ui/result_text.h"

namespace ui {

HWND MainWindow::boxHandle(Box box) const {
    if (!window_) return nullptr;
    switch (box) {
        case Box::FileLocation:
            return controlHandle(window_, id::fileBox);
        case Box::SaveLocation:
            return controlHandle(window_, id::saveBox);
        case Box::Address:
            return controlHandle(window_, id::addressBox);
        case Box::Result:
            return controlHandle(window_, id::resultBox);
        case Box::Keywords:
            return controlHandle(window_, id::keywordsBox);
    }
    return nullptr;
}

std::string MainWindow::text(Box box) {
    HWND edit = boxHandle(box);
    return edit ? win32::windowText(edit) : std::string();
}

void MainWindow::setText(Box box, const std::string& text) {
    HWND edit = boxHandle(box);
    if (!edit) return;
    win32::setWindowText(edit, box == Box::Result ? boundResultText(text) : text);
}

platform::Path MainWindow::path(Box box) {
    HWND edit = boxHandle(box);
    return edit ? win32::windowPath(edit) : platform::Path();
}

void MainWindow::setPath(Box box, const platform::Path& path) {
    HWND edit = boxHandle(box);
    if (edit) win32::setWindowPath(edit, path);
}

void MainWindow::setPanel(int index, const std::string& text) {
    if (index < 0 || index > 2 || !status_) return;
    // A status text speaks of the rows: they are shown by the time it is.
    showAppendedRows();
    redrawChangedRows();
    const std::wstring wide = win32::utf8ToWide(text);
    SendMessageW(status_, SB_SETTEXTW, index, reinterpret_cast<LPARAM>(wide.c_str()));
    if (index == 1 && lookups_) lookups_->statusShown(text);
}

std::string MainWindow::panel(int index) {
    if (index < 0 || index > 2 || !status_) return {};
    const size_t n = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, index, 0));
    std::wstring text(n + 1, L'\0');
    SendMessageW(status_, SB_GETTEXTW, index, reinterpret_cast<LPARAM>(text.data()));
    text.resize(n);
    return win32::wideToUtf8(text);
}

// Posted work waits in an inbox with one message on its way for the lot: under Wine each
// message and each row's redraw is a trip to the server, and a fast batch kept the window
// thread busy with them alone.
void MainWindow::post(std::function<void()> work) {
    std::deque<std::function<void()>> unrun;  // freed after the lock is let go
    std::lock_guard lock(inboxMutex_);
    // A window that is gone (or going) takes nothing more; the work is dropped.
    if (!inboxOpen_) return;
    inbox_.push_back(std::move(work));
    if (messageQueued_) return;
    messageQueued_ = PostMessageW(window_, kPostedWork, 0, 0) != 0;
    if (!messageQueued_) {
        inboxOpen_ = false;
        unrun.swap(inbox_);
    }
}

// Runs what was waiting when the message came, in posting order, one item at a time, so
// that a message box opened by one of them runs the later ones in order too. Work posted
// meanwhile gets a message of its own, one at most. Posted messages come before input:
// while a click or a key waits, the work waits behind it on a timer (which comes after
// input), or a steady stream of answers would keep a stop click from being seen.
void MainWindow::runPosted() {
    if (HIWORD(GetQueueStatus(QS_INPUT)) != 0 &&
        SetTimer(window_, kPostedWorkTimer, USER_TIMER_MINIMUM, nullptr))
        return;  // the timer stands for the queued message
    std::size_t count;
    {
        std::lock_guard lock(inboxMutex_);
        messageQueued_ = false;
        count = inbox_.size();
    }
    ++draining_;
    for (; count > 0; --count) {
        std::function<void()> work;
        {
            std::lock_guard lock(inboxMutex_);
            if (inbox_.empty() || !inboxOpen_) break;
            work = std::move(inbox_.front());
            inbox_.pop_front();
        }
        work();
    }
    if (--draining_ == 0) redrawChangedRows();
    std::lock_guard lock(inboxMutex_);
    if (inbox_.empty() || !inboxOpen_ || messageQueued_) return;
    messageQueued_ = PostMessageW(window_, kPostedWork, 0, 0) != 0;
    if (!messageQueued_) inboxOpen_ = false;
}

void MainWindow::closeInbox() {
    std::deque<std::function<void()>> unrun;
    std::lock_guard lock(inboxMutex_);
    inboxOpen_ = false;
    unrun.swap(inbox_);
}

// The list asks for a cell's text while painting it or when another program reads it.
void MainWindow::answerDisplayInfo(NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    item.pszText[0] = L'\0';
    if (item.iItem < 0 || static_cast<size_t>(item.iItem) >= table_.size()) return;
    const RowView row = table_.row(static_cast<size_t>(item.iItem));
    const std::wstring text = item.iSubItem == 0   ? win32::utf8ToWide(std::string(row.address))
                              : item.iSubItem == 1 ? win32::utf8ToWide(shownLocation(row))
                                                   : std::wstring();
    const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
    text.copy(item.pszText, n);
    item.pszText[n] = L'\0';
}

// Rows added one by one (a reverse search) reach the list at most every kAppendedRowsMs:
// under Wine each new item count re-lays the list out, some 20 ms, and a fast search kept
// the window thread that far behind its answers.
void MainWindow::showAppendedRows() {
    if (!appendedPending_) return;
    appendedPending_ = false;
    KillTimer(window_, kAppendedRowsTimer);
    SendMessageW(list_, LVM_SETITEMCOUNT, table_.size(), LVSICF_NOSCROLL | LVSICF_NOINVALIDATEALL);
    fitAddressColumn();
}

// Rows whose address is wider than its column (a range, an IPv6 address) widen it to the
// widest, as a double click on the divider would, within the list; it never narrows, so a
// width the user dragged stays until a wider text arrives. Only the longest texts are
// measured: a hundred thousand rows are looked at, a handful drawn.
void MainWindow::fitAddressColumn() {
    const std::size_t rows = table_.size();
    std::size_t longest = 0;
    std::vector<std::size_t> candidates;
    for (std::size_t i = fittedRows_; i < rows; ++i) {
        const std::size_t length = table_.rows().address(i).size();
        if (length > longest) {
            longest = length;
            candidates.clear();
        }
        if (length == longest && length > 0 && candidates.size() < 32) candidates.push_back(i);
    }
    fittedRows_ = rows;
    if (candidates.empty()) return;
    HDC dc = GetDC(list_);
    if (!dc) return;
    HGDIOBJ oldFont =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (std::size_t i : candidates) {
        const std::wstring text = win32::utf8ToWide(std::string(table_.rows().address(i)));
        SIZE size{};
        if (GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size))
            widest = std::max<int>(widest, size.cx);
    }
    SelectObject(dc, oldFont);
    ReleaseDC(list_, dc);
    constexpr int kCellPadding = 14;  // the list's own margins either side of a cell's text
    RECT client{};
    GetClientRect(list_, &client);
    const int wanted = std::min<int>(widest + kCellPadding, client.right);
    if (wanted > SendMessageW(list_, LVM_GETCOLUMNWIDTH, 0, 0))
        SendMessageW(list_, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(wanted, 0));
}

void MainWindow::showChange(const QueryTable::Change& change) {
    if (!list_) return;
    stats_.tableChanged();
    if (change.appended) {
        if (!appendedPending_) {
            appendedPending_ = true;
            SetTimer(window_, kAppendedRowsTimer, kAppendedRowsMs, nullptr);
        }
    } else if (change.allRows) {
        appendedPending_ = false;
        changedRows_ = false;
        KillTimer(window_, kAppendedRowsTimer);
        SendMessageW(list_, LVM_SETITEMCOUNT, table_.size(), LVSICF_NOSCROLL);
        InvalidateRect(list_, nullptr, FALSE);
        fittedRows_ = 0;
        fitAddressColumn();
    } else if (draining_ > 0) {
        // Rows changed by posted work are redrawn together when the inbox is done.
        firstChanged_ = changedRows_ ? std::min(firstChanged_, change.index) : change.index;
        lastChanged_ = changedRows_ ? std::max(lastChanged_, change.index) : change.index;
        changedRows_ = true;
    } else {
        SendMessageW(list_, LVM_REDRAWITEMS, change.index, change.index);
    }
}

void MainWindow::redrawChangedRows() {
    if (!changedRows_) return;
    changedRows_ = false;
    // Only the rows on screen: the list redraws a range row by row (a trip to the display
    // server each under Wine), and rows off screen are drawn from the table when shown.
    const auto top = static_cast<std::size_t>(SendMessageW(list_, LVM_GETTOPINDEX, 0, 0));
    const auto page = static_cast<std::size_t>(SendMessageW(list_, LVM_GETCOUNTPERPAGE, 0, 0));
    const std::size_t first = std::max(firstChanged_, top);
    const std::size_t last = std::min(lastChanged_, top + page);
    if (first <= last) SendMessageW(list_, LVM_REDRAWITEMS, first, last);
}

}  // namespace ui
