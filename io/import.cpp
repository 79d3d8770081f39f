// Address lists in from text files and .xls workbooks. Both read and check the whole file
// before they touch the list, so a file that cannot be read leaves the list as it was.
#include <algorithm>

#include "io/common_dialog.h"
#include "io/io.h"
#include "io/messages.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "xls/recordset.h"
#include "text/text.h"

std::string g_startDirectory;

namespace {

ImportResult fromOpenStatus(xls::OpenStatus status) {
    switch (status) {
        case xls::OpenStatus::Ok:
            return ImportResult::Done;
        case xls::OpenStatus::Unreadable:
            return ImportResult::Unreadable;
        case xls::OpenStatus::OldFormat:
            return ImportResult::OldFormat;
        case xls::OpenStatus::Encrypted:
            return ImportResult::Encrypted;
        case xls::OpenStatus::NoSheet:
            return ImportResult::NoSheet;
        default:
            return ImportResult::NotWorkbook;
    }
}

const char* excelStatus(ImportResult result) {
    switch (result) {
        case ImportResult::Done:
            return io_text::kImportedExcel;
        case ImportResult::Unreadable:
            return io_text::kExcelUnreadable;
        case ImportResult::OldFormat:
            return io_text::kExcelOldFormat;
        case ImportResult::Encrypted:
            return io_text::kExcelEncrypted;
        case ImportResult::NoSheet:
            return io_text::kExcelNoSheet;
        case ImportResult::AttachFailed:
            return io_text::kExcelNotConnected;
        default:
            return io_text::kExcelNotWorkbook;
    }
}

}  // namespace

void browseImportFile(view::MainViews& views) {
    platform::FileDialogRequest& dialog = 通用对话框_打开();
    dialog.filter = io_text::kFilter;
    dialog.initialDirectory = g_startDirectory;
    std::string path;
    if (platform::dialogs().openFile(dialog, path)) views.编辑框_文件位置.setText(path);
}

void importAddressList(view::MainViews& views) {
    const std::string path = views.编辑框_文件位置.text();
    if (path.empty()) {
        view::setStatus(views, io_text::kNoFileLocation);
        return;
    }
    // The format follows the name: ".txt" anywhere in it, exact case.
    if (findText(path, ".txt") != -1) {
        const ImportResult result = importFromText(views);
        view::setStatus(
            views, result == ImportResult::Done ? io_text::kImportedTxt : io_text::kTxtUnreadable);
        return;
    }
    // Objects of this import alone: an import started while this one pumps messages
    // must not read through the record set this one is walking.
    xls::Connection 数据库连接1;
    xls::RecordSet 记录集1;
    view::setStatus(views, excelStatus(importFromExcel(path, views, &数据库连接1, &记录集1)));
}

ImportResult importFromText(view::MainViews& views) {
    view::setStatus(views, io_text::kImportingTxt);
    std::string bytes;
    if (!platform::files().readAll(views.编辑框_文件位置.text(), bytes))
        return ImportResult::Unreadable;
    const TextList lines = splitText(bytesToText(bytes), "\r\n");
    bytes.clear();
    view::ListView& list = views.超级列表框_查询列表;
    list.deleteAllRows();
    for (const std::string& line : lines) {
        list.setCell(list.appendRow(), 0, line);
        views.pump.processPending();
    }
    return ImportResult::Done;
}

ImportResult importFromExcel(const std::string& path, view::MainViews& views,
                             xls::Connection* connection, xls::RecordSet* recordSet) {
    view::setStatus(views, io_text::kImportingExcel);
    const std::string connectionText =
        "ODBC;DBQ=" + path + ";DefaultDir=" + path + ";Driver={Microsoft Excel Driver (*.xls)}; ";
    if (connection) connection->open(connectionText, "", "", -1);
    if (!recordSet || !recordSet->setActiveConnection(connection)) {
        platform::dialogs().showMessage(path + io_text::kConnectionFailed, io_text::kInfoCaption);
        return ImportResult::AttachFailed;
    }
    recordSet->setCursorLocation(xls::RecordSet::kClientCursor);
    recordSet->open("[Sheet1$]", connection, 3, 3, xls::RecordSet::kTableName);
    recordSet->open("select * from [Sheet1$]", connection, 3, 3, xls::RecordSet::kCommandText);
    if (!recordSet->isOpen()) {
        const ImportResult failure =
            fromOpenStatus(connection->isOpen() ? recordSet->status() : connection->status());
        recordSet->close();
        connection->close();
        return failure == ImportResult::Done ? ImportResult::NotWorkbook : failure;
    }

    view::ListView& list = views.超级列表框_查询列表;
    list.deleteAllRows();
    // The driver takes the first sheet row as the field names, with "." made "#".
    const int fields = recordSet->fieldCount();
    for (int i = 1; i <= fields; ++i) {
        const int row = list.appendRow();
        list.setCell(row, i - 1, replaceText(recordSet->fieldName(i - 1), "#", "."));
        views.pump.processPending();
    }
    const int records = recordSet->recordCount();
    for (int j = 1; j <= records; ++j) {
        const int row = list.appendRow();
        // Fields past the list's last column would be written nowhere.
        const int count = std::min(recordSet->fieldCount(), list.columnCount());
        for (int k = 1; k <= count; ++k) {
            list.setCell(row, k - 1, recordSet->value(k - 1));
            views.pump.processPending();
        }
        recordSet->moveNext();
    }
    recordSet->close();
    connection->close();
    return ImportResult::Done;
}
