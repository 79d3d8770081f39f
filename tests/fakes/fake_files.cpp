#include "tests/fakes/fake_files.h"

#include <cstdio>
#include <memory>

namespace fake {

bool Files::readAll(const std::string& path, std::string& bytes) {
    std::lock_guard lock(mutex_);
    bytes.clear();
    auto it = files_.find(path);
    if (it == files_.end() || unreadable.count(path)) return false;
    bytes = it->second;
    return true;
}

bool Files::writeAll(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    ++writes;
    if (unwritable.count(path)) return false;
    files_[path] = bytes;
    return true;
}

bool Files::exists(const std::string& path) {
    std::lock_guard lock(mutex_);
    return files_.count(path) != 0;
}

void Files::put(const std::string& path, const std::string& bytes) {
    std::lock_guard lock(mutex_);
    files_[path] = bytes;
}

bool Files::has(const std::string& path) {
    return exists(path);
}

std::string Files::get(const std::string& path) {
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
}  // namespace

bool DiskFiles::readAll(const std::string& path, std::string& bytes) {
    bytes.clear();
    FilePtr f(std::fopen(path.c_str(), "rb"));
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

bool DiskFiles::writeAll(const std::string& path, const std::string& bytes) {
    std::FILE* raw = std::fopen(path.c_str(), "wb");
    if (!raw) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), raw) == bytes.size();
    return (std::fclose(raw) == 0) && written;
}

bool DiskFiles::exists(const std::string& path) {
    FilePtr f(std::fopen(path.c_str(), "rb"));
    return f != nullptr;
}

}  // namespace fake
