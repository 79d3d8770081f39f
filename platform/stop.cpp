#include "platform/stop.h"

namespace platform {

bool StopSource::request_stop() {
    if (state_->stopped.exchange(true)) return false;
    state_->mirror.request_stop();
    std::lock_guard locked(state_->lock);
    // Unlinked as they run, so a callback ended later does not touch the list again.
    while (StopCallback* callback = state_->callbacks) {
        state_->callbacks = callback->next_;
        if (callback->next_) callback->next_->previous_ = nullptr;
        callback->next_ = nullptr;
        callback->linked_ = false;
        callback->run_();
    }
    return true;
}

StopCallback::StopCallback(const StopToken& token, std::function<void()> run)
    : run_(std::move(run)) {
    if (!token.state_) return;
    {
        std::lock_guard locked(token.state_->lock);
        if (!token.state_->stopped.load()) {
            state_ = token.state_;
            linked_ = true;
            next_ = state_->callbacks;
            if (next_) next_->previous_ = this;
            state_->callbacks = this;
            return;
        }
    }
    run_();
}

StopCallback::~StopCallback() {
    if (!state_) return;
    // A running callback holds the lock: taking it waits for the callback to return.
    std::lock_guard locked(state_->lock);
    if (!linked_) return;
    if (previous_)
        previous_->next_ = next_;
    else
        state_->callbacks = next_;
    if (next_) next_->previous_ = previous_;
}

}  // namespace platform
