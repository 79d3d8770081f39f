#include <algorithm>
#include <atomic>
#include <mutex>

#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/text.h"

namespace lookup::detail {

namespace {

// Requests of one run under way at once: a slow service is asked at most this many.
constexpr std::size_t kInFlight = 4;

// Shared by the lanes and the work they post; all but listReplaced is the window thread's.
struct BatchTally {
    bool finished = false;  // the end is reported
    BatchOutcome outcome;
    RowId lastAnswered = 0;  // a row that took its answer, once outcome.answered > 0
    // Set when an answer finds its row gone: an import replaced the list, so no row of
    // this run is left to ask about.
    std::atomic<bool> listReplaced{false};
};

// The lanes' answer for row `id`, on the window thread.
void land(Events& events, BatchTally& tally, RowId id, const Answer& answer) {
    // After the end the row waits for the next run, as the count says; after a replace the
    // answer's row is gone.
    if (tally.finished || tally.listReplaced) return;
    if (!events.answered(id, answer)) {
        tally.listReplaced = true;
        return;
    }
    ++tally.outcome.answered;
    tally.outcome.fromData += answer.source == Source::DataFile;
    tally.lastAnswered = id;
}

// The end, on the window thread: a list replaced since the last answer is asked about
// here, as no answer has found its row gone.
void finish(Events& events, BatchTally& tally, bool stopped) {
    tally.finished = true;
    if (tally.outcome.answered > 0 && !tally.listReplaced && !events.listed(tally.lastAnswered))
        tally.listReplaced = true;
    BatchOutcome& outcome = tally.outcome;
    outcome.stopped = stopped;
    outcome.listReplaced = tally.listReplaced;
    if (outcome.listReplaced) outcome.answered = outcome.fromData = 0;
    events.batchFinished(outcome);
}

}  // namespace

void batchRun(Poster& poster, Events& events, platform::Executor& executor, WebSession& session,
              OfflineData& offline, std::vector<PendingRow> rows, platform::StopToken stop) {
    auto tally = std::make_shared<BatchTally>();
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> posted{0};  // answers on their way to the window
    platform::Condition laneEnded;
    std::size_t lanesLeft = 0;  // under laneEnded
    auto lane = [&] {
        // A stop or a replaced list sends no new request.
        while (!stop.stop_requested() && !session.cancelled() && !tally->listReplaced) {
            const std::size_t i = next++;
            if (i >= rows.size()) break;
            std::string page = session.getText(locationUrl(rows[i].address));
            // Given up by the stop: the row keeps no location, so the next run asks again.
            if (stop.stop_requested() || (page.empty() && session.cancelled())) break;
            Answer answer{gbkToUtf8(locationOf(page, LookupMode::MainData)), Source::Web,
                          std::nullopt};
            if (answer.text.empty()) {
                if (std::optional<Answer> data =
                        offlineAnswer(offline.get().get(), rows[i].address))
                    answer = std::move(*data);
            }
            addLocalFields(answer, offline, rows[i].address);
            poster.post([&events, tally, id = rows[i].id, answer = std::move(answer)] {
                land(events, *tally, id, answer);
            });
            ++posted;
        }
        std::lock_guard lock(laneEnded);
        --lanesLeft;
        laneEnded.notifyAll();
    };
    std::vector<platform::Task> lanes;
    for (std::size_t k = 0; k < std::min(kInFlight, rows.size()); ++k) {
        {
            std::lock_guard lock(laneEnded);
            ++lanesLeft;
        }
        platform::Task started = executor.start([&](platform::StopToken) { lane(); });
        if (!started.valid()) {
            std::lock_guard lock(laneEnded);
            --lanesLeft;
            break;
        }
        lanes.push_back(std::move(started));
    }
    if (lanes.empty()) {  // no thread to be had: one lane here
        ++lanesLeft;
        lane();
    }
    // A stop ends the run at once; the requests it gave up stay open until the service
    // answers them (or the session is cancelled), and the run's task with them, so that the
    // next run can wait until they are done before it asks anything.
    laneEnded.wait([&] { return lanesLeft == 0; }, stop);
    // Rows left unasked (or given up) by the stop.
    const bool stopped = stop.stop_requested() && posted < rows.size();
    poster.post([&events, tally, stopped] { finish(events, *tally, stopped); });
    for (platform::Task& started : lanes) started.wait();
}

}  // namespace lookup::detail
