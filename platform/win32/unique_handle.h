// Owning types for Win32 handles: one small template, one line per handle kind. A handle
// closes itself when its owner goes, on every path out.
#pragma once

#include <windows.h>
// commctrl.h needs the types of windows.h first.
#include <commctrl.h>

#include <cstdint>
#include <type_traits>
#include <utility>

namespace platform::win32 {

// Owns one handle of type T, given back with `closeRoutine`. Both the null handle and
// INVALID_HANDLE_VALUE count as empty: creators differ in which one they return on
// failure, and neither may be closed (-1 is also the current process's pseudo handle).
template <class T, auto closeRoutine>
class UniqueAny {
  public:
    UniqueAny() = default;
    explicit UniqueAny(T handle) : handle_(handle) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    bool valid() const { return isValid(handle_); }
    explicit operator bool() const { return valid(); }
    T get() const { return handle_; }
    // Hands the handle to a new owner (the clipboard takes its memory) without closing it.
    T release() { return std::exchange(handle_, T{}); }
    void reset(T handle = T{}) {
        const T old = std::exchange(handle_, handle);
        if (isValid(old)) closeRoutine(old);
    }
    // Closes now and gives the close routine's own result: a file's last write may fail
    // only here. An empty owner gives the routine's zero.
    auto close() {
        const T old = release();
        return isValid(old) ? closeRoutine(old) : decltype(closeRoutine(old)){};
    }

  private:
    static bool isValid(T handle) {
        if constexpr (std::is_pointer_v<T>)
            return handle != nullptr && handle != reinterpret_cast<T>(std::intptr_t{-1});
        else
            return handle != T{} && handle != static_cast<T>(-1);
    }

    T handle_{};
};

using UniqueHandle = UniqueAny<HANDLE, &CloseHandle>;  // files, threads, events
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
using UniqueGlobal = UniqueAny<HGLOBAL, &GlobalFree>;
using UniqueWindow = UniqueAny<HWND, &DestroyWindow>;  // on the thread that made it
using UniqueGdiObject = UniqueAny<HGDIOBJ, &DeleteObject>;
using UniqueFont = UniqueAny<HFONT, &DeleteObject>;
using UniqueBitmap = UniqueAny<HBITMAP, &DeleteObject>;
using UniqueBrush = UniqueAny<HBRUSH, &DeleteObject>;
using UniqueIcon = UniqueAny<HICON, &DestroyIcon>;
using UniqueImageList = UniqueAny<HIMAGELIST, &ImageList_Destroy>;

}  // namespace platform::win32
