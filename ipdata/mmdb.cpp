// The MaxMind DB reader. File layout, as read:
//   the search tree: node_count nodes of two records (bit 0, bit 1), each record_size bits
//   big-endian (24: 3 + 3 bytes; 28: 3 bytes, a byte whose high nibble tops the first
//   record and low nibble the second, 3 bytes; 32: 4 + 4 bytes);
//   16 zero bytes; the data section; then "\xAB\xCD\xEFMaxMind.com" and the metadata, one
//   map in the data section's encoding, its pointers counted from the metadata's start.
// A record below node_count is a node, equal to it means no data, above it points to the
// data section at (record - node_count - 16). IPv6 trees hold IPv4 addresses under ::/96.
//
// open() checks every node's two records once, in file order: each is a node, the empty
// mark, or a record inside the data section. Shared nodes are allowed (IPv6 files point
// ::ffff:0:0/96 and other aliases at the IPv4 subtree); a lookup ends at 128 bits whatever
// the tree, and a walk over the whole tree visits each node once, so neither sharing nor a
// loop can make one run forever. Data values are bounded where they are decoded.
#include "ipdata/mmdb.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <unordered_set>
#include <utility>

#include "text/bytes.h"

namespace ipdata::mmdb {
namespace {

constexpr std::string_view kMarker = "\xAB\xCD\xEFMaxMind.com";
constexpr std::size_t kMetadataWindow = 128 * 1024;
constexpr std::size_t kSeparator = 16;
constexpr int kBits = 128;
constexpr int kV4Depth = 96;
// The IPv4 top table: at most 18 bits (2 MB). Measured on a world city file, 16 bits leave
// more of the walk to memory, 20 bits push the records out of the cache.
constexpr int kTopBits = 18;
// How much of the tree after the table's node a lookup asks for at once.
constexpr std::size_t kTreeAhead = 1024;
constexpr std::size_t kStopEvery = 4096;

unsigned char byteAt(std::string_view s, std::size_t at) {
    return static_cast<unsigned char>(s[at]);
}

// Big-endian, `n` bytes (at most 8) of `s` from `at`, bounded by the caller.
std::uint64_t beN(std::string_view s, std::size_t at, std::size_t n) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = v << 8 | byteAt(s, at + i);
    return v;
}

// The largest payload a scalar type may have; 0 where any size goes.
std::uint32_t maxSize(Type type) {
    switch (type) {
        case Type::Uint16:
            return 2;
        case Type::Uint32:
        case Type::Int32:
            return 4;
        case Type::Uint64:
            return 8;
        case Type::Uint128:
            return 16;
        default:
            return 0;
    }
}

}  // namespace

std::optional<std::uint64_t> Value::unsignedValue() const {
    switch (type) {
        case Type::Uint16:
        case Type::Uint32:
        case Type::Uint64:
            return beN(payload, 0, payload.size());
        case Type::Boolean:
            return size;
        default:
            return std::nullopt;
    }
}

std::optional<std::int32_t> Value::int32Value() const {
    if (type != Type::Int32) return std::nullopt;
    // Fewer than four bytes are a positive number; four are two's complement.
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(beN(payload, 0, payload.size())));
}

std::optional<double> Value::number() const {
    switch (type) {
        case Type::Double:
            return std::bit_cast<double>(beN(payload, 0, 8));
        case Type::Float:
            return static_cast<double>(
                std::bit_cast<float>(static_cast<std::uint32_t>(beN(payload, 0, 4))));
        case Type::Int32:
            return static_cast<double>(*int32Value());
        case Type::Uint16:
        case Type::Uint32:
        case Type::Uint64:
            return static_cast<double>(*unsignedValue());
        default:
            return std::nullopt;
    }
}

namespace {

// A value's head: its type and size, where its payload starts; for a pointer, its target.
struct Head {
    Type type;
    std::uint32_t size;
    std::size_t payload;  // the payload's offset, or a pointer's target
    std::size_t end;      // past the head (past the pointer, for one)
};

std::optional<Head> headAt(std::string_view s, std::size_t at) {
    if (at >= s.size()) return std::nullopt;
    const unsigned control = byteAt(s, at++);
    unsigned type = control >> 5;
    if (type == 1) {
        const unsigned ss = (control >> 3) & 3, top = control & 7;
        static constexpr std::uint32_t kBias[] = {0, 2048, 526336, 0};
        const std::size_t n = ss + 1;
        if (s.size() - at < n) return std::nullopt;
        std::uint64_t target = beN(s, at, n);
        if (ss < 3) target |= std::uint64_t{top} << (8 * n);
        target += kBias[ss];
        return Head{Type::Pointer, 0, static_cast<std::size_t>(target), at + n};
    }
    if (type == 0) {
        if (at >= s.size()) return std::nullopt;
        // An extended byte of 0 makes a map, as other readers take it.
        type = 7u + byteAt(s, at++);
        if (type > 15) return std::nullopt;
    }
    std::uint32_t size = control & 31;
    if (size >= 29) {
        static constexpr std::uint32_t kBias[] = {29, 285, 65821};
        const std::size_t n = size - 28;
        if (s.size() - at < n) return std::nullopt;
        size = kBias[n - 1] + static_cast<std::uint32_t>(beN(s, at, n));
        at += n;
    }
    return Head{static_cast<Type>(type), size, at, at};
}

}  // namespace

