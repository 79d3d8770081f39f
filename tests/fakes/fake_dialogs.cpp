#include "tests/fakes/fake_dialogs.h"

namespace fake {

bool Dialogs::openFile(const platform::FileDialogRequest& request, platform::Path& path) {
    std::lock_guard lock(mutex_);
    calls.push_back({"open", request, {}, {}});
    if (nextPath.empty()) return false;
    path = nextPath;
    return true;
}

bool Dialogs::saveFile(const platform::FileDialogRequest& request, platform::Path& path) {
    std::lock_guard lock(mutex_);
    calls.push_back({"save", request, {}, {}});
    if (nextPath.empty()) return false;
    path = nextPath;
    return true;
}

void Dialogs::showMessage(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    calls.push_back({"message", {}, text, caption});
}

bool Dialogs::askYesNo(const std::string& text, const std::string& caption) {
    std::lock_guard lock(mutex_);
    calls.push_back({"question", {}, text, caption});
    return answerYes;
}

}  // namespace fake
