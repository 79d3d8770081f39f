// The offline address data: one interface over four file formats, told apart by content
// (the MaxMind DB reader, mmdb.h, is described there).
//   ipdb: IPv4 and IPv6 prefixes in one binary tree, records of tab-separated fields
//         named by JSON metadata (ipdb.cpp describes the layout). Read where it lies: the
//         database keeps the bytes it was opened over and copies none of them.
//   ip2region v1: sorted IPv4 ranges, each with "country|area|province|city|operator"
//         ("0" where unknown); read and copied once at open (ip2region.cpp).
//   qqwry.dat: sorted IPv4 ranges, each with two GBK texts ("country" and "area") reached
//         through redirects; read, converted to UTF-8 and copied once at open (qqwry.cpp).
// Every offset a file gives is checked against the file before it is followed; a damaged
// file is refused at open with a reason. An open Database is immutable, so one instance may
// serve any number of threads at once.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "text/address.h"

namespace ipdata {

// A record's fields by what they name (UTF-8); empty where the file has none ("0" in
// ip2region). ip2region has no district, owner or country code.
struct Fields {
    std::string country;
    std::string region;  // province, state
    std::string city;
    std::string district;
    std::string owner;
    std::string isp;
    std::string countryCode;
    // What world data adds (MaxMind DB files): decimal degrees as the file holds them, the
    // IANA time zone, the postal code, the continent's name.
    std::string latitude{};
    std::string longitude{};
    std::string timeZone{};
    std::string postalCode{};
    std::string continent{};
};

// Both ends are of one family, first <= last.
struct Range {
    ip::Address first;
    ip::Address last;
    std::string region;   // the record's fields as the file holds them ('|' or tab)
    std::string display;  // what a user reads: regionDisplay, or the ipdb answer
    Fields fields;
};

// A record's fields as views, in the order of Fields: country, region, city, district,
// owner, operator, country code.
inline constexpr std::size_t kRecordFields = 7;
using FieldViews = std::array<std::string_view, kRecordFields>;

// Where an address lies, without a copy of anything: the range that holds it and its
// record's fields, views into the file or the database, valid while the database lives (and
// for a database made by at(), until it lets go of its view).
struct Place {
    ip::Address first;
    ip::Address last;
    FieldViews fields{};
    std::string_view record;  // the record as the file holds it
    // The answer's text where the format words it itself (ip2region); empty: made of the
    // fields by appendDisplay.
    std::string_view shown;
    // The reader's own name for the record, for extras() (a MaxMind DB's data offset).
    std::uint32_t handle = 0;
    // Which file of several placed the address (Layered): 0 for the first.
    std::uint8_t layer = 0;
};

// What a record may say beyond a Place's fields; empty or nullopt where it says nothing.
struct Extras {
    std::optional<double> latitude;
    std::optional<double> longitude;
    std::string_view timeZone;
    std::string_view postalCode;
    std::string_view continent;  // its name (zh-CN, else en), or its code where it has none
    std::optional<std::uint32_t> asn;

    bool hasCoordinates() const { return latitude && longitude; }
};

// The answer's text of `place` at the end of `out`: country, region, city, district, owner
// and operator, one space apart; the country left out when it is 中国 and the region is
// known, empty fields and a field equal to the one before left out ("重庆 丰都县 电信").
void appendDisplay(const Place& place, std::string& out);
// `name` without the administrative suffix it ends in ("重庆市" is "重庆", "广西壮族自治区"
// "广西"), as the keyword search lets such a keyword match; `name` itself without one.
std::string_view withoutAdminSuffix(std::string_view name);
std::string displayOf(const Place& place);

// Another view of the bytes a database reads, and what keeps it alive.
struct BytesView {
    std::string_view bytes;
    std::shared_ptr<const void> owner;
};
using MoreViews = std::function<std::optional<BytesView>()>;

class Database {
  public:
    virtual ~Database() = default;

