#include "text/address.h"

#include <bit>
#include <unordered_map>

#include "text/codepage.h"

namespace ip {
namespace {

constexpr std::string_view kBlank = " \t\r\n";
// The longest text form: six groups and an IPv4 tail.
constexpr std::size_t kLongestV6 = 45;

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isWordChar(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

std::uint64_t readHalf(const std::array<std::uint8_t, 16>& bytes, int from) {
    std::uint64_t value = 0;
    for (int i = from; i < from + 8; ++i) value = value << 8 | bytes[i];
    return value;
}

void writeHalf(std::array<std::uint8_t, 16>& bytes, int from, std::uint64_t value) {
    for (int i = from + 7; i >= from; --i, value >>= 8) bytes[i] = static_cast<std::uint8_t>(value);
}

bool isMapped(const Address& a) {
    for (int i = 0; i < 10; ++i)
        if (a.bytes[i] != 0) return false;
    return a.bytes[10] == 0xFF && a.bytes[11] == 0xFF;
}

std::string dotted(const std::uint8_t* four) {
    std::string out;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) out += '.';
        out += std::to_string(four[i]);
    }
    return out;
}

struct AddressHash {
    std::size_t operator()(const Address& a) const {
        const std::uint64_t h = a.high() * 0x9E3779B97F4A7C15ull ^ a.low();
        return static_cast<std::size_t>(h ^ h >> 29) ^ static_cast<std::size_t>(a.family);
    }
};

// Bytes that may belong to an address's text.
struct TokenTable {
    bool token[256] = {};
    constexpr TokenTable() {
        for (int c = '0'; c <= '9'; ++c) token[c] = true;
        for (int c = 'a'; c <= 'f'; ++c) token[c] = token[c - 'a' + 'A'] = true;
        token[static_cast<unsigned char>('.')] = token[static_cast<unsigned char>(':')] = true;
    }
};
constexpr TokenTable kTokens;

// The characters of a dotted IPv4 address.
struct DottedTable {
    bool token[256] = {};
    constexpr DottedTable() {
        for (int c = '0'; c <= '9'; ++c) token[c] = true;
        token[static_cast<unsigned char>('.')] = true;
    }
};
constexpr DottedTable kDotted;

class Finder {
  public:
    Finder(std::vector<Address>& out, std::vector<std::uint32_t>* hits) : out_(out), hits_(hits) {}

    // A maximal run of address characters; `gluedBefore`/`gluedAfter`: a letter, digit or
    // '_' touches it on that side.
    void run(std::string_view run, bool gluedBefore, bool gluedAfter) {
        if (run.find_first_of(".:") == std::string_view::npos) return;
        std::size_t begin = 0, end = run.size();
        while (end > begin && run[end - 1] == '.') --end;
        // One colon at either end is punctuation ("addr:1.2.3.4", "host 2001:db8::1: down");
        // two belong to the address ("::1", "2001:db8::").
        if (end - begin >= 2 && run[begin] == ':' && run[begin + 1] != ':') ++begin;
        if (end - begin >= 2 && run[end - 1] == ':' && run[end - 2] != ':') --end;
        const bool freeStart = !(gluedBefore && begin == 0);
        const bool freeEnd = !(gluedAfter && end == run.size());
        const std::string_view core = run.substr(begin, end - begin);
        if (freeStart && freeEnd && take(core)) return;
        if (core.find(':') == std::string_view::npos || core.find('.') == std::string_view::npos)
            return;
        // An IPv4 address beside a port or a label: "1.2.3.4:8080", "a:1.2.3.4".
        std::size_t at = 0;
        while (at <= core.size()) {
            std::size_t colon = core.find(':', at);
            if (colon == std::string_view::npos) colon = core.size();
            std::string_view piece = core.substr(at, colon - at);
            while (!piece.empty() && piece.back() == '.') piece.remove_suffix(1);
            const bool first = begin + at == 0, last = begin + colon == run.size();
            if (piece.find('.') != std::string_view::npos && (freeStart || !first) &&
                (freeEnd || !last) &&
                piece.find_first_not_of("0123456789.") == std::string_view::npos)
                takeV4(piece);
            at = colon + 1;
        }
    }

  private:
    bool take(std::string_view text) {
        std::optional<Address> a;
        if (text.find(':') == std::string_view::npos) {
            a = parseV4(text);
        } else if (text.find_first_not_of(':') != std::string_view::npos) {
            // "::" alone is the unspecified address, but in prose it is punctuation.
            a = parseV6(text);
        }
        if (!a) return false;
        add(*a);
        return true;
    }
    void takeV4(std::string_view text) {
        if (auto a = parseV4(text)) add(*a);
    }
    void add(const Address& a) {
        const auto [at, fresh] = seen_.try_emplace(a, out_.size());
        if (fresh) {
            out_.push_back(a);
            if (hits_) hits_->push_back(1);
        } else if (hits_) {
            ++(*hits_)[at->second];
        }
    }

