// Common file dialogs and message boxes through the wide-character calls, owned by the
// active window of the calling thread, so they are modal to the main window.
#include "platform/win32/dialogs.h"

#include <windows.h>
// commdlg.h needs the types of windows.h.
#include <commdlg.h>

#include <vector>

#include "platform/win32/system_call.h"
#include "platform/win32/window_text.h"

namespace platform::win32 {
namespace {

std::wstring wide(const std::string& text) {
    return ::win32::utf8ToWide(text);
}

// One dialog, open or save, modal to the active window of the calling thread.
bool showFileDialog(bool save, const FileDialogRequest& request, Path& path) {
    // The filter keeps its NULs: the conversion is told the length, not a terminator.
    const std::wstring filter = wide(osFilterText(request.filter));
    const std::wstring directory = ::win32::widePath(request.initialDirectory);
    const std::wstring extension = wide(firstDefaultExtension(request.defaultExtension));
    std::vector<wchar_t> file(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = GetActiveWindow();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = directory.empty() ? nullptr : directory.c_str();
    // With a default extension the dialog completes a bare name with the extension
    // of the chosen filter ("Excel文件" gives .xls), or this one for "*.*" filters.
    dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST |
                   (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    auto* show = ::win32::systemCall<BOOL WINAPI(OPENFILENAMEW*)>(
        L"comdlg32.dll", save ? "GetSaveFileNameW" : "GetOpenFileNameW");
    const BOOL chosen = show ? show(&dialog) : FALSE;
    if (!chosen) return false;
    path = ::win32::pathOf(file.data());
    return true;
}

}  // namespace

bool CommonDialogs::openFile(const FileDialogRequest& request, Path& path) {
    return showFileDialog(false, request, path);
}

bool CommonDialogs::saveFile(const FileDialogRequest& request, Path& path) {
    return showFileDialog(true, request, path);
}

void CommonDialogs::showMessage(const std::string& text, const std::string& caption) {
    MessageBoxW(GetActiveWindow(), wide(text).c_str(), wide(caption).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

bool CommonDialogs::askYesNo(const std::string& text, const std::string& caption) {
    return MessageBoxW(GetActiveWindow(), wide(text).c_str(), wide(caption).c_str(),
                       MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace platform::win32
