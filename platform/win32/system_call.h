// A function of a system DLL loaded on first use: the file dialogs and the shell are needed
// only when the user asks for them, and every DLL in the import table is loaded (with its
// own imports) before the window can show.
#pragma once

#include <windows.h>

namespace win32 {

// The function `name` of `dll` as type F, or null when either cannot be had. The DLL stays
// loaded for the process's life.
template <class F>
F* systemCall(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    // From the system folder only; Windows 7 without its loader update refuses the flag.
    if (!module) module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) module = LoadLibraryW(dll);
    if (!module) return nullptr;
    return reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace win32
