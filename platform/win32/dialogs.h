// Common file dialogs and message boxes through the wide-character calls; the program's
// services object holds one.
#pragma once

#include "platform/dialogs.h"

namespace platform::win32 {

class CommonDialogs final : public Dialogs {
  public:
    bool openFile(const FileDialogRequest& request, Path& path) override;
    bool saveFile(const FileDialogRequest& request, Path& path) override;
    void showMessage(const std::string& text, const std::string& caption) override;
    bool askYesNo(const std::string& text, const std::string& caption) override;
};

}  // namespace platform::win32
