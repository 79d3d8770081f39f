// Import of address lists, export of results, clipboard copy. Underneath are functions of
// bytes and rows; above them the actions of the import/export buttons. The table is read
// and replaced only on the window thread, in one step; reading and decoding a file, and
// encoding and writing one, happen on a worker so that a large file never stalls the
// window.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs.h"
#include "platform/executor.h"
#include "platform/path.h"
#include "platform/services.h"
#include "platform/window.h"
#include "table/table.h"
#include "workbook/biff.h"

namespace io {

// The rows of a text file, one per line, and the number of characters the file held that
// GBK cannot (each now a "?").
struct TextRows {
    std::vector<RowCells> rows;
    std::size_t unmappable = 0;
};

// Text file bytes to rows. GBK unless the bytes start with a UTF-8 or UTF-16 (LE or BE)
// byte-order mark, or are UTF-8 by the rule of listText (io/formats.h). Lines end at CR LF,
// LF or CR; a final line end adds no row, a blank line between two gives an empty one. A
// NUL ends a line too, but never makes an empty row of its own. Lines are kept as they are
// (spaces included) in column 0.
TextRows textRows(std::string_view bytes);

// Workbook file bytes to the rows of its sheet Sheet1. The first row that holds anything
// comes in as a row of its own, every "#" in it made "."; the rows beneath it follow, blank
// ones included. Columns count from the first one that holds anything, as many as the
// table has. On failure `rows` is left empty.
workbook::WorkbookStatus workbookRows(std::string_view file, std::vector<RowCells>& rows);

// A sheet's cells (sorted by row, not empty) to rows by the rules of workbookRows.
void sheetRows(std::vector<workbook::SheetCell>& cells, std::vector<RowCells>& rows);

// The text file of the rows: the first row always, later rows only with a location; each
// line the address, two spaces, the location as shown (shownLocation), CR LF.
std::string textFile(const RowStore& rows);

struct WorkbookFile {
    std::string bytes;
    std::size_t rowsLeftOut = 0;  // rows with a location past the sheet's last row
};
// The .xls file of the rows: the column titles in sheet row 1, list row r in sheet row
// r + 2 when it has a location (a blank sheet row when not), every cell formatted as text.
WorkbookFile workbookFile(const RowStore& rows,
                          const std::array<std::string, QueryTable::kColumns>& titles);

// The click actions of the import/export group and of 按钮_复制, on the window thread.
// One file is read or written at a time: an import or export clicked while another one
// is still at its file does nothing.
class Actions {
  public:
    // Everything passed in must outlive the actions.
    Actions(platform::Services& os, platform::Executor& executor, QueryTable& rows,
            WindowTexts& texts, Poster& poster);
    ~Actions();
    Actions(const Actions&) = delete;
    Actions& operator=(const Actions&) = delete;

    void browseImportFile();    // 按钮_文件位置
    void importAddressList();   // 按钮_导入
    void browseSaveLocation();  // 按钮_保存位置
    void exportResults();       // 按钮_导出
    void exportWithDialog();    // 按钮_反向导出
    void copyResult();          // 按钮_复制
    // A file dropped on the window: named in the 文件位置 box and imported as 导入 would.
    void importDropped(const platform::Path& path);
    // The list's menu and keys: the row at `index` (none selected: nullopt) to the
    // clipboard as "address<TAB>location"; the addresses in the clipboard's text appended
    // as rows, in order of appearance, each once.
    void copyRow(std::optional<std::size_t> index);
    void pasteAddresses();

    // True from the start of an import or export until its result is shown.
    bool busy() const { return busy_; }

    // Where the open dialog starts; empty means the platform's default folder.
    platform::Path startDirectory;

  private:
    using Finish = std::function<void()>;
    // Runs `work` on a worker; what it returns then runs on the window thread. Should
    // memory run out on the way, `failure` is shown instead.
    void inBackground(std::function<Finish()> work, const char* failure);
    void exportTo(const platform::Path& path);
    bool askSaveLocation(platform::Path& path);

    platform::Services& os_;
    platform::Executor& executor_;
    QueryTable& rows_;
    WindowTexts& texts_;
    Poster& poster_;
    // The one file dialog the import and export share: each use sets only its own
    // properties, so the others keep what the previous use left.
    platform::FileDialogRequest dialog_;
    bool busy_ = false;
    platform::Task worker_;
};

}  // namespace io
