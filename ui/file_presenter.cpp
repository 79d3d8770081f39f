// Every text the import, export, paste and copy show is chosen here, from the engine's
// events and the presenter's own checks; the order is the order the user sees them in.
#include "ui/file_presenter.h"

#include "text/text.h"
#include "ui/file_texts.h"

namespace ui {

FilePresenter::FilePresenter(platform::Services& os, platform::Executor& executor,
                             QueryTable& table, WindowTexts& texts, Poster& poster)
    : os_(os),
      table_(table),
      texts_(texts),
      engine_(os.files, os.clipboard, executor, table, poster, *this) {}

bool FilePresenter::sayBusy() {
    if (busy_) show(file_text::kBusy);
    return busy_;
}

void FilePresenter::browseImportFile() {
    dialog_.filter = file_text::kFilter;
    dialog_.initialDirectory = startDirectory;
    platform::Path path;
    if (os_.dialogs.openFile(dialog_, path)) texts_.setPath(Box::FileLocation, path);
}

void FilePresenter::importAddressList() {
    if (sayBusy()) return;
    const platform::Path path = texts_.path(Box::FileLocation);
    if (path.empty()) {
        show(file_text::kNoFileLocation);
        return;
    }
    engine_.importFile(path);
}

void FilePresenter::importDropped(std::span<const platform::Path> paths) {
    if (paths.empty() || sayBusy()) return;
    texts_.setPath(Box::FileLocation, paths.front());
    engine_.drop(paths);
}

bool FilePresenter::askSaveLocation(platform::Path& path) {
    dialog_.filter = file_text::kFilter;
    dialog_.defaultExtension = file_text::kDefaultExtension;
    return os_.dialogs.saveFile(dialog_, path);
}

void FilePresenter::browseSaveLocation() {
    platform::Path path;
    if (askSaveLocation(path)) texts_.setPath(Box::SaveLocation, path);
}

void FilePresenter::exportResults() {
    if (sayBusy()) return;
    const platform::Path path = texts_.path(Box::SaveLocation);
    if (path.empty()) {
        show(file_text::kSaveLocationEmpty);
        return;
    }
    if (table_.empty() || table_.cell(table_.size() - 1, 1).empty()) {
        if (!os_.dialogs.askYesNo(file_text::kUnfinishedQuestion, file_text::kWarningCaption))
            return;
    }
    exportTo(path);
}

void FilePresenter::exportWithDialog() {
    if (sayBusy()) return;
    if (table_.empty()) {
        show(file_text::kNothingToExport);
        return;
    }
    platform::Path path;
    if (askSaveLocation(path)) exportTo(path);
}

// The rows as they are now, answers that came in while a dialog was up included.
void FilePresenter::exportTo(const platform::Path& path) {
    engine_.exportRows(path, table_.snapshot(), file_text::exportTitles(table_));
}

void FilePresenter::copyResult() {
    // The box the single query fills and the user may edit: what it shows is what is copied.
    const std::string text = texts_.text(Box::Result);
    if (text.empty()) {
        show(file_text::kNothingToCopy);
        return;
    }
    engine_.copy(text);
}

void FilePresenter::copyRow(std::optional<std::size_t> index) {
    if (!index || *index >= table_.size()) {
        show(file_text::kNoRowSelected);
        return;
    }
    engine_.copyRow(table_.row(*index));
}

void FilePresenter::pasteAddresses() {
    std::string text;
    if (!os_.clipboard.getText(text)) {
        show(file_text::kNothingToPaste);
        return;
    }
    engine_.paste(text);
}

void FilePresenter::importStarted(io::FormatId named) {
    busy_ = true;
    show(file_text::textsOf(named).importing);
}

void FilePresenter::imported(const io::Imported& done) {
    busy_ = false;
    const file_text::FormatTexts& texts = file_text::textsOf(done.format);
    std::string status = texts.imported;
    if (texts.countsAddresses) status += file_text::addressesFound(done.rows);
    show(status);
}

void FilePresenter::importFailed(io::FormatId format, io::Failure reason) {
    busy_ = false;
    const char* text = file_text::fileFailure(reason);
    show(text ? text : file_text::textsOf(format).unreadable);
}

void FilePresenter::exportStarted(io::FormatId format) {
    busy_ = true;
    show(file_text::textsOf(format).exporting);
}

void FilePresenter::exported(const io::Exported& done) {
    busy_ = false;
    std::string status;
    if (done.rowsLeftOut > 0)
        status = file_text::kExcelRowsLeftOutBefore +
                 numberToText(static_cast<long long>(done.rowsLeftOut)) +
                 file_text::kExcelRowsLeftOutAfter;
    else
        status = file_text::textsOf(done.format).exported;
    if (done.cellsCut > 0)
        status += file_text::kCellsCutBefore + numberToText(static_cast<long long>(done.cellsCut)) +
                  file_text::kCellsCutAfter;
    if (done.unmappable > 0)
        status += file_text::kUnmappableBefore +
                  numberToText(static_cast<long long>(done.unmappable)) +
                  file_text::kUnmappableAfter;
    show(status);
}

void FilePresenter::exportFailed(io::FormatId format, io::Failure) {
    busy_ = false;
    show(file_text::textsOf(format).unwritable);
}

void FilePresenter::pasted(std::size_t addresses) {
    show(file_text::kPasted + file_text::addressesFound(addresses));
}

void FilePresenter::copied() {
    show(file_text::kCopied);
}

void FilePresenter::copyFailed(io::Failure) {
    show(file_text::kCopyFailed);
}

}  // namespace ui
