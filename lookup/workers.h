// Plumbing shared by the batch, reverse-search and single-query threads.
#pragma once

#include <functional>

namespace lookup_detail {

// Starts fn on a thread of its own that nobody waits for; false (and nothing run) when no
// thread could be made.
bool startDetached(std::function<void()> fn);

// The right to run a main loop. g_queryRunning alone cannot give it: a stop clears that
// flag while the stopped worker still finishes its row, and two starts can both see it
// clear. Holding the slot is what makes a worker the only one in its loop.
enum class SlotState { Free, Taken, Finishing };

class WorkerSlot {
  public:
    enum class Claim { Now, Wait };
    // Claim::Now never blocks (for the window thread): a slot whose worker is writing its
    // final message is not taken. Claim::Wait (worker threads only) lets that worker finish
    // first, so a start pressed right after the final message is served.
    explicit WorkerSlot(Claim how);
    // Takes over a slot that another WorkerSlot claimed, for the thread it starts.
    static WorkerSlot adopt();
    ~WorkerSlot();
    WorkerSlot(WorkerSlot&& other) noexcept;
    WorkerSlot(const WorkerSlot&) = delete;
    WorkerSlot& operator=(const WorkerSlot&) = delete;
    bool held() const { return held_; }
    void release() { held_ = false; }  // handed to adopt() in another thread
    // Marks the slot finishing, runs the worker's last step (clearing the flag, the final
    // message), then frees it.
    void finish(const std::function<void()>& lastStep);

  private:
    WorkerSlot() = default;
    bool held_ = false;
};

SlotState workerSlotState();

// Counts the holder in g_workersInLoop for as long as it lives.
class InLoop {
  public:
    InLoop();
    ~InLoop();
    InLoop(const InLoop&) = delete;
    InLoop& operator=(const InLoop&) = delete;
};

}  // namespace lookup_detail
