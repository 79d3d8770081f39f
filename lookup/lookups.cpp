#include <algorithm>

#include "lookup/internal.h"
#include "lookup/lookup.h"
#include "text/address.h"

namespace lookup {

namespace detail {

void post(const std::shared_ptr<WindowSide>& side, std::function<void(WindowSide&)> work) {
    side->poster.post([side, work = std::move(work)] { work(*side); });
}

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

void showSingleAnswer(WindowSide& side, const std::string& address, const std::string& result) {
    // Answers come back in the order the queries were asked.
    if (!side.asked.empty()) side.asked.pop_front();
    WindowTexts& view = side.texts;
    view.setStatus("正在查询,已查询到1条数据!");
    view.setText(Box::Result, result);
    // The answer is shown with its own address, unless the box holds a text the user has
    // typed since and not yet asked about.
    const std::string inBox = view.text(Box::Address);
    if (inBox != address &&
        (inBox == side.shownAddress ||
         std::find(side.asked.begin(), side.asked.end(), inBox) != side.asked.end()))
        view.setText(Box::Address, address);
    side.shownAddress = address;
    view.setStatus("查询完毕!");
}

}  // namespace

}  // namespace detail

using detail::kPreviousRunWaitMs;
using detail::PreviousRun;

Lookups::Lookups(platform::Services& os, platform::Executor& executor, QueryTable& rows,
                 WindowTexts& texts, Poster& poster, platform::Path offlineDataPath)
    : os_(os),
      executor_(executor),
      side_(std::make_shared<detail::WindowSide>(rows, texts, poster)),
      offline_(std::make_unique<detail::OfflineData>(
          os.files, executor, std::move(offlineDataPath),
          [side = side_](const std::string& reason) {
              detail::post(side, [reason](detail::WindowSide& s) {
                  s.texts.setStatus("离线地址库无法使用:" + reason);
              });
          })),
      singleSession_(os.internet),
      echoSession_(os.internet) {}

// The tasks end (each cuts its requests short) before the sessions and the data they use.
Lookups::~Lookups() {
    // Every task is told to stop before its requests are cut, so that a cut request is
    // seen as the end, not as an answer to show.
    closing_.request_stop();
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

void Lookups::runSingleQuery() {
    WindowTexts& view = side_->texts;
    const std::string address = view.text(Box::Address);
    if (address.empty()) {
        view.setStatus("没有填写IP地址!");
        return;
    }
    // Asked behind any query still waiting, so each answer arrives in the order asked.
    side_->asked.push_back(address);
    bool start;
    {
        std::lock_guard lock(singlesMutex_);
        singlesWaiting_.push_back({address, offlineMode_});
        start = !singlesAsking_;
        singlesAsking_ = true;
    }
    if (!start) return;
    singles_ = executor_.start([this](platform::StopToken stop) { askSingles(stop); });
    if (!singles_.valid()) {
        std::lock_guard lock(singlesMutex_);
        singlesWaiting_.clear();
        singlesAsking_ = false;
        side_->asked.pop_back();
    }
}

void Lookups::askSingles(platform::StopToken stop) {
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
        std::string result;
        if (query.offline) {
            const auto database = offline_->get();
            result = database ? detail::offlineAnswer(database.get(), address)
                              : std::string(detail::kNoOfflineData);
            if (result.empty())
                result =
                    ip::parseAddress(address) ? detail::kNotInOfflineData : detail::kNotAnAddress;
        } else {
            result = lookupLocation(singleSession_, address, LookupMode::Detailed);
        }
        // Neither piece from the page: the data's answer, alone on its line.
        if (!query.offline && result == "\r\n") {
            std::string offline = detail::offlineAnswer(offline_->get().get(), address);
            if (!offline.empty()) result = std::move(offline);
        }
        if (stop.stop_requested()) return;  // cut short by the window's end
        detail::post(side_, [address, result](detail::WindowSide& s) {
            detail::showSingleAnswer(s, address, result);
        });
    }
}

