#include "app/cli/progress.h"

#include <cstdio>

namespace cli {

std::string byteCount(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"B", "KB", "MB", "GB", "TB"};
    auto value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(kUnits)) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string Progress::line(const texts::CliTexts& texts, std::uint64_t bytes,
                           std::uint64_t linesPerSecond, std::optional<unsigned> share) {
    std::string out =
        texts::fill(texts.progress, {byteCount(bytes), std::to_string(linesPerSecond)});
    if (share) out += texts::fill(texts.progressShare, {std::to_string(*share)});
    return out;
}

void Progress::start(std::optional<std::uint64_t> size) {
    before_ += bytes_;
    bytes_ = 0;
    size_ = size;
}

void Progress::advance(std::uint64_t bytes, std::uint64_t lines) {
    if (!shown_) return;
    bytes_ = bytes;
    lines_ += lines;
    const Clock::time_point now = Clock::now();
    // A few updates a second: more only costs the terminal.
    if (now - shownAt_ < std::chrono::milliseconds(250)) return;
    shownAt_ = now;
    const double seconds = std::chrono::duration<double>(now - started_).count();
    std::optional<unsigned> share;
    if (size_ && *size_ > 0)
        share = static_cast<unsigned>(std::min<std::uint64_t>(100, bytes_ * 100 / *size_));
    const std::string text = line(
        texts_, before_ + bytes_,
        seconds > 0 ? static_cast<std::uint64_t>(static_cast<double>(lines_) / seconds) : 0, share);
    // Written over the last one; spaces cover what a longer one left.
    std::string out = "\r" + text;
    if (text.size() < width_) out += std::string(width_ - text.size(), ' ');
    width_ = std::max(width_, text.size());
    writeError(out);
}

void Progress::clear() {
    if (width_ == 0) return;
    writeError("\r" + std::string(width_, ' ') + "\r");
    width_ = 0;
}

}  // namespace cli
