// Whole-file reads and writes through the wide-character calls: paths are UTF-16 from the
// dialog or the box to here, so any file name opens on any system locale.
#include "platform/win32/files.h"

#include <windows.h>

#include <cstdint>
#include <memory>

#include "platform/win32/unique_handle.h"
#include "platform/win32/window_text.h"

namespace platform::win32 {
namespace {

// The name for the W calls; empty when there is none, or when it holds a NUL, which would
// end the name early and so name another file.
std::wstring osName(const Path& path) {
    if (path.units().find(u'\0') != std::u16string::npos) return {};
    return ::win32::widePath(path);
}

// A name such as "nul.csv" or "con.txt" opens a device, not a file: reading it gives
// nothing and writing it loses the bytes, either of which would pass for success.
bool isDiskFile(HANDLE file) {
    return GetFileType(file) == FILE_TYPE_DISK;
}

}  // namespace

bool FileSystem::readAll(const Path& path, std::string& bytes) {
    bytes.clear();
    const std::wstring name = osName(path);
    if (name.empty()) return false;
    // Others may keep the file open for writing (a log being filled); a program that
    // holds it without sharing makes this fail, as it should.
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid() || !isDiskFile(file.get())) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF)
        return false;
    try {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
    } catch (const std::bad_alloc&) {
        bytes.clear();
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!ReadFile(file.get(), bytes.data() + done, want, &read, nullptr)) {
            bytes.clear();
            return false;
        }
        if (read == 0) break;  // the file shrank meanwhile
        done += read;
    }
    bytes.resize(done);
    return true;
}

namespace {

bool writeWhole(HANDLE file, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD written = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
        if (!WriteFile(file, bytes.data() + done, want, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

}  // namespace

bool FileSystem::writeAll(const Path& path, const std::string& bytes) {
    return writePieces(path, [&bytes](const PieceWriter& write) { write(bytes); });
}

bool FileSystem::writePieces(const Path& path,
                             const std::function<void(const PieceWriter&)>& produce) {
    const std::wstring name = osName(path);
    if (name.empty()) return false;
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid() || !isDiskFile(file.get())) return false;
    bool failed = false;
    produce([&](std::string_view piece) {
        failed = failed || !writeWhole(file.get(), piece);
        return !failed;
    });
    // Closed here, so a failure to flush on close is seen.
    return file.close() != FALSE && !failed;
}

std::vector<std::string> FileSystem::namesIn(const Path& folder) {
    std::vector<std::string> names;
    std::wstring pattern = osName(folder);
    if (pattern.empty()) return names;
    if (pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(::win32::wideToUtf8(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

bool FileSystem::exists(const Path& path) {
    const std::wstring name = osName(path);
    return !name.empty() && GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

// A view of the whole mapping; its `again` maps another while a view is held.
std::optional<FileView> viewOf(const std::shared_ptr<UniqueHandle>& mapping, std::size_t size) {
    // May fail for a file larger than the free address space of a 32-bit process.
    const void* base = MapViewOfFile(mapping->get(), FILE_MAP_READ, 0, 0, 0);
    if (base == nullptr) return std::nullopt;
    return FileView(
        std::string_view(static_cast<const char*>(base), size), [base] { UnmapViewOfFile(base); },
        [mapping, size] { return viewOf(mapping, size); });
}

}  // namespace

std::optional<FileView> FileSystem::map(const Path& path) {
    const std::wstring name = osName(path);
    if (name.empty()) return std::nullopt;
    // Readers only: while the mapping lives (it keeps the file open after these handles
    // close) nobody may write the bytes that were checked once and are trusted since.
    UniqueHandle file(CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS,
                                  nullptr));
    if (!file.valid() || !isDiskFile(file.get())) return std::nullopt;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0) return std::nullopt;
    // A mapping of nothing is refused by the system; an empty file is still a file.
    if (size.QuadPart == 0) return FileView();
    if (static_cast<unsigned long long>(size.QuadPart) > SIZE_MAX) return std::nullopt;
    auto mapping = std::make_shared<UniqueHandle>(
        CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping->valid()) return std::nullopt;
    return viewOf(mapping, static_cast<std::size_t>(size.QuadPart));
}

}  // namespace platform::win32
