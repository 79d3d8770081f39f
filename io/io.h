// Import of address lists, export of results, clipboard copy: the click actions of the
// import/export buttons. All run on the window thread and keep it alive by pumping.
#pragma once

#include <string>

#include "platform/view.h"

void browseImportFile(view::MainViews& views);    // 按钮_文件位置
void importAddressList(view::MainViews& views);   // 按钮_导入
void browseSaveLocation(view::MainViews& views);  // 按钮_保存位置
void exportResults(view::MainViews& views);       // 按钮_导出
void exportWithDialog(view::MainViews& views);    // 按钮_反向导出
void copyResult(view::MainViews& views);          // 按钮_复制

namespace xls {
class Connection;
class RecordSet;
}  // namespace xls

// The steps under the buttons; each reports how it ended, and the button's action turns
// that into the status text.
enum class ImportResult {
    Done,
    Unreadable,    // missing, locked, unreadable file
    NotWorkbook,   // not an .xls file, or a broken one
    OldFormat,     // Excel 95 or older
    Encrypted,     // password protected
    NoSheet,       // no sheet named Sheet1
    AttachFailed,  // no record set or connection to read through
};

// Reads the file named in 编辑框_文件位置 (GBK, one address per CR LF line). The list is
// replaced only when the file could be read.
ImportResult importFromText(view::MainViews& views);
// Reads Sheet1 of the workbook at `path` through the two objects; the list is replaced
// only when the sheet could be read.
ImportResult importFromExcel(const std::string& path, view::MainViews& views,
                             xls::Connection* connection, xls::RecordSet* recordSet);

struct ExportResult {
    bool written = false;
    int rowsLeftOut = 0;  // rows with a location that did not fit on the sheet
};

ExportResult exportToText(const std::string& path, view::MainViews& views);
ExportResult exportToExcel(const std::string& path, view::MainViews& views);

// The start-up directory the open dialog starts in; empty means the platform's default.
extern std::string g_startDirectory;
