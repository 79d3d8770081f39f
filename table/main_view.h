// What the work (lookups, import, export) sees of the main window: the table the query
// list draws, the status panels, the edit boxes, and a way back to the window thread.
// Every call but post() belongs on the window thread. The Win32 side lives in ui/; native
// tests use tests/fakes/fake_main_view.h.
#pragma once

#include <functional>
#include <string>

#include "table/table.h"

enum class Box { FileLocation, SaveLocation, Address, Result, Keywords };

class MainView {
  public:
    virtual ~MainView() = default;

    virtual QueryTable& table() = 0;
    virtual std::string text(Box box) = 0;
    virtual void setText(Box box, const std::string& text) = 0;
    // Panels 0 to 2; another index does nothing (or reads empty).
    virtual void setPanel(int index, const std::string& text) = 0;
    virtual std::string panel(int index) = 0;
    // Progress and result messages go to panel 1.
    void setStatus(const std::string& text) { setPanel(1, text); }

    // From any thread: runs `work` on the window thread later, in the order posted. Work
    // posted once the window is gone is dropped unrun.
    virtual void post(std::function<void()> work) = 0;
};
