// The main window for native tests: a real table, recorded panels and boxes, and posted
// work queued until the test (standing in for the window thread) runs it.
#pragma once

#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

#include "table/table.h"
#include "ui/window_texts.h"

namespace fake {

// The table, the texts and the poster a window hands its work.
class Window final : public WindowTexts, public Poster {
  public:
    Window();

    QueryTable& table() { return table_; }
    // A box holds UTF-16, as an edit box does: what a text or a path put there reads back
    // as the other the way the window's conversions make it. A text reads back exactly.
    std::string text(Box box) override { return boxes_[box].gbk; }
    void setText(Box box, const std::string& text) override;
    platform::Path path(Box box) override { return boxes_[box].path; }
    void setPath(Box box, const platform::Path& path) override;
    void setPanel(int index, const std::string& text) override;
    std::string panel(int index) override;
    void post(std::function<void()> work) override;

    // A closing window: work queued or posted from now on is dropped unrun.
    void close();
    // The presenter that posted the work waiting is gone: it goes unrun.
    void dropQueued();
    // Posted work waiting to run.
    std::size_t queued() {
        std::lock_guard lock(mutex_);
        return queue_.size();
    }
    // Runs the posted work already queued; returns how many ran.
    int drain();
    // Runs posted work as it arrives until `done` holds or the time is up; false then.
    bool runUntil(const std::function<bool()>& done, int limitMs = 10000);

    // Every text panel 1 was given, in order.
    std::vector<std::string> statusHistory;

  private:
    QueryTable table_;
    struct BoxTexts {
        std::string gbk;
        platform::Path path;
    };
    std::map<Box, BoxTexts> boxes_;
    std::string panels_[3];
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
    bool closed_ = false;
};

}  // namespace fake