std::optional<Value> Section::readSlow(std::size_t at, std::size_t& next) const {
    std::optional<Head> head = headAt(bytes_, at);
    if (!head) return std::nullopt;
    const bool followed = head->type == Type::Pointer;
    if (followed) {
        next = head->end;
        // One step only: a pointer to a pointer is damage, and so no chain can loop.
        head = headAt(bytes_, head->payload);
        if (!head || head->type == Type::Pointer) return std::nullopt;
    }
    Value v{head->type, head->size, {}, head->payload};
    switch (head->type) {
        case Type::Map:
        case Type::Array:
            if (!followed) next = head->payload;
            return v;
        case Type::Boolean:
        case Type::EndMarker:
            // The size is the value (a boolean) or nothing; no payload follows.
            if (head->size > (head->type == Type::Boolean ? 1u : 0u)) return std::nullopt;
            if (!followed) next = head->end;
            return v;
        case Type::Double:
        case Type::Float:
            if (head->size != (head->type == Type::Double ? 8u : 4u)) return std::nullopt;
            break;
        default:
            if (const std::uint32_t most = maxSize(head->type); most && head->size > most)
                return std::nullopt;
            break;
    }
    if (head->size > bytes_.size() - head->payload) return std::nullopt;
    v.payload = bytes_.substr(head->payload, head->size);
    if (!followed) next = head->payload + head->size;
    return v;
}

std::size_t Section::endSlow(std::size_t at, int depth) const {
    const std::optional<Head> head = headAt(bytes_, at);
    if (!head) return 0;
    switch (head->type) {
        case Type::Pointer:
            return head->end;
        case Type::Map:
        case Type::Array: {
            if (depth >= kMaxDepth) return 0;
            const std::uint64_t items =
                std::uint64_t{head->size} * (head->type == Type::Map ? 2 : 1);
            std::size_t end = head->end;
            for (std::uint64_t i = 0; i < items && end != 0; ++i) end = endOf(end, depth + 1);
            return end;
        }
        case Type::Boolean:
        case Type::EndMarker:
            return head->end;
        default:
            if (head->size > bytes_.size() - head->end) return 0;
            return head->end + head->size;
    }
}

std::optional<Value> Section::get(std::size_t at, std::span<const std::string_view> path) const {
    std::optional<Value> v = read(at);
    for (const std::string_view step : path) {
        if (!v) return std::nullopt;
        if (v->type == Type::Map) {
            std::optional<std::size_t> found;
            if (!eachPair(*v,
                          [&](std::string_view key, std::size_t valueAt) {
                              if (key != step) return true;
                              found = valueAt;
                              return false;
                          }) ||
                !found)
                return std::nullopt;
            v = read(*found);
        } else if (v->type == Type::Array) {
            std::uint64_t index = 0;
            if (step.empty() || step.size() > 9 ||
                !std::all_of(step.begin(), step.end(), [](char c) { return c >= '0' && c <= '9'; }))
                return std::nullopt;
            for (const char c : step) index = index * 10 + static_cast<unsigned>(c - '0');
            if (index >= v->size) return std::nullopt;
            std::size_t item = v->items;
            for (std::uint64_t i = 0; i < index; ++i) {
                const std::optional<std::size_t> end = skip(item);
                if (!end) return std::nullopt;
                item = *end;
            }
            v = read(item);
        } else {
            return std::nullopt;
        }
    }
    return v;
}

namespace {

// A place's name and code where a record gives a map of names ("names": {"en": ...}) or the
// name itself as a string.
struct Named {
    std::string_view name;
    std::string_view code;
};

// The string at `at` into `out`; where it ends in place (0 when damaged: skipped then).
std::size_t textInto(const Section& s, std::size_t at, std::string_view& out) {
    std::size_t next = 0;
    return s.string(at, out, next) ? next : 0;
}

// pickName for a map of short strings only, as names maps are, in one tight loop; false
// when the map is of another shape (pickName's general walk reads it then).
bool pickShortName(const Section& s, std::size_t at, std::string_view& out, std::size_t& end) {
    std::uint32_t count = 0;
    std::size_t p = 0, next = 0;
    if (!s.mapHead(at, count, p, next)) return false;
    const std::string_view bytes = s.bytes();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string_view english, chinese;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (p >= n) return false;
        const std::size_t keyLength = b[p] & 31u;
        // The value's control byte lies inside too.
        if ((b[p] >> 5) != 2 || keyLength >= 29 || n - p - 1 <= keyLength) return false;
        const std::size_t v = p + 1 + keyLength;
        const std::size_t valueLength = b[v] & 31u;
        if ((b[v] >> 5) != 2 || valueLength >= 29 || n - v - 1 < valueLength) return false;
        const std::string_view key = bytes.substr(p + 1, keyLength);
        if (key == "zh-CN") chinese = bytes.substr(v + 1, valueLength);
        if (key == "en") english = bytes.substr(v + 1, valueLength);
        p = v + 1 + valueLength;
    }
    out = chinese.empty() ? english : chinese;
    end = headIsPointer(s, at) ? next : p;
    return true;
}

// The Chinese name where the map has one, else the English; where the map ends.
std::size_t pickName(const Section& s, std::size_t at, std::string_view& out) {
    if (std::size_t end = 0; pickShortName(s, at, out, end)) return end;
    std::string_view english, chinese;
    const std::optional<std::size_t> end = s.walkMap(at, [&](std::string_view key, std::size_t v) {
        if (key == "zh-CN") return textInto(s, v, chinese);
        if (key == "en") return textInto(s, v, english);
        return std::size_t{0};
    });
    out = chinese.empty() ? english : chinese;
    return end.value_or(0);
}

// The name (and code) at `at`: a string, or a map with "names" and "iso_code" or "code".
std::size_t namedInto(const Section& s, std::size_t at, Named& out) {
    std::size_t next = 0;
    if (s.string(at, out.name, next)) return next;
    // A key met again is skipped: a hostile map repeating a key that leads to a large map
    // would otherwise make a lookup's work grow with the square of the file.
    bool names = false;
    const std::optional<std::size_t> end = s.walkMap(at, [&](std::string_view key, std::size_t w) {
        if (key == "names" && !std::exchange(names, true)) return pickName(s, w, out.name);
        if (key == "iso_code" || key == "code") return textInto(s, w, out.code);
        return std::size_t{0};
    });
    return end.value_or(0);
}

