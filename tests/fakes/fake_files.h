// Files for native tests: an in-memory store that can refuse chosen paths, and one that
// reaches the real disk (for tests that hand files to outside programs).
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/files.h"

namespace fake {

class Files : public platform::Files {
  public:
    bool readAll(const std::string& path, std::string& bytes) override;
    bool writeAll(const std::string& path, const std::string& bytes) override;
    bool exists(const std::string& path) override;
    // A view of a copy taken through readAll, so what holds or refuses reads holds or
    // refuses maps too.
    std::optional<platform::FileView> map(const std::string& path) override;
    // Test helpers.
    void put(const std::string& path, const std::string& bytes);
    bool has(const std::string& path);
    std::string get(const std::string& path);
    void clear();                      // no files, no refusals, no writes counted
    std::set<std::string> unreadable;  // readAll fails (locked, no permission)
    std::set<std::string> unwritable;  // writeAll fails and leaves the file as it was
    int writes = 0;

  private:
    std::recursive_mutex mutex_;
    std::map<std::string, std::string> files_;
};

class DiskFiles : public platform::Files {
  public:
    bool readAll(const std::string& path, std::string& bytes) override;
    bool writeAll(const std::string& path, const std::string& bytes) override;
    bool exists(const std::string& path) override;
    // A read-only mmap of the file (a copy where there is no mmap).
    std::optional<platform::FileView> map(const std::string& path) override;
};

}  // namespace fake
