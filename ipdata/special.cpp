// The blocks are few (about sixty), so a lookup tries each of its family and keeps the
// longest prefix that holds the address: a small block inside a larger one (0.0.0.0/32 in
// 0.0.0.0/8, 100::/64 in 100::/8, the anycast addresses in 192.0.0.0/24) wins.
// tests/ipdata/special_check.py holds the table against Python's ipaddress module.
#include "ipdata/special.h"

namespace ipdata {
namespace {

using Kind = SpecialKind;

// UTF-8 whatever the compiler's execution character set: u8 literals, read as bytes.
std::string_view utf8(std::u8string_view text) {
    return {reinterpret_cast<const char*>(text.data()), text.size()};
}

// By SpecialKind.
constexpr std::u8string_view kAnswers[] = {
    u8"未指定地址", u8"本网络地址",   u8"本机地址", u8"局域网",       u8"局域网",
    u8"共享地址",   u8"链路本地地址", u8"文档地址", u8"基准测试地址", u8"组播地址",
    u8"广播地址",   u8"协议保留地址", u8"任播地址", u8"IPv4转换地址", u8"隧道地址",
    u8"丢弃地址",   u8"保留地址",
};
static_assert(std::size(kAnswers) == static_cast<std::size_t>(Kind::Reserved) + 1);

struct V4Block {
    std::uint32_t value;
    int length;
    Kind kind;
    bool global;  // IANA's "globally reachable"
};

// IANA's IPv4 special-purpose registry, the multicast block and the future-use block.
constexpr V4Block kV4[] = {
    {0x00000000, 8, Kind::ThisNetwork, false},
    {0x00000000, 32, Kind::AnyAddress, false},
    {0x0A000000, 8, Kind::Private, false},
    {0x64400000, 10, Kind::Shared, false},
    {0x7F000000, 8, Kind::Loopback, false},
    {0xA9FE0000, 16, Kind::LinkLocal, false},
    {0xAC100000, 12, Kind::Private, false},
    // Service continuity, the dummy address, NAT64 discovery: all IETF assignments.
    {0xC0000000, 24, Kind::Protocol, false},
    {0xC0000009, 32, Kind::Anycast, true},  // PCP
    {0xC000000A, 32, Kind::Anycast, true},  // TURN
    {0xC0000200, 24, Kind::Documentation, false},
    {0xC01FC400, 24, Kind::Anycast, true},  // AS112
    {0xC034C100, 24, Kind::Anycast, true},  // AMT
    // The 6to4 relay anycast, deprecated; IANA gives no reachability, it was a public one.
    {0xC0586300, 24, Kind::Anycast, true},
    {0xC0A80000, 16, Kind::Private, false},
    {0xC0AF3000, 24, Kind::Anycast, true},  // AS112 direct delegation
    {0xC6120000, 15, Kind::Benchmarking, false},
    {0xC6336400, 24, Kind::Documentation, false},
    {0xCB007100, 24, Kind::Documentation, false},
    {0xE0000000, 4, Kind::Multicast, false},
    {0xF0000000, 4, Kind::Reserved, false},
    {0xFFFFFFFF, 32, Kind::Broadcast, false},
};

struct V6Block {
    std::uint64_t high;
    std::uint64_t low;
    int length;
    Kind kind;
    bool global;
};

// IANA's IPv6 special-purpose registry, multicast, and the blocks the IPv6 address space
// registry keeps "Reserved by IETF" (all outside 2000::/3, fc00::/7, fe80::/10 and ff00::/8).
// ::ffff:0:0/96 is not here: special() answers a mapped address as its IPv4 address.
constexpr V6Block kV6[] = {
    {0, 0, 128, Kind::AnyAddress, false},
    {0, 1, 128, Kind::Loopback, false},
    {0x0000000000000000, 0, 8, Kind::Reserved, false},  // also the old IPv4-compatible ::/96
    {0x0064FF9B00000000, 0, 96, Kind::Translation, true},
    {0x0064FF9B00010000, 0, 48, Kind::Translation, false},  // for a network's own use
    {0x0100000000000000, 0, 8, Kind::Reserved, false},
    {0x0100000000000000, 0, 64, Kind::DiscardOnly, false},
    {0x0200000000000000, 0, 7, Kind::Reserved, false},
    {0x0400000000000000, 0, 6, Kind::Reserved, false},
    {0x0800000000000000, 0, 5, Kind::Reserved, false},
    {0x1000000000000000, 0, 4, Kind::Reserved, false},
    {0x2001000000000000, 0, 23, Kind::Protocol, false},
    {0x2001000000000000, 0, 32, Kind::Tunnel, true},    // Teredo; IANA: reachability N/A
    {0x2001000100000000, 1, 128, Kind::Anycast, true},  // PCP
    {0x2001000100000000, 2, 128, Kind::Anycast, true},  // TURN
    {0x2001000100000000, 3, 128, Kind::Anycast, true},  // DNS-SD service registration
    {0x2001000200000000, 0, 48, Kind::Benchmarking, false},
    {0x2001000300000000, 0, 32, Kind::Anycast, true},   // AMT
    {0x2001000401120000, 0, 48, Kind::Anycast, true},   // AS112
    {0x2001002000000000, 0, 28, Kind::Protocol, true},  // ORCHIDv2
    {0x2001003000000000, 0, 28, Kind::Protocol, true},  // drone remote ID
    {0x20010DB800000000, 0, 32, Kind::Documentation, false},
    {0x2002000000000000, 0, 16, Kind::Tunnel, true},   // 6to4; IANA: reachability N/A
    {0x2620004F80000000, 0, 48, Kind::Anycast, true},  // AS112 direct delegation
    {0x3FFF000000000000, 0, 20, Kind::Documentation, false},
    {0x4000000000000000, 0, 3, Kind::Reserved, false},
    {0x6000000000000000, 0, 3, Kind::Reserved, false},
    {0x8000000000000000, 0, 3, Kind::Reserved, false},
    {0xA000000000000000, 0, 3, Kind::Reserved, false},
    {0xC000000000000000, 0, 3, Kind::Reserved, false},
    {0xE000000000000000, 0, 4, Kind::Reserved, false},
    {0xF000000000000000, 0, 5, Kind::Reserved, false},
    {0xF800000000000000, 0, 6, Kind::Reserved, false},
    {0xFC00000000000000, 0, 7, Kind::UniqueLocal, false},
    {0xFE00000000000000, 0, 9, Kind::Reserved, false},
    {0xFE80000000000000, 0, 10, Kind::LinkLocal, false},
    {0xFEC0000000000000, 0, 10, Kind::Reserved, false},  // site-local, deprecated
    {0xFF00000000000000, 0, 8, Kind::Multicast, false},
};

// The host bits of a prefix of `length` bits within 64 (a length past 64 is all network).
std::uint64_t hostBits(int length) {
    if (length <= 0) return ~0ull;
    return length >= 64 ? 0 : ~0ull >> length;
}

SpecialAddress answerOf(Kind kind, bool global, ip::Address first, ip::Address last) {
    return {kind, utf8(kAnswers[static_cast<std::size_t>(kind)]), first, last, global};
}

}  // namespace

std::optional<SpecialAddress> special(const ip::Address& given) {
    const ip::Address address = ip::unmapped(given);
    if (address.isV4()) {
        const std::uint32_t value = address.v4Value();
        const V4Block* best = nullptr;
        for (const V4Block& b : kV4) {
            const std::uint32_t host = b.length >= 32 ? 0 : ~0u >> b.length;
            if ((value & ~host) == b.value && (!best || b.length > best->length)) best = &b;
        }
        if (!best) return std::nullopt;
        const std::uint32_t host = best->length >= 32 ? 0 : ~0u >> best->length;
        return answerOf(best->kind, best->global, ip::Address::v4(best->value),
                        ip::Address::v4(best->value | host));
    }
    const std::uint64_t high = address.high(), low = address.low();
    const V6Block* best = nullptr;
    for (const V6Block& b : kV6) {
        const std::uint64_t highHost = hostBits(b.length), lowHost = hostBits(b.length - 64);
        if ((high & ~highHost) == b.high && (low & ~lowHost) == b.low &&
            (!best || b.length > best->length))
            best = &b;
    }
    if (!best) return std::nullopt;
    return answerOf(best->kind, best->global, ip::Address::v6(best->high, best->low),
                    ip::Address::v6(best->high | hostBits(best->length),
                                    best->low | hostBits(best->length - 64)));
}

bool isSpecial(const ip::Address& address) {
    return special(address).has_value();
}

}  // namespace ipdata