// The first subdivision's name (the region); the rest are skipped. Where the list ends.
std::size_t regionInto(const Section& s, std::size_t at, Named& out) {
    std::size_t next = 0;
    const std::optional<Value> list = s.read(at, next);
    if (!list || list->type != Type::Array) return 0;
    if (list->size == 0) return next;
    std::size_t item = namedInto(s, list->items, out);
    for (std::uint32_t i = 1; i < list->size && item != 0; ++i) item = s.endOf(item);
    return headIsPointer(s, at) ? next : item;
}

Named namedAt(const Section& s, std::size_t at) {
    Named named;
    namedInto(s, at, named);
    return named;
}

std::string_view textAt(const Section& s, std::size_t at) {
    std::string_view text;
    textInto(s, at, text);
    return text;
}

// Days since 1970-01-01 as a civil date (proleptic Gregorian).
std::string dateOf(std::uint64_t epoch) {
    const long long days = static_cast<long long>(epoch / 86400);
    const long long z = days + 719468, era = z / 146097, doe = z - era * 146097;
    const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const long long day = doy - (153 * mp + 2) / 5 + 1, month = mp < 10 ? mp + 3 : mp - 9;
    const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld", year, month, day);
    return text;
}

}  // namespace

enum class Reader::Key : std::uint8_t {
    Other,
    City,
    Isp,
    State1,
    State2,
    Country,
    AsName,
    District,
    CountryCode,
    Organization,
    Subdivisions,
    RegisteredCountry,
    AsOrganization,
    Location,
    Latitude,
    Longitude,
    Timezone,
    TimeZone,
    Postcode,
    PostalCode,
    Postal,
    Continent,
    AsNumber,
    Asn,
};

namespace {

Reader::Key keyOf(std::string_view key) {
    using K = Reader::Key;
    auto is = [&](std::string_view text, K k) { return key == text ? k : K::Other; };
    switch (key.size()) {
        case 3:
            return key == "isp" ? K::Isp : is("asn", K::Asn);
        case 4:
            return is("city", K::City);
        case 6:
            return key == "state1"   ? K::State1
                   : key == "state2" ? K::State2
                                     : is("postal", K::Postal);
        case 7:
            return key == "country" ? K::Country : is("as_name", K::AsName);
        case 8:
            return key == "district"   ? K::District
                   : key == "location" ? K::Location
                   : key == "latitude" ? K::Latitude
                   : key == "timezone" ? K::Timezone
                                       : is("postcode", K::Postcode);
        case 9:
            return key == "longitude"   ? K::Longitude
                   : key == "time_zone" ? K::TimeZone
                                        : is("continent", K::Continent);
        case 11:
            return is("postal_code", K::PostalCode);
        case 12:
            return key == "country_code"   ? K::CountryCode
                   : key == "organization" ? K::Organization
                                           : is("subdivisions", K::Subdivisions);
        case 18:
            return is("registered_country", K::RegisteredCountry);
        case 24:
            return is("autonomous_system_number", K::AsNumber);
        case 30:
            return is("autonomous_system_organization", K::AsOrganization);
        default:
            return K::Other;
    }
}

// The number at `at`; floats and doubles in place, as coordinates are, without the general
// decoder.
inline std::optional<double> numberAt(const Section& s, std::size_t at) {
    const std::string_view bytes = s.bytes();
    // Through a pointer, as files share coordinates that many records hold.
    const std::size_t p = headIsPointer(s, at) ? s.pointerTarget(at) : at;
    if (p < bytes.size()) {
        const unsigned control = byteAt(bytes, p);
        if (control == 0x04 && bytes.size() - p >= 6 && byteAt(bytes, p + 1) == 0x08)
            return static_cast<double>(
                std::bit_cast<float>(static_cast<std::uint32_t>(beN(bytes, p + 2, 4))));
        if (control == 0x68 && bytes.size() - p >= 9)
            return std::bit_cast<double>(beN(bytes, p + 1, 8));
    }
    const std::optional<Value> v = s.read(at);
    return v ? v->number() : std::nullopt;
}

}  // namespace

inline bool Reader::keyAt(std::size_t p, Key& key, std::size_t& valueAt) const {
    const auto* b = reinterpret_cast<const unsigned char*>(data_.bytes().data());
    const std::size_t n = data_.bytes().size();
    if (p + 1 < n && (b[p] & 0xF8u) == 0x20) {
        const unsigned known =
            keys_->byTarget[(b[p] & 7u) << 8 | b[p + 1]].load(std::memory_order_relaxed);
        if (known != 0) {
            key = static_cast<Key>(known - 1);
            valueAt = p + 2;
            return true;
        }
    } else if (p < n && (b[p] >> 5) == 2 && (b[p] & 31u) < 29 && n - p - 1 >= (b[p] & 31u)) {
        // A key written in place.
        const std::size_t size = b[p] & 31u;
        key = keyOf(data_.bytes().substr(p + 1, size));
        valueAt = p + 1 + size;
        return true;
    }
    return keyAtSlow(p, key, valueAt);
}

bool Reader::keyAtSlow(std::size_t p, Key& key, std::size_t& valueAt) const {
    std::string_view text;
    if (!data_.string(p, text, valueAt)) return false;
    key = keyOf(text);
    // An 11-bit pointer to a string: what it says is remembered.
    if (valueAt == p + 2 && (byteAt(data_.bytes(), p) & 0xF8u) == 0x20)
        keys_->byTarget[(byteAt(data_.bytes(), p) & 7u) << 8 | byteAt(data_.bytes(), p + 1)].store(
            static_cast<std::uint8_t>(static_cast<unsigned>(key) + 1), std::memory_order_relaxed);
    return true;
}

