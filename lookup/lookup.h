// Lookup engines: location lookup (single and batch), reverse search, public address, the
// address data's open. They take their inputs as values and report to an Events object on
// the window thread (through the Poster); they never read or word anything of the window.
// Their workers never wait on the window.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ipdata/asn.h"
#include "ipdata/data_files.h"
#include "ipdata/ipdata.h"
#include "platform/executor.h"
#include "platform/files.h"
#include "platform/path.h"
#include "platform/poster.h"
#include "platform/probe.h"
#include "platform/services.h"
#include "table/table.h"
#include "web/session.h"

namespace lookup {

enum class LookupMode { MainData, Detailed };

// The location page's address for `address`, trimmed and percent-encoded into the path.
std::string locationUrl(const std::string& address);
// The answer cut out of a location page: one piece in main-data mode, two joined by
// "\r\n" in detailed mode. A page without the markers (a failed request) gives empty
// pieces.
std::string locationOf(const std::string& page, LookupMode mode);
std::string lookupLocation(WebSession& session, const std::string& address, LookupMode mode);

// The words of a reverse search, separated by ASCII spaces, tabs or the full-width space
// an input method types; empty words dropped.
std::vector<std::string> keywordsOf(const std::string& text);

// One echo to the probe host; any reply within the limit counts, 0 ms included.
bool isNetworkReachable(platform::Probe& probe, int timeLimitMs = 2000);
// The echoed public address; nullopt when the probe finds no network.
std::optional<std::string> fetchPublicAddress(platform::Probe& probe, WebSession& session);

// Why a single query has no answer to show.
enum class SingleFailure { None, NoData, NotAnAddress, NotInData };
struct SingleResult {
    Answer answer;
    SingleFailure failure = SingleFailure::None;
};

// Why the address data file beside the program, or the network numbers file (asn.db)
// beside it, cannot be used.
using DataFileProblem = ipdata::FileReport;

// The data files' owner reads through `files`: a whole file mapped, missing or unreadable.
ipdata::MapFile dataFileMapper(platform::Files& files);

// How a web batch ended. Rows answered before an import replaced the whole list went with
// it and are not counted.
struct BatchOutcome {
    std::size_t answered = 0;  // rows that took their answer and are still in the list
    std::size_t fromData = 0;  // of them, those the data file answered
    bool stopped = false;      // a stop ended it before every row was asked
    bool listReplaced = false;
};

// How an offline batch ended; its answers travel beside it, each once with the rows that
// take it.
struct OfflineOutcome {
    std::size_t unplaced = 0;  // rows the data has no answer for, still in the list
    bool stopped = false;
    bool listReplaced = false;  // the answers went with the list: none travel
};

// Why an offline batch had no data to answer from: the data file was refused, or there is
// no data file at all (nullopt).
struct NoData {
    std::optional<DataFileProblem> refusal;
};

// What the engines report, each call on the window thread.
class Events {
  public:
    virtual ~Events() = default;
    // A web batch's answer for the row `id`; false when that row is gone (the list was
    // replaced): the batch then asks nothing more.
    virtual bool answered(RowId id, const Answer& answer) = 0;
    // Whether the row `id` is still in the list. A batch asks at its end: an import may
    // have replaced the list after its last answer.
    virtual bool listed(RowId id) const = 0;
    // A web batch has ended, run through or stopped; no answer of it follows.
    virtual void batchFinished(const BatchOutcome& outcome) = 0;
    // An offline batch's answers, all at once.
    virtual void offlineBatchFinished(const SharedAnswers& answers,
                                      const OfflineOutcome& outcome) = 0;
    // An offline batch without usable data: it ends with nothing answered.
    virtual void offlineBatchFailed(const NoData& why) = 0;
    // Rows a reverse search found on its way, in order; never empty.
    virtual void rangesFound(RowStore rows) = 0;
    // The reverse search has ended, with the rows it found last (all of them when the data
    // answered; possibly none); no rows of it follow. `fromData`: the address data answered
    // (it searches the keywords as typed), not the service (which takes them in GBK).
    virtual void searchFinished(RowStore lastRows, bool fromData) = 0;
    virtual void singleAnswered(const std::string& address, const SingleResult& result) = 0;
    // nullopt: no network.
    virtual void publicAddressFound(const std::optional<std::string>& echoed) = 0;
    // Said once for each file, when the data file (and asn.db beside it) is first opened.
    virtual void dataFileRefused(const DataFileProblem& problem) = 0;
    // Once the files are open, after their refusals: one report for each file, in the
    // order the data owner uses them.
    virtual void dataFilesOpened(const std::vector<ipdata::FileReport>& /*reports*/) {}
};

namespace detail {
class OfflineData;
struct ReverseWalk;
}  // namespace detail

// The engines behind the lookup buttons. Every method is called on the window thread and
// returns at once. A batch asks up to 4 addresses at once over one session. One run (a
// batch or a reverse search) at a time: the caller starts the next once the last has
// reported its end.
//
// With an address data file the reverse search answers from it, and a location the page
// does not give (a failed request, a changed page) comes from it.
class Engine {
  public:
    // Everything passed in must outlive the engine. `dataPath` names the address data
    // file, opened off the window thread; empty or missing: the lookups use the web alone.
    Engine(platform::Services& os, platform::Executor& executor, Poster& poster, Events& events,
           const platform::Path& dataPath = {});
    // Ends what runs: stops every task started here (their requests cut short) and waits.
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Asks about `rows`: the service, the data filling in what it does not give; with
    // `offline` the data alone. False when no thread could be had (nothing is reported).
    bool startBatch(std::vector<PendingRow> rows, bool offline);
    // The ranges registered under `keywords`, from the data when there is some.
    bool startReverseSearch(std::string keywords);
    // Ends the running batch or search soon: no new request goes out, a search cuts the
    // one under way; its end is reported as usual.
    void stop();
    // One address, answered in the order asked; false when no thread could be had.
    bool query(std::string address, bool offline);
    // The probe and the echo page; once per engine, a later call does nothing.
    void fetchPublicAddress();

  private:
    // Starts `body` as the one batch or reverse-search run, with a fresh session that a stop
    // cancels; false when no thread could be had.
    bool startRun(std::function<void(WebSession&, platform::StopToken)> body);
    void askSingles(platform::StopToken stop);
    // One step of a web reverse search on the run's task; its reply starts the next.
    void reverseStep(const std::shared_ptr<detail::ReverseWalk>& walk, WebSession& session,
                     platform::StopToken stop);
    struct SingleQuery {
        std::string address;
        bool offline;
    };

    platform::Services& os_;
    platform::Executor& executor_;
    Poster& poster_;
    Events& events_;
    std::unique_ptr<detail::OfflineData> offline_;
    // Asked when the engine goes: no run waits any longer for requests its predecessor gave
    // up; they are cut.
    platform::StopSource closing_;
    // The running (or last) run's session; its task below goes first.
    std::unique_ptr<WebSession> runSession_;
    platform::Task run_;
    platform::StopSource runStop_;  // the running run's stop, across the tasks of a search
    bool runCutsRequests_ = false;  // a stop cancels runSession_ (the reverse search)
    WebSession singleSession_;
    std::mutex singlesMutex_;
    std::deque<SingleQuery> singlesWaiting_;
    bool singlesAsking_ = false;
    platform::Task singles_;
    WebSession echoSession_;
    platform::Task echo_;
};

}  // namespace lookup