    std::vector<Address>& out_;
    std::vector<std::uint32_t>* hits_;
    std::unordered_map<Address, std::size_t, AddressHash> seen_;  // to the place in out_
};

}  // namespace

Address Address::v4(std::uint32_t value) {
    Address a;
    for (int i = 0; i < 4; ++i) a.bytes[12 + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return a;
}

Address Address::v6(std::uint64_t high, std::uint64_t low) {
    Address a;
    a.family = Family::V6;
    writeHalf(a.bytes, 0, high);
    writeHalf(a.bytes, 8, low);
    return a;
}

Address unmapped(const Address& address) {
    if (address.isV4() || !isMapped(address)) return address;
    return Address::v4(static_cast<std::uint32_t>(address.low()));
}

std::uint32_t Address::v4Value() const {
    return static_cast<std::uint32_t>(low());
}
std::uint64_t Address::high() const {
    return readHalf(bytes, 0);
}
std::uint64_t Address::low() const {
    return readHalf(bytes, 8);
}

int Address::bit(int i) const {
    const int at = isV4() ? 96 + i : i;
    return bytes[at / 8] >> (7 - at % 8) & 1;
}

std::optional<Address> parseV4(std::string_view text) {
    std::uint32_t value = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (text.empty() || text.front() != '.') return std::nullopt;
            text.remove_prefix(1);
        }
        std::size_t digits = 0;
        unsigned number = 0;
        while (digits < text.size() && isDigit(text[digits])) {
            if (++digits > 3) return std::nullopt;
            number = number * 10 + static_cast<unsigned>(text[digits - 1] - '0');
        }
        if (digits == 0 || number > 255) return std::nullopt;
        text.remove_prefix(digits);
        value = value << 8 | number;
    }
    if (!text.empty()) return std::nullopt;
    return Address::v4(value);
}

std::optional<Address> parseV6(std::string_view text) {
    if (text.size() < 2 || text.size() > kLongestV6) return std::nullopt;
    std::uint16_t groups[8] = {};
    int count = 0;
    int gap = -1;  // where "::" stands, in groups
    std::size_t i = 0;
    if (text[0] == ':') {
        if (text[1] != ':') return std::nullopt;
        gap = 0;
        i = 2;
    }
    while (i < text.size()) {
        std::size_t digits = 0;
        unsigned value = 0;
        while (i + digits < text.size() && hexValue(text[i + digits]) >= 0)
            value = value << 4 | static_cast<unsigned>(hexValue(text[i + digits++]));
        if (digits == 0) return std::nullopt;
        if (i + digits < text.size() && text[i + digits] == '.') {
            auto tail = parseV4(text.substr(i));
            if (!tail || count > 6) return std::nullopt;
            const std::uint32_t v4 = tail->v4Value();
            groups[count++] = static_cast<std::uint16_t>(v4 >> 16);
            groups[count++] = static_cast<std::uint16_t>(v4);
            break;
        }
        if (digits > 4 || count == 8) return std::nullopt;
        groups[count++] = static_cast<std::uint16_t>(value);
        i += digits;
        if (i == text.size()) break;
        if (text[i] != ':' || ++i == text.size()) return std::nullopt;
        if (text[i] == ':') {
            if (gap >= 0) return std::nullopt;
            gap = count;
            ++i;
        }
    }
    if (gap < 0 ? count != 8 : count > 7) return std::nullopt;
    Address a;
    a.family = Family::V6;
    const int zeros = 8 - count;
    for (int g = 0, k = 0; g < 8; ++g) {
        const bool inGap = gap >= 0 && g >= gap && g < gap + zeros;
        const std::uint16_t value = inGap ? 0 : groups[k++];
        a.bytes[2 * g] = static_cast<std::uint8_t>(value >> 8);
        a.bytes[2 * g + 1] = static_cast<std::uint8_t>(value);
    }
    return a;
}

std::optional<Address> parseAddress(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(kBlank);
    if (begin == std::string_view::npos) return std::nullopt;
    text = text.substr(begin, text.find_last_not_of(kBlank) - begin + 1);
    return text.find(':') == std::string_view::npos ? parseV4(text) : parseV6(text);
}

