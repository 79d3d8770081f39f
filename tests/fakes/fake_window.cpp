#include "tests/fakes/fake_window.h"

namespace fake {

Window::Window() : table_({"IP", "来自"}) {}

void Window::setText(Box box, const std::string& text) {
    boxes_[box] = {text, platform::Path::fromUtf8(text)};
}

void Window::setPath(Box box, const platform::Path& path) {
    boxes_[box] = {path.utf8(), path};
}

void Window::setPanel(int index, const std::string& text) {
    if (index < 0 || index > 2) return;
    panels_[index] = text;
    if (index == 1) statusHistory.push_back(text);
}

std::string Window::panel(int index) {
    return index < 0 || index > 2 ? std::string() : panels_[index];
}

void Window::post(std::function<void()> work) {
    {
        std::lock_guard lock(mutex_);
        if (closed_) return;
        queue_.push_back(std::move(work));
    }
    posted_.notify_all();
}

void Window::close() {
    std::deque<std::function<void()>> unrun;
    std::lock_guard lock(mutex_);
    closed_ = true;
    unrun.swap(queue_);
}

void Window::dropQueued() {
    std::deque<std::function<void()>> unrun;
    std::lock_guard lock(mutex_);
    unrun.swap(queue_);
}

int Window::drain() {
    int ran = 0;
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return ran;
            work = std::move(queue_.front());
            queue_.pop_front();
        }
        work();
        ++ran;
    }
}

bool Window::runUntil(const std::function<bool()>& done, int limitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        drain();
        if (done()) return true;
        std::unique_lock lock(mutex_);
        if (queue_.empty() && posted_.wait_until(lock, end) == std::cv_status::timeout &&
            queue_.empty())
            return done();
    }
}

}  // namespace fake
