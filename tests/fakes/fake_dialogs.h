// Dialogs for native tests: answers set by the test, every request kept.
#pragma once

#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dialogs.h"

namespace fake {

struct DialogCall {
    std::string kind;  // "open", "save", "message", "question"
    platform::FileDialogRequest request;
    std::string text, caption;
};

class Dialogs : public platform::Dialogs {
  public:
    bool openFile(const platform::FileDialogRequest& request, platform::Path& path) override;
    bool saveFile(const platform::FileDialogRequest& request, platform::Path& path) override;
    void showMessage(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;

    // The next file dialog picks this path; empty means the user cancels.
    platform::Path nextPath;
    bool answerYes = true;
    std::vector<DialogCall> calls;

  private:
    std::mutex mutex_;
};

}  // namespace fake