std::string formatAddress(const Address& a) {
    if (a.isV4()) return dotted(&a.bytes[12]);
    int groups[8];
    for (int g = 0; g < 8; ++g) groups[g] = a.bytes[2 * g] << 8 | a.bytes[2 * g + 1];
    const bool mapped = isMapped(a);
    const int shown = mapped ? 6 : 8;
    // The first longest run of two or more zero groups.
    int bestAt = -1, bestLength = 1;
    for (int g = 0; g < shown;) {
        if (groups[g] != 0) {
            ++g;
            continue;
        }
        int end = g;
        while (end < shown && groups[end] == 0) ++end;
        if (end - g > bestLength) bestAt = g, bestLength = end - g;
        g = end;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (int g = 0; g < shown; ++g) {
        if (g == bestAt) {
            out += "::";
            g += bestLength - 1;
            continue;
        }
        if (!out.empty() && out.back() != ':') out += ':';
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const int nibble = groups[g] >> shift & 0xF;
            if (nibble != 0 || started || shift == 0) out += kHex[nibble], started = true;
        }
    }
    if (mapped) {
        if (out.back() != ':') out += ':';
        out += dotted(&a.bytes[12]);
    }
    return out;
}

std::string formatRange(const Address& first, const Address& last) {
    if (!first.isV4()) {
        // A prefix: the ends differ in a run of trailing bits, all 0 in first, all 1 in last.
        const std::uint64_t high = first.high() ^ last.high(), low = first.low() ^ last.low();
        const bool trailingOnes =
            high == 0 ? (low & (low + 1)) == 0 : low == ~0ull && (high & (high + 1)) == 0;
        if (trailingOnes && (first.high() & high) == 0 && (first.low() & low) == 0) {
            const int length = 128 - std::popcount(high) - std::popcount(low);
            return formatAddress(first) + "/" + std::to_string(length);
        }
    }
    return formatAddress(first) + "-" + formatAddress(last);
}

namespace {
std::vector<std::string> findCounted(std::string_view text, std::vector<std::uint32_t>* hits) {
    std::vector<Address> found;
    Finder finder(found, hits);
    bool previousWord = false;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (kTokens.token[c]) {
            std::size_t j = i + 1;
            while (j < n && kTokens.token[static_cast<unsigned char>(text[j])]) ++j;
            const bool gluedAfter = j < n && isWordChar(static_cast<unsigned char>(text[j]));
            finder.run(text.substr(i, j - i), previousWord, gluedAfter);
            previousWord = isWordChar(static_cast<unsigned char>(text[j - 1]));
            i = j;
            continue;
        }
        // A double-byte character is a boundary as a whole: its trail byte may be a letter.
        // Digits, '.' and ':' are never trail bytes, so UTF-8 text loses nothing here.
        const unsigned char next = i + 1 < n ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (codepage::isGbkPair(c, next)) {
            previousWord = false;
            i += 2;
            continue;
        }
        previousWord = isWordChar(c);
        ++i;
    }
    std::vector<std::string> out;
    out.reserve(found.size());
    for (const Address& a : found) out.push_back(formatAddress(a));
    return out;
}
}  // namespace

std::vector<std::string> findAddresses(std::string_view text) {
    return findCounted(text, nullptr);
}

std::vector<std::string> findAddresses(std::string_view text, std::vector<std::uint32_t>& hits) {
    hits.clear();
    return findCounted(text, &hits);
}

void forEachAddressRun(std::string_view text, const AddressRunFound& found) {
    const std::size_t n = text.size();
    std::vector<Address> addresses;
    for (std::size_t i = 0; i < n;) {
        if (!kTokens.token[static_cast<unsigned char>(text[i])]) {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool dot = text[i] == '.', colon = text[i] == ':',
             dottedOnly = kDotted.token[static_cast<unsigned char>(text[i])];
        for (; j < n && kTokens.token[static_cast<unsigned char>(text[j])]; ++j) {
            const char c = text[j];
            dot |= c == '.';
            colon |= c == ':';
            dottedOnly &= kDotted.token[static_cast<unsigned char>(c)];
        }
        const std::string_view run = text.substr(i, j - i);
        const bool gluedBefore = i > 0 && isWordChar(static_cast<unsigned char>(text[i - 1]));
        const bool gluedAfter = j < n && isWordChar(static_cast<unsigned char>(text[j]));
        if (dottedOnly && dot && !gluedBefore && !gluedAfter && run.back() != '.') {
            // The common case, a free-standing dotted run: the finder would take it whole
            // as an IPv4 address or not at all.
            if (const auto a = parseV4(run)) {
                if (!found(j, std::span<const Address>(&*a, 1))) return;
            }
        } else if (dot || colon) {
            addresses.clear();
            Finder(addresses, nullptr).run(run, gluedBefore, gluedAfter);
            if (!addresses.empty() && !found(j, addresses)) return;
        }
        i = j;
    }
}

}  // namespace ip
