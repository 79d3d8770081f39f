// Whole-file reads and writes by path, and read-only views of whole files. Paths are
// UTF-16 (platform::Path); the Win32 side opens them through the wide-character calls, so
// any file name works on any system locale.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/path.h"

namespace platform {

// The bytes of a whole file, read-only, valid for the view's life (a mapping on Windows).
class FileView {
  public:
    FileView() = default;
    // `release` runs once, when the view ends; `again` makes another view of the bytes.
    FileView(std::string_view bytes, std::function<void()> release,
             std::function<std::optional<FileView>()> again = {})
        : bytes_(bytes), release_(std::move(release)), again_(std::move(again)) {}
    FileView(FileView&& other) noexcept
        : bytes_(std::exchange(other.bytes_, {})),
          release_(std::exchange(other.release_, {})),
          again_(std::exchange(other.again_, {})) {}
    FileView& operator=(FileView&& other) noexcept {
        if (this != &other) {
            end();
            bytes_ = std::exchange(other.bytes_, {});
            release_ = std::exchange(other.release_, {});
            again_ = std::exchange(other.again_, {});
        }
        return *this;
    }
    FileView(const FileView&) = delete;
    FileView& operator=(const FileView&) = delete;
    ~FileView() { end(); }

    std::string_view bytes() const { return bytes_; }
    // Another view of the same bytes, none of its pages read yet: a reader that checked
    // every page of this one keeps that one instead, so that what the check read need not
    // stay in memory. nullopt when there is none to be had.
    std::optional<FileView> again() const { return again_ ? again_() : std::optional<FileView>(); }

  private:
    void end() {
        if (release_) std::exchange(release_, {})();
        bytes_ = {};
    }

    std::string_view bytes_;
    std::function<void()> release_;
    std::function<std::optional<FileView>()> again_;
};

class Files {
  public:
    virtual ~Files() = default;
    // The whole file into `bytes`; false when it is missing, locked or cannot be read,
    // and then `bytes` is left empty.
    virtual bool readAll(const Path& path, std::string& bytes) = 0;
    // Creates or truncates the file and writes `bytes`; false when any step fails.
    virtual bool writeAll(const Path& path, const std::string& bytes) = 0;
    // Creates or truncates the file and writes what `produce` hands to its writer, piece by
    // piece, so that a long text is never whole in memory; false when any step fails. The
    // writer returns false once a write has failed, and `produce` may stop there. This
    // default gathers the pieces and writes them in one.
    using PieceWriter = std::function<bool(std::string_view piece)>;
    virtual bool writePieces(const Path& path,
                             const std::function<void(const PieceWriter&)>& produce) {
        std::string bytes;
        produce([&bytes](std::string_view piece) {
            bytes += piece;
            return true;
        });
        return writeAll(path, bytes);
    }
    virtual bool exists(const Path& path) = 0;
    // The whole file mapped read-only, without copying it; nullopt when it is missing,
    // locked, cannot be mapped or does not fit the address space. An empty file gives an
    // empty view.
    virtual std::optional<FileView> map(const Path& path) = 0;
    // The names (UTF-8) of the files in `folder`, folders left out, in no set order; none
    // where it cannot be read. The data files beside the program are found by it.
    virtual std::vector<std::string> namesIn(const Path& /*folder*/) { return {}; }
};

}  // namespace platform
