// An import reads and checks the whole file before the table is touched, so a failed one
// keeps the list as it was, and then replaces the table in one step, so two imports never
// mix their rows. An export writes the rows of the snapshot it was handed.
#include "io/engine.h"

#include <new>

#include "text/address.h"

namespace io {

std::string rowText(const RowView& row) {
    return std::string(row.address) + "\t" + shownLocation(row);
}

FileEngine::FileEngine(platform::Files& files, platform::Clipboard& clipboard,
                       platform::Executor& executor, QueryTable& table, Poster& poster,
                       FileEvents& events)
    : files_(files),
      clipboard_(clipboard),
      executor_(executor),
      table_(table),
      poster_(poster),
      events_(events) {}

FileEngine::~FileEngine() = default;

void FileEngine::inBackground(std::function<Reply()> work, Reply outOfMemory) {
    worker_.reset();
    auto job = std::make_shared<std::function<Reply()>>(
        [work = std::move(work), outOfMemory = std::move(outOfMemory)]() -> Reply {
            try {
                return work();
            } catch (const std::bad_alloc&) {
                return outOfMemory;
            }
        });
    working_ = true;
    worker_ = executor_.start([this, job](std::stop_token) {
        poster_.post([this, reply = (*job)()] {
            working_ = false;
            reply();
        });
    });
    if (!worker_.valid()) {  // no thread to be had: do it here
        working_ = false;
        (*job)()();
    }
}

bool FileEngine::importFile(const platform::Path& path) {
    if (working_) return false;
    const FormatId named = namedFormat(path).id;
    events_.importStarted(named);
    Reply unreadable = [this, named] { events_.importFailed(named, Failure::Unreadable); };
    inBackground(
        [this, path, unreadable]() -> Reply {
            std::string bytes;
            if (!files_.readAll(path, bytes)) return unreadable;
            const ListFormat& format = importFormat(path, bytes);
            return [this, id = format.id, read = format.read(bytes)]() mutable {
                if (read.failure) return events_.importFailed(id, *read.failure);
                const std::size_t rows = read.store ? read.store->size() : read.rows.size();
                if (read.store)
                    table_.replaceRows(std::move(*read.store));
                else
                    table_.replace(read.rows);
                events_.imported({id, rows});
            };
        },
        unreadable);
    return true;
}

bool FileEngine::drop(std::span<const platform::Path> paths) {
    return !paths.empty() && importFile(paths.front());
}

bool FileEngine::exportRows(const platform::Path& path, RowsSnapshot rows, const Titles& titles) {
    if (working_) return false;
    if (!rows) rows = std::make_shared<const RowStore>();
    const ListFormat& format = exportFormat(path);
    events_.exportStarted(format.id);
    Reply unwritable = [this, id = format.id] { events_.exportFailed(id, Failure::Unwritable); };
    inBackground(
        [this, path, rows = std::move(rows), titles, write = format.write, id = format.id,
         unwritable]() -> Reply {
            Written written;
            bool made = false;
            const bool wrote =
                files_.writePieces(path, [&](const platform::Files::PieceWriter& piece) {
                    TextOut out(piece);
                    written = write(*rows, titles, out);
                    made = out.finish();
                });
            if (!wrote || !made) return unwritable;
            return [this, done = Exported{id, written.rowsLeftOut, written.cellsCut,
                                                  written.unmappable}] {
                events_.exported(done);
            };
        },
        unwritable);
    return true;
}

void FileEngine::paste(std::string_view text) {
    std::vector<std::uint32_t> hits;
    const std::vector<std::string> found = ip::findAddresses(text, hits);
    for (std::size_t i = 0; i < found.size(); ++i) table_.append(found[i], {}, hits[i]);
    events_.pasted(found.size());
}

void FileEngine::copy(const std::string& text) {
    if (clipboard_.setText(text))
        events_.copied();
    else
        events_.copyFailed(Failure::ClipboardBusy);
}

}  // namespace io
