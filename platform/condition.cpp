// The portable half of Condition, over the standard library.
#include "platform/condition.h"

#include <condition_variable>

namespace platform {

struct Condition::State {
    std::mutex mutex;
    std::condition_variable changed;
};

Condition::Condition() : state_(new State) {}
Condition::~Condition() {
    delete state_;
}
void Condition::lock() {
    state_->mutex.lock();
}
void Condition::unlock() {
    state_->mutex.unlock();
}
void Condition::notifyAll() {
    state_->changed.notify_all();
}

void Condition::sleepLocked(long long ms) {
    std::unique_lock lock(state_->mutex, std::adopt_lock);
    if (ms < 0)
        state_->changed.wait(lock);
    else
        state_->changed.wait_for(lock, std::chrono::milliseconds(ms));
    lock.release();
}

}  // namespace platform
