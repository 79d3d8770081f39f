#include <algorithm>
#include <system_error>

#include "lookup/internal.h"
#include "lookup/lookup.h"

namespace lookup {

namespace detail {

void post(const std::shared_ptr<WindowSide>& side, std::function<void(WindowSide&)> work) {
    side->view.post([side, work = std::move(work)] {
        if (!side->closed) work(*side);
    });
}

TaskQueue::~TaskQueue() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        tasks_.clear();
    }
    added_.notify_all();
    if (thread_.joinable()) thread_.join();
}

bool TaskQueue::add(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { serve(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    tasks_.push_back(std::move(task));
    added_.notify_one();
    return true;
}

void TaskQueue::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        added_.wait(lock, [this] { return ending_ || !tasks_.empty(); });
        if (ending_) return;
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
    }
}

namespace {

void showSingleAnswer(WindowSide& side, const std::string& address, const std::string& result) {
    // Answers come back in the order the queries were asked.
    if (!side.asked.empty()) side.asked.pop_front();
    MainView& view = side.view;
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

Lookups::Lookups(platform::Services& os, MainView& view, std::string offlineDataPath)
    : os_(os),
      side_(std::make_shared<detail::WindowSide>(view)),
      offline_(std::make_unique<detail::OfflineData>(
          os.files, std::move(offlineDataPath),
          [side = side_](const std::string& reason) {
              detail::post(side, [reason](detail::WindowSide& s) {
                  s.view.setStatus("离线地址库无法使用:" + reason);
              });
          })),
      singleSession_(os.internet),
      singles_(std::make_unique<detail::TaskQueue>()),
      echoSession_(os.internet) {}

Lookups::~Lookups() {
    side_->closed = true;
    if (runSession_) runSession_->cancel();
    singleSession_.cancel();
    echoSession_.cancel();
    if (runThread_.joinable()) runThread_.join();
    singles_.reset();
    if (echoThread_.joinable()) echoThread_.join();
}

void Lookups::runSingleQuery() {
    MainView& view = side_->view;
    const std::string address = view.text(Box::Address);
    if (address.empty()) {
        view.setStatus("没有填写IP地址!");
        return;
    }
    // Queued behind any query still waiting, so each answer arrives in the order asked.
    side_->asked.push_back(address);
    bool queued = singles_->add([this, side = side_, address] {
        std::string result = lookupLocation(singleSession_, address, LookupMode::Detailed);
        // Neither piece from the page: the data's answer, alone on its line.
        if (result == "\r\n") {
            std::string offline = detail::offlineAnswer(offline_->get().get(), address);
            if (!offline.empty()) result = std::move(offline);
        }
        detail::post(side, [address, result](detail::WindowSide& s) {
            detail::showSingleAnswer(s, address, result);
        });
    });
    if (!queued) side_->asked.pop_back();
}

bool Lookups::startRun(std::function<void(WebSession&)> body) {
    // The last run is Idle, so it has posted its final step: its thread is ending or gone.
    if (runThread_.joinable()) runThread_.join();
    runSession_ = std::make_unique<WebSession>(os_.internet);
    stopAsked_ = false;
    try {
        runThread_ =
            std::thread([session = runSession_.get(), body = std::move(body)] { body(*session); });
    } catch (const std::system_error&) {
        return false;
    }
    side_->run = detail::RunState::Running;
    return true;
}

void Lookups::startBatchQuery() {
    MainView& view = side_->view;
    if (view.table().empty()) {
        view.setStatus("没有可用IP地址!");
        return;
    }
    if (side_->run != detail::RunState::Idle) {
        view.setStatus(detail::kBusy);
        return;
    }
    std::vector<PendingRow> rows = view.table().pending();
    if (rows.empty()) {
        view.setStatus("查询完毕,共查询出0条数据!");
        return;
    }
    if (startRun([side = side_, &offline = *offline_,
                  rows = std::move(rows)](WebSession& session) mutable {
            detail::batchRun(side, session, offline, std::move(rows));
        }))
        view.setStatus(detail::kQuerying);
}

void Lookups::requestStop() {
    // A stop belongs to the run it was pressed in: with none running it does nothing.
    if (side_->run != detail::RunState::Running) return;
    side_->run = detail::RunState::Stopping;
    stopAsked_ = true;
    runSession_->cancel();
}

void Lookups::startReverseSearch() {
    MainView& view = side_->view;
    const std::string keywords = view.text(Box::Keywords);
    if (keywords.empty()) {
        view.setStatus("没有填写实际地址!");
        return;
    }
    if (side_->run != detail::RunState::Idle) {
        view.setStatus(detail::kBusy);
        return;
    }
    // Whether the data answers is settled on the run's thread, which may wait for the open.
    if (startRun([side = side_, &offline = *offline_, &stop = stopAsked_,
                  keywords](WebSession& session) {
            if (auto database = offline.get())
                detail::offlineReverseRun(side, *database, keywords, stop);
            else
                detail::reverseRun(side, session, keywords);
        }))
        view.setStatus("正在查询...");
}

void Lookups::showPublicAddress() {
    if (echoThread_.joinable()) return;  // once: at start-up
    try {
        echoThread_ = std::thread([side = side_, &probe = os_.probe, &session = echoSession_] {
            std::string text = fetchPublicAddress(probe, session);
            detail::post(side, [text](detail::WindowSide& s) { s.view.setPanel(2, text); });
        });
    } catch (const std::system_error&) {
    }
}

}  // namespace lookup
