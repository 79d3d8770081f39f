// Reading's progress on standard error, for a person watching a terminal: bytes read, lines
// a second and, when the file's size is known, its share; a few updates a second on one
// line, cleared when reading ends. Nothing at all when standard error is no terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/cli/os.h"
#include "texts/cli_texts.h"

namespace cli {

// Counts the bytes read through it: the stream's own bytes, before any gzip is inflated.
class CountedInput : public Input {
  public:
    explicit CountedInput(std::unique_ptr<Input> inner) : inner_(std::move(inner)) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        const std::ptrdiff_t got = inner_->read(buffer, size);
        if (got > 0) bytes_ += static_cast<std::uint64_t>(got);
        return got;
    }
    std::optional<std::uint64_t> size() const override { return inner_->size(); }
    std::uint64_t bytes() const { return bytes_; }

  private:
    std::unique_ptr<Input> inner_;
    std::uint64_t bytes_ = 0;
};

// "12.3 MB": a byte count as a person reads it.
std::string byteCount(std::uint64_t bytes);

class Progress {
  public:
    using Clock = std::chrono::steady_clock;
    Progress(bool shown, const texts::CliTexts& texts) : shown_(shown), texts_(texts) {}
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // A new file starts, `size` bytes long when known.
    void start(std::optional<std::uint64_t> size);
    // `bytes` of the file read so far, `lines` more lines read.
    void advance(std::uint64_t bytes, std::uint64_t lines);
    // Takes the line off the terminal (before a message, and at the end).
    void clear();
    // The line as shown, for `bytes` read at `linesPerSecond`, `share` percent of the file.
    static std::string line(const texts::CliTexts& texts, std::uint64_t bytes,
                            std::uint64_t linesPerSecond, std::optional<unsigned> share);

  private:
    bool shown_;
    const texts::CliTexts& texts_;
    std::optional<std::uint64_t> size_;
    std::uint64_t before_ = 0, bytes_ = 0, lines_ = 0;  // before_: of the files before this one
    Clock::time_point started_ = Clock::now(), shownAt_{};
    std::size_t width_ = 0;  // of the line on the terminal, 0 when there is none
};

}  // namespace cli
