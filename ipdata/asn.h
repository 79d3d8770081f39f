// Network numbers offline: which autonomous system (AS number and organisation) announces
// an address, from asn.db (the layout in asn_format.h, written by ipdata/pack). The file is
// read where it lies; open() checks every count, offset, index and string of it once, so a
// lookup trusts what it reads and never leaves the file. An open database is immutable:
// any number of threads may share one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "text/address.h"

namespace ipdata {

// Why a file was refused. The wording for a user belongs to whoever shows it.
enum class AsnError {
    kNone,
    kTooShort,          // shorter than the header
    kNotAsnFile,        // the magic is missing: some other file
    kUnknownVersion,    // a layout this program does not read
    kBadHeader,         // the header's own size or the file size it gives disagree
    kSectionOutOfFile,  // a table's offset and size reach past the end or into another
    kUnsortedRanges,    // ranges out of order, reversed or overlapping
    kEntryOutOfTable,   // a range names an entry the table lacks
    kStringOutOfTable,  // an organisation lies outside the strings, or splits a character
    kBadText,           // the strings are not UTF-8, or hold a control character
};
// A short English name for logs and tests ("not-asn-file").
std::string_view asnErrorName(AsnError error);

struct AsnAnswer {
    std::uint32_t number = 0;
    // UTF-8, as the registries and DB-IP publish it: some names hold characters GBK lacks
    // ("18ª Regiao", a no-break space), and the exports and the command line write UTF-8.
    // A view into the file (UTF-8, as the rows hold it), valid while the database lives.
    std::string_view organisation;
    // The packed range that holds the address, both ends of its family.
    ip::Address first;
    ip::Address last;
};

// Where network numbers come from: asn.db, or a MaxMind DB file of AS numbers.
class Networks {
  public:
    virtual ~Networks() = default;
    virtual std::optional<AsnAnswer> find(const ip::Address& address) const = 0;
};

class AsnDatabase final : public Networks {
  public:
    // `owner` keeps `bytes` alive (a file mapping) for as long as the database lives. Null
    // and `error` set when the bytes are no sound asn.db.
    static std::unique_ptr<AsnDatabase> open(std::string_view bytes,
                                             std::shared_ptr<const void> owner, AsnError& error);

    std::optional<AsnAnswer> find(const ip::Address& address) const override;

    // The data's date as yyyymmdd (20260617), 0 when the file does not say.
    std::uint32_t date() const { return date_; }
    // Where the data comes from, as the pack program was told ("@ip-location-db/asn
    // 2.3.2026061719").
    std::string_view source() const { return source_; }
    std::size_t rangeCount(ip::Family family) const {
        return family == ip::Family::V4 ? v4Count_ : v6Count_;
    }
    // The family's ranges in address order, index below rangeCount(family).
    AsnAnswer rangeAt(ip::Family family, std::size_t index) const;
    // As Database::at: the same database reading another view of the same bytes.
    std::unique_ptr<AsnDatabase> at(std::string_view bytes,
                                    std::shared_ptr<const void> owner) const;

  private:
    AsnDatabase() = default;
    AsnAnswer answerOf(std::size_t entry, const ip::Address& first, const ip::Address& last) const;

    std::shared_ptr<const void> owner_;
    std::string_view bytes_, v4_, v6_, entries_, strings_, source_;
    std::size_t v4Count_ = 0, v6Count_ = 0;
    std::uint32_t date_ = 0;
    // For each value of an address's first 16 bits, the first range of the family that
    // ends at or after the block; one more at the end. A lookup searches only the ranges
    // between two neighbours, a handful where the file had hundreds of thousands.
    std::vector<std::uint32_t> v4Block_, v6Block_;
};

}  // namespace ipdata
