#include "lookup/workers.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "lookup/lookup.h"

std::atomic<std::int32_t> g_queryRunning{0};
std::atomic<std::int32_t> g_stopRequested{0};
std::atomic<std::int32_t> g_workersInLoop{0};

namespace {
std::atomic<std::int32_t> g_peakInLoop{0};
std::atomic<int> g_threads{0};
// No lock: a finishing worker waits for the window thread while it writes its final
// message, so anything the window thread waited on could deadlock.
std::atomic<lookup_detail::SlotState> g_slot{lookup_detail::SlotState::Free};
}  // namespace

std::int32_t peakWorkersInLoop() {
    return g_peakInLoop.load();
}
int runningLookupThreads() {
    return g_threads.load();
}

namespace lookup_detail {

namespace {

// Threads are not detached: under Wine, a detached MinGW (winpthreads) thread now and then
// never runs, so a start would silently do nothing. Instead each thread stays joinable and
// is joined once it has said it is done, at the next start. Nothing ever waits for a thread
// that is still working. The list is never destroyed: at exit, joinable threads must not
// meet their destructors.
struct Launched {
    std::thread thread;
    std::atomic<bool> done{false};
};
std::mutex g_launchedMutex;
auto& g_launched = *new std::list<std::unique_ptr<Launched>>;

void joinFinished() {
    for (auto it = g_launched.begin(); it != g_launched.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = g_launched.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

bool startDetached(std::function<void()> fn) {
    std::lock_guard lock(g_launchedMutex);
    joinFinished();
    auto entry = std::make_unique<Launched>();
    Launched* self = entry.get();
    ++g_threads;
    try {
        entry->thread = std::thread([self, fn = std::move(fn)] {
            fn();
            --g_threads;
            self->done = true;
        });
    } catch (const std::system_error&) {
        --g_threads;
        return false;
    }
    g_launched.push_back(std::move(entry));
    return true;
}

WorkerSlot::WorkerSlot(Claim how) {
    SlotState expected = SlotState::Free;
    while (!g_slot.compare_exchange_strong(expected, SlotState::Taken)) {
        if (expected != SlotState::Finishing || how == Claim::Now) return;
        std::this_thread::yield();
        expected = SlotState::Free;
    }
    held_ = true;
}

WorkerSlot WorkerSlot::adopt() {
    WorkerSlot slot;
    slot.held_ = true;
    return slot;
}

WorkerSlot::WorkerSlot(WorkerSlot&& other) noexcept : held_(other.held_) {
    other.held_ = false;
}

WorkerSlot::~WorkerSlot() {
    if (held_) g_slot = SlotState::Free;
}

void WorkerSlot::finish(const std::function<void()>& lastStep) {
    if (!held_) return;
    g_slot = SlotState::Finishing;
    lastStep();
    g_slot = SlotState::Free;
    held_ = false;
}

SlotState workerSlotState() {
    return g_slot.load();
}

InLoop::InLoop() {
    std::int32_t now = ++g_workersInLoop;
    std::int32_t peak = g_peakInLoop.load();
    while (now > peak && !g_peakInLoop.compare_exchange_weak(peak, now)) {
    }
}

InLoop::~InLoop() {
    --g_workersInLoop;
}

}  // namespace lookup_detail
