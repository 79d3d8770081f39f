// Whole-file reads and writes through the wide-character calls: paths are GBK inside the
// program and UTF-16 here, so a Chinese file name opens on an English system too.
#include "platform/files.h"

#include <windows.h>

#include "text/codepage.h"

namespace {

std::wstring widePath(const std::string& gbk) {
    const std::u16string wide = codepage::gbkToUtf16(gbk);
    return std::wstring(wide.begin(), wide.end());
}

class FileHandle {
  public:
    explicit FileHandle(HANDLE handle) : handle_(handle) {}
    ~FileHandle() {
        if (valid()) CloseHandle(handle_);
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return handle_; }
    // Closes now, so a failure to flush on close is seen.
    bool close() {
        const bool ok = CloseHandle(handle_) != 0;
        handle_ = INVALID_HANDLE_VALUE;
        return ok;
    }

  private:
    HANDLE handle_;
};

class Win32Files : public platform::Files {
  public:
    bool readAll(const std::string& path, std::string& bytes) override {
        bytes.clear();
        if (path.empty()) return false;
        // Others may keep the file open for writing (a log being filled); a program that
        // holds it without sharing makes this fail, as it should.
        FileHandle file(CreateFileW(widePath(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file.valid()) return false;
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
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
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

    bool writeAll(const std::string& path, const std::string& bytes) override {
        if (path.empty()) return false;
        FileHandle file(CreateFileW(widePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return false;
        std::size_t done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            const DWORD want =
                static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
            if (!WriteFile(file.get(), bytes.data() + done, want, &written, nullptr) ||
                written == 0)
                return false;
            done += written;
        }
        return file.close();
    }

    bool exists(const std::string& path) override {
        return !path.empty() &&
               GetFileAttributesW(widePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
};

Win32Files g_win32Files;
struct Install {
    Install() { platform::setFiles(&g_win32Files); }
} g_installFiles;

}  // namespace
