#include "ipdata/ipdata.h"

#include <algorithm>

#include "ipdata/mmdb.h"
#include "text/bytes.h"

namespace ipdata {
namespace {

// UTF-8 whatever the compiler's execution character set.
std::string_view utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the digits at the start of `text`.
std::size_t digitsAt(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && isDigit(text[n])) ++n;
    return n;
}

// Whether the header's two offsets are past it, in order, the first inside the file, and
// whole 7-byte index entries apart but not whole 12-byte ones: a qqwry.dat index cut short.
// (A text's first bytes read as an offset lie far past its end.)
bool qqwryIndex(std::string_view bytes) {
    const std::uint32_t first = le::u32(bytes, 0), last = le::u32(bytes, 4);
    return bytes.size() >= 8 && first >= 8 && first < bytes.size() && first <= last &&
           (last - first) % 7 == 0 && (last - first) % 12 != 0;
}

}  // namespace

bool isVersionStamp(std::string_view text) {
    const std::string_view year = utf8(u8"年"), month = utf8(u8"月"), day = utf8(u8"日"),
                           data = utf8(u8"IP数据");
    for (std::size_t at = text.find(year); at != std::string_view::npos;
         at = text.find(year, at + 1)) {
        if (at < 4 || !isDigit(text[at - 1]) || !isDigit(text[at - 2]) || !isDigit(text[at - 3]) ||
            !isDigit(text[at - 4]))
            continue;
        std::string_view rest = text.substr(at + year.size());
        std::size_t n = digitsAt(rest);
        if (n == 0 || n > 2 || !rest.substr(n).starts_with(month)) continue;
        rest.remove_prefix(n + month.size());
        n = digitsAt(rest);
        if (n == 0 || n > 2 || !rest.substr(n).starts_with(day)) continue;
        if (rest.substr(n + day.size()).starts_with(data)) return true;
    }
    return false;
}

std::string Database::source() const {
    const std::optional<std::string> version = versionText();
    if (!version) return {};
    std::string said;
    std::string_view rest = *version;
    while (!rest.empty()) {
        const std::size_t space = std::min(rest.find(' '), rest.size());
        const std::string_view word = rest.substr(0, space);
        if (!word.empty() && !isVersionStamp(word)) {
            if (!said.empty()) said += ' ';
            said += word;
        }
        rest.remove_prefix(std::min(space + 1, rest.size()));
    }
    return said;
}

bool isIpdbError(OpenError error) {
    return error >= OpenError::NoMetadataLength && error <= OpenError::RecordPointerPastEnd;
}

bool isMmdbError(OpenError error) {
    return error >= OpenError::MmdbNoMetadata;
}

std::unique_ptr<Database> openDatabase(std::string_view bytes, std::shared_ptr<const void> owner,
                                       OpenFailure& failure) {
    // An ipdb file opens with the length of its metadata, big-endian and small, then the
    // metadata's "{". An ip2region header could look so by chance (its first bytes are
    // offsets): when it does and the ipdb reading fails, ip2region gets its turn.
    // A MaxMind DB file ends with its metadata, after a marker no other format holds there.
    // qqwry.dat has no marker either: its header's offsets must fit the file (the index runs
    // to its end, in 7-byte entries). It comes last: when the header fits ip2region too, that
    // reading goes first, and a failure is qqwry's to say only when the header fits it, or
    // fits a qqwry.dat file cut in its index.
    if (looksLikeMmdb(bytes)) return openMmdb(bytes, std::move(owner), failure);
    const bool ipdbLike = bytes.size() > 4 && bytes[0] == 0 && bytes[4] == '{';
    if (ipdbLike) {
        if (auto db = openIpdb(bytes, std::move(owner), failure)) return db;
        OpenFailure other;
        if (auto db = openIp2region(bytes, other)) return db;
    } else if (auto db = openIp2region(bytes, failure)) {
        return db;
    }
    if (!looksLikeQqwry(bytes) && !qqwryIndex(bytes)) return nullptr;
    return openQqwry(bytes, failure);
}

std::vector<Range> Database::search(const std::vector<std::string>& keywords,
                                    const std::stop_token& stop) const {
    std::vector<Range> found;
    searchEach(
        keywords, [&](Range& range) { found.push_back(std::move(range)); }, stop);
    return found;
}

namespace {
// "中国" in UTF-8, the records' encoding.
constexpr std::string_view kChina = "\xE4\xB8\xAD\xE5\x9B\xBD";
}  // namespace

void appendDisplay(const Place& place, std::string& out) {
    if (!place.shown.empty()) {
        out += place.shown;
        return;
    }
    const FieldViews& f = place.fields;
    // Within China the province says enough; without one the country stays.
    const bool hideCountry = f[0] == kChina && !f[1].empty();
    constexpr std::size_t kShown = kRecordFields - 1;  // all but the country code
    std::string_view shown;
    const std::size_t start = out.size();
    for (std::size_t r = 0; r < kShown; ++r) {
        const std::string_view field = f[r];
        if (field.empty() || (r == 0 && hideCountry) || field == shown) continue;
        if (out.size() > start) out += ' ';
        out += field;
        shown = field;
    }
}

std::string displayOf(const Place& place) {
    std::string out;
    appendDisplay(place, out);
    return out;
}

std::optional<Range> Database::find(const ip::Address& address) const {
    const std::optional<Place> place = locate(address);
    if (!place) return std::nullopt;
    const FieldViews& f = place->fields;
    Range range{place->first, place->last, std::string(place->record), displayOf(*place),
                Fields{std::string(f[0]), std::string(f[1]), std::string(f[2]), std::string(f[3]),
                       std::string(f[4]), std::string(f[5]), std::string(f[6])}};
    return range;
}

std::string rangeDisplay(const Range& range) {
    return ip::formatRange(range.first, range.last);
}

std::string addressDisplay(std::uint32_t address) {
    return ip::formatAddress(ip::Address::v4(address));
}

std::optional<std::uint32_t> parseAddress(std::string_view dotted) {
    const std::optional<ip::Address> address = ip::parseAddress(dotted);
    if (!address || !address->isV4()) return std::nullopt;
    return address->v4Value();
}

}  // namespace ipdata
