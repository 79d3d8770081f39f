// The main window: creation, the wiring of its controls to the work, the toolbar.
#include "ui/main_window.h"

#include <shellapi.h>

#include "ipdata/data_files.h"
#include "lookup/lookup.h"
#include "platform/win32/system_call.h"
#include "platform/win32/window_text.h"
#include "texts/data_texts.h"
#include "ui/internal.h"

namespace ui {

namespace {

const wchar_t kMainClass[] = L"VerdaloMain";
const char kDataSources[] = "数据来源";
const char kNoDataFiles[] = "没有数据文件: 程序旁没有 ipdata.db, 也没有 asn.db";

std::array<std::string, QueryTable::kColumns> columnHeaders() {
    return {kListColumns[0].header, kListColumns[1].header};
}

}  // namespace

HINSTANCE instance() {
    return GetModuleHandleW(nullptr);
}

bool isMainWindow(HWND window) {
    wchar_t name[32] = {};
    return window && GetClassNameW(window, name, static_cast<int>(std::size(name))) > 0 &&
           lstrcmpW(name, kMainClass) == 0;
}

MainWindow::MainWindow(platform::Services& os, platform::Path offlineDataPath)
    : os_(os), offlineDataPath_(std::move(offlineDataPath)), table_(columnHeaders()) {
    table_.setListener([this](const QueryTable::Change& change) { showChange(change); });
    stats_.setDataFiles([this] { return dataFilesText(); });
}

MainWindow::~MainWindow() {
    // Replies the work posts from here on are dropped unrun; then the work stops.
    closeInbox();
    io_.reset();
    lookups_.reset();
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
}

bool MainWindow::create() {
    if (!registerWindowClass(kMainClass, procedure)) return false;
    const std::wstring caption = win32::utf8ToWide(kMainWindow.caption);
    HWND window = CreateWindowExW(
        // Files dropped on the window are imported as 导入 would.
        WS_EX_APPWINDOW | WS_EX_ACCEPTFILES, kMainClass, caption.c_str(),
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN, 50, 50,
        kMainWindow.width, kMainWindow.height, nullptr, nullptr, instance(), this);
    if (!window) return false;
    if (!createControls(window, kMainWindow, theme_.mainLook())) {
        DestroyWindow(window);
        window_ = nullptr;
        return false;
    }
    list_ = controlHandle(window, id::queryList);
    status_ = controlHandle(window, id::statusBar);
    {
        std::lock_guard lock(inboxMutex_);
        inboxOpen_ = true;
    }
    centreOnScreen(window);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    // The work comes once the window is shown and painted: the lookups start opening the
    // address data at once, some tens of milliseconds of a worker's time that would otherwise
    // share the processor with the window's making. Until then no command has anything to
    // reach (each checks for the work first).
    lookups_ =
        std::make_unique<LookupPresenter>(os_, executor_, table_, *this, *this, offlineDataPath_);
    io_ = std::make_unique<FilePresenter>(os_, executor_, table_, *this, *this);
    lookups_->onDataFiles([this] { stats_.dataFilesChanged(); });
    return true;
}

void MainWindow::showPublicAddress() {
    if (lookups_) lookups_->showPublicAddress();
}

void MainWindow::onCommand(int id, int code) {
    const int entries = static_cast<int>(std::size(kToolbarEntries));
    if (id >= kToolbarCommandBase && id < kToolbarCommandBase + entries) {
        onToolbarButton(id - kToolbarCommandBase);
        return;
    }
    if (code != BN_CLICKED || !lookups_ || !io_) return;
    switch (id) {
        case id::singleQueryButton:
            return lookups_->runSingleQuery();
        case id::copyButton:
            return io_->copyResult();
        case id::reverseSearchButton:
            return lookups_->startReverseSearch();
        case id::reverseExportButton:
            return io_->exportWithDialog();
        case id::browseFileButton:
            return io_->browseImportFile();
        case id::importButton:
            return io_->importAddressList();
        case id::browseSaveButton:
            return io_->browseSaveLocation();
        case id::exportButton:
            return io_->exportResults();
    }
}

std::optional<std::size_t> MainWindow::selectedRow() const {
    const LRESULT index =
        SendMessageW(list_, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    if (index < 0) return std::nullopt;
    return static_cast<std::size_t>(index);
}

std::string MainWindow::dataFilesText() {
    const std::vector<ipdata::FileReport>* opened = lookups_ ? lookups_->dataFiles() : nullptr;
    std::vector<ipdata::FileReport> glanced;
    if (!opened && !offlineDataPath_.empty()) {
        // Still opening: their dates from their first bytes, nothing opened whole here.
        const std::string data = offlineDataPath_.utf8();
        const ipdata::DataFiles files(
            lookup::dataFileMapper(os_.files),
            {{ipdata::FileKind::Location, data},
             {ipdata::FileKind::Network, ipdata::folderOf(data) + "asn.db"}});
        glanced = files.glance();
    }
    const std::vector<std::string> lines = texts::dataFileLines(opened ? *opened : glanced);
    if (lines.empty()) return kNoDataFiles;
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\r\n") + line;
    return text;
}

// The list's right-click menu: 复制 the selected row, 粘贴 the addresses in the clipboard,
// and 数据来源: the data files the answers come from.
void MainWindow::showListMenu() {
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    enum : UINT { kCopy = 1, kPaste = 2, kSources = 3 };
    AppendMenuW(menu, MF_STRING | (selectedRow() ? 0 : MF_GRAYED), kCopy,
                win32::utf8ToWide("复制(&C)\tCtrl+C").c_str());
    AppendMenuW(menu, MF_STRING, kPaste, win32::utf8ToWide("粘贴(&V)\tCtrl+V").c_str());
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, kSources, win32::utf8ToWide("数据来源(&D)").c_str());
    POINT at{};
    GetCursorPos(&at);
    const UINT chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                       at.y, 0, window_, nullptr);
    DestroyMenu(menu);
    if (chosen == kCopy) io_->copyRow(selectedRow());
    if (chosen == kPaste) io_->pasteAddresses();
    if (chosen == kSources) os_.dialogs.showMessage(dataFilesText(), kDataSources);
}

