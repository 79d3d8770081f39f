// An in-memory clipboard for native tests; it can be made busy, as when another program
// holds the real one open.
#pragma once

#include <mutex>
#include <string>

#include "platform/clipboard.h"

namespace fake {

class Clipboard : public platform::Clipboard {
  public:
    bool setText(const std::string& text) override;
    bool getText(std::string& text) override;
    bool busy = false;
    bool hasText = false;
    std::string content;
    int sets = 0;

  private:
    std::mutex mutex_;
};

}  // namespace fake
