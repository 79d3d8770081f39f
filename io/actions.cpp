// The import/export buttons and 按钮_复制. A file is read and checked whole before the
// table is touched, so a failed import keeps the list as it was; then the table is
// replaced in one step, so two imports never mix their rows.
#include "io/io.h"
#include "io/messages.h"
#include "text/text.h"

namespace io {
namespace {

const char* workbookFailure(xls::WorkbookStatus status) {
    switch (status) {
        case xls::WorkbookStatus::OldFormat:
            return io_text::kExcelOldFormat;
        case xls::WorkbookStatus::Encrypted:
            return io_text::kExcelEncrypted;
        case xls::WorkbookStatus::NoSheet:
            return io_text::kExcelNoSheet;
        default:
            return io_text::kExcelNotWorkbook;
    }
}

}  // namespace

Actions::Actions(platform::Services& os, MainView& view) : os_(os), view_(view) {}

void Actions::browseImportFile() {
    dialog_.filter = io_text::kFilter;
    dialog_.initialDirectory = startDirectory;
    std::string path;
    if (os_.dialogs.openFile(dialog_, path)) view_.setText(Box::FileLocation, path);
}

void Actions::importAddressList() {
    const std::string path = view_.text(Box::FileLocation);
    if (path.empty()) {
        view_.setStatus(io_text::kNoFileLocation);
        return;
    }
    if (isTextPath(path))
        importText(path);
    else
        importWorkbook(path);
}

void Actions::importText(const std::string& path) {
    view_.setStatus(io_text::kImportingTxt);
    std::string bytes;
    if (!os_.files.readAll(path, bytes)) {
        view_.setStatus(io_text::kTxtUnreadable);
        return;
    }
    TextRows read = textRows(bytes);
    std::string().swap(bytes);
    view_.table().replace(std::move(read.rows));
    std::string status = io_text::kImportedTxt;
    if (read.unmappable > 0)
        status += io_text::kUnmappableBefore +
                  numberToText(static_cast<long long>(read.unmappable)) + io_text::kUnmappableAfter;
    view_.setStatus(status);
}

void Actions::importWorkbook(const std::string& path) {
    view_.setStatus(io_text::kImportingExcel);
    std::string bytes;
    if (!os_.files.readAll(path, bytes)) {
        view_.setStatus(io_text::kExcelUnreadable);
        return;
    }
    std::vector<RowCells> rows;
    const xls::WorkbookStatus status = workbookRows(bytes, rows);
    std::string().swap(bytes);
    if (status != xls::WorkbookStatus::Ok) {
        view_.setStatus(workbookFailure(status));
        return;
    }
    view_.table().replace(std::move(rows));
    view_.setStatus(io_text::kImportedExcel);
}

bool Actions::askSaveLocation(std::string& path) {
    dialog_.filter = io_text::kFilter;
    dialog_.defaultExtension = io_text::kDefaultExtension;
    return os_.dialogs.saveFile(dialog_, path);
}

void Actions::browseSaveLocation() {
    std::string path;
    if (askSaveLocation(path)) view_.setText(Box::SaveLocation, path);
}

void Actions::exportResults() {
    const std::string path = view_.text(Box::SaveLocation);
    if (path.empty()) {
        view_.setStatus(io_text::kSaveLocationEmpty);
        return;
    }
    const QueryTable& table = view_.table();
    if (table.empty() || table.cell(table.size() - 1, 1).empty()) {
        if (!os_.dialogs.askYesNo(io_text::kUnfinishedQuestion, io_text::kWarningCaption)) return;
    }
    exportTo(path);
}

void Actions::exportWithDialog() {
    if (view_.table().empty()) {
        view_.setStatus(io_text::kNothingToExport);
        return;
    }
    std::string path;
    if (askSaveLocation(path)) exportTo(path);
}

// The rows as they are now: answers that arrived while a dialog was up are in them.
void Actions::exportTo(const std::string& path) {
    const QueryTable& table = view_.table();
    if (isTextPath(path)) {
        view_.setStatus(io_text::kExportingTxt);
        const bool written = os_.files.writeAll(path, textFile(table));
        view_.setStatus(written ? io_text::kExportedTxt : io_text::kTxtUnwritable);
        return;
    }
    view_.setStatus(io_text::kExportingExcel);
    const WorkbookFile file = workbookFile(table);
    if (!os_.files.writeAll(path, file.bytes))
        view_.setStatus(io_text::kExcelUnwritable);
    else if (file.rowsLeftOut > 0)
        view_.setStatus(io_text::kExcelRowsLeftOutBefore +
                        numberToText(static_cast<long long>(file.rowsLeftOut)) +
                        io_text::kExcelRowsLeftOutAfter);
    else
        view_.setStatus(io_text::kExportedExcel);
}

void Actions::copyResult() {
    const std::string text = view_.text(Box::Result);
    if (text.empty()) {
        view_.setStatus(io_text::kNothingToCopy);
        return;
    }
    view_.setStatus(os_.clipboard.setText(text) ? io_text::kCopied : io_text::kCopyFailed);
}

}  // namespace io