template <class Each>
std::optional<std::size_t> Reader::walkKeys(std::size_t at, Each&& each) const {
    const Section& s = data_;
    std::size_t next = 0, p = 0;
    std::uint32_t count = 0;
    if (!s.mapHead(at, count, p, next)) {
        const std::optional<Value> map = s.read(at, next);
        if (!map || map->type != Type::Map) return std::nullopt;
        count = map->size;
        p = map->items;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        std::size_t valueAt = 0;
        Key key = Key::Other;
        if (!keyAt(p, key, valueAt)) return std::nullopt;
        std::size_t end = each(key, valueAt);
        if (end == 0) end = s.endOf(valueAt);
        if (end == 0) return std::nullopt;
        p = end;
    }
    return headIsPointer(s, at) ? next : p;
}

FieldViews Reader::fieldsOf(std::uint32_t record) const {
    // One pass over the record, each value read where it lies and skipped only when unused:
    // a lookup's cost is its record's bytes, once. What a record points to (as files share
    // cities, countries, subdivisions and names) is asked for during the pass and read after
    // it: the cache misses overlap instead of following one another.
    Named country, region, city;
    std::optional<std::size_t> registeredAt;
    std::string_view countryCode, state1, state2, district, organization, isp, asName, asOrg;
    const Section& s = data_;
    std::size_t cityAt = 0, countryAt = 0, regionsAt = 0;  // 0: none to read later
    // Each key that leads to a walk is read once (see namedInto).
    unsigned done = 0;
    auto first = [&](unsigned bit) { return (std::exchange(done, done | bit) & bit) == 0; };
    auto later = [&](std::size_t at, std::size_t& slot) {
        const std::size_t target = s.pointerTarget(at);
        if (target >= s.bytes().size()) return false;
        __builtin_prefetch(s.bytes().data() + target);
        slot = at;
        return true;
    };
    // Texts are read after the pass too, in the order met, so a key met twice ends as it
    // would read in place: the last string it gives.
    struct Text {
        std::string_view* out;
        std::size_t at;
    };
    std::array<Text, 8> texts;
    std::size_t textCount = 0;
    // A record mostly spans two lines.
    if (std::size_t{record} + 64 < s.bytes().size())
        __builtin_prefetch(s.bytes().data() + record + 64);
    auto readTexts = [&] {
        for (std::size_t i = 0; i < textCount; ++i) textInto(s, texts[i].at, *texts[i].out);
        textCount = 0;
    };
    auto text = [&](std::string_view& out, std::size_t at) {
        if (textCount == texts.size()) readTexts();
        const std::size_t target = s.pointerTarget(at);
        if (target < s.bytes().size()) __builtin_prefetch(s.bytes().data() + target);
        texts[textCount++] = {&out, at};
        return std::size_t{0};
    };
    walkKeys(record, [&](Key key, std::size_t at) -> std::size_t {
        switch (key) {
            case Key::City:
                if (!first(1)) break;
                return later(at, cityAt) ? 0 : namedInto(s, at, city);
            case Key::Country:
                if (!first(2)) break;
                return later(at, countryAt) ? 0 : namedInto(s, at, country);
            case Key::Subdivisions:
                if (!first(4)) break;
                return later(at, regionsAt) ? 0 : regionInto(s, at, region);
            case Key::Isp:
                return text(isp, at);
            case Key::State1:
                return text(state1, at);
            case Key::State2:
                return text(state2, at);
            case Key::AsName:
                return text(asName, at);
            case Key::District:
                return text(district, at);
            case Key::CountryCode:
                return text(countryCode, at);
            case Key::Organization:
                return text(organization, at);
            case Key::AsOrganization:
                return text(asOrg, at);
            case Key::RegisteredCountry:
                registeredAt = at;
                break;
            default:
                // What extras() reads next of the same record (shared coordinates, a
                // continent) is on its way by then.
                if (const std::size_t target = s.pointerTarget(at); target < s.bytes().size())
                    __builtin_prefetch(s.bytes().data() + target);
                break;
        }
        return 0;
    });
    readTexts();
    if (cityAt) namedInto(s, cityAt, city);
    if (countryAt) namedInto(s, countryAt, country);
    if (regionsAt) regionInto(s, regionsAt, region);
    FieldViews f{};
    // An address with no country of its own (an anycast network) is answered by the country
    // that registered it.
    if (country.name.empty() && registeredAt) namedInto(s, *registeredAt, country);
    f[0] = country.name;
    f[1] = region.name.empty() ? state1 : region.name;
    f[2] = city.name;
    f[3] = district.empty() ? state2 : district;
    f[4] = organization;
    f[5] = !isp.empty() ? isp : !asName.empty() ? asName : asOrg;
    if (f[4] == f[5]) f[4] = {};
    f[6] = country.code.empty() ? countryCode : country.code;
    return f;
}

