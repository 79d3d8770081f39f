#include "app/cli/gzip.h"

#include <zlib.h>

#include <algorithm>
#include <string>

namespace cli {
namespace {

constexpr std::size_t kPiece = 1 << 16;

// The bytes read to look at the magic, then the rest of the stream.
class Replayed : public Input {
  public:
    Replayed(std::unique_ptr<Input> inner, std::string head, bool failed)
        : inner_(std::move(inner)), head_(std::move(head)), failed_(failed) {}
    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        if (at_ < head_.size()) {
            const std::size_t n = std::min(size, head_.size() - at_);
            std::copy_n(head_.data() + at_, n, buffer);
            at_ += n;
            return static_cast<std::ptrdiff_t>(n);
        }
        return failed_ ? -1 : inner_->read(buffer, size);
    }
    std::optional<std::uint64_t> size() const override { return inner_->size(); }

  private:
    std::unique_ptr<Input> inner_;
    std::string head_;
    std::size_t at_ = 0;
    bool failed_;
};

class Gunzipped : public Input {
  public:
    explicit Gunzipped(std::unique_ptr<Input> inner) : inner_(std::move(inner)), in_(kPiece, '\0') {
        // 16 + the largest window: a gzip header and trailer (checked), no zlib or raw stream.
        ready_ = inflateInit2(&z_, 16 + MAX_WBITS) == Z_OK;
    }
    ~Gunzipped() override {
        if (ready_) inflateEnd(&z_);
    }
    Gunzipped(const Gunzipped&) = delete;
    Gunzipped& operator=(const Gunzipped&) = delete;

    std::ptrdiff_t read(char* buffer, std::size_t size) override {
        if (!ready_ || damaged_ || failed_) return -1;
        while (true) {
            if (z_.avail_in == 0 && !ended_) {
                const std::ptrdiff_t got = inner_->read(in_.data(), in_.size());
                if (got < 0) {
                    failed_ = true;
                    return -1;
                }
                ended_ = got == 0;
                z_.next_in = reinterpret_cast<Bytef*>(in_.data());
                z_.avail_in = static_cast<uInt>(got);
            }
            if (memberEnded_) {
                if (z_.avail_in == 0) {
                    if (ended_) return 0;
                    continue;
                }
                // Another member follows (logs concatenated after rotation); whatever
                // else follows fails its header check below.
                inflateReset(&z_);
                memberEnded_ = false;
            }
            z_.next_out = reinterpret_cast<Bytef*>(buffer);
            z_.avail_out = static_cast<uInt>(std::min<std::size_t>(size, 1u << 30));
            const int status = inflate(&z_, Z_NO_FLUSH);
            const auto made =
                static_cast<std::ptrdiff_t>(std::min<std::size_t>(size, 1u << 30) - z_.avail_out);
            if (status == Z_STREAM_END) {
                memberEnded_ = true;
            } else if (status != Z_OK && status != Z_BUF_ERROR) {
                damaged_ = true;
                return -1;
            }
            if (made > 0) return made;
            // The stream ended inside a member: cut short.
            if (!memberEnded_ && ended_ && z_.avail_in == 0) {
                damaged_ = true;
                return -1;
            }
        }
    }
    std::optional<std::uint64_t> size() const override { return std::nullopt; }
    bool damaged() const override { return damaged_; }

  private:
    std::unique_ptr<Input> inner_;
    std::string in_;
    z_stream z_{};
    bool ready_ = false, ended_ = false, memberEnded_ = false, damaged_ = false, failed_ = false;
};

}  // namespace

std::unique_ptr<Input> decompressed(std::unique_ptr<Input> input) {
    std::string head(2, '\0');
    std::size_t have = 0;
    bool failed = false;
    // Two bytes, however a pipe gives them; no more once the first is no gzip's, for a
    // program that sends one empty line and waits for its answer.
    while (have < head.size() && (have == 0 || head[0] == '\x1f')) {
        const std::ptrdiff_t got = input->read(head.data() + have, head.size() - have);
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    head.resize(have);
    auto replayed = std::make_unique<Replayed>(std::move(input), head, failed);
    if (head != "\x1f\x8b") return replayed;
    return std::make_unique<Gunzipped>(std::move(replayed));
}

}  // namespace cli