    // The range holding `address` (ipdb: the prefix that holds it); nullopt where the file
    // has no data for it. Copies nothing: what a lookup on the per-row path calls.
    virtual std::optional<Place> locate(const ip::Address& address) const = 0;
    // The same with the texts made.
    std::optional<Range> find(const ip::Address& address) const;
    // An IPv4 address as a host-order number (1.2.3.4 is 0x01020304).
    std::optional<Range> find(std::uint32_t ipv4) const { return find(ip::Address::v4(ipv4)); }

    // The ranges whose fields hold every keyword (UTF-8) as a substring of them joined by
    // spaces, IPv4 ranges first, each family in address order; adjacent ranges with the
    // same answer are one. Empty keywords are ignored; with none left nothing matches.
    // ipdb also lets a keyword ending in an administrative suffix ("重庆市", "广西壮族自治区")
    // match the name without it. When `stop` turns true the walk ends early and returns
    // what it found so far.
    std::vector<Range> search(const std::vector<std::string>& keywords,
                              const std::stop_token& stop = {}) const;
    // The ranges search() gives, handed to `each` one at a time as they are complete, none
    // kept here: a search over every range holds no list of them. `each` may move from its
    // range.
    virtual void searchEach(const std::vector<std::string>& keywords,
                            const std::function<void(Range&)>& each,
                            const std::stop_token& stop = {}) const = 0;
    // The ranges whose record `match` accepts (its fields as views; the version record
    // never), handed on as searchEach hands them: IPv4 first, each family in address order,
    // adjacent ranges with the same answer joined. A search by field, beside the keyword
    // search the window uses.
    virtual void searchWhere(const std::function<bool(const FieldViews&)>& match,
                             const std::function<void(Range&)>& each,
                             const std::stop_token& stop = {}) const = 0;

    // What the file says of `address` beyond the fields, for the place locate gave for it:
    // coordinates and the like. Empty from a format that holds none.
    virtual Extras extras(const ip::Address& /*address*/, const Place& /*place*/) const {
        return {};
    }
    // Whether extras() can say anything at all: a lookup of coordinates skips the files
    // that hold none.
    virtual bool hasExtras() const { return false; }
    // extras() for `address` where no place was asked for (another file gave the answer):
    // a format whose fields cost a walk of their own reads only what extras() needs.
    virtual Extras extrasAt(const ip::Address& address) const {
        const std::optional<Place> place = locate(address);
        return place ? extras(address, *place) : Extras{};
    }

