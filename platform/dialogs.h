// Common file dialogs and message boxes. Texts are UTF-8, paths UTF-16 (platform::Path); the
// Win32 side shows them with the wide-character calls, owned by the active window of the
// calling (window) thread.
#pragma once

#include <string>

#include "platform/path.h"

namespace platform {

struct FileDialogRequest {
    // Description and pattern pairs separated by "|": "Excel文件(*.xls)|*.xls|...".
    std::string filter;
    Path initialDirectory;  // empty: the platform's default folder
    // Patterns separated by "|" ("*.txt|*.xls"); the first one completes a name typed
    // without extension unless the chosen filter names a specific one.
    std::string defaultExtension;
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // false when the user cancels; `path` is set only on confirmation.
    virtual bool openFile(const FileDialogRequest& request, Path& path) = 0;
    // Asks before overwriting an existing file.
    virtual bool saveFile(const FileDialogRequest& request, Path& path) = 0;
    // Modal, OK button only.
    virtual void showMessage(const std::string& text, const std::string& caption) = 0;
    // Modal, warning icon, Yes and No; true for Yes.
    virtual bool askYesNo(const std::string& text, const std::string& caption) = 0;
};

// The filter in the operating system's form: every "|" a NUL, and a second NUL at the end.
std::string osFilterText(const std::string& filter);
// The extension (without "*.") a dialog appends to a bare name: the first pattern of
// `defaultExtension`, or empty when it has none.
std::string firstDefaultExtension(const std::string& defaultExtension);

}  // namespace platform