// What extras() reads of the keys few records hold, out of its loop. `done` marks the keys
// that lead to a walk and were read (see namedInto).
void Reader::rareExtra(Key key, std::size_t valueAt, Extras& e, unsigned& done) const {
    auto first = [&](unsigned bit) { return (std::exchange(done, done | bit) & bit) == 0; };
    switch (key) {
        case Key::Location: {
            if (!first(1)) break;
            const std::optional<Value> map = data_.read(valueAt);
            if (!map) break;
            data_.eachPair(*map, [&](std::string_view k, std::size_t at) {
                if (k == "latitude") e.latitude = numberAt(data_, at);
                if (k == "longitude") e.longitude = numberAt(data_, at);
                if (k == "time_zone") e.timeZone = textAt(data_, at);
                return true;
            });
            break;
        }
        case Key::Postal:
            if (!first(2)) break;
            if (const auto code = data_.get(valueAt, {"code"})) e.postalCode = code->text();
            break;
        case Key::Continent: {
            if (!first(4)) break;
            const Named n = namedAt(data_, valueAt);
            e.continent = n.name.empty() ? n.code : n.name;
            break;
        }
        case Key::AsNumber:
        case Key::Asn: {
            const std::optional<Value> v = data_.read(valueAt);
            if (!v) break;
            if (const std::optional<std::uint64_t> n = v->unsignedValue(); n && *n <= ~0u) {
                e.asn = static_cast<std::uint32_t>(*n);
            } else if (std::string_view t = v->text();
                       t.size() > 2 && t.size() <= 12 &&
                       (t.starts_with("AS") || t.starts_with("as"))) {
                // IPinfo writes "AS13335".
                std::uint64_t n2 = 0;
                t.remove_prefix(2);
                if (std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; })) {
                    for (const char c : t) n2 = n2 * 10 + static_cast<unsigned>(c - '0');
                    if (n2 <= ~0u) e.asn = static_cast<std::uint32_t>(n2);
                }
            }
            break;
        }
        default:
            break;
    }
}

Extras Reader::extras(std::uint32_t record) const {
    Extras e;
    unsigned done = 0;
    walkKeys(record, [&](Key key, std::size_t valueAt) -> std::size_t {
        switch (key) {
            case Key::Latitude:
                e.latitude = numberAt(data_, valueAt);
                break;
            case Key::Longitude:
                e.longitude = numberAt(data_, valueAt);
                break;
            case Key::Timezone:
            case Key::TimeZone:
                e.timeZone = textAt(data_, valueAt);
                break;
            case Key::Postcode:
            case Key::PostalCode:
                e.postalCode = textAt(data_, valueAt);
                break;
            case Key::Location:
            case Key::Postal:
            case Key::Continent:
            case Key::AsNumber:
            case Key::Asn:
                rareExtra(key, valueAt, e, done);
                break;
            default:
                break;
        }
        return std::size_t{0};
    });
    return e;
}

std::uint32_t Reader::child(std::uint32_t node, unsigned bit) const {
    const char* p = tree_.data();
    switch (meta_.recordSize) {
        case 24: {
            const auto* b =
                reinterpret_cast<const unsigned char*>(p + std::size_t{node} * 6 + bit * 3);
            return std::uint32_t{b[0]} << 16 | std::uint32_t{b[1]} << 8 | b[2];
        }
        case 28: {
            const auto* b = reinterpret_cast<const unsigned char*>(p + std::size_t{node} * 7);
            if (bit == 0)
                return std::uint32_t{b[3] & 0xF0u} << 20 | std::uint32_t{b[0]} << 16 |
                       std::uint32_t{b[1]} << 8 | b[2];
            return std::uint32_t{b[3] & 0x0Fu} << 24 | std::uint32_t{b[4]} << 16 |
                   std::uint32_t{b[5]} << 8 | b[6];
        }
        default:
            return be::u32(tree_, std::size_t{node} * 8 + bit * 4);
    }
}

std::optional<Reader::Hit> Reader::lookup(const ip::Address& address) const {
    std::uint32_t node = 0;
    int depth = 0;
    std::uint64_t high = 0, low = 0;
    const std::uint32_t count = meta_.nodeCount;
    if (address.isV4()) {
        const std::uint32_t a = address.v4Value();
        std::atomic<std::uint64_t>& slot = v4Top_[a >> (32 - topBits_)];
        std::uint64_t top = slot.load(std::memory_order_relaxed);
        if (top == 0) {
            top = topOf(a >> (32 - topBits_));
            slot.store(top, std::memory_order_relaxed);
        }
        node = static_cast<std::uint32_t>(top >> 8);
        depth = kV4Depth + static_cast<int>(top & 0xFF) - 1;
        low = a;
        // Writers number nodes depth first, so the rest of the walk mostly lies in the lines
        // right after this node: asked for at once, their misses overlap instead of following
        // one another down the levels.
        if (node < count) {
            const std::size_t at =
                std::size_t{node} * static_cast<std::size_t>(meta_.recordSize) / 4;
            const std::size_t end = std::min(tree_.size(), at + kTreeAhead);
            for (std::size_t p = at; p < end; p += 64) __builtin_prefetch(tree_.data() + p);
        }
    } else {
        if (meta_.ipVersion != 6) return std::nullopt;
        high = address.high();
        low = address.low();
    }
    while (node < count && depth < kBits) {
        const unsigned bit = depth < 64 ? static_cast<unsigned>(high >> (63 - depth) & 1)
                                        : static_cast<unsigned>(low >> (127 - depth) & 1);
        node = child(node, bit);
        ++depth;
    }
    if (node <= count || !soundRecord(node)) return std::nullopt;
    const std::uint32_t record = node - count - static_cast<std::uint32_t>(kSeparator);
    return Hit{record, address.isV4() ? std::max(depth - kV4Depth, 0) : depth};
}

