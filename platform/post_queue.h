// A Poster for a program without a window (a benchmark, a command line): work posted from
// any thread waits here, in order, until the thread that owns the queue runs it.
#pragma once

#include <deque>
#include <functional>
#include <mutex>

#include "platform/condition.h"
#include "platform/poster.h"

namespace platform {

class PostQueue final : public Poster {
  public:
    void post(std::function<void()> work) override {
        std::lock_guard lock(changed_);
        queue_.push_back(std::move(work));
        changed_.notifyAll();
    }
    // Runs the posted work in order until `done()` holds, waiting while none is queued.
    void runUntil(const std::function<bool()>& done) {
        while (!done()) {
            std::function<void()> work;
            changed_.wait([this] { return !queue_.empty(); });
            {
                std::lock_guard lock(changed_);
                work = std::move(queue_.front());
                queue_.pop_front();
            }
            work();
        }
    }

  private:
    Condition changed_;
    std::deque<std::function<void()>> queue_;  // under changed_
};

}  // namespace platform
