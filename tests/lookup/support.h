// Shared set-up of the lookup tests: the recording web fake, the table probe, an in-memory
// window, and a wait for every thread the lookups started.
#pragma once

#include <gtest/gtest.h>

// <chrono> itself cannot be built with a GBK execution charset (a micro sign); <thread>
// brings the durations and clocks.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "tests/fakes/fake_internet.h"
#include "tests/fakes/fake_probe.h"
#include "tests/fakes/fake_view.h"
#include "platform/internet.h"
#include "platform/probe.h"

namespace lookup_test {

// Range-search pages are UTF-8 on the wire; u8 literals keep them so under -fexec-charset.
inline std::string utf8(const char8_t* text) {
    return reinterpret_cast<const char*>(text);
}

inline fake::HttpResponse page(const std::string& body) {
    fake::HttpResponse r;
    r.body = body;
    return r;
}

inline fake::HttpResponse failed() {
    fake::HttpResponse r;
    r.failRequest = true;
    return r;
}

// A gate a fake server waits at, so a test can act while a request is under way.
class Gate {
  public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    // Waits until opened; false when the test forgot to open it in time.
    bool wait(std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        ++waiting_;
        changed_.notify_all();
        return changed_.wait_for(lock, limit, [this] { return open_; });
    }
    // Waits until n callers are held at the gate.
    bool awaitWaiting(int n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return waiting_ >= n; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

// Polls until pred holds or the limit passes. Sleeps whole milliseconds: under MinGW a
// shorter sleep_for returns at once.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Declared after a window local to a test: on every way out of the scope, also a failed
// assertion, the lookup threads end before the window they use is destroyed.
struct ThreadsEndFirst {
    ~ThreadsEndFirst() {
        waitFor([] { return runningLookupThreads() == 0; }, std::chrono::seconds(20));
    }
};

class LookupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::setInternet(&net);
        platform::setProbe(&probe);
        g_queryRunning = 0;
        g_stopRequested = 0;
    }
    void TearDown() override {
        EXPECT_TRUE(waitForThreads()) << "a lookup thread did not end";
        platform::setInternet(nullptr);
        platform::setProbe(nullptr);
    }
    // Every thread the lookups started has returned (they touch `window` until then).
    static bool waitForThreads(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return waitFor([] { return runningLookupThreads() == 0; }, limit);
    }
    // Every request asked for, "host" + "object", also those the fake server failed.
    std::vector<std::string> attempted() {
        std::vector<std::string> out;
        for (const auto& call : net.calls())
            if (call.name == "openRequest") out.push_back(call.args[2]);
        return out;
    }
    std::string status() { return window.status.panel(1); }
    std::vector<std::string> statuses() { return window.status.history(1); }

    fake::Internet net;
    fake::Probe probe;
    fake::MainWindow window;
};

}  // namespace lookup_test
