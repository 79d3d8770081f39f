#include "platform/executor.h"

#include <system_error>

namespace platform {

void Task::requestStop() {
    if (state_) state_->stop.request_stop();
}

void Task::wait() {
    if (!state_) return;
    std::unique_lock lock(state_->mutex);
    state_->finished.wait(lock, [this] { return state_->done; });
}

bool Task::waitFor(std::chrono::milliseconds limit, std::stop_token stop) {
    if (!state_) return true;
    std::unique_lock lock(state_->mutex);
    return state_->finished.wait_for(lock, stop, limit, [this] { return state_->done; });
}

bool Task::done() const {
    if (!state_) return true;
    std::lock_guard lock(state_->mutex);
    return state_->done;
}

void Task::reset() {
    requestStop();
    wait();
    state_.reset();
}

struct Executor::Worker {
    std::condition_variable wake;
    TaskBody body;  // set while a task is given to this worker
    std::shared_ptr<Task::State> state;
    bool busy = false;
    std::thread thread;
};

Executor::Executor() = default;

Executor::~Executor() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        for (auto& worker : workers_) worker->wake.notify_one();
    }
    for (auto& worker : workers_)
        if (worker->thread.joinable()) worker->thread.join();
}

Task Executor::start(TaskBody body) {
    auto state = std::make_shared<Task::State>();
    std::lock_guard lock(mutex_);
    Worker* chosen = nullptr;
    for (auto& worker : workers_) {
        if (!worker->busy) {
            chosen = worker.get();
            break;
        }
    }
    if (!chosen) {
        auto worker = std::make_unique<Worker>();
        try {
            worker->thread = std::thread([this, w = worker.get()] { serve(*w); });
        } catch (const std::system_error&) {
            return Task();
        }
        chosen = workers_.emplace_back(std::move(worker)).get();
    }
    chosen->busy = true;
    chosen->body = std::move(body);
    chosen->state = state;
    chosen->wake.notify_one();
    return Task(std::move(state));
}

void Executor::serve(Worker& worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
        worker.wake.wait(lock, [&] { return ending_ || worker.body; });
        if (!worker.body) return;
        TaskBody body = std::move(worker.body);
        worker.body = nullptr;
        std::shared_ptr<Task::State> state = std::move(worker.state);
        lock.unlock();
        body(state->stop.get_token());
        body = nullptr;  // what the task held goes before it counts as done
        {
            std::lock_guard done(state->mutex);
            state->done = true;
        }
        state->finished.notify_all();
        state.reset();
        lock.lock();
        worker.busy = false;
    }
}

}  // namespace platform
