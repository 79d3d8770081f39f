// The import/export buttons and 按钮_复制. An import reads and checks the whole file
// before the table is touched, so a failed one keeps the list as it was, and then replaces
// the table in one step, so two imports never mix their rows. An export writes the rows as
// they were at the click.
#include <new>

#include "io/format_messages.h"
#include "io/formats.h"
#include "io/io.h"
#include "io/messages.h"
#include "text/address.h"
#include "text/text.h"

namespace io {
namespace {

const char* workbookFailure(workbook::WorkbookStatus status) {
    switch (status) {
        case workbook::WorkbookStatus::OldFormat:
            return io_text::kExcelOldFormat;
        case workbook::WorkbookStatus::Encrypted:
            return io_text::kExcelEncrypted;
        case workbook::WorkbookStatus::NoSheet:
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
    const workbook::WorkbookStatus status = workbookRows(bytes, read.rows);
    if (status != workbook::WorkbookStatus::Ok) read = {false, {}, workbookFailure(status)};
    return read;
}

Read readXlsx(std::string_view bytes) {
    Read read{true, {}, io_text::kImportedExcel};
    const workbook::XlsxStatus status = xlsxRows(bytes, read.rows);
    if (status != workbook::XlsxStatus::Ok) read = {false, {}, xlsxFailure(status)};
    return read;
}

Read readCsv(std::string_view bytes) {
    TextRows read = csvRows(bytes);
    return {true, std::move(read.rows), io_text::kImportedCsv};
}

// A log, a mail, a page: the addresses in it, each once, in order of appearance.
Read readAddresses(std::string_view bytes) {
    std::vector<RowCells> rows;
    for (std::string& address : ip::findAddresses(listText(bytes).text))
        rows.push_back({std::move(address), ""});
    std::string status = std::string(io_text::kImportedTxt) + io_text::addressesFound(rows.size());
    return {true, std::move(rows), std::move(status)};
}

Read readList(const platform::Path& path, std::string_view bytes) {
    switch (importFormat(path, bytes)) {
        case ImportFormat::Xls:
            return readWorkbook(bytes);
        case ImportFormat::Xlsx:
            return readXlsx(bytes);
        case ImportFormat::Csv:
            return readCsv(bytes);
        case ImportFormat::Addresses:
            return readAddresses(bytes);
        case ImportFormat::TextLines:
            break;
    }
    return readText(bytes);
}

// What the progress text says while the file is read: by its name, as the content is not
// known yet.
enum class Kind { Text, Csv, Excel };
Kind kindOfName(const platform::Path& path) {
    if (path.endsWith(".xls") || path.endsWith(".xlsx")) return Kind::Excel;
    return path.endsWith(".csv") ? Kind::Csv : Kind::Text;
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
    dialog_.filter = io_text::kFilterAllFormats;
    dialog_.initialDirectory = startDirectory;
    platform::Path path;
    if (os_.dialogs.openFile(dialog_, path)) texts_.setPath(Box::FileLocation, path);
}

void Actions::importAddressList() {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    const platform::Path path = texts_.path(Box::FileLocation);
    if (path.empty()) {
        texts_.setStatus(io_text::kNoFileLocation);
        return;
    }
    const Kind kind = kindOfName(path);
    const char* unreadable = kind == Kind::Excel ? io_text::kExcelUnreadable
                             : kind == Kind::Csv ? io_text::kCsvUnreadable
                                                 : io_text::kTxtUnreadable;
    texts_.setStatus(kind == Kind::Excel ? io_text::kImportingExcel
                     : kind == Kind::Csv ? io_text::kImportingCsv
                                         : io_text::kImportingTxt);
    inBackground(
        [this, path, unreadable]() -> Finish {
            std::string bytes;
            if (!os_.files.readAll(path, bytes))
                return [this, unreadable] { texts_.setStatus(unreadable); };
            return [this, read = readList(path, bytes)]() mutable {
                if (read.ok) rows_.replace(std::move(read.rows));
                texts_.setStatus(read.status);
            };
        },
        unreadable);
}

bool Actions::askSaveLocation(platform::Path& path) {
    dialog_.filter = io_text::kFilterAllFormats;
    dialog_.defaultExtension = io_text::kDefaultExtension;
    return os_.dialogs.saveFile(dialog_, path);
}

void Actions::browseSaveLocation() {
    platform::Path path;
    if (askSaveLocation(path)) texts_.setPath(Box::SaveLocation, path);
}

void Actions::exportResults() {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    const platform::Path path = texts_.path(Box::SaveLocation);
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
    platform::Path path;
    if (askSaveLocation(path)) exportTo(path);
}

// The rows as they are now, answers that came in while a dialog was up included.
void Actions::exportTo(const platform::Path& path) {
    const QueryTable& table = rows_;
    std::shared_ptr<const RowStore> rows = table.snapshot();
    const std::array<std::string, QueryTable::kColumns> titles = {table.header(0), table.header(1)};
    const ExportFormat format = exportFormat(path);
    if (format == ExportFormat::Text || format == ExportFormat::Csv) {
        const bool csv = format == ExportFormat::Csv;
        texts_.setStatus(csv ? io_text::kExportingCsv : io_text::kExportingTxt);
        const char* failed = csv ? io_text::kCsvUnwritable : io_text::kTxtUnwritable;
        inBackground(
            [this, path, rows = std::move(rows), titles, csv, failed]() -> Finish {
                const bool written =
                    os_.files.writeAll(path, csv ? csvFile(*rows, titles) : textFile(*rows));
                const char* done = csv ? io_text::kExportedCsv : io_text::kExportedTxt;
                return [this, written, done, failed] { texts_.setStatus(written ? done : failed); };
            },
            failed);
        return;
    }
    texts_.setStatus(io_text::kExportingExcel);
    inBackground(
        [this, path, rows = std::move(rows), titles, format]() -> Finish {
            const WorkbookFile file = format == ExportFormat::Xlsx ? xlsxFile(*rows, titles)
                                                                   : workbookFile(*rows, titles);
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

void Actions::importDropped(const platform::Path& path) {
    if (busy_) {
        texts_.setStatus(io_text::kBusy);
        return;
    }
    texts_.setPath(Box::FileLocation, path);
    importAddressList();
}

void Actions::copyRow(std::optional<std::size_t> index) {
    if (!index || *index >= rows_.size()) {
        texts_.setStatus(io_text::kNoRowSelected);
        return;
    }
    const RowView row = rows_.row(*index);
    texts_.setStatus(os_.clipboard.setText(std::string(row.address) + "\t" + shownLocation(row))
                         ? io_text::kCopied
                         : io_text::kCopyFailed);
}

void Actions::pasteAddresses() {
    std::string text;
    if (!os_.clipboard.getText(text)) {
        texts_.setStatus(io_text::kNothingToPaste);
        return;
    }
    const std::vector<std::string> found = ip::findAddresses(text);
    for (const std::string& address : found) rows_.append({address, ""});
    texts_.setStatus(std::string(io_text::kPasted) + io_text::addressesFound(found.size()));
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
