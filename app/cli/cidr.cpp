#include "app/cli/cidr.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace cli {
namespace {

// An address as a 128-bit number (IPv4 in the low 32 bits). Two halves: the 32-bit
// Windows build has no 128-bit integer.
struct Number {
    std::uint64_t high = 0, low = 0;

    static Number of(const ip::Address& a) { return {a.high(), a.low()}; }
    friend bool operator==(const Number&, const Number&) = default;
    friend bool operator<(const Number& a, const Number& b) {
        return a.high != b.high ? a.high < b.high : a.low < b.low;
    }
    Number minus(const Number& b) const {
        return {high - b.high - (low < b.low ? 1 : 0), low - b.low};
    }
    Number plusOne() const { return {high + (low == ~0ull ? 1 : 0), low + 1}; }
    // The number of trailing zero bits; 128 for zero.
    int trailingZeros() const {
        return low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(high);
    }
    // The position of the highest set bit plus one; 0 for zero.
    int bitLength() const {
        return high != 0 ? 128 - std::countl_zero(high) : 64 - std::countl_zero(low);
    }
    // This plus 2^k - 1 (k < 128).
    Number plusMask(int k) const {
        const std::uint64_t maskLow = k >= 64 ? ~0ull : (1ull << k) - 1;
        const std::uint64_t maskHigh = k <= 64 ? 0 : (1ull << (k - 64)) - 1;
        const std::uint64_t sum = low + maskLow;
        return {high + maskHigh + (sum < low ? 1 : 0), sum};
    }
};

ip::Address addressOf(const Number& n, bool v4) {
    return v4 ? ip::Address::v4(static_cast<std::uint32_t>(n.low)) : ip::Address::v6(n.high, n.low);
}

// The blocks of [first, last] of a family of `bits` bits, largest first from the left.
void cover(Number first, const Number& last, bool v4, std::vector<Block>& out) {
    const int bits = v4 ? 32 : 128;
    while (true) {
        const Number span = last.minus(first);  // the block may hold span + 1 addresses
        const int fitSpan = span.plusOne() == Number{} || (v4 && span.low == 0xFFFFFFFFull)
                                ? bits
                                : span.plusOne().bitLength() - 1;
        const int k = std::min({first.trailingZeros(), fitSpan, bits});
        out.push_back({addressOf(first, v4), bits - k});
        if (k == bits) return;
        const Number end = first.plusMask(k);
        if (end == last) return;
        first = end.plusOne();
    }
}

}  // namespace

std::vector<Block> coverWithBlocks(std::vector<std::pair<ip::Address, ip::Address>> ranges) {
    std::sort(ranges.begin(), ranges.end());
    std::vector<Block> out;
    for (std::size_t i = 0; i < ranges.size();) {
        const bool v4 = ranges[i].first.isV4();
        const Number first = Number::of(ranges[i].first);
        Number last = Number::of(ranges[i].second);
        const Number top = v4 ? Number{0, 0xFFFFFFFFull} : Number{~0ull, ~0ull};
        std::size_t j = i + 1;
        // Join what overlaps or touches: the next starts at most one past this end.
        for (; j < ranges.size() && ranges[j].first.isV4() == v4; ++j) {
            if (!(last == top) && last.plusOne() < Number::of(ranges[j].first)) break;
            last = std::max(last, Number::of(ranges[j].second));
        }
        cover(first, last, v4, out);
        i = j;
    }
    return out;
}

std::string formatBlock(const Block& block) {
    return ip::formatAddress(block.first) + "/" + std::to_string(block.length);
}

}  // namespace cli
