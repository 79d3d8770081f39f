// The ip2region v1 reader. File layout (all little-endian): at offset 0 the offsets of the
// first and the last index entry; each index entry is 12 bytes (first address, last
// address, then the data record's offset in the low 24 bits and its length in the high 8);
// a data record is a 4-byte city id followed by the region text in UTF-8. Everything is
// read, checked and converted once, at open: the database keeps no reference to the bytes.
#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "ipdata/ipdata.h"
#include "text/bytes.h"
#include "text/text.h"

namespace ipdata {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kCityIdSize = 4;
// How many ranges a search walks between two looks at the stop flag.
constexpr std::size_t kStopEvery = 4096;
constexpr std::string_view kChina = "中国";
constexpr std::size_t kProvinceField = 2;

// The fields joined by spaces, empty and "0" fields left out. '|' never occurs inside a
// UTF-8 character, so a plain byte split is right here.
std::string searchTextOf(std::string_view utf8) {
    std::string out;
    while (true) {
        const std::size_t bar = utf8.find('|');
        const std::string_view field = utf8.substr(0, bar);
        if (!field.empty() && field != "0") {
            if (!out.empty()) out += ' ';
            out += field;
        }
        if (bar == std::string_view::npos) break;
        utf8.remove_prefix(bar + 1);
    }
    return out;
}

// "country|area|province|city|operator" by what each part names; "0" is none. Views into
// `region`.
FieldViews fieldsOfRegion(std::string_view region) {
    std::string_view parts[5];
    for (std::string_view& part : parts) {
        const std::size_t bar = region.find('|');
        const std::string_view field = region.substr(0, bar);
        if (field != "0") part = field;
        if (bar == std::string_view::npos) break;
        region.remove_prefix(bar + 1);
    }
    FieldViews f{};
    f[0] = parts[0];  // country
    f[1] = parts[2];  // province
    f[2] = parts[3];  // city
    f[5] = parts[4];  // operator
    return f;
}

bool stopped(const std::stop_token& stop) {
    return stop.stop_requested();
}

class Ip2region final : public Database {
  public:
    static std::unique_ptr<Database> open(std::string_view bytes, OpenFailure& failure);

    std::optional<Place> locate(const ip::Address& address) const override;
    void searchEach(const std::vector<std::string>& keywords,
                    const std::function<void(Range&)>& each,
                    const std::stop_token& stop) const override;
    void searchWhere(const std::function<bool(const FieldViews&)>& match,
                     const std::function<void(Range&)>& each,
                     const std::stop_token& stop) const override;
    std::size_t rangeCount() const override { return entries_.size(); }
    std::string_view formatName() const override { return "ip2region"; }
    std::optional<std::string> versionText() const override { return version_; }

  private:
    struct Entry {
        std::uint32_t first;
        std::uint32_t last;
        std::uint32_t record;  // into records_
    };
    struct Record {
        std::string searchText;  // UTF-8, fields joined by spaces without "0" fields
        std::string region;
        std::string display;
    };

    // The ranges of the records `accepts` takes, as searchEach hands them on.
    void searchMatching(const std::function<bool(const Record&)>& accepts,
                        const std::function<void(Range&)>& each, const std::stop_token& stop) const;
    Place placeAt(std::size_t index) const;
    Range rangeAt(std::size_t index) const;

    // The range at the top of the IPv4 space whose record is a version stamp goes at open,
    // with every other range of that record: it is no place's answer (isVersionStamp).
    void dropVersion();

    std::vector<Entry> entries_;  // ascending, not overlapping
    std::vector<Record> records_;
    std::optional<std::string> version_;  // the dropped record's fields, UTF-8
};

void Ip2region::dropVersion() {
    if (entries_.empty() || entries_.back().last != 0xFFFFFFFFu) return;
    const std::uint32_t id = entries_.back().record;
    if (!isVersionStamp(records_[id].searchText)) return;
    version_ = records_[id].searchText;
    std::erase_if(entries_, [id](const Entry& e) { return e.record == id; });
}

std::unique_ptr<Database> Ip2region::open(std::string_view bytes, OpenFailure& failure) {
    if (bytes.empty()) {
        failure = {OpenError::Empty};
        return nullptr;
    }
    if (bytes.size() < kHeaderSize) {
        failure = {OpenError::NoHeader};
        return nullptr;
    }
    const std::uint64_t firstIndex = le::u32(bytes, 0);
    const std::uint64_t lastIndex = le::u32(bytes, 4);
    if (firstIndex > lastIndex) {
        failure = {OpenError::IndexReversed};
        return nullptr;
    }
    if (firstIndex < kHeaderSize) {
        failure = {OpenError::IndexOverlapsHeader};
        return nullptr;
    }
    if ((lastIndex - firstIndex) % kEntrySize != 0) {
        failure = {OpenError::IndexNotWholeEntries};
        return nullptr;
    }
    if (lastIndex + kEntrySize > bytes.size()) {
        failure = {OpenError::IndexPastEnd};
        return nullptr;
    }

    auto db = std::make_unique<Ip2region>();
    const std::size_t count = static_cast<std::size_t>((lastIndex - firstIndex) / kEntrySize + 1);
    db->entries_.reserve(count);
    // Many ranges share one record; each distinct record is converted once, here.
    std::unordered_map<std::uint32_t, std::uint32_t> recordIds;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(firstIndex) + i * kEntrySize;
        const std::uint32_t first = le::u32(bytes, at);
        const std::uint32_t last = le::u32(bytes, at + 4);
        const std::uint32_t pointer = le::u32(bytes, at + 8);
        if (first > last) {
            failure = {OpenError::RangeReversed, i};
            return nullptr;
        }
        if (!db->entries_.empty() && first <= db->entries_.back().last) {
            failure = {OpenError::RangeOutOfOrder, i};
            return nullptr;
        }
        const std::size_t offset = pointer & 0xFFFFFF;
        const std::size_t length = pointer >> 24;
        if (length < kCityIdSize) {
            failure = {OpenError::RecordTooShort, i};
            return nullptr;
        }
        if (offset + length > bytes.size()) {
            failure = {OpenError::RecordPastEnd, i};
            return nullptr;
        }
        auto [it, added] =
            recordIds.try_emplace(pointer, static_cast<std::uint32_t>(db->records_.size()));
        if (added) {
            const std::string utf8(bytes.substr(offset + kCityIdSize, length - kCityIdSize));
            std::string display = regionDisplay(utf8);
            db->records_.push_back({searchTextOf(utf8), utf8, std::move(display)});
        }
        db->entries_.push_back({first, last, it->second});
    }
    db->dropVersion();
    return db;
}

