// The MaxMind DB reader (version 2 of the format; mmdb.cpp describes the layout as read).
// Like ipdb it reads the file where it lies, a read-only mapping, and copies nothing per
// lookup: a lookup walks the tree to its record's offset in the data section, then decodes
// only the keys a path names, giving views into the file.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ipdata/asn.h"
#include "ipdata/ipdata.h"

namespace ipdata::mmdb {

enum class Type : std::uint8_t {
    Pointer = 1,
    String = 2,
    Double = 3,
    Bytes = 4,
    Uint16 = 5,
    Uint32 = 6,
    Map = 7,
    Int32 = 8,
    Uint64 = 9,
    Uint128 = 10,
    Array = 11,
    Container = 12,
    EndMarker = 13,
    Boolean = 14,
    Float = 15,
};

// One value of a data section, pointers followed. Scalars, strings, bytes and containers
// hold their bytes in `payload` (a view into the file); a map or an array holds its count in
// `size` and where its first item starts in `items`; a boolean holds its value in `size`.
struct Value {
    Type type = Type::EndMarker;
    std::uint32_t size = 0;
    std::string_view payload;
    std::size_t items = 0;

    // The text of a string; empty for any other type.
    std::string_view text() const { return type == Type::String ? payload : std::string_view(); }
    // Unsigned integers (up to 64 bits) and booleans; nullopt for other types.
    std::optional<std::uint64_t> unsignedValue() const;
    std::optional<std::int32_t> int32Value() const;
    // Doubles, floats and the integer types.
    std::optional<double> number() const;
};

// A data section (or the metadata), read where it lies. Every offset, size and pointer is
// bounded by the section; a pointer may not lead to another pointer, and maps and arrays
// nest at most kMaxDepth deep, so no value of a hostile file reads outside it or loops.
class Section {
  public:
    static constexpr int kMaxDepth = 32;

    Section() = default;
    explicit Section(std::string_view bytes) : bytes_(bytes) {}

