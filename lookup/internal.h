// What the lookup engines share with the work they post back to the window thread.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ipdata/ipdata.h"
#include "lookup/lookup.h"
#include "platform/executor.h"
#include "platform/files.h"
#include "platform/poster.h"
#include "table/table.h"
#include "text/text.h"
#include "web/session.h"

namespace lookup::detail {

// The address data file beside the program, read and opened once on a task of its own:
// the open takes a noticeable moment, and only work that needs the answer waits for it.
class OfflineData {
  public:
    // An empty path: no data, and nothing said. Once the files of a path are open (found
    // or not), `opened` has the report of each, on the loading thread.
    OfflineData(platform::Files& files, platform::Executor& executor, const platform::Path& path,
                std::function<void(const std::vector<ipdata::FileReport>&)> opened);
    // Waits for the open.
    ~OfflineData();
    OfflineData(const OfflineData&) = delete;
    OfflineData& operator=(const OfflineData&) = delete;
    // From any thread but the window's: waits for the open; null without usable data.
    std::shared_ptr<const ipdata::Database> get();
    // Why the location data is not in use, as the open said it; nullopt when it is in use or
    // there is no file.
    std::optional<DataFileProblem> refusal();
    // The network numbers file beside the data file (asn.db), opened with it; null without.
    std::shared_ptr<const ipdata::Networks> asn();
    // As get(), for a job that reads all of the file or answers a whole list (a reverse
    // search, an offline batch): its pages go when the job ends.
    std::shared_ptr<const ipdata::Database> forWholeJob();

  private:
    void open();

    ipdata::DataFiles files_;
    std::function<void(const std::vector<ipdata::FileReport>&)> opened_;
    std::once_flag once_;
    platform::Task loading_;
};

// The data's fields as an answer keeps them (what is no UTF-8 made U+FFFD).
Fields answerFields(const ipdata::FieldViews& place);
Fields answerFields(const ipdata::Fields& fields);
// The answer the data gives for `address`; nullopt when there is no data, the text is no
// address or the data has no region for it.
std::optional<Answer> offlineAnswer(const ipdata::Database* database, const std::string& address);
// Adds to `answer` what the local files know of `address`, whatever gave its text: the data
// file's fields and the network that announces it. A lookup in each, well under a
// microsecond: done as each answer lands.
void addLocalFields(Answer& answer, OfflineData& offline, const std::string& address);

// The bodies of the runs, on the run's own task; each posts its end as its last step. The
// batch asks on up to 4 lanes (tasks of `executor`) and answers a row from `offline` when
// the page gives nothing; a stop ends it at once, and it returns once the requests it gave
// up are done (a cancel of `session` cuts them).
void batchRun(Poster& poster, Events& events, platform::Executor& executor, WebSession& session,
              OfflineData& offline, std::vector<PendingRow> rows, platform::StopToken stop);
// The batch answered from the data alone; a long one with coordinates from another file in
// two halves at once, the second on a task of `executor`.
void offlineBatchRun(Poster& poster, Events& events, platform::Executor& executor,
                     OfflineData& offline, const std::vector<PendingRow>& rows,
                     platform::StopToken stop);
// The reverse search answered from the data; `stop` ends the walk early.
void offlineReverseRun(Poster& poster, Events& events, const ipdata::Database& database,
                       const std::string& keywords, platform::StopToken stop);

// A web reverse search between its steps: where the walk over the result pages stands.
struct ReverseWalk {
    explicit ReverseWalk(std::string k) : keywords(std::move(k)) {}
    const std::string keywords;
    int pages = 0;     // known from the first page
    int fetched = 0;   // result pages asked for so far
    TextList entries;  // of the page fetched last
    std::size_t next = 0;
    bool done = false;
};
// Walks on from where `walk` stands until it has rows for the window or the search is over
// (walk.done); the caller posts them, and the reply starts the next step.
RowStore reverseStep(ReverseWalk& walk, WebSession& session, const platform::StopToken& stop);

}  // namespace lookup::detail
