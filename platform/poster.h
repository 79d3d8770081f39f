// The way back to the thread that owns the rows and the window, for work done elsewhere.
#pragma once

#include <functional>

// From any thread: runs work on the window thread later, in the order posted. Once the
// window is closing, work is dropped unrun (and freed on the thread that posted it), so a
// worker's reply never reaches an owner that has gone: the one liveness check there is.
class Poster {
  public:
    virtual ~Poster() = default;
    virtual void post(std::function<void()> work) = 0;
};
