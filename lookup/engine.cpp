#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/address.h"

namespace lookup {

namespace {

// A run that ended on a stop may still be waiting for requests it gave up.
struct PreviousRun {
    PreviousRun(platform::Task t, std::unique_ptr<WebSession> s)
        : task(std::move(t)), session(std::move(s)) {}
    ~PreviousRun() {
        if (session) session->cancel();
        task.reset();
    }
    platform::Task task;
    std::unique_ptr<WebSession> session;
};

// How long a new run waits for the requests its predecessor gave up; a slow service's
// answers usually come well within it.
constexpr std::chrono::milliseconds kPreviousRunWaitMs{5000};

}  // namespace

Engine::Engine(platform::Services& os, platform::Executor& executor, Poster& poster, Events& events,
               const platform::Path& dataPath)
    : os_(os),
      executor_(executor),
      poster_(poster),
      events_(events),
      offline_(std::make_unique<detail::OfflineData>(
          os.files, executor, dataPath,
          [&poster, &events](const std::vector<ipdata::FileReport>& reports) {
              poster.post([&events, reports] {
                  for (const ipdata::FileReport& report : reports)
                      if (report.worthSaying()) events.dataFileRefused(report);
                  events.dataFilesOpened(reports);
              });
          })),
      singleSession_(os.internet),
      echoSession_(os.internet) {}

// The tasks end (each cuts its requests short) before the sessions and the data they use.
Engine::~Engine() {
    // Every task is told to stop before its requests are cut, so that a cut request is
    // seen as the end, not as an answer to report.
    closing_.request_stop();
    runStop_.request_stop();
    run_.requestStop();
    singles_.requestStop();
    echo_.requestStop();
    if (runSession_) runSession_->cancel();
    singleSession_.cancel();
    echoSession_.cancel();
    run_.reset();
    singles_.reset();
    echo_.reset();
    offline_.reset();
}

bool Engine::query(std::string address, bool offline) {
    // Asked behind any query still waiting, so each answer arrives in the order asked.
    bool start;
    {
        std::lock_guard lock(singlesMutex_);
        singlesWaiting_.push_back({std::move(address), offline});
        start = !singlesAsking_;
        singlesAsking_ = true;
    }
    if (!start) return true;
    singles_ = executor_.start([this](platform::StopToken stop) { askSingles(stop); });
    if (singles_.valid()) return true;
    std::lock_guard lock(singlesMutex_);
    singlesWaiting_.clear();
    singlesAsking_ = false;
    return false;
}

void Engine::askSingles(platform::StopToken stop) {
    for (;;) {
        SingleQuery query;
        {
            std::lock_guard lock(singlesMutex_);
            if (singlesWaiting_.empty() || stop.stop_requested()) {
                singlesAsking_ = false;
                return;
            }
            query = std::move(singlesWaiting_.front());
            singlesWaiting_.pop_front();
        }
        const std::string& address = query.address;
        SingleResult result;
        if (query.offline) {
            const auto database = offline_->get();
            if (!database) {
                result.failure = SingleFailure::NoData;
            } else if (auto answer = detail::offlineAnswer(database.get(), address)) {
                result.answer = std::move(*answer);
            } else {
                result.failure = ip::parseAddress(address) ? SingleFailure::NotInData
                                                           : SingleFailure::NotAnAddress;
            }
        } else {
            result.answer = {
                gbkToUtf8(lookupLocation(singleSession_, address, LookupMode::Detailed)),
                Source::Web, std::nullopt};
            // Neither piece from the page: the data's answer, alone on its line.
            if (result.answer.text == "\r\n") {
                if (auto answer = detail::offlineAnswer(offline_->get().get(), address))
                    result.answer = std::move(*answer);
            }
        }
        if (stop.stop_requested()) return;  // cut short by the engine's end
        poster_.post([&events = events_, address = query.address, result = std::move(result)] {
            events.singleAnswered(address, result);
        });
    }
}

bool Engine::startRun(std::function<void(WebSession&, platform::StopToken)> body) {
    // The last run has reported its end, but may still be waiting for requests a stop gave
    // up: the new run asks nothing until they are done (or waited for long enough, then
    // cut), so a service never sees more than the 4 of one run at once.
    auto previous = std::make_shared<PreviousRun>(std::move(run_), std::move(runSession_));
    runSession_ = std::make_unique<WebSession>(os_.internet);
    runStop_ = platform::StopSource();
    run_ = executor_.start([previous, session = runSession_.get(), body = std::move(body),
                            closing = closing_.get_token(),
                            stop = runStop_.get_token()](platform::StopToken) mutable {
        const bool done = previous->task.waitFor(kPreviousRunWaitMs, stop);
        if (done || !stop.stop_requested()) {
            if (!done && previous->session) previous->session->cancel();
            previous.reset();  // waits for the rest
            body(*session, stop);
            return;
        }
        // Stopped while it waited: its end at once, and the wait goes on here, so that the
        // next run, which waits for this one, finds those requests done too.
        body(*session, stop);
        if (!previous->task.waitFor(kPreviousRunWaitMs, closing) && previous->session)
            previous->session->cancel();
    });
    return run_.valid();
}

bool Engine::startBatch(std::vector<PendingRow> rows, bool offline) {
    runCutsRequests_ = false;
    if (offline)
        return startRun([&poster = poster_, &events = events_, &executor = executor_,
                         &data = *offline_,
                         rows = std::move(rows)](WebSession&, platform::StopToken stop) {
            detail::offlineBatchRun(poster, events, executor, data, rows, stop);
        });
    return startRun(
        [&poster = poster_, &events = events_, &executor = executor_, &data = *offline_,
         rows = std::move(rows)](WebSession& session, platform::StopToken stop) mutable {
            detail::batchRun(poster, events, executor, session, data, std::move(rows), stop);
        });
}

void Engine::stop() {
    runStop_.request_stop();
    // A reverse search cuts its request under way; a batch lets its requests finish (see
    // batchRun). Cancelled here, not by a stop_callback: see platform/condition.h.
    if (runCutsRequests_ && runSession_) runSession_->cancel();
}

bool Engine::startReverseSearch(std::string keywords) {
    runCutsRequests_ = true;
    // Whether the data answers is settled on the run's task, which may wait for the open.
    return startRun(
        [this, keywords = std::move(keywords)](WebSession& session, platform::StopToken stop) {
            if (auto database = offline_->forWholeJob()) {
                detail::offlineReverseRun(poster_, events_, *database, keywords, stop);
                return;
            }
            reverseStep(std::make_shared<detail::ReverseWalk>(keywords), session, stop);
        });
}

// A step runs on the run's task and ends by posting what it found; on the window thread
// the reply reports the rows and starts the next step as the run's task, unless the walk
// is over or stopped. So the window sees each entry before the next request goes out,
// and no worker ever waits for it.
void Engine::reverseStep(const std::shared_ptr<detail::ReverseWalk>& walk, WebSession& session,
                         platform::StopToken stop) {
    RowStore rows = detail::reverseStep(*walk, session, stop);
    poster_.post([this, walk, &session, stop, rows = std::move(rows)]() mutable {
        if (!rows.empty()) events_.rangesFound(std::move(rows));
        if (walk->done || stop.stop_requested()) {
            events_.searchFinished({}, false);
            return;
        }
        run_ = executor_.start([this, walk, &session, stop](platform::StopToken) {
            reverseStep(walk, session, stop);
        });
        if (!run_.valid()) events_.searchFinished({}, false);
    });
}

void Engine::fetchPublicAddress() {
    if (echo_.valid()) return;  // once: at start-up
    echo_ = executor_.start([&poster = poster_, &events = events_, &probe = os_.probe,
                             &session = echoSession_](platform::StopToken stop) {
        std::optional<std::string> echoed = lookup::fetchPublicAddress(probe, session);
        // Cut short by the engine's end: no answer to report.
        if (stop.stop_requested()) return;
        poster.post([&events, echoed] { events.publicAddressFound(echoed); });
    });
}

}  // namespace lookup
