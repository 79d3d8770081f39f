// A lock and a condition together, with waits that a stop_token or a time limit end. The
// Windows build uses the system's SRW lock and condition variable: under the MinGW
// threads runtime a timed wait of std::condition_variable, and any wait of
// std::condition_variable_any with a stop_token, can miss its wake-up and sleep forever.
#pragma once

#include <algorithm>
#include <mutex>
#include <stop_token>
#include <thread>

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
    // asked or `limit` has passed; returns ready() as it then stands. A stop is seen within
    // kStopLookMs: a std::stop_callback would wake the wait at once, but its end waits on a
    // semaphore of the runtime (GCC 12's), and under load under Wine a stopped run hung
    // there for good; the program uses no stop_callback.
    template <class Ready>
    bool wait(Ready ready, std::stop_token stop = {},
              std::chrono::milliseconds limit = std::chrono::milliseconds::max()) {
        const bool timed = limit != std::chrono::milliseconds::max();
        const auto end = std::chrono::steady_clock::now() + (timed ? limit : limit.zero());
        std::lock_guard locked(*this);
        while (!ready() && !stop.stop_requested()) {
            long long leftMs = stop.stop_possible() ? kStopLookMs : -1;
            if (timed) {
                const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                           end - std::chrono::steady_clock::now())
                                           .count();
                if (left <= 0) break;
                leftMs = leftMs < 0 ? left : std::min(left, leftMs);
            }
            sleepLocked(leftMs);
        }
        return ready();
    }

    static constexpr long long kStopLookMs = 20;

  private:
    // With the lock held: lets it go until notified (or `ms` passed, -1 for no limit, or
    // for no reason at all), and takes it again.
    void sleepLocked(long long ms);

    struct State;
    State* state_;
};

}  // namespace platform
