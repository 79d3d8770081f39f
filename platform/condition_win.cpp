// The Windows half of Condition: the system's SRW lock and condition variable.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

#include "platform/condition.h"

namespace platform {

struct Condition::State {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
};

Condition::Condition() : state_(new State) {}
Condition::~Condition() {
    delete state_;
}
void Condition::lock() {
    AcquireSRWLockExclusive(&state_->lock);
}
void Condition::unlock() {
    ReleaseSRWLockExclusive(&state_->lock);
}
void Condition::notifyAll() {
    WakeAllConditionVariable(&state_->changed);
}

void Condition::sleepLocked(long long ms) {
    const DWORD limit = ms < 0 ? INFINITE : static_cast<DWORD>(std::min<long long>(ms, 0x7FFFFFFF));
    SleepConditionVariableSRW(&state_->changed, &state_->lock, limit, 0);
}

}  // namespace platform