std::optional<Place> Reader::locate(const ip::Address& address) const {
    const std::optional<Hit> hit = lookup(address);
    if (!hit) return std::nullopt;
    Place place;
    const int bits = address.isV4() ? 32 : 128;
    const int host = bits - hit->prefix;
    if (address.isV4()) {
        const std::uint32_t mask = host >= 32 ? ~0u : (std::uint32_t{1} << host) - 1;
        place.first = ip::Address::v4(address.v4Value() & ~mask);
        place.last = ip::Address::v4(address.v4Value() | mask);
    } else {
        const std::uint64_t lowMask = host >= 64 ? ~0ull : (host == 0 ? 0 : ~0ull >> (64 - host));
        const std::uint64_t highMask =
            host <= 64 ? 0 : (host >= 128 ? ~0ull : ~0ull >> (128 - host));
        place.first = ip::Address::v6(address.high() & ~highMask, address.low() & ~lowMask);
        place.last = ip::Address::v6(address.high() | highMask, address.low() | lowMask);
    }
    place.fields = fieldsOf(hit->record);
    // The record's first byte: what tells records apart (rows sharing one share an answer).
    place.record = data_.bytes().substr(hit->record, 1);
    place.handle = hit->record;
    return place;
}

template <class Leaf>
void Reader::walk(std::uint32_t start, int depth, std::uint64_t high, std::uint64_t low,
                  std::vector<std::uint64_t>& seen, Leaf&& leaf) const {
    struct Pending {
        std::uint32_t child;
        int depth;
        std::uint64_t high, low;
    };
    Pending stack[kBits + 2];
    int top = 0;
    stack[top++] = {start, depth, high, low};
    const std::uint32_t count = meta_.nodeCount;
    while (top > 0) {
        Pending p = stack[--top];
        while (true) {
            if (p.child > count) {
                if (!soundRecord(p.child)) break;  // leads nowhere: no addresses
                if (!leaf(p.child - count - static_cast<std::uint32_t>(kSeparator), p.depth, p.high,
                          p.low))
                    return;
                break;
            }
            if (p.child == count || p.depth >= kBits) break;
            // A node met again is an alias (or a loop): its addresses were given where the
            // walk met it first.
            std::uint64_t& word = seen[p.child / 64];
            const std::uint64_t mask = std::uint64_t{1} << (p.child % 64);
            if (word & mask) break;
            word |= mask;
            Pending right{child(p.child, 1), p.depth + 1, p.high, p.low};
            if (p.depth < 64)
                right.high |= 1ull << (63 - p.depth);
            else
                right.low |= 1ull << (127 - p.depth);
            if (right.child != count) stack[top++] = right;
            p = {child(p.child, 0), p.depth + 1, p.high, p.low};
        }
    }
}

namespace {

// The last address of the prefix of `depth` bits from (high, low).
void lastOf(int depth, std::uint64_t& high, std::uint64_t& low) {
    if (depth < 64) {
        high |= depth == 0 ? ~0ull : ~0ull >> depth;
        low = ~0ull;
    } else if (depth < kBits) {
        low |= ~0ull >> (depth - 64);
    }
}

// Whether `next` is the address right after `a`, of the same family.
bool precedes(const ip::Address& a, const ip::Address& next) {
    if (a.isV4() != next.isV4()) return false;
    if (a.isV4()) return a.v4Value() != ~0u && a.v4Value() + 1 == next.v4Value();
    const std::uint64_t h = a.high(), l = a.low();
    if (l == ~0ull) return h != ~0ull && next.low() == 0 && next.high() == h + 1;
    return next.high() == h && next.low() == l + 1;
}

}  // namespace

void Reader::searchEach(const std::vector<std::string>& keywords,
                        const std::function<void(Range&)>& each,
                        const std::stop_token& stop) const {
    std::vector<std::string_view> needles;
    for (const std::string& k : keywords) {
        if (!k.empty()) needles.push_back(k);
    }
    if (needles.empty()) return;
    std::string text;
    searchWhere(
        [&](const FieldViews& f) {
            text.clear();
            for (std::size_t i = 0; i + 1 < kRecordFields; ++i) {
                if (f[i].empty()) continue;
                if (!text.empty()) text += ' ';
                text += f[i];
            }
            return std::all_of(needles.begin(), needles.end(), [&](std::string_view n) {
                return text.find(n) != std::string::npos;
            });
        },
        each, stop);
}

void Reader::searchWhere(const std::function<bool(const FieldViews&)>& match,
                         const std::function<void(Range&)>& each,
                         const std::stop_token& stop) const {
    if (stop.stop_requested()) return;
    std::vector<std::uint64_t> seen(meta_.nodeCount / 64 + 1);
    // Each record is read once however many networks point to it: the records that do not
    // match, most of them, are remembered; a match is read again where a run of it starts.
    std::uint32_t lastRecord = ~0u;
    bool lastMatch = false;
    std::string lastDisplay;
    std::unordered_set<std::uint32_t> misses;
    auto judge = [&](std::uint32_t record) {
        if (record == lastRecord) return lastMatch;
        lastRecord = record;
        if (misses.contains(record)) return lastMatch = false;
        const FieldViews f = fieldsOf(record);
        lastMatch = match(f);
        if (lastMatch) {
            lastDisplay = displayOf(Place{{}, {}, f, {}, {}});
        } else {
            misses.insert(record);
        }
        return lastMatch;
    };
    Range pending;
    bool anyPending = false, open = false, stopped = false;
    ip::Address openLast;
    std::size_t leaves = 0;
    auto handOn = [&] {
        if (anyPending) each(pending);
        anyPending = false;
    };
    auto leafIn = [&](bool v4) {
        return [&, v4](std::uint32_t record, int depth, std::uint64_t high, std::uint64_t low) {
            if (++leaves % kStopEvery == 0 && stop.stop_requested()) {
                stopped = true;
                return false;
            }
            if (!judge(record)) {
                open = false;
                return true;
            }
            std::uint64_t lastHigh = high, lastLow = low;
            lastOf(depth, lastHigh, lastLow);
            const auto addr = [v4](std::uint64_t h, std::uint64_t l) {
                return v4 ? ip::Address::v4(static_cast<std::uint32_t>(l)) : ip::Address::v6(h, l);
            };
            const ip::Address first = addr(high, low), last = addr(lastHigh, lastLow);
            if (open && precedes(openLast, first) && lastDisplay == pending.display) {
                pending.last = last;
            } else {
                handOn();
                const FieldViews f = fieldsOf(record);
                pending = {first, last, lastDisplay, lastDisplay,
                           Fields{std::string(f[0]), std::string(f[1]), std::string(f[2]),
                                  std::string(f[3]), std::string(f[4]), std::string(f[5]),
                                  std::string(f[6])}};
                anyPending = true;
            }
            open = true;
            openLast = last;
            return true;
        };
    };
    if (v4Start_ > meta_.nodeCount) {
        leafIn(true)(v4Start_ - meta_.nodeCount - static_cast<std::uint32_t>(kSeparator),
                     v4Depth_ + kV4Depth, 0, 0);
    } else if (v4Start_ < meta_.nodeCount) {
        walk(v4Start_, kV4Depth + v4Depth_, 0, 0, seen, leafIn(true));
    }
    open = false;
    if (!stopped && meta_.ipVersion == 6) walk(0, 0, 0, 0, seen, leafIn(false));
    handOn();
}

