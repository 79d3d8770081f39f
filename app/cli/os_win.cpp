#include <windows.h>
// shellapi.h needs the types of windows.h first.
#include <shellapi.h>

#include <algorithm>
#include <cwctype>

#include "app/cli/os.h"
#include "platform/win32/program_folder.h"

namespace cli {
namespace {

std::wstring wide(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string narrow(const wchar_t* text, int length) {
    if (length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), n, nullptr, nullptr);
    return out;
}

OpenError errorOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return OpenError::Missing;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return OpenError::Denied;
        default:
            return OpenError::Other;
    }
}

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// A file that is no file: CON, NUL, AUX and their like open as devices.
bool isDiskFile(HANDLE handle) {
    return GetFileType(handle) == FILE_TYPE_DISK;
}

class HandleInput : public Input {
  public:
    HandleInput(HANDLE handle, bool owned) : handle_(handle), owned_(owned) {}
    ~HandleInput() override {
        if (owned_) CloseHandle(handle_);
    }
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        DWORD got = 0;
        const DWORD want = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        if (ReadFile(handle_, buffer, want, &got, nullptr)) return got;
        // The writer of a pipe has gone: that is its end.
        return GetLastError() == ERROR_BROKEN_PIPE ? 0 : -1;
    }
    std::optional<std::uint64_t> size() const override {
        LARGE_INTEGER size{};
        if (!isDiskFile(handle_) || !GetFileSizeEx(handle_, &size)) return std::nullopt;
        return static_cast<std::uint64_t>(size.QuadPart);
    }

  private:
    HANDLE handle_;
    bool owned_;
};

HANDLE openRead(const std::string& path, OpenError& error) {
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = OpenError::Folder;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = errorOf(GetLastError());
    } else if (!isDiskFile(h)) {
        CloseHandle(h);
        error = OpenError::Missing;
        h = INVALID_HANDLE_VALUE;
    }
    return h;
}

bool writeHandle(DWORD which, std::string_view utf8) {
    const HANDLE h = GetStdHandle(which);
    if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
    DWORD mode = 0;
    if (GetConsoleMode(h, &mode)) {
        const std::wstring text = wide(utf8);
        std::size_t done = 0;
        while (done < text.size()) {
            DWORD put = 0;
            const DWORD want = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 8192));
            if (!WriteConsoleW(h, text.data() + done, want, &put, nullptr) || put == 0)
                return false;
            done += put;
        }
        return true;
    }
    while (!utf8.empty()) {
        DWORD put = 0;
        const DWORD want = utf8.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(utf8.size());
        if (!WriteFile(h, utf8.data(), want, &put, nullptr) || put == 0) return false;
        utf8.remove_prefix(put);
    }
    return true;
}

}  // namespace

std::unique_ptr<Input> openInput(const std::string& path, OpenError& error) {
    error = OpenError::None;
    if (path == "-") return std::make_unique<HandleInput>(GetStdHandle(STD_INPUT_HANDLE), false);
    const HANDLE h = openRead(path, error);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<HandleInput>(h, true);
}

namespace {

std::optional<Mapped> viewOf(const std::shared_ptr<void>& mapping, std::size_t size) {
    const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view) return std::nullopt;
    std::shared_ptr<const void> owner(view, [](const void* p) { UnmapViewOfFile(p); });
    return Mapped{std::string_view(static_cast<const char*>(view), size), std::move(owner),
                  [mapping, size] { return viewOf(mapping, size); }};
}

}  // namespace

std::optional<Mapped> mapFile(const std::string& path, OpenError& error) {
    error = OpenError::None;
    Handle file(openRead(path, error));
    if (file.get() == INVALID_HANDLE_VALUE) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) {
        error = OpenError::Other;
        return std::nullopt;
    }
    if (size.QuadPart == 0) return Mapped{};
    // The mapping stays open while a view may still be asked for.
    const std::shared_ptr<void> mapping(
        CreateFileMappingW(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr), HandleCloser());
    if (!mapping) {
        error = OpenError::Other;
        return std::nullopt;
    }
    std::optional<Mapped> view = viewOf(mapping, static_cast<std::size_t>(size.QuadPart));
    if (!view) error = OpenError::Other;
    return view;
}

bool writeOutput(std::string_view utf8) {
    return writeHandle(STD_OUTPUT_HANDLE, utf8);
}

void writeError(std::string_view utf8) {
    writeHandle(STD_ERROR_HANDLE, utf8);
}

