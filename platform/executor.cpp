#include "platform/executor.h"

#include <system_error>

namespace platform {

void Task::requestStop() {
    if (state_) state_->stop.request_stop();
}

void Task::wait() {
    if (state_) state_->finished.wait([this] { return state_->done; });
}

bool Task::waitFor(std::chrono::milliseconds limit, const StopToken& stop) {
    return !state_ || state_->finished.wait([this] { return state_->done; }, stop, limit);
}

bool Task::done() const {
    if (!state_) return true;
    std::lock_guard lock(state_->finished);
    return state_->done;
}

void Task::reset() {
    requestStop();
    wait();
    state_.reset();
}

struct Executor::Worker {
    TaskBody body;  // set while a task is given to this worker, under changed_
    std::shared_ptr<Task::State> state;
    bool busy = false;
    std::thread thread;
};

Executor::Executor() = default;

Executor::~Executor() {
    {
        std::lock_guard lock(changed_);
        ending_ = true;
        changed_.notifyAll();
    }
    for (auto& worker : workers_)
        if (worker->thread.joinable()) worker->thread.join();
}

Task Executor::start(TaskBody body) {
    auto state = std::make_shared<Task::State>();
    std::lock_guard lock(changed_);
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
    changed_.notifyAll();
    return Task(std::move(state));
}

void Executor::serve(Worker& worker) {
    for (;;) {
        changed_.wait([&] { return ending_ || static_cast<bool>(worker.body); });
        TaskBody body;
        std::shared_ptr<Task::State> state;
        {
            std::lock_guard lock(changed_);
            if (!worker.body) return;  // the executor is ending
            body = std::move(worker.body);
            worker.body = nullptr;
            state = std::move(worker.state);
        }
        body(state->stop.get_token());
        body = nullptr;  // what the task held goes before it counts as done
        {
            std::lock_guard done(state->finished);
            state->done = true;
            state->finished.notifyAll();
        }
        state.reset();
        std::lock_guard lock(changed_);
        worker.busy = false;
    }
}

}  // namespace platform
