// The window's side of the import, export, paste, drop and copy: the clicks of
// 按钮_文件位置, 按钮_导入, 按钮_保存位置, 按钮_导出, 按钮_反向导出 and 按钮_复制, the list's
// 复制 and 粘贴, files dropped on the window. It asks the dialogs and the question, reads
// the boxes the user types into, hands the engine values and words its events into panel 1.
// Plain code over WindowTexts, so it is built and tested natively too.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "io/engine.h"
#include "platform/dialogs.h"
#include "platform/executor.h"
#include "platform/path.h"
#include "platform/services.h"
#include "ui/window_texts.h"
#include "table/table.h"

namespace ui {

class FilePresenter final : public io::FileEvents {
  public:
    // Everything passed in must outlive the presenter; every call on the window thread.
    FilePresenter(platform::Services& os, platform::Executor& executor, QueryTable& table,
                  WindowTexts& texts, Poster& poster);
    FilePresenter(const FilePresenter&) = delete;
    FilePresenter& operator=(const FilePresenter&) = delete;

    void browseImportFile();    // 按钮_文件位置
    void importAddressList();   // 按钮_导入
    void browseSaveLocation();  // 按钮_保存位置
    void exportResults();       // 按钮_导出
    void exportWithDialog();    // 按钮_反向导出
    void copyResult();          // 按钮_复制
    // Files dropped on the window: the first named in the 文件位置 box and imported.
    void importDropped(std::span<const platform::Path> paths);
    // The list's menu and keys: the selected row (none: nullopt) to the clipboard; the
    // addresses in the clipboard's text appended as rows.
    void copyRow(std::optional<std::size_t> index);
    void pasteAddresses();

    // From the start of an import or export until its end is shown: the file buttons then
    // only say so.
    bool busy() const { return busy_; }

    // Where the open dialog starts; empty means the platform's default folder.
    platform::Path startDirectory;

    void importStarted(io::FormatId named) override;
    void imported(const io::Imported& done) override;
    void importFailed(io::FormatId format, io::Failure reason) override;
    void exportStarted(io::FormatId format) override;
    void exported(const io::Exported& done) override;
    void exportFailed(io::FormatId format, io::Failure reason) override;
    void pasted(std::size_t addresses) override;
    void copied() override;
    void copyFailed(io::Failure reason) override;

  private:
    bool sayBusy();
    bool askSaveLocation(platform::Path& path);
    void exportTo(const platform::Path& path);
    void show(const std::string& text) { texts_.setStatus(text); }

    platform::Services& os_;
    QueryTable& table_;
    WindowTexts& texts_;
    // The one file dialog the import and export share: each use sets only its own
    // properties, so the others keep what the previous use left.
    platform::FileDialogRequest dialog_;
    bool busy_ = false;
    // Last: its worker goes before what its replies would use.
    io::FileEngine engine_;
};

}  // namespace ui
