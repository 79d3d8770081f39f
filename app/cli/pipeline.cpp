#include "app/cli/pipeline.h"

namespace cli {

Pipeline::Pipeline(unsigned threads, const std::function<Work()>& makeWork,
                   std::function<bool(Job&)> sink)
    : sink_(std::move(sink)), limit_(2 * static_cast<std::size_t>(threads) + 2) {
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this, makeWork] { work(makeWork()); });
    threads_.emplace_back([this] { drain(); });
}

Pipeline::~Pipeline() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    for (std::thread& t : threads_) t.join();
}

bool Pipeline::push(std::string& block, Encoding encoding, std::size_t w3c) {
    auto job = std::make_unique<Job>();
    job->block.swap(block);
    job->encoding = encoding;
    job->w3c = w3c;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || order_.size() < limit_; });
    if (failed_) return false;
    waiting_.push_back(job.get());
    order_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool Pipeline::finish() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return failed_ || order_.empty(); });
    return !failed_;
}

void Pipeline::work(const Work& run) {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        Job* job = waiting_.front();
        waiting_.pop_front();
        lock.unlock();
        run(*job);
        job->block = std::string();  // its memory back before the job waits for its turn
        lock.lock();
        job->done = true;
        changed_.notify_all();
    }
}

void Pipeline::drain() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] {
            return (closing_ && order_.empty()) || (!order_.empty() && order_.front()->done);
        });
        if (order_.empty()) return;
        std::unique_ptr<Job> job = std::move(order_.front());
        const bool skip = failed_;  // the output is gone: the rest is dropped
        lock.unlock();
        const bool ok = skip || sink_(*job);
        lock.lock();
        order_.pop_front();
        if (!ok) failed_ = true;
        changed_.notify_all();
    }
}

}  // namespace cli
