// A lock and a condition together, with waits that a stop or a time limit end. The
// Windows build uses the system's SRW lock and condition variable: under the MinGW
// threads runtime a timed wait of std::condition_variable, and any wait of
// std::condition_variable_any with a stop_token, can miss its wake-up and sleep forever.
#pragma once

#include <mutex>
#include <thread>  // <chrono> itself does not build with a GBK execution character set

#include "platform/stop.h"

namespace platform {

class Condition {
  public:
    Condition();
    ~Condition();
    Condition(const Condition&) = delete;
    Condition& operator=(const Condition&) = delete;

    // A lockable: change what the waits look at under std::lock_guard, then notifyAll.
    void lock();
    void unlock();
    void notifyAll();

    // Without the lock held: waits until `ready()` (read under the lock) holds, `stop` is
    // asked or `limit` has passed; returns ready() as it then stands. A stop wakes the wait
    // at once, through a callback on the stop source.
    template <class Ready>
    bool wait(Ready ready, const StopToken& stop = {},
              std::chrono::milliseconds limit = std::chrono::milliseconds::max()) {
        const bool timed = limit != std::chrono::milliseconds::max();
        const auto end = std::chrono::steady_clock::now() + (timed ? limit : limit.zero());
        // Made before the lock is taken and ended after it is let go: the callback takes
        // the lock under the stop source's own.
        const StopCallback wake(stop, [this] {
            std::lock_guard locked(*this);
            notifyAll();
        });
        std::lock_guard locked(*this);
        while (!ready() && !stop.stop_requested()) {
            long long leftMs = -1;
            if (timed) {
                leftMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             end - std::chrono::steady_clock::now())
                             .count();
                if (leftMs <= 0) break;
            }
            sleepLocked(leftMs);
        }
        return ready();
    }

  private:
    // With the lock held: lets it go until notified (or `ms` passed, -1 for no limit, or
    // for no reason at all), and takes it again.
    void sleepLocked(long long ms);

    struct State;
    State* state_;
};

}  // namespace platform
