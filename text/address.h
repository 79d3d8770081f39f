// IPv4 and IPv6 addresses: one value type, parsing, canonical text, and the addresses
// found inside free text. Pure functions, safe from any thread.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ip {

enum class Family : std::uint8_t { V4, V6 };

// An address of either family. An IPv4 address keeps its four bytes at the end of `bytes`
// and zeros before them, so that addresses order by family, then numerically.
struct Address {
    Family family = Family::V4;
    std::array<std::uint8_t, 16> bytes{};

    static Address v4(std::uint32_t value);
    // From the 128 bits as two host-order halves.
    static Address v6(std::uint64_t high, std::uint64_t low);

    bool isV4() const { return family == Family::V4; }
    // The IPv4 value as a host-order number (1.2.3.4 is 0x01020304); only for IPv4.
    std::uint32_t v4Value() const;
    // The 128 bits (IPv4: the low 32) as two host-order halves.
    std::uint64_t high() const;
    std::uint64_t low() const;
    // The number of bits of the family: 32 or 128.
    // Bit `i` counted from the most significant (0) of the family's bits.
    int bit(int i) const;

    friend auto operator<=>(const Address&, const Address&) = default;
};

// Four decimal parts of one to three digits, each at most 255 ("001.2.3.4" is 1.2.3.4).
std::optional<Address> parseV4(std::string_view text);
// Any RFC 4291 text form: eight groups, "::" once for one or more zero groups, an IPv4
// tail. Zone ids ("%eth0") and brackets are refused.
std::optional<Address> parseV6(std::string_view text);
// Either family; spaces, tabs and line ends around the address are allowed.
std::optional<Address> parseAddress(std::string_view text);

// IPv4 dotted; IPv6 in RFC 5952 form (lower case, the longest run of two or more zero
// groups as "::", the IPv4-mapped ::ffff:0:0/96 with a dotted tail).
std::string formatAddress(const Address& address);
// IPv4 "first-last"; IPv6 "prefix/length" when the range is exactly one prefix, else
// "first-last". Both ends are of one family, first <= last.
std::string formatRange(const Address& first, const Address& last);

// The IPv4 address that an IPv4-mapped IPv6 address (::ffff:a.b.c.d) stands for, so that it
// is answered, counted and given a network as that IPv4 address; any other address as it is
// (the IPv4-compatible ::a.b.c.d is no such stand-in).
Address unmapped(const Address& address);

// The addresses of either family inside any text (GBK or ASCII: a log line, a mail, CSV
// columns), in order of first appearance, each once, as formatAddress gives them. An
// address glued to letters, digits or further dotted parts ("1.2.3.4.5", "v1.2.3.4") is
// not one; brackets, ports and punctuation around it are no part of it.
std::vector<std::string> findAddresses(std::string_view text);
// The same, with `hits[i]` the number of times the i-th address appeared.
std::vector<std::string> findAddresses(std::string_view text, std::vector<std::uint32_t>& hits);

// The addresses of `text` run by run, as findAddresses finds them but every time they
// appear: `found(runEnd, addresses)` for each run of address characters that holds any,
// `runEnd` just past the run; `found` returns false to stop. For text whose bytes past
// ASCII were made spaces (no double-byte character to step over), as a stream's lines are
// scanned: a free-standing dotted run is parsed where it lies.
using AddressRunFound = std::function<bool(std::size_t, std::span<const Address>)>;
void forEachAddressRun(std::string_view text, const AddressRunFound& found);

}  // namespace ip
