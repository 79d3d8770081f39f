// A stop request that wakes whoever waits for it: a StopSource asks, its StopTokens see it,
// and a StopCallback runs when it is asked (at once if it already was). The names follow
// std::stop_source so code that only looks at the flag reads the same.
//
// Why not std::stop_callback: under the MinGW posix threads runtime (GCC 12) the end of a
// std::stop_callback whose callback is running on another thread waits on a runtime
// semaphore, and under load under Wine a stopped run hung there for good. Here a callback
// runs under the source's lock, so ending one simply takes that lock.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>

namespace platform {

class StopCallback;

namespace detail {
struct StopState {
    std::atomic<bool> stopped{false};
    std::mutex lock;                    // held while callbacks are linked, unlinked or run
    StopCallback* callbacks = nullptr;  // under `lock`
    std::stop_source mirror;            // what std::stop_token views of this stop see
};
}  // namespace detail

class StopToken {
  public:
    StopToken() = default;
    bool stop_requested() const noexcept { return state_ && state_->stopped.load(); }
    // For code that only looks at the flag; such a view cannot wake a wait.
    operator std::stop_token() const {  // NOLINT(google-explicit-constructor)
        return state_ ? state_->mirror.get_token() : std::stop_token();
    }

  private:
    friend class StopSource;
    friend class StopCallback;
    explicit StopToken(std::shared_ptr<detail::StopState> state) : state_(std::move(state)) {}
    std::shared_ptr<detail::StopState> state_;
};

class StopSource {
  public:
    StopSource() : state_(std::make_shared<detail::StopState>()) {}
    StopToken get_token() const { return StopToken(state_); }
    bool stop_requested() const noexcept { return state_->stopped.load(); }
    // Runs every callback linked now, on this thread, before it returns; false when the
    // stop had been asked already. Not to be called holding a lock a callback takes (the
    // lock of a Condition waiting on this source).
    bool request_stop();

  private:
    std::shared_ptr<detail::StopState> state_;
};

// Runs `run` once when the token's stop is asked, or at once in the constructor when it
// was. Once the destructor has returned, `run` is not running and never will. A callback
// must not end a StopCallback of its own source, nor ask that source to stop.
class StopCallback {
  public:
    StopCallback(const StopToken& token, std::function<void()> run);
    ~StopCallback();
    StopCallback(const StopCallback&) = delete;
    StopCallback& operator=(const StopCallback&) = delete;

  private:
    friend class StopSource;
    std::shared_ptr<detail::StopState> state_;  // set once: the source it waits on
    std::function<void()> run_;
    bool linked_ = false;  // what follows under state_->lock
    StopCallback* next_ = nullptr;
    StopCallback* previous_ = nullptr;
};

}  // namespace platform
