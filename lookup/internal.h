// What the lookup actions share with the work they post back to the window thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ipdata/ipdata.h"
#include "platform/files.h"
#include "table/main_view.h"
#include "web/session.h"

namespace lookup::detail {

inline constexpr const char* kBusy = "已开始查询,请先停止!";
inline constexpr const char* kQuerying = "正在查询IP地址...";

// The batch and the reverse search share one run: never two at once.
enum class RunState { Idle, Running, Stopping };

// Window-thread state. Every posted answer holds it, so an answer that lands after the
// Lookups has gone finds `closed` and writes nothing.
struct WindowSide {
    explicit WindowSide(MainView& v) : view(v) {}
    MainView& view;
    bool closed = false;
    RunState run = RunState::Idle;
    // Addresses of single queries clicked and not yet answered, oldest first, and the
    // address the last answer was shown with.
    std::deque<std::string> asked;
    std::string shownAddress;
};

// From any thread: `work` runs on the window thread, unless the Lookups has gone by then.
void post(const std::shared_ptr<WindowSide>& side, std::function<void(WindowSide&)> work);

// The address data file beside the program, read and opened once on a thread of its own:
// the open takes a noticeable moment, and only work that needs the answer waits for it.
class OfflineData {
  public:
    // An empty path or no file there: no data, and nothing said. A file that cannot be read
    // or is refused: no data, and `refused` gets the reason, on the loading thread.
    OfflineData(platform::Files& files, std::string path,
                std::function<void(const std::string& reason)> refused);
    // Waits for the open.
    ~OfflineData();
    OfflineData(const OfflineData&) = delete;
    OfflineData& operator=(const OfflineData&) = delete;
    // From any thread but the window's: waits for the open; null without usable data.
    std::shared_ptr<const ipdata::Database> get();

  private:
    void load();

    platform::Files& files_;
    const std::string path_;
    std::function<void(const std::string&)> refused_;
    std::once_flag once_;
    std::shared_ptr<const ipdata::Database> database_;
    std::thread thread_;
};

// The answer the data gives for `address`, marked as coming from it; empty when there is
// no data, the text is no address or the data has no region for it.
std::string offlineAnswer(const ipdata::Database* database, const std::string& address);

// The bodies of the runs, on the run's own thread. Each posts its last step, which sets the
// run back to Idle. The batch answers a row from `offline` when the page gives nothing.
void batchRun(const std::shared_ptr<WindowSide>& side, WebSession& session, OfflineData& offline,
              std::vector<PendingRow> rows);
void reverseRun(const std::shared_ptr<WindowSide>& side, WebSession& session,
                const std::string& keywords);
// The reverse search answered from the data; `stop` ends the walk early.
void offlineReverseRun(const std::shared_ptr<WindowSide>& side, const ipdata::Database& database,
                       const std::string& keywords, const std::atomic<bool>& stop);

// Runs tasks one after another, in the order added, on a thread of its own.
class TaskQueue {
  public:
    TaskQueue() = default;
    // Drops the tasks not yet begun and waits for the one under way.
    ~TaskQueue();
    TaskQueue(const TaskQueue&) = delete;
    TaskQueue& operator=(const TaskQueue&) = delete;
    // False (and nothing queued) when the thread could not be made.
    bool add(std::function<void()> task);

  private:
    void serve();

    std::mutex mutex_;
    std::condition_variable added_;
    std::deque<std::function<void()>> tasks_;
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace lookup::detail