Place Ip2region::placeAt(std::size_t index) const {
    const Entry& e = entries_[index];
    const Record& r = records_[e.record];
    return {ip::Address::v4(e.first), ip::Address::v4(e.last), fieldsOfRegion(r.region), r.region,
            r.display};
}

Range Ip2region::rangeAt(std::size_t index) const {
    const Place p = placeAt(index);
    const FieldViews& f = p.fields;
    return {p.first, p.last, std::string(p.record), std::string(p.shown),
            Fields{std::string(f[0]),
                   std::string(f[1]),
                   std::string(f[2]),
                   {},
                   {},
                   std::string(f[5]),
                   {}}};
}

std::optional<Place> Ip2region::locate(const ip::Address& address) const {
    if (!address.isV4()) return std::nullopt;
    const std::uint32_t value = address.v4Value();
    // The first range starting after the address; the one before it may hold it.
    auto after = std::upper_bound(entries_.begin(), entries_.end(), value,
                                  [](std::uint32_t a, const Entry& e) { return a < e.first; });
    if (after == entries_.begin()) return std::nullopt;
    const std::size_t index = static_cast<std::size_t>(after - entries_.begin()) - 1;
    if (value > entries_[index].last) return std::nullopt;
    return placeAt(index);
}

void Ip2region::searchEach(const std::vector<std::string>& keywords,
                           const std::function<void(Range&)>& each,
                           const std::stop_token& stop) const {
    // Matching in UTF-8 cannot hit the middle of a character, as a GBK byte search could.
    std::vector<std::string> needles;
    for (const std::string& keyword : keywords)
        if (!keyword.empty()) needles.push_back(keyword);
    if (needles.empty()) return;
    searchMatching(
        [&](const Record& record) {
            return std::all_of(needles.begin(), needles.end(), [&](const std::string& needle) {
                return record.searchText.find(needle) != std::string::npos;
            });
        },
        each, stop);
}

void Ip2region::searchWhere(const std::function<bool(const FieldViews&)>& match,
                            const std::function<void(Range&)>& each,
                            const std::stop_token& stop) const {
    searchMatching([&](const Record& record) { return match(fieldsOfRegion(record.region)); }, each,
                   stop);
}

void Ip2region::searchMatching(const std::function<bool(const Record&)>& accepts,
                               const std::function<void(Range&)>& each,
                               const std::stop_token& stop) const {
    std::vector<char> matches(records_.size());
    std::optional<Range> pending;  // handed on once the next range does not join it
    for (std::size_t r = 0; r < records_.size(); ++r) {
        if (r % kStopEvery == 0 && stopped(stop)) return;
        matches[r] = accepts(records_[r]) ? 1 : 0;
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i % kStopEvery == 0 && stopped(stop)) break;
        if (!matches[entries_[i].record]) continue;
        // Adjacent ranges that read the same are one row.
        if (pending && pending->last.v4Value() + 1 == entries_[i].first &&
            pending->display == records_[entries_[i].record].display) {
            pending->last = ip::Address::v4(entries_[i].last);
            continue;
        }
        if (pending) each(*pending);
        pending = rangeAt(i);
    }
    if (pending) each(*pending);
}

}  // namespace

std::unique_ptr<Database> openIp2region(std::string_view bytes, OpenFailure& failure) {
    return Ip2region::open(bytes, failure);
}

std::string regionDisplay(const std::string& region) {
    // '|' never occurs inside a UTF-8 character: a plain byte split.
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
        const std::size_t bar = region.find('|', from);
        fields.push_back(region.substr(from, bar - from));
        if (bar == std::string::npos) break;
        from = bar + 1;
    }
    auto known = [&](std::size_t i) {
        return i < fields.size() && !fields[i].empty() && fields[i] != "0";
    };
    // Within China the province says enough; without one the country stays.
    const bool hideCountry = known(0) && fields[0] == kChina && known(kProvinceField);
    std::string out;
    const std::string* shown = nullptr;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::string& field = fields[i];
        if (!known(i) || (i == 0 && hideCountry)) continue;
        if (shown != nullptr && *shown == field) continue;
        if (!out.empty()) out += ' ';
        out += field;
        shown = &field;
    }
    return out;
}

}  // namespace ipdata
