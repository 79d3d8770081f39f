// What the lookup actions share with the work they post back to the window thread.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

// The bodies of the two runs, on the run's own thread. Each posts its last step, which
// sets the run back to Idle.
void batchRun(const std::shared_ptr<WindowSide>& side, WebSession& session,
              std::vector<PendingRow> rows);
void reverseRun(const std::shared_ptr<WindowSide>& side, WebSession& session,
                const std::string& keywords);

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
