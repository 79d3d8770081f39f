// What the presenters see of the main window: the texts it shows (edit boxes, status
// panels). The engines below ui/ see none of it: they report events through a Poster.
// MainWindow is the Win32 side; native tests use tests/fakes/fake_window.h.
#pragma once

#include <functional>
#include <string>

#include "platform/path.h"
#include "platform/poster.h"

enum class Box { FileLocation, SaveLocation, Address, Result, Keywords };

// The window's texts. Every call belongs on the window thread.
class WindowTexts {
  public:
    virtual ~WindowTexts() = default;
    virtual std::string text(Box box) = 0;
    virtual void setText(Box box, const std::string& text) = 0;
    // A box that names a file (FileLocation, SaveLocation), read and written as the path
    // it holds, without passing through GBK. Any other box reads so too: its text as the
    // UTF-16 it holds (the reverse search counts there what GBK lacks of its keywords).
    virtual platform::Path path(Box box) = 0;
    virtual void setPath(Box box, const platform::Path& path) = 0;
    // Panels 0 to 2; another index does nothing (or reads empty).
    virtual void setPanel(int index, const std::string& text) = 0;
    virtual std::string panel(int index) = 0;
    // Progress and result messages go to panel 1.
    void setStatus(const std::string& text) { setPanel(1, text); }
};
