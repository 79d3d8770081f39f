// The import/export buttons and 按钮_复制. An import reads and checks the whole file
// before the table is touched, so a failed one keeps the list as it was, and then replaces
// the table in one step, so two imports never mix their rows. An export writes the rows as
// they were at the click.
#include <new>

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

// What an import makes of a file's bytes: the rows and the status, or only the status.
struct Read {
    bool ok;
    std::vector<RowCells> rows;
    std::string status;
};

Read readText(std::string_view bytes) {
    TextRows read = textRows(bytes);
    std::string status = io_text::kImportedTxt;
    if (read.unmappable > 0)
        status += io_text::kUnmappableBefore +
                  numberToText(static_cast<long long>(read.unmappable)) + io_text::kUnmappableAfter;
    return {true, std::move(read.rows), std::move(status)};
}

Read readWorkbook(std::string_view bytes) {
    Read read{true, {}, io_text::kImportedExcel};
    const xls::WorkbookStatus status = workbookRows(bytes, read.rows);
    if (status != xls::WorkbookStatus::Ok) read = {false, {}, workbookFailure(status)};
    return read;
}

}  // namespace

Actions::Actions(platform::Services& os, platform::Executor& executor, QueryTable& rows,
                 WindowTexts& texts, Poster& poster)
    : os_(os), executor_(executor), rows_(rows), texts_(texts), poster_(poster) {}

Actions::~Actions() = default;

// A file too large for the memory left shows `failure` instead of ending the program.
void Actions::inBackground(std::function<Finish()> work, const char* failure) {
    worker_.reset();
    auto job = std::make_shared<std::function<Finish()>>(
        [this, work = std::move(work), failure]() -> Finish {
            try {
                return work();
            } catch (const std::bad_alloc&) {
                return [this, failure] { texts_.setStatus(failure); };
            }
        });
    busy_ = true;
    worker_ = executor_.start([this, job](std::stop_token) {
        poster_.post([this, finish = (*job)()] {
            busy_ = false;
            finish();
        });
    });
    if (!worker_.valid()) {  // no thread to be had: do it here
        busy_ = false;
        (*job)()();
    }
}

void Actions::browseImportFile() {
    dialog_.filter = io_text::kFilter;
    dialog_.initialDirectory = startDirectory;
    std::string path;
    if (os_.dialogs.openFile(dialog_, path)) texts_.setText(Box::FileLocation, path);
}

void Actions::importAddressList() {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    const std::string path = texts_.text(Box::FileLocation);
    if (path.empty()) {
        texts_.setStatus(io_text::kNoFileLocation);
        return;
    }
    const bool text = isTextPath(path);
    const char* unreadable = text ? io_text::kTxtUnreadable : io_text::kExcelUnreadable;
    texts_.setStatus(text ? io_text::kImportingTxt : io_text::kImportingExcel);
    inBackground(
        [this, path, text, unreadable]() -> Finish {
            std::string bytes;
            if (!os_.files.readAll(path, bytes))
                return [this, unreadable] { texts_.setStatus(unreadable); };
            return [this, read = text ? readText(bytes) : readWorkbook(bytes)]() mutable {
                if (read.ok) rows_.replace(std::move(read.rows));
                texts_.setStatus(read.status);
            };
        },
        unreadable);
}

bool Actions::askSaveLocation(std::string& path) {
    dialog_.filter = io_text::kFilter;
    dialog_.defaultExtension = io_text::kDefaultExtension;
    return os_.dialogs.saveFile(dialog_, path);
}

void Actions::browseSaveLocation() {
    std::string path;
    if (askSaveLocation(path)) texts_.setText(Box::SaveLocation, path);
}

void Actions::exportResults() {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    const std::string path = texts_.text(Box::SaveLocation);
    if (path.empty()) {
        texts_.setStatus(io_text::kSaveLocationEmpty);
        return;
    }
    const QueryTable& table = rows_;
    if (table.empty() || table.cell(table.size() - 1, 1).empty()) {
        if (!os_.dialogs.askYesNo(io_text::kUnfinishedQuestion, io_text::kWarningCaption)) return;
    }
    exportTo(path);
}

void Actions::exportWithDialog() {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    if (rows_.empty()) {
        texts_.setStatus(io_text::kNothingToExport);
        return;
    }
    std::string path;
    if (askSaveLocation(path)) exportTo(path);
}

// The rows as they are now, answers that came in while a dialog was up included.
void Actions::exportTo(const std::string& path) {
    const QueryTable& table = rows_;
    std::vector<Row> rows = table.rows();
    if (isTextPath(path)) {
        texts_.setStatus(io_text::kExportingTxt);
        inBackground(
            [this, path, rows = std::move(rows)]() -> Finish {
                const bool written = os_.files.writeAll(path, textFile(rows));
                return [this, written] {
                    texts_.setStatus(written ? io_text::kExportedTxt : io_text::kTxtUnwritable);
                };
            },
            io_text::kTxtUnwritable);
        return;
    }
    texts_.setStatus(io_text::kExportingExcel);
    const std::array<std::string, QueryTable::kColumns> titles = {table.header(0), table.header(1)};
    inBackground(
        [this, path, rows = std::move(rows), titles]() -> Finish {
            const WorkbookFile file = workbookFile(rows, titles);
            const bool written = os_.files.writeAll(path, file.bytes);
            const std::size_t left = file.rowsLeftOut;
            return [this, written, left] {
                if (!written)
                    texts_.setStatus(io_text::kExcelUnwritable);
                else if (left > 0)
                    texts_.setStatus(io_text::kExcelRowsLeftOutBefore +
                                     numberToText(static_cast<long long>(left)) +
                                     io_text::kExcelRowsLeftOutAfter);
                else
                    texts_.setStatus(io_text::kExportedExcel);
            };
        },
        io_text::kExcelUnwritable);
}

void Actions::copyResult() {
    const std::string text = texts_.text(Box::Result);
    if (text.empty()) {
        texts_.setStatus(io_text::kNothingToCopy);
        return;
    }
    texts_.setStatus(os_.clipboard.setText(text) ? io_text::kCopied : io_text::kCopyFailed);
}

}  // namespace io
