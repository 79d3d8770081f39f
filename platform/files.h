// Whole-file reads and writes by path. Paths are GBK texts; the Win32 side opens them
// through the wide-character calls, so any file name works on any system locale.
#pragma once

#include <string>

namespace platform {

class Files {
  public:
    virtual ~Files() = default;
    // The whole file into `bytes`; false when it is missing, locked or cannot be read,
    // and then `bytes` is left empty.
    virtual bool readAll(const std::string& path, std::string& bytes) = 0;
    // Creates or truncates the file and writes `bytes`; false when any step fails.
    virtual bool writeAll(const std::string& path, const std::string& bytes) = 0;
    virtual bool exists(const std::string& path) = 0;
};


}  // namespace platform
