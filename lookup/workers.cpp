#include "lookup/workers.h"

#include <atomic>
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

bool startDetached(std::function<void()> fn) {
    ++g_threads;
    try {
        std::thread([fn = std::move(fn)] {
            fn();
            --g_threads;
        }).detach();
        return true;
    } catch (const std::system_error&) {
        --g_threads;
        return false;
    }
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
