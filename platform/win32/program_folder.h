// The folder the running program lies in, where its data files sit beside it.
#pragma once

#include <windows.h>

#include <string>

namespace win32 {

// With its closing separator; empty when the system does not say.
inline std::wstring programFolder() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    // A full buffer means the name was cut short: ask again with more room (a long path
    // may take up to 32767 units).
    while ((n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
               path.size() &&
           path.size() < 65536)
        path.resize(path.size() * 2);
    if (n == 0 || n >= path.size()) return {};
    path.resize(n);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace win32
