// The zip container of .xlsx workbooks. Reading trusts nothing in the file: the central
// directory says where each entry lies and how big it becomes; an entry is inflated into a
// buffer of exactly that size, and sizes or ratios no real workbook has are refused.
// Writing makes a plain zip (no zip64, no data descriptors) whose entries are deflated.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace workbook {

enum class ZipStatus {
    Ok,
    NotZip,       // no end-of-central-directory record: not a zip at all
    Broken,       // directory, headers, offsets, compressed data or checksum do not agree
    Unsupported,  // encrypted entries, methods other than stored and deflate, zip64
    TooLarge,     // a declared size past kMaxEntrySize, or a ratio past kMaxRatio
    NoEntry,      // no entry of that name
};

// The most one entry may unpack to, and the most it may grow over its compressed size.
// Deflate itself cannot go past about 1032:1; a real sheet stays well under 100:1.
inline constexpr std::uint32_t kMaxEntrySize = 512u << 20;
inline constexpr std::uint32_t kMaxRatio = 1000;

class ZipReader {
  public:
    struct Entry {
        std::string name;
        std::uint16_t flags;
        std::uint16_t method;
        std::uint32_t crc;
        std::uint32_t packedSize;
        std::uint32_t size;
        std::uint32_t localHeader;
    };

    // Reads the central directory of `file`, which must outlive the reader.
    ZipStatus open(std::string_view file);
    const std::vector<Entry>& entries() const { return entries_; }
    // The entry whose name matches `name` without ASCII case (part names are
    // case-insensitive), or null.
    const Entry* find(std::string_view name) const;
    // The bytes of entry `name`, checked against its size and checksum.
    ZipStatus read(std::string_view name, std::string& out) const;
    ZipStatus read(const Entry& entry, std::string& out) const;

  private:
    std::string_view file_;
    std::vector<Entry> entries_;
    std::unordered_map<std::string, std::size_t> byName_;  // lower-case name to entry
};

// Builds a zip in memory. An entry's bytes may come in pieces; they are deflated as they
// come, so the whole text of a large part never needs to be held at once.
class ZipWriter {
  public:
    // Deflate level 1 by default: sheet XML is repetitive enough that the fastest setting
    // shrinks it about twelvefold, only 5 % short of the default level, at three times
    // its speed.
    explicit ZipWriter(int level = 1);
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    void begin(std::string_view name);
    void append(std::string_view bytes);
    void end();
    void add(std::string_view name, std::string_view bytes) {
        begin(name);
        append(bytes);
        end();
    }
    // The finished archive (the writer is spent afterwards). Empty when an entry or the
    // archive outgrew what a zip without zip64 holds.
    std::string finish();

  private:
    struct Stream;
    void deflateSome(int flush);

    struct Written {
        std::string name;
        std::uint32_t crc, packedSize, size, localHeader;
    };
    std::string out_;
    std::vector<Written> written_;
    std::unique_ptr<Stream> stream_;
    int level_;
    std::uint64_t size_ = 0;  // of the entry under way
    bool overflow_ = false;
};

}  // namespace workbook
