// Lines from a stream of bytes: the stream's encoding, blocks of whole lines, each line's
// text for finding addresses, and the addresses in it.
//
// A line ends at LF (a CR before it belongs to the line end); the stream's last line needs
// none. So a stream has as many lines as `wc -l` counts, plus one when its last byte is not
// LF: what engines that pipe lines through a program count too. NUL bytes and lone CRs are
// text inside a line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/os.h"
#include "text/address.h"

namespace cli {

// Decided once for a stream: by its byte-order mark, else by the first of its blocks that
// holds a byte past ASCII, by the rule of the window's import (codepage::isUtf8Text).
enum class Encoding { Undecided, Utf8, Gbk, Utf16Le, Utf16Be };

// Blocks of whole lines, read in pieces of about `blockSize` bytes. A line longer than a
// block makes its block as long as it is: a block always ends at a line end, or at the
// stream's end.
class BlockReader {
  public:
    // `encoding` other than Undecided: the stream is read in it, whatever its bytes look
    // like (a byte-order mark of that encoding is still taken off).
    BlockReader(Input& input, std::size_t blockSize, Encoding encoding = Encoding::Undecided)
        : input_(input), blockSize_(blockSize), forced_(encoding) {}

    // The next block in `block` (its encoding in `encoding`): true; false at the end of the
    // stream, or when reading failed (failed() says which).
    bool next(std::string& block, Encoding& encoding);
    bool failed() const { return failed_; }

  private:
    std::ptrdiff_t fill();  // one more piece read into pending_: what read() gave
    // Just past the last line end in pending_ (only the part not yet searched), or 0.
    std::size_t lastLineEnd();

    Input& input_;
    std::size_t blockSize_;
    std::string pending_;
    std::size_t searched_ = 0;
    bool started_ = false, ended_ = false, failed_ = false;
    bool unsearched_ = false;  // what the start read holds has not been searched for lines
    Encoding forced_;
    Encoding encoding_ = Encoding::Undecided;
};

// The block as UTF-8 (UTF-8 and GBK blocks are returned as they are, in `block`; UTF-16
// ones converted into `storage`, half a character at the end becoming U+FFFD).
std::string_view blockText(std::string_view block, Encoding encoding, std::string& storage);

// Calls `line` for each line of a block's text, without its line end.
template <class F>
void forEachLine(std::string_view text, F&& line) {
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t end = text.find('\n', from);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) end = text.size();
        std::size_t stop = end;
        if (stop > from && text[stop - 1] == '\r') --stop;
        line(text.substr(from, stop - from));
        from = next;
    }
}

// The line with every character past ASCII made a space (GBK: both bytes of a pair), the
// same length as the line: what the address finder (ip::forEachAddressRun) sees of it.
// Such a character is a boundary to the finder whatever it is, and the positions stay
// those of the line.
std::string_view scanText(std::string_view line, Encoding encoding, std::string& storage);

// The addresses of a scanned line (scanText) token by token. A token is an address's run
// of characters with what is glued to it up to a space, a character past ASCII or one of
// , ; " ' ` ( ) < > { } [ |: the brackets and port of "[2001:db8::1]:443", the zone of
// "fe80::1%eth0", the length of "10.0.0.0/8", the rest of a word. What is written after a
// token never lands inside a word. `found(tokenEnd, addresses)` for each token that holds
// any, in order; it returns false to stop. The digits of a reverse-DNS name
// ("34.216.184.93.in-addr.arpa", "….ip6.arpa") spell no address.
using AddressTokenFound = std::function<bool(std::size_t, std::span<const ip::Address>)>;
void forEachAddressToken(std::string_view scan, const AddressTokenFound& found);

// The line as valid UTF-8: GBK converted, invalid UTF-8 bytes each a U+FFFD.
std::string lineUtf8(std::string_view line, Encoding encoding);

}  // namespace cli
