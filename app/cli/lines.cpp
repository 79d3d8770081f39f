#include "app/cli/lines.h"

#include <algorithm>
#include <cstring>

#include "text/codepage.h"

namespace cli {
namespace {

bool hasHighByte(std::string_view bytes) {
    // Eight bytes at a time: a log is mostly ASCII and this runs on every block until a
    // byte past ASCII decides the stream's encoding.
    std::size_t i = 0;
    std::uint64_t any = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes.data() + i, 8);
        any |= word;
    }
    for (; i < bytes.size(); ++i) any |= static_cast<unsigned char>(bytes[i]);
    return (any & 0x8080808080808080ull) != 0;
}

bool isUtf16(Encoding e) {
    return e == Encoding::Utf16Le || e == Encoding::Utf16Be;
}

// Where a token that holds an address ends.
bool endsToken(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u <= ' ' || u >= 0x7F ||
           std::string_view(",;\"'`()<>{}[|").find(c) != std::string_view::npos;
}

// Whether the run that ends at `runEnd` begins a reverse-DNS name.
bool startsReverseName(std::string_view scan, std::size_t runEnd) {
    if (runEnd == 0 || scan[runEnd - 1] != '.') return false;
    const std::string_view rest = scan.substr(runEnd);
    for (const std::string_view zone :
         {std::string_view("in-addr.arpa"), std::string_view("ip6.arpa")}) {
        if (rest.size() >= zone.size() &&
            std::equal(zone.begin(), zone.end(), rest.begin(), [](char z, char c) {
                return z == (c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
            }))
            return true;
    }
    return false;
}

}  // namespace

std::ptrdiff_t BlockReader::fill() {
    const std::size_t before = pending_.size();
    pending_.resize(before + blockSize_);
    const std::ptrdiff_t got = input_.read(pending_.data() + before, blockSize_);
    pending_.resize(before + static_cast<std::size_t>(got > 0 ? got : 0));
    if (got <= 0) ended_ = true;
    if (got < 0) failed_ = true;
    return got;
}

std::size_t BlockReader::lastLineEnd() {
    std::size_t found = 0;
    if (isUtf16(encoding_)) {
        const char high = encoding_ == Encoding::Utf16Be ? 0 : '\n';
        const char low = encoding_ == Encoding::Utf16Be ? '\n' : 0;
        for (std::size_t i = (pending_.size() & ~std::size_t{1}); i >= searched_ + 2; i -= 2) {
            if (pending_[i - 2] == high && pending_[i - 1] == low) {
                found = i;
                break;
            }
        }
        searched_ = pending_.size() & ~std::size_t{1};
    } else {
        // Only the part read since the last search: a long line is searched once.
        const std::size_t at = std::string_view(pending_).substr(searched_).rfind('\n');
        if (at != std::string_view::npos) found = searched_ + at + 1;
        searched_ = pending_.size();
    }
    return found;
}

bool BlockReader::next(std::string& block, Encoding& encoding) {
    if (!started_) {
        started_ = true;
        // Only as far as a byte-order mark could go: a short first line typed or piped in
        // is answered without waiting for more.
        while (codepage::mayGrowIntoMark(pending_) && !ended_) fill();
        if (failed_) return false;
        unsearched_ = true;
        const codepage::ByteOrderMark head = codepage::byteOrderMark(pending_);
        Encoding marked = Encoding::Undecided;
        if (head.mark == codepage::Mark::Utf8) marked = Encoding::Utf8;
        if (head.mark == codepage::Mark::Utf16Le) marked = Encoding::Utf16Le;
        if (head.mark == codepage::Mark::Utf16Be) marked = Encoding::Utf16Be;
        if (forced_ == Encoding::Undecided || forced_ == marked) pending_.erase(0, head.length);
        encoding_ = forced_ == Encoding::Undecided ? marked : forced_;
    }
    while (!failed_) {
        std::size_t cut = 0;
        if (ended_) {
            if (pending_.empty()) return false;
            cut = pending_.size();
        } else {
            // What the start read may already hold lines; after that, read on.
            const std::ptrdiff_t got = unsearched_ ? 0 : fill();
            unsearched_ = false;
            if (failed_) break;
            // A full block, or all the input there is for now (a pipe between writes): cut.
            if (ended_ || pending_.size() >= blockSize_ ||
                got < static_cast<std::ptrdiff_t>(blockSize_))
                cut = ended_ ? pending_.size() : lastLineEnd();
            if (cut == 0) continue;
        }
        block.swap(pending_);
        pending_.assign(block, cut, std::string::npos);
        block.resize(cut);
        searched_ = 0;
        if (encoding_ == Encoding::Undecided && hasHighByte(block))
            encoding_ = codepage::isUtf8Text(block) ? Encoding::Utf8 : Encoding::Gbk;
        encoding = encoding_ == Encoding::Undecided ? Encoding::Utf8 : encoding_;
        return true;
    }
    return false;
}

std::string_view blockText(std::string_view block, Encoding encoding, std::string& storage) {
    if (!isUtf16(encoding)) return block;
    storage = codepage::utf16ToUtf8(codepage::utf16FromBytes(block, encoding == Encoding::Utf16Be));
    return storage;
}

std::string_view scanText(std::string_view line, Encoding encoding, std::string& storage) {
    if (!hasHighByte(line)) return line;
    storage.assign(line);
    for (std::size_t i = 0; i < storage.size(); ++i) {
        const auto c = static_cast<unsigned char>(storage[i]);
        if (c < 0x80) continue;
        storage[i] = ' ';
        const auto next = i + 1 < storage.size() ? static_cast<unsigned char>(storage[i + 1]) : 0;
        // A GBK pair's second byte may be an ASCII letter: it is part of the character.
        if (encoding == Encoding::Gbk && codepage::isGbkPair(c, next)) storage[++i] = ' ';
    }
    return storage;
}

void forEachAddressToken(std::string_view scan, const AddressTokenFound& found) {
    std::vector<ip::Address> pending;
    std::size_t tokenEnd = 0;
    bool stopped = false;
    ip::forEachAddressRun(scan, [&](std::size_t runEnd, std::span<const ip::Address> addresses) {
        // A run never holds a token's end: one that ends past the token begins the next.
        if (runEnd > tokenEnd) {
            if (!pending.empty() && !found(tokenEnd, pending)) {
                stopped = true;
                return false;
            }
            pending.clear();
            tokenEnd = runEnd;
            while (tokenEnd < scan.size() && !endsToken(scan[tokenEnd])) ++tokenEnd;
        }
        if (!startsReverseName(scan, runEnd))
            pending.insert(pending.end(), addresses.begin(), addresses.end());
        return true;
    });
    if (!stopped && !pending.empty()) found(tokenEnd, pending);
}

std::string lineUtf8(std::string_view line, Encoding encoding) {
    if (!hasHighByte(line)) return std::string(line);
    if (encoding == Encoding::Gbk)
        return codepage::utf16ToUtf8(codepage::gbkToUtf16(std::string(line)));
    return codepage::utf16ToUtf8(codepage::utf8ToUtf16(std::string(line)));
}

}  // namespace cli
