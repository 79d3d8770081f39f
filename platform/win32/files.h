// Whole-file reads, writes and read-only mappings through the wide-character calls; the
// program's services object holds one.
#pragma once

#include "platform/files.h"

namespace platform::win32 {

class FileSystem final : public Files {
  public:
    bool readAll(const std::string& path, std::string& bytes) override;
    bool writeAll(const std::string& path, const std::string& bytes) override;
    bool exists(const std::string& path) override;
    std::optional<FileView> map(const std::string& path) override;
};

}  // namespace platform::win32
