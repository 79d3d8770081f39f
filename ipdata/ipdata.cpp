#include "ipdata/ipdata.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "text/text.h"

namespace ipdata {
namespace {

constexpr std::size_t kHeaderSize = 8;
constexpr std::size_t kEntrySize = 12;
constexpr std::size_t kCityIdSize = 4;
// How many ranges a search walks between two looks at the stop flag.
constexpr std::size_t kStopEvery = 4096;
// "中国" in GBK, spelled as bytes so that builds keeping UTF-8 literals agree.
constexpr std::string_view kChina = "\xD6\xD0\xB9\xFA";
constexpr std::size_t kProvinceField = 2;

// The caller has checked that four bytes are there.
std::uint32_t readLe32(std::string_view bytes, std::size_t at) {
    unsigned char b[4];
    std::memcpy(b, bytes.data() + at, 4);
    return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
           static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

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

std::string rangeReason(std::size_t index, const char* what) {
    return "地址库第 " + numberToText(static_cast<long long>(index) + 1) + " 条地址段" + what;
}

bool stopped(const std::atomic<bool>* stop) {
    return stop != nullptr && stop->load(std::memory_order_relaxed);
}

}  // namespace

std::optional<Database> Database::open(std::string_view bytes, std::string& reason) {
    if (bytes.empty()) {
        reason = "地址库文件是空的";
        return std::nullopt;
    }
    if (bytes.size() < kHeaderSize) {
        reason = "地址库文件太短,没有完整的文件头";
        return std::nullopt;
    }
    const std::uint64_t firstIndex = readLe32(bytes, 0);
    const std::uint64_t lastIndex = readLe32(bytes, 4);
    if (firstIndex > lastIndex) {
        reason = "地址库文件头有误:索引的起点在终点之后";
        return std::nullopt;
    }
    if (firstIndex < kHeaderSize) {
        reason = "地址库文件头有误:索引与文件头重叠";
        return std::nullopt;
    }
    if ((lastIndex - firstIndex) % kEntrySize != 0) {
        reason = "地址库文件头有误:索引长度不是 12 字节的整数倍";
        return std::nullopt;
    }
    if (lastIndex + kEntrySize > bytes.size()) {
        reason = "地址库索引超出了文件末尾,文件可能不完整";
        return std::nullopt;
    }

    Database db;
    const std::size_t count = static_cast<std::size_t>((lastIndex - firstIndex) / kEntrySize + 1);
    db.entries_.reserve(count);
    // Many ranges share one record; each distinct record is converted once, here.
    std::unordered_map<std::uint32_t, std::uint32_t> recordIds;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = static_cast<std::size_t>(firstIndex) + i * kEntrySize;
        const std::uint32_t first = readLe32(bytes, at);
        const std::uint32_t last = readLe32(bytes, at + 4);
        const std::uint32_t pointer = readLe32(bytes, at + 8);
        if (first > last) {
            reason = rangeReason(i, "的起止地址颠倒");
            return std::nullopt;
        }
        if (!db.entries_.empty() && first <= db.entries_.back().last) {
            reason = rangeReason(i, "未按地址排列,或与前一段重叠");
            return std::nullopt;
        }
        const std::size_t offset = pointer & 0xFFFFFF;
        const std::size_t length = pointer >> 24;
        if (length < kCityIdSize) {
            reason = rangeReason(i, "的地区记录太短");
            return std::nullopt;
        }
        if (offset + length > bytes.size()) {
            reason = rangeReason(i, "的地区记录超出了文件末尾");
            return std::nullopt;
        }
        auto [it, added] =
            recordIds.try_emplace(pointer, static_cast<std::uint32_t>(db.records_.size()));
        if (added) {
            const std::string utf8(bytes.substr(offset + kCityIdSize, length - kCityIdSize));
            std::string region = utf8ToGbk(utf8);
            std::string display = regionDisplay(region);
            db.records_.push_back({searchTextOf(utf8), std::move(region), std::move(display)});
        }
        db.entries_.push_back({first, last, it->second});
    }
    return db;
}

Range Database::rangeAt(std::size_t index) const {
    const Entry& e = entries_[index];
    const Record& r = records_[e.record];
    return {e.first, e.last, r.region, r.display};
}

std::optional<Range> Database::find(std::uint32_t address) const {
    // The first range starting after the address; the one before it may hold it.
    auto after = std::upper_bound(entries_.begin(), entries_.end(), address,
                                  [](std::uint32_t a, const Entry& e) { return a < e.first; });
    if (after == entries_.begin()) return std::nullopt;
    const std::size_t index = static_cast<std::size_t>(after - entries_.begin()) - 1;
    if (address > entries_[index].last) return std::nullopt;
    return rangeAt(index);
}

std::vector<Range> Database::search(const std::vector<std::string>& keywords,
                                    const std::atomic<bool>* stop) const {
    // Matching in UTF-8 cannot hit the middle of a character, as a GBK byte search could.
    std::vector<std::string> needles;
    for (const std::string& keyword : keywords)
        if (!keyword.empty()) needles.push_back(gbkToUtf8(keyword));
    std::vector<Range> found;
    if (needles.empty()) return found;

    std::vector<char> matches(records_.size());
    for (std::size_t r = 0; r < records_.size(); ++r) {
        if (r % kStopEvery == 0 && stopped(stop)) return found;
        const std::string& text = records_[r].searchText;
        matches[r] = std::all_of(needles.begin(), needles.end(), [&](const std::string& needle) {
            return text.find(needle) != std::string::npos;
        });
    }
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        if (i % kStopEvery == 0 && stopped(stop)) break;
        if (matches[entries_[i].record]) found.push_back(rangeAt(i));
    }
    return found;
}

std::string regionDisplay(const std::string& region) {
    const TextList fields = splitText(region, "|");
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

std::string addressDisplay(std::uint32_t address) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) {
        if (shift != 24) out += '.';
        out += std::to_string(address >> shift & 0xFF);
    }
    return out;
}

std::string rangeDisplay(const Range& range) {
    return addressDisplay(range.first) + "-" + addressDisplay(range.last);
}

std::optional<std::uint32_t> parseAddress(std::string_view dotted) {
    constexpr std::string_view kBlank = " \t\r\n";
    const std::size_t begin = dotted.find_first_not_of(kBlank);
    if (begin == std::string_view::npos) return std::nullopt;
    dotted = dotted.substr(begin, dotted.find_last_not_of(kBlank) - begin + 1);

    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (dotted.empty() || dotted.front() != '.') return std::nullopt;
            dotted.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned value = 0;
        while (digits < dotted.size() && dotted[digits] >= '0' && dotted[digits] <= '9') {
            if (++digits > 3) return std::nullopt;
            value = value * 10 + static_cast<unsigned>(dotted[digits - 1] - '0');
        }
        if (digits == 0 || value > 255) return std::nullopt;
        dotted.remove_prefix(digits);
        address = address << 8 | value;
    }
    if (!dotted.empty()) return std::nullopt;
    return address;
}

}  // namespace ipdata