    // The value at `at`, a pointer there followed; `next` gets where the value after it
    // starts (after the pointer, when one was followed; for a map or an array, its first
    // item). nullopt when damaged.
    std::optional<Value> read(std::size_t at, std::size_t& next) const {
        // Short strings, most keys and names, without a call.
        if (at < bytes_.size()) {
            const unsigned control = static_cast<unsigned char>(bytes_[at]);
            const std::uint32_t size = control & 31;
            if ((control >> 5) == 2 && size < 29 && bytes_.size() - at - 1 >= size) {
                next = at + 1 + size;
                return Value{Type::String, size, bytes_.substr(at + 1, size), at + 1};
            }
        }
        return readSlow(at, next);
    }
    std::optional<Value> read(std::size_t at) const {
        std::size_t next = 0;
        return read(at, next);
    }
    // The string at `at` (a pointer there followed) into `text`, `next` past it (past the
    // pointer, where one led to it); false when that is no string or damaged.
    bool string(std::size_t at, std::string_view& text, std::size_t& next) const {
        if (at < bytes_.size()) {
            const unsigned control = static_cast<unsigned char>(bytes_[at]);
            const std::size_t size = control & 31;
            if ((control >> 5) == 2 && size < 29 && bytes_.size() - at - 1 >= size) {
                text = std::string_view(bytes_.data() + at + 1, size);
                next = at + 1 + size;
                return true;
            }
        }
        if (at < bytes_.size() && (static_cast<unsigned char>(bytes_[at]) >> 5) == 1) {
            // A pointer to a short string, as keys and shared names mostly are.
            const std::size_t target = pointerTarget(at);
            if (target < bytes_.size()) {
                const unsigned control = static_cast<unsigned char>(bytes_[target]);
                const std::size_t size = control & 31;
                if ((control >> 5) == 2 && size < 29 && bytes_.size() - target - 1 >= size) {
                    text = std::string_view(bytes_.data() + target + 1, size);
                    next = at + 2 + (static_cast<unsigned char>(bytes_[at]) >> 3 & 3);
                    return true;
                }
            }
        }
        const std::optional<Value> v = readSlow(at, next);
        if (!v || v->type != Type::String) return false;
        text = v->payload;
        return true;
    }
    // Where the pointer at `at` leads; past the section when there is none there.
    std::size_t pointerTarget(std::size_t at) const {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data());
        if (at >= bytes_.size() || (b[at] >> 5) != 1) return bytes_.size();
        const unsigned ss = b[at] >> 3 & 3;
        if (bytes_.size() - at - 1 < ss + 1) return bytes_.size();
        const std::size_t top = b[at] & 7u;
        switch (ss) {
            case 0:
                return top << 8 | b[at + 1];
            case 1:
                return (top << 16 | std::size_t{b[at + 1]} << 8 | b[at + 2]) + 2048;
            case 2:
                return (top << 24 | std::size_t{b[at + 1]} << 16 | std::size_t{b[at + 2]} << 8 |
                        b[at + 3]) +
                       526336;
            default:
                return std::size_t{b[at + 1]} << 24 | std::size_t{b[at + 2]} << 16 |
                       std::size_t{b[at + 3]} << 8 | b[at + 4];
        }
    }
    // Where the value at `at` ends, its items included, a pointer counted as itself.
    std::optional<std::size_t> skip(std::size_t at) const {
        const std::size_t end = endOf(at);
        if (end == 0) return std::nullopt;
        return end;
    }
    // The same, 0 when damaged: what the walks call, as a plain number.
    std::size_t endOf(std::size_t at, int depth = 0) const {
        // Pointers and short scalars, most of what a record holds, without a call.
        if (at < bytes_.size()) {
            const unsigned control = static_cast<unsigned char>(bytes_[at]);
            const unsigned type = control >> 5, size = control & 31;
            std::size_t end = bytes_.size() + 1;
            if (type == 1) end = at + 2 + (control >> 3 & 3);
            // Strings, doubles, bytes and the short unsigned types in their short form.
            if (type >= 2 && type <= 6 && size < 29) end = at + 1 + size;
            // Int32, uint64, uint128 and float: the extended types that hold only bytes.
            if (type == 0 && size < 29 && at + 1 < bytes_.size()) {
                const unsigned extended = static_cast<unsigned char>(bytes_[at + 1]);
                if (extended == 1 || extended == 2 || extended == 3 || extended == 8)
                    end = at + 2 + size;
            }
            if (end <= bytes_.size()) return end;
        }
        return endSlow(at, depth);
    }
    // The value at the end of `path` from the value at `at`: map keys, or array indexes in
    // decimal ("0" for the first item).
    std::optional<Value> get(std::size_t at, std::span<const std::string_view> path) const;
    std::optional<Value> get(std::size_t at, std::initializer_list<std::string_view> path) const {
        return get(at, std::span<const std::string_view>(path.begin(), path.size()));
    }
    // Calls each(key, value offset) for the pairs of the map `map`, in file order, until it
    // returns false. False when the map is damaged.
    template <class Each>
    bool eachPair(const Value& map, Each&& each) const;
    // The same for the map at `at` (a pointer there followed), where each(key, value offset)
    // gives where the value it read ends, or 0 to have it skipped. Where the map ends in
    // place (after the pointer, where one led to it); nullopt when damaged or not a map.
    template <class Each>
    std::optional<std::size_t> walkMap(std::size_t at, Each&& each) const;

    std::string_view bytes() const { return bytes_; }

    // A map of fewer than 29 pairs at `at`, or through a pointer there: its count, where its
    // items start and where it ends in place (0 when inline). False: the slow path decides.
    bool mapHead(std::size_t at, std::uint32_t& count, std::size_t& items,
                 std::size_t& next) const {
        const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data());
        if (at >= bytes_.size()) return false;
        std::size_t p = at;
        if ((b[p] >> 5) == 1) {
            const unsigned ss = b[p] >> 3 & 3;
            if (ss > 1 || bytes_.size() - p - 1 < ss + 1) return false;
            std::size_t target =
                ss == 0
                    ? (std::size_t{b[p] & 7u} << 8 | b[p + 1])
                    : (std::size_t{b[p] & 7u} << 16 | std::size_t{b[p + 1]} << 8 | b[p + 2]) + 2048;
            next = p + 2 + ss;
            p = target;
            if (p >= bytes_.size()) return false;
        }
        if ((b[p] >> 5) != 7 || (b[p] & 31) >= 29) return false;
        count = b[p] & 31;
        items = p + 1;
        return true;
    }

  private:
    std::size_t endSlow(std::size_t at, int depth) const;
    std::optional<Value> readSlow(std::size_t at, std::size_t& next) const;

    std::string_view bytes_;
};

