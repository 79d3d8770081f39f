// The one way background work runs: on the executor's threads, each task with a StopToken
// it checks. A Task handle owns its run the way a std::jthread does: dropping it asks the
// task to stop and waits for it. Threads are kept for later tasks once theirs ends.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/condition.h"
#include "platform/stop.h"

namespace platform {

using TaskBody = std::function<void(StopToken)>;

class Task {
  public:
    Task() = default;
    ~Task() { reset(); }
    Task(Task&& other) noexcept = default;
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            reset();
            state_ = std::move(other.state_);
        }
        return *this;
    }

    // False for a task that never started (no thread could be had) or has been reset.
    bool valid() const { return state_ != nullptr; }
    // From any thread; the task sees it through its StopToken.
    void requestStop();
    // Waits until the task has returned.
    void wait();
    // Waits until the task has returned (true), the time has passed or `stop` is asked
    // (false).
    bool waitFor(std::chrono::milliseconds limit, const StopToken& stop = {});
    bool done() const;
    // Asks the task to stop, waits for it and lets go of it.
    void reset();

  private:
    friend class Executor;
    struct State {
        StopSource stop;
        Condition finished;
        bool done = false;  // under `finished`
    };
    explicit Task(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
};

class Executor {
  public:
    Executor();
    // Every task started here must have been waited for (their Task handles gone) by now;
    // the idle threads end.
    ~Executor();
    Executor(const Executor&) = delete;
    Executor& operator=(const Executor&) = delete;

    // Runs `body` on an idle thread, or on a new one. An invalid Task, and nothing run, when
    // no thread could be made.
    Task start(TaskBody body);

  private:
    struct Worker;
    void serve(Worker& worker);

    Condition changed_;  // guards what follows
    std::vector<std::unique_ptr<Worker>> workers_;
    bool ending_ = false;
};

}  // namespace platform
