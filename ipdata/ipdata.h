// The offline address data: a file of IPv4 ranges, each with a region text
// "country|area|province|city|operator" ("0" where unknown), read without the network.
// File layout (all little-endian): at offset 0 the offsets of the first and the last index
// entry; each index entry is 12 bytes (first address, last address, then the data record's
// offset in the low 24 bits and its length in the high 8); a data record is a 4-byte city id
// followed by the region text in UTF-8.
//
// Everything is read and checked once, by open(); afterwards a Database is immutable, so
// one instance may serve any number of threads at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ipdata {

// Addresses are host-order numbers: 1.2.3.4 is 0x01020304.
struct Range {
    std::uint32_t first = 0;
    std::uint32_t last = 0;
    std::string region;   // GBK, the file's '|' fields
    std::string display;  // regionDisplay(region)
};

class Database {
  public:
    // nullopt and `reason` (GBK, for the user) when the bytes are not a usable data file.
    static std::optional<Database> open(std::string_view bytes, std::string& reason);

    // The range holding `address`; nullopt where the file has a gap.
    std::optional<Range> find(std::uint32_t address) const;

    // The ranges whose region holds every keyword (GBK) as a substring of its fields joined
    // by spaces, "0" fields left out ("中国 重庆 重庆市 电信"), in address order. Empty
    // keywords are ignored; with none left nothing matches. When `stop` turns true the walk
    // ends early and returns what it found so far.
    std::vector<Range> search(const std::vector<std::string>& keywords,
                              const std::atomic<bool>* stop = nullptr) const;

    std::size_t rangeCount() const { return entries_.size(); }

  private:
    struct Entry {
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t record;  // into records_
    };
    struct Record {
        std::string searchText;  // UTF-8, fields joined by spaces without "0" fields
        std::string region;      // GBK
        std::string display;
    };

    Database() = default;
    Range rangeAt(std::size_t index) const;

    std::vector<Entry> entries_;  // ascending, not overlapping
    std::vector<Record> records_;
};

// The region as a user reads it: province, city and operator, separated by spaces
// ("中国|0|重庆|重庆市|电信" gives "重庆 重庆市 电信"); the country in front unless it is
// China with a province known; "0" fields and a field repeating the one shown just before
// it left out ("0|0|0|内网IP|内网IP" gives "内网IP").
std::string regionDisplay(const std::string& region);
// "1.0.1.0-1.0.3.255".
std::string rangeDisplay(const Range& range);
// "1.2.3.4".
std::string addressDisplay(std::uint32_t address);
// A dotted IPv4 address, four decimal parts of up to three digits each, no larger than 255;
// spaces, tabs and line ends around it are allowed. nullopt for anything else.
std::optional<std::uint32_t> parseAddress(std::string_view dotted);

}  // namespace ipdata