inline bool headIsPointer(const Section& s, std::size_t at) {
    return at < s.bytes().size() && (static_cast<unsigned char>(s.bytes()[at]) >> 5) == 1;
}

template <class Each>
std::optional<std::size_t> Section::walkMap(std::size_t at, Each&& each) const {
    std::size_t next = 0, p = 0;
    std::uint32_t count = 0;
    if (!mapHead(at, count, p, next)) {
        const std::optional<Value> map = read(at, next);
        if (!map || map->type != Type::Map) return std::nullopt;
        count = map->size;
        p = map->items;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t valueAt = 0;
        std::string_view key;
        if (!string(p, key, valueAt)) return std::nullopt;
        std::size_t end = each(key, valueAt);
        if (end == 0) end = endOf(valueAt);
        if (end == 0) return std::nullopt;
        p = end;
    }
    return headIsPointer(*this, at) ? next : p;
}

template <class Each>
bool Section::eachPair(const Value& map, Each&& each) const {
    if (map.type != Type::Map) return false;
    std::size_t at = map.items;
    for (std::uint32_t i = 0; i < map.size; ++i) {
        std::size_t valueAt = 0;
        const std::optional<Value> key = read(at, valueAt);
        if (!key || key->type != Type::String) return false;
        if (!each(key->payload, valueAt)) return true;
        at = endOf(valueAt);
        if (at == 0) return false;
    }
    return true;
}

// The metadata the reader uses.
struct Metadata {
    std::uint32_t nodeCount = 0;
    int recordSize = 0;  // 24, 28 or 32 bits
    int ipVersion = 0;   // 4 or 6
    std::string_view databaseType;
    std::string_view description;  // in English, else in the first language it is given in
    std::optional<std::uint64_t> buildEpoch;
    bool hasChinese = false;  // "zh-CN" among its languages
};

class Reader final : public Database {
  public:
    // Where a lookup ends: its record's offset in the data section and the prefix that
    // holds the address (an IPv4 address counts IPv4 bits).
    struct Hit {
        std::uint32_t record = 0;
        int prefix = 0;
    };

    static std::unique_ptr<Reader> open(std::string_view bytes, std::shared_ptr<const void> owner,
                                        OpenFailure& failure);

    std::optional<Hit> lookup(const ip::Address& address) const;
    // By path from a record ({"country", "names", "zh-CN"}); views into the file.
    std::optional<Value> get(std::uint32_t record,
                             std::initializer_list<std::string_view> path) const {
        return data_.get(record, path);
    }
    Extras extras(std::uint32_t record) const;
    const Metadata& metadata() const { return meta_; }
    const Section& data() const { return data_; }
    const Section& metadataSection() const { return metaSection_; }

    std::optional<Place> locate(const ip::Address& address) const override;
    Extras extras(const ip::Address& /*address*/, const Place& place) const override {
        return extras(place.handle);
    }
    bool hasExtras() const override { return true; }
    Extras extrasAt(const ip::Address& address) const override {
        const std::optional<Hit> hit = lookup(address);
        return hit ? extras(hit->record) : Extras{};
    }
    void searchEach(const std::vector<std::string>& keywords,
                    const std::function<void(Range&)>& each,
                    const std::stop_token& stop) const override;
    void searchWhere(const std::function<bool(const FieldViews&)>& match,
                     const std::function<void(Range&)>& each,
                     const std::stop_token& stop) const override;
    std::size_t rangeCount() const override;
    std::string_view formatName() const override { return "mmdb"; }
    std::unique_ptr<Database> at(std::string_view bytes, const std::shared_ptr<const void>& owner,
                                 const MoreViews& more) const override;
    // The database type and the build date (UTC): "GeoLite2-City 2026-12-01".
    std::optional<std::string> versionText() const override;
    // The database type, its description after it in brackets.
    std::string source() const override;

