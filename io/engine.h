// Import, export, paste, drop and copy as work: each takes its inputs as values (a path,
// the rows' snapshot, the clipboard's text, a row) and reports what became of it to
// FileEvents, which words it (the window's presenter) or ignores it. Nothing here knows a
// window: the engine reads and writes files, the clipboard and the table.
//
// A file is read and decoded, or encoded and written, on a worker, so that a large one
// never stalls the window; the reply comes back through the Poster, and there the table is
// replaced in one step and the end reported. One file at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/formats.h"
#include "platform/clipboard.h"
#include "platform/executor.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/poster.h"
#include "table/table.h"

namespace io {

struct Imported {
    FormatId format;             // as the content showed it
    std::size_t rows = 0;        // the list's rows now
};

struct Exported {
    FormatId format;
    std::size_t rowsLeftOut = 0;  // rows with a location past the sheet's last row
    std::size_t cellsCut = 0;     // texts longer than a workbook cell, cut to fit
    std::size_t unmappable = 0;   // characters a GBK file lacks, each now a "?"
};

// Every call comes on the thread the Poster runs work on.
class FileEvents {
  public:
    virtual ~FileEvents() = default;
    // `named`: the format the file's name claims; its content is not read yet.
    virtual void importStarted(FormatId named) = 0;
    // The table holds the file's rows.
    virtual void imported(const Imported& done) = 0;
    // The table is as it was. `format`: by the content when it was read, else by the name.
    virtual void importFailed(FormatId format, Failure reason) = 0;
    virtual void exportStarted(FormatId format) = 0;
    virtual void exported(const Exported& done) = 0;
    virtual void exportFailed(FormatId format, Failure reason) = 0;
    // `addresses` rows were appended to the table.
    virtual void pasted(std::size_t addresses) = 0;
    virtual void copied() = 0;
    virtual void copyFailed(Failure reason) = 0;
};

using RowsSnapshot = std::shared_ptr<const RowStore>;

class FileEngine {
  public:
    // Everything passed in must outlive the engine; calls come on the Poster's thread.
    FileEngine(platform::Files& files, platform::Clipboard& clipboard, platform::Executor& executor,
               QueryTable& table, Poster& poster, FileEvents& events);
    // Waits for the file at work; its reply, should it still be posted, must be dropped.
    ~FileEngine();
    FileEngine(const FileEngine&) = delete;
    FileEngine& operator=(const FileEngine&) = delete;

    // The list in the file replaces the table's rows. False, with no event, while another
    // import or export is at its file.
    bool importFile(const platform::Path& path);
    // Files dropped on the window: the first is imported; false when there is none.
    bool drop(std::span<const platform::Path> paths);
    // The rows written to the file in the format its name says. False, with no event,
    // while another import or export is at its file.
    bool exportRows(const platform::Path& path, RowsSnapshot rows, const Titles& titles);
    // The addresses in the text appended as rows, in order of appearance, each once.
    void paste(std::string_view text);
    void copy(const std::string& text);
    void copyRow(const RowView& row) { copy(rowText(row)); }

    // From the start of an import or export until its end has been reported.
    bool working() const { return working_; }

  private:
    using Reply = std::function<void()>;
    // Runs `work` on a worker and what it returns on the Poster's thread; should memory run
    // out on the way, `outOfMemory` instead.
    void inBackground(std::function<Reply()> work, Reply outOfMemory);

    platform::Files& files_;
    platform::Clipboard& clipboard_;
    platform::Executor& executor_;
    QueryTable& table_;
    Poster& poster_;
    FileEvents& events_;
    bool working_ = false;
    platform::Task worker_;
};

}  // namespace io
