// asn.db, two kinds of input told by the first byte.
//  - A whole file: refused with a reason, or looked up.
//  - Sections: a sound header is written here around the input (the first three bytes
//    give the IPv4, IPv6 and entry counts, the rest holds their records and the strings),
//    so that the fuzzer gets past the header to the ranges, entries and names.
// In an accepted file every lookup must agree with a plain walk over all the records, and
// every range must read as itself at both ends. Any disagreement, or a read outside the
// input (the sanitizers), is a finding.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ipdata/asn.h"
#include "ipdata/asn_format.h"

namespace {

namespace f = ipdata::asnfile;

void check(bool ok) {
    if (!ok) std::abort();
}

std::uint64_t le(std::string_view bytes, std::size_t at, int size) {
    std::uint64_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = v << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    return v;
}

struct Expected {
    std::uint32_t number;
    std::string_view organisation;
};

// The answer by the plainest reading: the first record of the family that holds the
// address, its entry, its name.
std::optional<Expected> referenceWalk(std::string_view file, const ip::Address& a) {
    const bool v4 = a.isV4();
    const std::size_t count = le(file, v4 ? f::kV4Count : f::kV6Count, 4);
    const std::size_t offset = le(file, v4 ? f::kV4Offset : f::kV6Offset, 4);
    const std::size_t size = v4 ? f::kV4RecordSize : f::kV6RecordSize;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t r = offset + i * size;
        bool inside;
        if (v4) {
            inside = le(file, r, 4) <= a.v4Value() && a.v4Value() <= le(file, r + 4, 4);
        } else {
            const auto pair = [&](std::size_t at) {
                return std::pair{le(file, at, 8), le(file, at + 8, 8)};
            };
            const std::pair key{a.high(), a.low()};
            inside = pair(r) <= key && key <= pair(r + 16);
        }
        if (!inside) continue;
        const std::size_t e = le(file, f::kEntryOffset, 4) + le(file, r + size - 4, 4) * 12;
        const std::size_t name = le(file, f::kStringOffset, 4) + le(file, e + 4, 4);
        return Expected{static_cast<std::uint32_t>(le(file, e, 4)),
                        file.substr(name, le(file, e + 8, 4))};
    }
    return std::nullopt;
}

void lookups(std::string_view file) {
    ipdata::AsnError error = ipdata::AsnError::kNone;
    const auto db = ipdata::AsnDatabase::open(file, nullptr, error);
    if (!db) {
        check(error != ipdata::AsnError::kNone);
        return;
    }
    std::vector<ip::Address> asked = {ip::Address::v4(0), ip::Address::v4(~0u),
                                      ip::Address::v6(0, 0), ip::Address::v6(~0ull, ~0ull)};
    for (const ip::Family family : {ip::Family::V4, ip::Family::V6}) {
        for (std::size_t i = 0; i < db->rangeCount(family) && i < 64; ++i) {
            const ipdata::AsnAnswer range = db->rangeAt(family, i);
            for (const ip::Address& end : {range.first, range.last}) {
                const auto found = db->find(end);
                check(found && found->first == range.first && found->last == range.last);
                asked.push_back(end);
            }
        }
    }
    // Addresses from the bytes, and each end's neighbours (gaps between ranges).
    for (std::size_t at = 0; at + 16 <= file.size() && asked.size() < 192; at += 16) {
        asked.push_back(ip::Address::v4(static_cast<std::uint32_t>(le(file, at, 4))));
        asked.push_back(ip::Address::v6(le(file, at, 8), le(file, at + 8, 8)));
    }
    for (std::size_t i = 0, n = asked.size(); i < n; ++i) {
        const ip::Address a = asked[i];  // a copy: the pushes below move the vector
        if (a.isV4()) {
            asked.push_back(ip::Address::v4(a.v4Value() + 1));
            asked.push_back(ip::Address::v4(a.v4Value() - 1));
        } else {
            asked.push_back(ip::Address::v6(a.high() + (a.low() == ~0ull), a.low() + 1));
            asked.push_back(ip::Address::v6(a.high() - (a.low() == 0), a.low() - 1));
        }
    }
    for (const ip::Address& a : asked) {
        const auto found = db->find(a);
        const auto expected = referenceWalk(file, a);
        check(found.has_value() == expected.has_value());
        if (!found) continue;
        check(found->number == expected->number && found->organisation == expected->organisation);
        check(found->first <= a && a <= found->last && found->first.family == a.family);
        check(f::isCleanText(found->organisation));
    }
}

void put32(std::string& out, std::size_t at, std::uint64_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(v >> (8 * i) & 0xFF);
}

void sections(std::string_view input) {
    if (input.size() < 3) return;
    const std::size_t v4 = static_cast<unsigned char>(input[0]) % 32,
                      v6 = static_cast<unsigned char>(input[1]) % 16,
                      entries = static_cast<unsigned char>(input[2]) % 16;
    const std::string_view body = input.substr(3);
    const std::size_t fixed = v4 * f::kV4RecordSize + v6 * f::kV6RecordSize + entries * 12;
    if (body.size() < fixed) return;
    std::string file(f::kHeaderSize, '\0');
    file.replace(0, f::kMagic.size(), f::kMagic);
    put32(file, f::kFormatVersion, f::kVersion);
    put32(file, f::kHeaderBytes, f::kHeaderSize);
    put32(file, f::kFileSize, f::kHeaderSize + body.size());
    put32(file, f::kV4Count, v4);
    put32(file, f::kV4Offset, f::kHeaderSize);
    put32(file, f::kV6Count, v6);
    put32(file, f::kV6Offset, f::kHeaderSize + v4 * f::kV4RecordSize);
    put32(file, f::kEntryCount, entries);
    put32(file, f::kEntryOffset, f::kHeaderSize + v4 * f::kV4RecordSize + v6 * f::kV6RecordSize);
    put32(file, f::kStringSize, body.size() - fixed);
    put32(file, f::kStringOffset, f::kHeaderSize + fixed);
    file += body;
    lookups(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size == 0) return 0;
    if (data[0] & 0x80) {
        lookups(bytes.substr(1));
    } else {
        sections(bytes.substr(1));
    }
    return 0;
}
