// Shared set-up of the lookup tests: the recording Internet, the table probe, the fake
// window (the test runs its posted work, standing in for the window thread), and the
// engines under test behind the presenter that words their events, which ends their
// threads before the window goes.
#pragma once

#include <gtest/gtest.h>

// <chrono> itself cannot be built with a GBK execution charset (a micro sign); <thread>
// brings the durations and clocks.
#include <condition_variable>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_internet.h"
#include "tests/fakes/fake_module_memory.h"
#include "tests/fakes/fake_probe.h"
#include "tests/fakes/fake_window.h"
#include "ui/lookup_presenter.h"

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

// A location page as the service serves it: GBK.
inline fake::HttpResponse gbkPage(const std::string& utf8Body) {
    return page(utf8ToGbk(utf8Body));
}

inline fake::HttpResponse failed() {
    fake::HttpResponse r;
    r.failRequest = true;
    return r;
}

// A gate a fake server waits at, so a test can act while requests are under way.
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
        bool opened = changed_.wait_for(lock, limit, [this] { return open_; });
        --waiting_;
        return opened;
    }
    // Waits until n callers are held at the gate.
    bool awaitWaiting(int n, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return waiting_ >= n; });
    }
    int waiting() {
        std::lock_guard lock(mutex_);
        return waiting_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
    int waiting_ = 0;
};

// Polls until pred holds or the limit passes, for what no posted work announces. Sleeps
// whole milliseconds: under MinGW a shorter sleep_for returns at once.
template <class Pred>
bool waitFor(Pred pred, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class LookupTest : public ::testing::Test {
  protected:
    // The threads end before the test's own state goes, also after a failed assertion.
    void TearDown() override {
        for (Gate& g : gates_) g.open();
        lookups.reset();
    }
    // A fresh gate that lives as long as the test; every gate opens at its end.
    Gate& newGate() { return gates_.emplace_back(); }
    // The final message of a run is what ends it for the tests.
    bool runEnded() {
        const std::string s = status();
        return s.rfind("查询完毕", 0) == 0 || s == "没有可用IP地址!" || s == "没有填写实际地址!";
    }
    // Runs the window's posted work until `done`; false when it never came.
    bool runUntil(const std::function<bool()>& done) { return window.runUntil(done, 20000); }
    bool runToEnd() {
        return runUntil([this] { return runEnded(); });
    }
    void setRows(const std::vector<RowCells>& rows) { window.table().replace(rows); }
    std::vector<RowCells> rows() {
        std::vector<RowCells> out;
        const QueryTable& table = window.table();
        for (std::size_t i = 0; i < table.size(); ++i)
            out.push_back({std::string(table.cell(i, 0)), shownLocation(table.row(i))});
        return out;
    }
    // Every request asked for, by object name, also those the fake server failed.
    std::vector<std::string> attempted() {
        std::vector<std::string> out;
        for (const auto& call : net.calls())
            if (call.name == "openRequest") out.push_back(call.args[2]);
        return out;
    }
    std::string status() { return window.panel(1); }

    fake::Internet net;
    fake::Probe probe;
    fake::Files files;
    fake::Dialogs dialogs;
    fake::Clipboard clipboard;
    fake::ModuleMemory moduleMemory;
    platform::Services os{files, dialogs, clipboard, net, probe, moduleMemory};
    fake::Window window;
    platform::Executor executor;
    std::list<Gate> gates_;
    // Declared last: its threads end before anything above goes.
    std::unique_ptr<ui::LookupPresenter> lookups =
        std::make_unique<ui::LookupPresenter>(os, executor, window.table(), window, window);
};

}  // namespace lookup_test