    // The record's fields, as locate gives them.
    FieldViews fieldsOf(std::uint32_t record) const;

    // The keys a reader acts on, as numbers (mmdb.cpp names them).
    enum class Key : std::uint8_t;

  private:
    // The key at `p` as a Key, `valueAt` where its value starts; false when damaged. Keys are
    // mostly pointers to one copy of each, near the section's start: the key such a pointer's
    // target holds is remembered, so that most keys are told by a number, not as text.
    bool keyAt(std::size_t p, Key& key, std::size_t& valueAt) const;
    bool keyAtSlow(std::size_t p, Key& key, std::size_t& valueAt) const;
    [[gnu::noinline]] void rareExtra(Key key, std::size_t valueAt, Extras& e, unsigned& done) const;
    // walkMap, each(key as a Key, value offset).
    template <class Each>
    std::optional<std::size_t> walkKeys(std::size_t at, Each&& each) const;
    // Key + 1 by the target of an 11-bit pointer; 0 not known yet. Any thread may write one:
    // what it writes is true of the file for good.
    struct KeyCache {
        std::atomic<std::uint8_t> byTarget[2048]{};
    };
    std::shared_ptr<KeyCache> keys_ = std::make_shared<KeyCache>();

    std::uint32_t child(std::uint32_t node, unsigned bit) const;
    // A node, the empty mark, or a value's start inside the data section.
    bool soundRecord(std::uint32_t record) const {
        const std::uint64_t count = meta_.nodeCount;
        return record <= count || (record - count >= kSeparatorBytes &&
                                   record - count - kSeparatorBytes < data_.bytes().size());
    }
    static constexpr std::uint64_t kSeparatorBytes = 16;
    template <class Leaf>
    void walk(std::uint32_t start, int depth, std::uint64_t high, std::uint64_t low,
              std::vector<std::uint64_t>& seen, Leaf&& leaf) const;

    std::shared_ptr<const void> owner_;
    std::string_view tree_;
    Section data_;
    Section metaSection_;
    Metadata meta_;
    // Where IPv4 addresses start: the node (or record) at ::/96, IPv4 bits walked so far.
    std::uint32_t v4Start_ = 0;
    int v4Depth_ = 0;  // bits of the IPv4 address already taken when v4Start_ is reached
    // Where the first topBits_ of an IPv4 address lead: the lookup's walk starts there.
    // Filled as lookups need it, so that the open reads none of the tree: the node and the
    // levels walked plus 1, packed (child << 8 | depth + 1); 0 until known. Any thread may
    // fill a slot: each writes the same value. Shared with the copies at() makes.
    std::uint64_t topOf(std::uint32_t index) const;
    std::shared_ptr<std::atomic<std::uint64_t>[]> v4Top_;
    int topBits_ = 1;
    struct LazyCount {
        std::once_flag once;
        std::size_t value = 0;
    };
    std::shared_ptr<LazyCount> rangeCount_ = std::make_shared<LazyCount>();
    std::string_view bytes_;  // the whole file, for at()
};

}  // namespace ipdata::mmdb

namespace ipdata {
// A MaxMind DB file, told by its metadata marker near the end.
bool looksLikeMmdb(std::string_view bytes);
std::unique_ptr<Database> openMmdb(std::string_view bytes, std::shared_ptr<const void> owner,
                                   OpenFailure& failure);
// Whether an opened file holds network numbers rather than places (GeoLite2-ASN, DB-IP's and
// IPinfo's ASN files): its database type names ASN.
bool isNetworkFile(const Database& database);
// Such a file as network numbers: the AS number and organisation of the record.
std::unique_ptr<Networks> mmdbNetworks(std::shared_ptr<const Database> reader);
}  // namespace ipdata
