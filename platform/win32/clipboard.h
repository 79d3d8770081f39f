// The system clipboard for texts; the program's services object holds one.
#pragma once

#include "platform/clipboard.h"

namespace platform::win32 {

class SystemClipboard final : public Clipboard {
  public:
    bool setText(const std::string& text) override;
    bool getText(std::string& text) override;
};

}  // namespace platform::win32