void guardStandardStreams() {
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE h = GetStdHandle(which);
        if (h != nullptr && h != INVALID_HANDLE_VALUE) {
            // A handle value left behind by a closed descriptor is no handle at all.
            SetLastError(NO_ERROR);
            if (GetFileType(h) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR) continue;
        }
        const HANDLE null =
            CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (null != INVALID_HANDLE_VALUE) SetStdHandle(which, null);
    }
}

texts::Language userLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_CHINESE ? texts::Language::Chinese
                                                                     : texts::Language::English;
}

bool errorIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool outputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

namespace {

class HandleOutputFile : public OutputFile {
  public:
    HandleOutputFile(std::wstring path, std::wstring part, HANDLE file)
        : path_(std::move(path)), part_(std::move(part)), file_(file) {}
    ~HandleOutputFile() override {
        if (committed_) return;
        release();
        DeleteFileW(part_.c_str());
    }
    bool commit() override {
        committed_ = true;
        const bool flushed = FlushFileBuffers(file_) != 0;
        release();
        // A file that is open cannot be renamed over: the handle is closed first.
        if (flushed && MoveFileExW(part_.c_str(), path_.c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return true;
        DeleteFileW(part_.c_str());
        return false;
    }

  private:
    void release() {
        if (!file_) return;
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        CloseHandle(file_);
        file_ = nullptr;
    }

    std::wstring path_, part_;
    HANDLE file_;
    bool committed_ = false;
};

// Nothing to rename: the bytes went where they go.
class DeviceOutput : public OutputFile {
  public:
    explicit DeviceOutput(HANDLE device) : device_(device) {}
    ~DeviceOutput() override {
        SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
        CloseHandle(device_);
    }
    DeviceOutput(const DeviceOutput&) = delete;
    DeviceOutput& operator=(const DeviceOutput&) = delete;
    bool commit() override { return true; }

  private:
    HANDLE device_;
};

// Whether `name` matches `pattern` ("*" any run, "?" one character), letters in either case
// as Windows compares names. FindFirstFile alone would also match by the short 8.3 names
// ("*.log" finding "a.logger").
bool matchesPattern(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0, n = 0, star = std::wstring_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() &&
            (pattern[p] == L'?' || std::towlower(pattern[p]) == std::towlower(name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

}  // namespace

std::unique_ptr<OutputFile> OutputFile::open(const std::string& path, OpenError& error) {
    error = OpenError::None;
    const std::wstring name = wide(path);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = OpenError::Folder;
        return nullptr;
    }
    // A device (NUL, CON, a named pipe) is written to as it is: a rename would put a plain
    // file in its place, or make one of a device's name.
    const HANDLE existing =
        CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (existing != INVALID_HANDLE_VALUE) {
        if (!isDiskFile(existing)) {
            SetStdHandle(STD_OUTPUT_HANDLE, existing);
            return std::make_unique<DeviceOutput>(existing);
        }
        CloseHandle(existing);
    }
    // Beside the file, so that the rename stays on its volume.
    const std::wstring part = name + L"." + std::to_wstring(GetCurrentProcessId()) + L".part";
    const HANDLE h = CreateFileW(part.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = errorOf(GetLastError());
        return nullptr;
    }
    SetStdHandle(STD_OUTPUT_HANDLE, h);
    return std::make_unique<HandleOutputFile>(name, part, h);
}

std::vector<std::string> expandOperand(const std::string& operand) {
    if (operand.find_first_of("*?") == std::string::npos) return {operand};
    const std::size_t cut = operand.find_last_of("\\/:");
    const std::string folder = cut == std::string::npos ? "" : operand.substr(0, cut + 1);
    if (folder.find_first_of("*?") != std::string::npos) return {};  // only the name's part
    const std::wstring pattern = wide(operand.substr(folder.size()));
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(wide(operand).c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                matchesPattern(pattern, found.cFileName))
                names.emplace_back(found.cFileName);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_LESS_THAN;
    });
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const std::wstring& n : names)
        out.push_back(folder + narrow(n.data(), static_cast<int>(n.size())));
    return out;
}

bool pathExists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string programFolder() {
    const std::wstring folder = win32::programFolder();
    return narrow(folder.data(), static_cast<int>(folder.size()));
}

std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(wide(folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(narrow(found.cFileName, lstrlenW(found.cFileName)));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

std::vector<std::string> arguments(int, char**) {
    // The wide command line: the narrow one has lost what the code page cannot hold.
    int count = 0;
    wchar_t** words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> out;
    for (int i = 1; words && i < count; ++i) out.push_back(narrow(words[i], lstrlenW(words[i])));
    if (words) LocalFree(words);
    return out;
}

}  // namespace cli
