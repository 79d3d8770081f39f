// The system clipboard, for texts. The Win32 side puts CF_UNICODETEXT beside CF_TEXT, so
// a paste reads right in programs of any locale.
#pragma once

#include <string>

namespace platform {

class Clipboard {
  public:
    virtual ~Clipboard() = default;
    // Empties the clipboard and puts the UTF-8 text on it; false when the clipboard could
    // not be had (another program holds it) or the text not be placed.
    virtual bool setText(const std::string& text) = 0;
    // The clipboard's text as UTF-8 (from CF_UNICODETEXT when there is one); false when
    // the clipboard holds no text.
    virtual bool getText(std::string& text) = 0;
};


}  // namespace platform
