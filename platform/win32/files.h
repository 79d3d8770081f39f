// Whole-file reads, writes and read-only mappings through the wide-character calls; the
// program's services object holds one.
#pragma once

#include "platform/files.h"

namespace platform::win32 {

class FileSystem final : public Files {
  public:
    bool readAll(const Path& path, std::string& bytes) override;
    bool writeAll(const Path& path, const std::string& bytes) override;
    bool writePieces(const Path& path,
                     const std::function<void(const PieceWriter&)>& produce) override;
    bool exists(const Path& path) override;
    std::optional<FileView> map(const Path& path) override;
    std::vector<std::string> namesIn(const Path& folder) override;
};

}  // namespace platform::win32