void MainWindow::onToolbarButton(int index) {
    if (!lookups_) return;
    switch (index) {
        case 0:
            lookups_->startBatchQuery();
            break;
        case 2:
            lookups_->requestStop();
            break;
        case 4:
            about_.open(window_);
            break;
        case kStatsEntry:
            stats_.open(window_);
            break;
        case kOfflineModeEntry: {
            HWND bar = controlHandle(window_, id::queryToolbar);
            lookups_->setOfflineMode(
                SendMessageW(bar, TB_ISBUTTONCHECKED, kToolbarCommandBase + index, 0) != 0);
            break;
        }
        default:
            break;  // separators never fire
    }
}

LRESULT CALLBACK MainWindow::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, w, l);
    return self->handleMessage(message, w, l);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM w, LPARAM l) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(w), HIWORD(w));
            return 0;
        case WM_NOTIFY: {
            const auto& header = *reinterpret_cast<const NMHDR*>(l);
            if (header.hwndFrom != list_ || !io_) break;
            if (header.code == LVN_GETDISPINFOW) {
                answerDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(l));
                return 0;
            }
            if (header.code == NM_RCLICK) {
                showListMenu();
                return 0;
            }
            if (header.code == LVN_KEYDOWN && GetKeyState(VK_CONTROL) < 0) {
                const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(l)->wVKey;
                if (key == 'C') io_->copyRow(selectedRow());
                if (key == 'V') io_->pasteAddresses();
                return 0;
            }
            break;
        }
        case WM_CTLCOLORSTATIC: {
            LRESULT brush;
            if (theme_.labelColours(reinterpret_cast<HWND>(l), reinterpret_cast<HDC>(w), brush))
                return brush;
            break;
        }
        case WM_ACTIVATE:
            // Like a dialog: the control that had the focus gets it back on reactivation
            // (after the about window, another program, a message box).
            if (LOWORD(w) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window_, focus)) lastFocus_ = focus;
            } else if (lastFocus_ && IsWindow(lastFocus_)) {
                SetFocus(lastFocus_);
                return 0;
            }
            break;
        case WM_TIMER:
            if (w == kAppendedRowsTimer) {
                showAppendedRows();
                return 0;
            }
            if (w == kPostedWorkTimer) {
                KillTimer(window_, kPostedWorkTimer);
                runPosted();
                return 0;
            }
            break;
        case kPostedWork:
            runPosted();
            return 0;
        case WM_DROPFILES: {
            auto drop = reinterpret_cast<HDROP>(w);
            auto* query =
                win32::systemCall<decltype(DragQueryFileW)>(L"shell32.dll", "DragQueryFileW");
            auto* finish = win32::systemCall<decltype(DragFinish)>(L"shell32.dll", "DragFinish");
            const UINT length = query ? query(drop, 0, nullptr, 0) : 0;
            std::wstring path(length + 1, L'\0');
            if (length > 0) query(drop, 0, path.data(), length + 1);
            path.resize(length);
            if (finish) finish(drop);
            const platform::Path dropped = win32::pathOf(path);
            if (io_ && length > 0) io_->importDropped({&dropped, 1});
            return 0;
        }
        case WM_CLOSE:
            // A run's workers would go on asking the services while the window goes.
            if (lookups_) lookups_->requestStop();
            DestroyWindow(window_);
            return 0;
        case WM_DESTROY:
            closeInbox();
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY: {
            HWND window = window_;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            window_ = list_ = status_ = nullptr;
            return DefWindowProcW(window, message, w, l);
        }
    }
    return DefWindowProcW(window_, message, w, l);
}

}  // namespace ui
