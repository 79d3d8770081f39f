// The main window: one object per window, owning for its life the table its list draws,
// the executor its work runs on, the lookups and the file presenter. The work is handed three
// narrow parts: the rows (the table), the texts (boxes and status panels) and the poster.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/executor.h"
#include "platform/path.h"
#include "platform/services.h"
#include "table/table.h"
#include "ui/file_presenter.h"
#include "ui/internal.h"
#include "ui/lookup_presenter.h"
#include "ui/window_texts.h"

struct tagLVDISPINFOW;

namespace ui {

class MainWindow final : public WindowTexts, public Poster {
  public:
    // `offlineDataPath`: the address data file; empty for none.
    MainWindow(platform::Services& os, platform::Path offlineDataPath);
    // Stops the work (its posted replies dropped first) and destroys the window if it is
    // still there.
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    // Creates the window with every control, centres and shows it; false when it cannot be.
    bool create();
    HWND handle() const { return window_; }
    QueryTable& table() { return table_; }
    // Start-up's last step: the public address in panel 2, fetched off the window thread.
    void showPublicAddress();

    std::string text(Box box) override;
    void setText(Box box, const std::string& text) override;
    platform::Path path(Box box) override;
    void setPath(Box box, const platform::Path& path) override;
    void setPanel(int index, const std::string& text) override;
    std::string panel(int index) override;
    void post(std::function<void()> work) override;

  private:
    static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
    LRESULT handleMessage(UINT message, WPARAM w, LPARAM l);
    void onCommand(int id, int code);
    void onToolbarButton(int index);
    HWND boxHandle(Box box) const;
    std::optional<std::size_t> selectedRow() const;
    void showListMenu();
    // The data files in use, one line each (texts::dataFileLines), as the 统计 window and
    // 数据来源 show them.
    std::string dataFilesText();

    // The list and the posted work (main_view.cpp).
    void answerDisplayInfo(tagLVDISPINFOW& info);
    void showChange(const QueryTable::Change& change);
    void showAppendedRows();
    void fitAddressColumn();
    void redrawChangedRows();
    void runPosted();
    void closeInbox();

    platform::Services& os_;
    const platform::Path offlineDataPath_;
    HWND window_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    HWND lastFocus_ = nullptr;
    // Outlive the window's controls: they draw with the theme.
    Theme theme_;
    AboutWindow about_{theme_};

    QueryTable table_;
    StatsWindow stats_{theme_, os_, table_};
    bool appendedPending_ = false;
    int draining_ = 0;
    bool changedRows_ = false;
    std::size_t firstChanged_ = 0, lastChanged_ = 0;
    std::size_t fittedRows_ = 0;  // rows whose address the column's width has seen

    std::mutex inboxMutex_;
    std::deque<std::function<void()>> inbox_;
    bool inboxOpen_ = false;      // from creation until the window starts to close
    bool messageQueued_ = false;  // a kPostedWork message (or its timer) is on its way

    // Declared after what they use: they go first.
    platform::Executor executor_;
    std::unique_ptr<LookupPresenter> lookups_;
    std::unique_ptr<FilePresenter> io_;
};

}  // namespace ui
