// Blocks worked on by several threads, their results handed on in input order.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/lines.h"

namespace cli {

struct Job {
    std::string block;
    Encoding encoding = Encoding::Utf8;
    std::size_t w3c = 0;      // the c-ip column in effect at its start (pick.h)
    std::string out;          // the lines to write
    std::uint64_t lines = 0;  // or, for a summary, the lines counted
    bool done = false;
};

class Pipeline {
  public:
    using Work = std::function<void(Job&)>;
    // `makeWork` is called once on each worker thread (its state, such as a cache, is that
    // thread's own); `sink` gets each job in input order on one thread of its own, and
    // returns false when it cannot take more (the output is gone).
    Pipeline(unsigned threads, const std::function<Work()>& makeWork,
             std::function<bool(Job&)> sink);
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    // Waits while enough blocks are under way: memory stays flat however long the input.
    // False once the sink has failed.
    bool push(std::string& block, Encoding encoding, std::size_t w3c = 0);
    // Waits until every block pushed has gone through the sink; false when the sink failed.
    bool finish();

  private:
    void work(const Work& run);
    void drain();

    std::function<bool(Job&)> sink_;
    std::size_t limit_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Job>> order_;  // under way, in input order
    std::deque<Job*> waiting_;                // not yet taken by a worker
    bool closing_ = false, failed_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace cli