    // Ranges of both families, adjacent ranges of one record counted once.
    virtual std::size_t rangeCount() const = 0;
    // "ipdb", "ip2region", "mmdb" or "qqwry".
    virtual std::string_view formatName() const = 0;
    // The file's version record, UTF-8, its fields joined by spaces ("纯真网络
    // 2026年09月16日IP数据"); nullopt when the file has none. find, search and rangeCount
    // never give that record: it is no place's answer (isVersionStamp tells it).
    virtual std::optional<std::string> versionText() const { return std::nullopt; }
    // Who made the data, as the file says it (UTF-8): the version record's words without
    // its date stamp ("纯真网络"), a MaxMind DB's type and description; empty when it says
    // nothing.
    virtual std::string source() const;
    // The same database reading its bytes at `bytes`, another view of the same file mapping
    // (so of the same size), kept alive by `owner`: none of its pages read yet. Null from a
    // reader that copied what it needs, or when the sizes differ. With `more`, which gives
    // further such views, a walk over the whole file (a search) moves on to a fresh view
    // from time to time, so that the pages it has read go as it goes; such a database is
    // for one thread only.
    virtual std::unique_ptr<Database> at(std::string_view /*bytes*/,
                                         const std::shared_ptr<const void>& /*owner*/,
                                         const MoreViews& /*more*/ = {}) const {
        return nullptr;
    }
};

// `part` of `from`, at the same place in `to`, a view of the same bytes elsewhere.
inline std::string_view samePlace(std::string_view part, std::string_view from,
                                  std::string_view to) {
    if (part.empty()) return {};
    return to.substr(static_cast<std::size_t>(part.data() - from.data()), part.size());
}

// Whether a record's text (UTF-8) is a version stamp: a date "YYYY年M月D日" followed by
// "IP数据" ("2026年09月16日IP数据"). Data converted from qqwry-style files keeps that stamp
// as a record at the top of the IPv4 space (255.255.255.0/24) and at ::1, where a lookup
// would otherwise read it as a country and an operator.
bool isVersionStamp(std::string_view utf8);

// Why a file is refused at open.
enum class OpenError {
    // ip2region
    Empty,
    NoHeader,
    IndexReversed,
    IndexOverlapsHeader,
    IndexNotWholeEntries,
    IndexPastEnd,
    RangeReversed,  // these four name the range (OpenFailure::range)
    RangeOutOfOrder,
    RecordTooShort,
    RecordPastEnd,
    // qqwry.dat (also IndexReversed, IndexOverlapsHeader, IndexPastEnd and the four range
    // errors above); all but the first name the range too
    QqwryIndexNotWholeEntries,
    QqwryRedirectPastEnd,
    QqwryRedirectLoop,
    QqwryTextUnterminated,  // or longer than any real text
    QqwryTextsOverlap,      // the texts the ranges point to far more than the file holds
    // ipdb
    NoMetadataLength,
    MetadataPastEnd,
    MetadataNotJson,
    NoNodeCount,
    NoIpVersion,
    NoTotalSize,
    NoFields,
    NoLanguages,
    NoFamily,
    ShorterThanMetadata,
    NodeCountMismatch,
    BadLanguage,
    NodePointedTwice,
    RecordPointerPastEnd,
    // MaxMind DB
    MmdbNoMetadata,
    MmdbMetadataDamaged,
    MmdbFormatVersion,
    MmdbNoNodeCount,
    MmdbRecordSize,
    MmdbIpVersion,
    MmdbTreePastEnd,
    MmdbRecordPastData,
};
struct OpenFailure {
    OpenError error = OpenError::Empty;
    std::size_t range = 0;  // from 0, for the errors that name a range
};
// Whether `error` is one of the ipdb reader's.
bool isIpdbError(OpenError error);
// Whether `error` is one of the MaxMind DB reader's.
bool isMmdbError(OpenError error);

// Opens whichever format `bytes` hold. `owner` keeps the bytes alive (a file mapping) for
// as long as the database needs them. Null and `failure` when the bytes are no usable data
// file.
std::unique_ptr<Database> openDatabase(std::string_view bytes, std::shared_ptr<const void> owner,
                                       OpenFailure& failure);
std::unique_ptr<Database> openIpdb(std::string_view bytes, std::shared_ptr<const void> owner,
                                   OpenFailure& failure);
// Copies what it needs; `bytes` may go after the call.
std::unique_ptr<Database> openIp2region(std::string_view bytes, OpenFailure& failure);

// Copies what it needs, converted to UTF-8; `bytes` may go after the call.
std::unique_ptr<Database> openQqwry(std::string_view bytes, OpenFailure& failure);
// Whether the header of `bytes` fits a qqwry.dat file: two offsets in order past it, a whole
// number of 7-byte index entries apart, the last entry ending the file.
bool looksLikeQqwry(std::string_view bytes);
// The version record of a qqwry.dat file ("纯真网络 2024年01月17日IP数据"), read from its
// last range alone, without opening the file; nullopt when the file has none or is no such
// file.
std::optional<std::string> qqwryVersion(std::string_view bytes);

// An ip2region region as a user reads it: province, city and operator, separated by spaces
// ("中国|0|重庆|重庆市|电信" gives "重庆 重庆市 电信"); the country in front unless it is
// China with a province known; "0" fields and a field repeating the one shown just before
// it left out ("0|0|0|内网IP|内网IP" gives "内网IP").
std::string regionDisplay(const std::string& region);
// ip::formatRange of the ends: "1.0.1.0-1.0.3.255", "240e:1::/32".
std::string rangeDisplay(const Range& range);
// "1.2.3.4".
std::string addressDisplay(std::uint32_t address);
// A dotted IPv4 address, four decimal parts of up to three digits each, no larger than 255;
// spaces, tabs and line ends around it are allowed. nullopt for anything else.
std::optional<std::uint32_t> parseAddress(std::string_view dotted);

}  // namespace ipdata