bool Lookups::startRun(std::function<void(WebSession&, platform::StopToken)> body) {
    // The last run has posted its final step, but may still be waiting for requests a stop
    // gave up: the new run asks nothing until they are done (or waited for long enough, then
    // cut), so a service never sees more than the 4 of one run at once.
    auto previous = std::make_shared<PreviousRun>(std::move(run_), std::move(runSession_));
    runSession_ = std::make_unique<WebSession>(os_.internet);
    run_ = executor_.start([previous, session = runSession_.get(), body = std::move(body),
                            closing = closing_.get_token()](platform::StopToken stop) mutable {
        const bool done = previous->task.waitFor(kPreviousRunWaitMs, stop);
        if (done || !stop.stop_requested()) {
            if (!done && previous->session) previous->session->cancel();
            previous.reset();  // waits for the rest
            body(*session, stop);
            return;
        }
        // Stopped while it waited: its final text at once, and the wait goes on here, so
        // that the next run, which waits for this one, finds those requests done too.
        body(*session, stop);
        if (!previous->task.waitFor(kPreviousRunWaitMs, closing) && previous->session)
            previous->session->cancel();
    });
    if (!run_.valid()) return false;
    side_->run = detail::RunState::Running;
    return true;
}

void Lookups::startBatchQuery() {
    WindowTexts& view = side_->texts;
    if (side_->rows.empty()) {
        view.setStatus("没有可用IP地址!");
        return;
    }
    if (side_->run != detail::RunState::Idle) {
        view.setStatus(detail::kBusy);
        return;
    }
    // Off the offline mode, answers the data gave are asked of the service again: a
    // passing failure of the service does not stay in the list for good.
    std::vector<PendingRow> rows =
        side_->rows.pending(offlineMode_ ? std::string_view() : std::string_view(kOfflineMark));
    if (rows.empty()) {
        view.setStatus("查询完毕,共查询出0条数据!");
        return;
    }
    runCutsRequests_ = false;
    if (offlineMode_) {
        if (startRun([side = side_, &offline = *offline_, rows = std::move(rows)](
                         WebSession&, platform::StopToken stop) {
                detail::offlineBatchRun(side, offline, rows, stop);
            }))
            view.setStatus(detail::kQuerying);
        return;
    }
    if (startRun([side = side_, &executor = executor_, &offline = *offline_,
                  rows = std::move(rows)](WebSession& session, platform::StopToken stop) mutable {
            detail::batchRun(side, executor, session, offline, std::move(rows), stop);
        }))
        view.setStatus(detail::kQuerying);
}

void Lookups::requestStop() {
    // A stop belongs to the run it was pressed in: with none running it does nothing.
    if (side_->run != detail::RunState::Running) return;
    side_->run = detail::RunState::Stopping;
    run_.requestStop();
    // A reverse search cuts its request under way; a batch lets its requests finish (see
    // batchRun). Cancelled here, where the stop is pressed.
    if (runCutsRequests_) runSession_->cancel();
}

void Lookups::startReverseSearch() {
    WindowTexts& view = side_->texts;
    const std::string keywords = view.text(Box::Keywords);
    if (keywords.empty()) {
        view.setStatus("没有填写实际地址!");
        return;
    }
    if (side_->run != detail::RunState::Idle) {
        view.setStatus(detail::kBusy);
        return;
    }
    runCutsRequests_ = true;
    // Whether the data answers is settled on the run's task, which may wait for the open.
    if (startRun([side = side_, &offline = *offline_, keywords](WebSession& session,
                                                                platform::StopToken stop) {
            if (auto database = offline.get())
                detail::offlineReverseRun(side, *database, keywords, stop);
            else
                detail::reverseRun(side, session, keywords, stop);
        }))
        view.setStatus("正在查询...");
}

void Lookups::showPublicAddress() {
    if (echo_.valid()) return;  // once: at start-up
    echo_ = executor_.start(
        [side = side_, &probe = os_.probe, &session = echoSession_](platform::StopToken stop) {
            std::string text = fetchPublicAddress(probe, session);
            // Cut short by the window's end: no answer to show.
            if (stop.stop_requested()) return;
            detail::post(side, [text](detail::WindowSide& s) { s.texts.setPanel(2, text); });
        });
}

}  // namespace lookup