std::size_t Reader::rangeCount() const {
    std::call_once(rangeCount_->once, [this] {
        std::vector<std::uint64_t> seen(meta_.nodeCount / 64 + 1);
        std::size_t n = 0;
        std::uint32_t lastRecord = ~0u;
        std::uint64_t nextHigh = 0, nextLow = 0;
        bool any = false;
        auto leaf = [&](std::uint32_t record, int depth, std::uint64_t high, std::uint64_t low) {
            if (!any || record != lastRecord || high != nextHigh || low != nextLow) ++n;
            any = true;
            lastRecord = record;
            lastOf(depth, high, low);
            nextLow = low + 1;
            nextHigh = low == ~0ull ? high + 1 : high;
            return true;
        };
        if (v4Start_ > meta_.nodeCount) {
            ++n;
        } else if (v4Start_ < meta_.nodeCount) {
            walk(v4Start_, kV4Depth + v4Depth_, 0, 0, seen, leaf);
        }
        any = false;
        if (meta_.ipVersion == 6) walk(0, 0, 0, 0, seen, leaf);
        rangeCount_->value = n;
    });
    return rangeCount_->value;
}

std::optional<std::string> Reader::versionText() const {
    std::string text(meta_.databaseType);
    if (meta_.buildEpoch) {
        if (!text.empty()) text += ' ';
        text += dateOf(*meta_.buildEpoch);
    }
    if (text.empty()) return std::nullopt;
    return text;
}

std::uint64_t Reader::topOf(std::uint32_t index) const {
    std::uint32_t node = v4Start_;
    int depth = 0;
    for (; node < meta_.nodeCount && depth < topBits_; ++depth)
        node = child(node, index >> (topBits_ - 1 - depth) & 1);
    return std::uint64_t{node} << 8 | static_cast<std::uint64_t>(depth + 1);
}

std::unique_ptr<Database> Reader::at(std::string_view bytes,
                                     const std::shared_ptr<const void>& owner,
                                     const MoreViews& /*more*/) const {
    if (bytes.size() != bytes_.size()) return nullptr;
    auto copy = std::unique_ptr<Reader>(new Reader());
    copy->owner_ = owner;
    copy->bytes_ = bytes;
    copy->tree_ = samePlace(tree_, bytes_, bytes);
    copy->data_ = Section(samePlace(data_.bytes(), bytes_, bytes));
    copy->metaSection_ = Section(samePlace(metaSection_.bytes(), bytes_, bytes));
    copy->meta_ = meta_;
    copy->meta_.databaseType = samePlace(meta_.databaseType, bytes_, bytes);
    copy->meta_.description = samePlace(meta_.description, bytes_, bytes);
    copy->v4Start_ = v4Start_;
    copy->v4Depth_ = v4Depth_;
    copy->v4Top_ = v4Top_;
    copy->topBits_ = topBits_;
    copy->rangeCount_ = rangeCount_;
    copy->keys_ = keys_;
    return copy;
}

std::string Reader::source() const {
    std::string text(meta_.databaseType);
    if (!meta_.description.empty() && meta_.description != meta_.databaseType)
        text += text.empty() ? std::string(meta_.description)
                             : " (" + std::string(meta_.description) + ")";
    return text;
}

