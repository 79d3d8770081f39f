// Files for native tests: an in-memory store that can refuse chosen paths, and one that
// reaches the real disk (for tests that hand files to outside programs).
#pragma once

#include <initializer_list>
#include <map>
#include <mutex>
#include <ostream>
#include <set>
#include <string>

#include "platform/files.h"

namespace fake {

// A path a test names by a GBK literal.
inline platform::Path path(const std::string& gbk) {
    return platform::Path::fromUtf8(gbk);
}

// Paths that a test names by GBK literals or gives as they are.
class PathSet {
  public:
    PathSet() = default;
    PathSet(std::initializer_list<std::string> gbk) {
        for (const std::string& p : gbk) insert(p);
    }
    void insert(const std::string& gbk) { paths_.insert(path(gbk)); }
    void insert(const platform::Path& p) { paths_.insert(p); }
    bool contains(const platform::Path& p) const { return paths_.count(p) != 0; }
    void clear() { paths_.clear(); }

  private:
    std::set<platform::Path> paths_;
};

class Files : public platform::Files {
  public:
    bool readAll(const platform::Path& path, std::string& bytes) override;
    bool writeAll(const platform::Path& path, const std::string& bytes) override;
    bool exists(const platform::Path& path) override;
    // A view of a copy taken through readAll, so what holds or refuses reads holds or
    // refuses maps too.
    std::optional<platform::FileView> map(const platform::Path& path) override;
    // With `listsFolders`, the files put in `folder` (not below it); without, none.
    std::vector<std::string> namesIn(const platform::Path& folder) override;
    bool listsFolders = false;
    // Test helpers, each also by a GBK literal.
    void put(const platform::Path& path, const std::string& bytes);
    void put(const std::string& gbkPath, const std::string& bytes) { put(path(gbkPath), bytes); }
    bool has(const platform::Path& path) { return exists(path); }
    bool has(const std::string& gbkPath) { return has(path(gbkPath)); }
    std::string get(const platform::Path& path);
    std::string get(const std::string& gbkPath) { return get(path(gbkPath)); }
    void clear();        // no files, no refusals, no writes counted
    PathSet unreadable;  // readAll fails (locked, no permission)
    PathSet unwritable;  // writeAll fails and leaves the file as it was
    int writes = 0;

  private:
    std::recursive_mutex mutex_;
    std::map<platform::Path, std::string> files_;
};

class DiskFiles : public platform::Files {
  public:
    bool readAll(const platform::Path& path, std::string& bytes) override;
    bool writeAll(const platform::Path& path, const std::string& bytes) override;
    bool exists(const platform::Path& path) override;
    // A read-only mmap of the file (a copy where there is no mmap).
    std::optional<platform::FileView> map(const platform::Path& path) override;
    // The same by the name the native system gives the file (UTF-8).
    std::optional<platform::FileView> map(const std::string& nativePath) {
        return map(platform::Path::fromUtf8(nativePath));
    }
    // With `listsFolders`, the files of a folder as the program sees them (the data files
    // beside the data file named); without, none, so that a test's folder adds no file.
    std::vector<std::string> namesIn(const platform::Path& folder) override;
    bool listsFolders = false;
};

}  // namespace fake

namespace platform {
// GoogleTest shows a path in its messages as UTF-8.
inline void PrintTo(const Path& path, std::ostream* out) {
    *out << '"' << path.utf8() << '"';
}
}  // namespace platform
