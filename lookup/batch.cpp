#include <algorithm>
#include <atomic>

#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/text.h"

namespace lookup::detail {

namespace {

// Requests of one run under way at once: a slow service is asked at most this many.
constexpr std::size_t kInFlight = 4;

struct BatchTally {
    int written = 0;  // window thread: rows that received their answer
    int offline = 0;  // window thread: of those, answered from the address data
    // Set on the window thread when an answer finds its row gone: an import replaced the
    // list, so no row of this run is left to ask about.
    std::atomic<bool> listReplaced{false};
};

}  // namespace

void batchRun(const std::shared_ptr<WindowSide>& side, platform::Executor& executor,
              WebSession& session, OfflineData& offline, std::vector<PendingRow> rows) {
    auto tally = std::make_shared<BatchTally>();
    std::atomic<std::size_t> next{0};
    auto lane = [&] {
        // A stop or a replaced list sends no new request; those in flight still land.
        while (!session.cancelled() && !tally->listReplaced) {
            const std::size_t i = next++;
            if (i >= rows.size()) return;
            std::string page = session.getText(locationUrl(rows[i].address));
            // Cut short by the stop: the row keeps no location, so the next run asks again.
            if (page.empty() && session.cancelled()) return;
            std::string location = locationOf(page, LookupMode::MainData);
            bool fromData = false;
            if (location.empty()) {
                location = offlineAnswer(offline.get().get(), rows[i].address);
                fromData = !location.empty();
            }
            post(side, [tally, id = rows[i].id, location = std::move(location),
                        fromData](WindowSide& s) mutable {
                if (!s.rows.setLocation(id, std::move(location))) {
                    tally->listReplaced = true;
                    return;
                }
                ++tally->written;
                tally->offline += fromData;
                // A single query meanwhile may have taken the panel over.
                if (s.run == RunState::Running && s.texts.panel(1) != kQuerying)
                    s.texts.setStatus(kQuerying);
            });
        }
    };
    {
        // The lanes stop with the session: a stop cancels it.
        std::vector<platform::Task> helpers;
        for (std::size_t k = 1; k < std::min(kInFlight, rows.size()); ++k) {
            platform::Task helper = executor.start([&](std::stop_token) { lane(); });
            if (!helper.valid()) break;  // fewer lanes; this task is one of them
            helpers.push_back(std::move(helper));
        }
        lane();
        for (platform::Task& helper : helpers) helper.wait();
    }
    post(side, [tally](WindowSide& s) {
        s.run = RunState::Idle;
        std::string text = "查询完毕,共查询出" + numberToText(tally->written) + "条数据!";
        if (tally->offline > 0) text += "(其中" + numberToText(tally->offline) + "条来自离线库)";
        s.texts.setStatus(text);
    });
}

}  // namespace lookup::detail