std::unique_ptr<Reader> Reader::open(std::string_view bytes, std::shared_ptr<const void> owner,
                                     OpenFailure& failure) {
    auto fail = [&](OpenError error) {
        failure = {error};
        return nullptr;
    };
    const std::size_t from = bytes.size() > kMetadataWindow ? bytes.size() - kMetadataWindow : 0;
    std::size_t marker = bytes.substr(from).rfind(kMarker);
    if (marker == std::string_view::npos) return fail(OpenError::MmdbNoMetadata);
    marker += from;
    auto db = std::unique_ptr<Reader>(new Reader());
    db->owner_ = std::move(owner);
    db->bytes_ = bytes;
    db->metaSection_ = Section(bytes.substr(marker + kMarker.size()));
    const Section& ms = db->metaSection_;
    const std::optional<Value> meta = ms.read(0);
    if (!meta || meta->type != Type::Map) return fail(OpenError::MmdbMetadataDamaged);
    std::optional<std::uint64_t> nodeCount, recordSize, ipVersion, major;
    Metadata& m = db->meta_;
    const bool whole = ms.eachPair(*meta, [&](std::string_view key, std::size_t at) {
        const std::optional<Value> v = ms.read(at);
        if (!v) return true;
        if (key == "node_count") nodeCount = v->unsignedValue();
        if (key == "record_size") recordSize = v->unsignedValue();
        if (key == "ip_version") ipVersion = v->unsignedValue();
        if (key == "binary_format_major_version") major = v->unsignedValue();
        if (key == "database_type") m.databaseType = v->text();
        if (key == "build_epoch") m.buildEpoch = v->unsignedValue();
        if (key == "description" && v->type == Type::Map) {
            ms.eachPair(*v, [&](std::string_view language, std::size_t text) {
                const std::string_view said = textAt(ms, text);
                if (!said.empty() && (m.description.empty() || language == "en"))
                    m.description = said;
                return true;
            });
        }
        if (key == "languages" && v->type == Type::Array) {
            std::size_t item = v->items;
            for (std::uint32_t i = 0; i < v->size && item != 0; ++i) {
                if (textAt(ms, item) == "zh-CN") m.hasChinese = true;
                item = ms.endOf(item);
            }
        }
        return true;
    });
    if (!whole) return fail(OpenError::MmdbMetadataDamaged);
    if (!major || *major != 2) return fail(OpenError::MmdbFormatVersion);
    if (!nodeCount || *nodeCount == 0 || *nodeCount >= (1ull << 32) - kSeparator)
        return fail(OpenError::MmdbNoNodeCount);
    if (!recordSize || (*recordSize != 24 && *recordSize != 28 && *recordSize != 32))
        return fail(OpenError::MmdbRecordSize);
    if (!ipVersion || (*ipVersion != 4 && *ipVersion != 6)) return fail(OpenError::MmdbIpVersion);
    m.nodeCount = static_cast<std::uint32_t>(*nodeCount);
    m.recordSize = static_cast<int>(*recordSize);
    m.ipVersion = static_cast<int>(*ipVersion);
    const std::uint64_t treeSize = *nodeCount * *recordSize / 4;
    if (treeSize + kSeparator > marker) return fail(OpenError::MmdbTreePastEnd);
    db->tree_ = bytes.substr(0, static_cast<std::size_t>(treeSize));
    const std::size_t dataStart = static_cast<std::size_t>(treeSize) + kSeparator;
    db->data_ = Section(bytes.substr(dataStart, marker - dataStart));

    // A record is a node, the empty mark, or a value's start inside the data section. The
    // tree is not read whole here (a world file's tree is tens of megabytes, and reading it
    // would cost the open its time and the program its memory): every walk checks each
    // record it reaches (soundRecord) and stops at one that leads nowhere; the tree only
    // ever leads deeper, so no walk loops. The root is checked, and where IPv4 addresses
    // start (below), so that a file damaged at its start is refused.
    for (unsigned bit = 0; bit < 2; ++bit)
        if (!db->soundRecord(db->child(0, bit))) return fail(OpenError::MmdbRecordPastData);

    // IPv4 addresses: the whole tree of an IPv4 file, or what ::/96 leads to in an IPv6 one.
    if (m.ipVersion == 6) {
        std::uint32_t n = 0;
        int depth = 0;
        for (; depth < kV4Depth && n < m.nodeCount; ++depth) n = db->child(n, 0);
        db->v4Start_ = n;
        db->v4Depth_ = depth - kV4Depth;  // negative when a record stands for more than ::/96
    }
    // No more levels than a tree of that many nodes can have in full.
    db->topBits_ = std::min(kTopBits, static_cast<int>(std::bit_width(m.nodeCount)));
    db->v4Top_ = std::shared_ptr<std::atomic<std::uint64_t>[]>(
        new std::atomic<std::uint64_t>[std::size_t{1} << db->topBits_]());
    if (!db->soundRecord(db->v4Start_)) return fail(OpenError::MmdbRecordPastData);
    return db;
}

}  // namespace ipdata::mmdb

namespace ipdata {

bool looksLikeMmdb(std::string_view bytes) {
    const std::size_t from =
        bytes.size() > mmdb::kMetadataWindow ? bytes.size() - mmdb::kMetadataWindow : 0;
    return bytes.substr(from).rfind(mmdb::kMarker) != std::string_view::npos;
}

std::unique_ptr<Database> openMmdb(std::string_view bytes, std::shared_ptr<const void> owner,
                                   OpenFailure& failure) {
    return mmdb::Reader::open(bytes, std::move(owner), failure);
}

namespace {

class MmdbNetworks final : public Networks {
  public:
    explicit MmdbNetworks(std::shared_ptr<const mmdb::Reader> reader)
        : reader_(std::move(reader)) {}
    std::optional<AsnAnswer> find(const ip::Address& address) const override {
        const std::optional<Place> place = reader_->locate(address);
        if (!place) return std::nullopt;
        const std::optional<std::uint32_t> number = reader_->extras(place->handle).asn;
        if (!number || *number == 0) return std::nullopt;
        // The operator's place holds the AS organisation where the record has no isp.
        return AsnAnswer{*number, place->fields[5], place->first, place->last};
    }

  private:
    std::shared_ptr<const mmdb::Reader> reader_;
};

}  // namespace

bool isNetworkFile(const Database& database) {
    const auto* reader = dynamic_cast<const mmdb::Reader*>(&database);
    if (!reader) return false;
    std::string type(reader->metadata().databaseType);
    for (char& c : type) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return type.find("ASN") != std::string::npos;
}

std::unique_ptr<Networks> mmdbNetworks(std::shared_ptr<const Database> reader) {
    auto mmdb = std::dynamic_pointer_cast<const mmdb::Reader>(std::move(reader));
    if (!mmdb) return nullptr;
    return std::make_unique<MmdbNetworks>(std::move(mmdb));
}

}  // namespace ipdata
