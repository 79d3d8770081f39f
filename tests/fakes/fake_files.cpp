#include "tests/fakes/fake_files.h"

#if __has_include(<sys/mman.h>)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define VERDALO_FAKE_MMAP 1
#endif

#include <cstdio>
#include <filesystem>
#include <memory>

namespace fake {

bool Files::readAll(const platform::Path& path, std::string& bytes) {
    std::lock_guard lock(mutex_);
    bytes.clear();
    auto it = files_.find(path);
    if (it == files_.end() || unreadable.contains(path)) return false;
    bytes = it->second;
    return true;
}

bool Files::writeAll(const platform::Path& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    ++writes;
    if (unwritable.contains(path)) return false;
    files_[path] = bytes;
    return true;
}

bool Files::exists(const platform::Path& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

std::optional<platform::FileView> Files::map(const platform::Path& path) {
    auto bytes = std::make_shared<std::string>();
    if (!readAll(path, *bytes)) return std::nullopt;
    const std::string_view view = *bytes;
    return platform::FileView(view, [bytes = std::move(bytes)]() mutable { bytes.reset(); });
}

void Files::put(const platform::Path& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = bytes;
}

std::string Files::get(const platform::Path& path) {
    std::lock_guard lock(mutex_);
    auto it = files_.find(path);
    return it == files_.end() ? std::string() : it->second;
}

void Files::clear() {
    std::lock_guard lock(mutex_);
    files_.clear();
    unreadable.clear();
    unwritable.clear();
    writes = 0;
}

namespace {
struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The disk's own spelling of the name: UTF-16 for the wide calls on Windows, UTF-8 here.
std::FILE* openFile(const platform::Path& path, bool write) {
#ifdef _WIN32
    return _wfopen(std::wstring(path.units().begin(), path.units().end()).c_str(),
                   write ? L"wb" : L"rb");
#else
    return std::fopen(path.utf8().c_str(), write ? "wb" : "rb");
#endif
}
}  // namespace

bool DiskFiles::readAll(const platform::Path& path, std::string& bytes) {
    bytes.clear();
    FilePtr f(openFile(path, false));
    if (!f) return false;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) bytes.append(buffer, n);
    if (std::ferror(f.get())) {
        bytes.clear();
        return false;
    }
    return true;
}

bool DiskFiles::writeAll(const platform::Path& path, const std::string& bytes) {
    std::FILE* raw = openFile(path, true);
    if (!raw) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
    return (std::fclose(raw) == 0) && written;
}

std::optional<platform::FileView> DiskFiles::map(const platform::Path& path) {
#ifdef VERDALO_FAKE_MMAP
    const int fd = ::open(path.utf8().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    struct stat info;
    void* base = MAP_FAILED;
    const bool sized = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (sized && info.st_size > 0)
        base =
            ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);  // the mapping keeps the file
    if (!sized || (info.st_size > 0 && base == MAP_FAILED)) return std::nullopt;
    if (info.st_size == 0) return platform::FileView();
    const std::size_t size = static_cast<std::size_t>(info.st_size);
    return platform::FileView(std::string_view(static_cast<const char*>(base), size),
                              [base, size] { ::munmap(base, size); });
#else
    // Where there is no mmap (the Windows test build), a copy serves a test as well.
    auto bytes = std::make_shared<std::string>();
    if (!readAll(path, *bytes)) return std::nullopt;
    const std::string_view view = *bytes;
    return platform::FileView(view, [bytes = std::move(bytes)]() mutable { bytes.reset(); });
#endif
}

bool DiskFiles::exists(const platform::Path& path) {
    FilePtr f(openFile(path, false));
    return f != nullptr;
}

std::vector<std::string> Files::namesIn(const platform::Path& folder) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (!listsFolders) return names;
    const std::string in = folder.utf8();
    for (const auto& [path, bytes] : files_) {
        const std::string name = path.utf8();
        if (name.size() > in.size() && name.starts_with(in) &&
            name.find_first_of("\\/", in.size()) == std::string::npos)
            names.push_back(name.substr(in.size()));
    }
    return names;
}

std::vector<std::string> DiskFiles::namesIn(const platform::Path& folder) {
    std::vector<std::string> names;
    if (!listsFolders) return names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder.utf8(), error))
        if (entry.is_regular_file(error)) names.push_back(entry.path().filename().string());
    return names;
}

}  // namespace fake
