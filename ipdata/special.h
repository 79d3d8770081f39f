// The special-purpose addresses: our own table after IANA's IPv4 and IPv6 special-purpose
// address registries, the multicast blocks and the blocks IANA keeps reserved, each with a
// short answer a user reads. A lookup answers from it where the data file gives an address
// no real record (none, or only the file's version record).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "text/address.h"

namespace ipdata {

enum class SpecialKind : std::uint8_t {
    AnyAddress,    // 0.0.0.0, ::
    ThisNetwork,    // 0.0.0.0/8
    Loopback,       // 127.0.0.0/8, ::1
    Private,        // 10/8, 172.16/12, 192.168/16
    UniqueLocal,    // fc00::/7
    Shared,         // 100.64/10, the carriers' NAT
    LinkLocal,      // 169.254/16, fe80::/10
    Documentation,  // 192.0.2/24, 198.51.100/24, 203.0.113/24, 2001:db8::/32, 3fff::/20
    Benchmarking,   // 198.18/15, 2001:2::/48
    Multicast,      // 224/4, ff00::/8
    Broadcast,      // 255.255.255.255
    Protocol,       // IETF protocol assignments: 192.0.0/24, 2001::/23
    Anycast,        // services answering from many places: 6to4 relay, AS112, AMT, PCP, TURN
    Translation,    // IPv4 inside IPv6 by a translator: 64:ff9b::/96, 64:ff9b:1::/48
    Tunnel,         // IPv4 inside IPv6 by a tunnel: Teredo 2001::/32, 6to4 2002::/16
    DiscardOnly,    // 100::/64
    Reserved,       // 240/4, and what IANA keeps for the future in IPv6
};

struct SpecialAddress {
    SpecialKind kind = SpecialKind::Reserved;
    std::string_view answer;  // UTF-8, short Simplified Chinese: "局域网", "组播地址"
    // The block, both ends of the address's family.
    ip::Address first;
    ip::Address last;
    // IANA's "globally reachable": such an address is a public one all the same (anycast,
    // translated and tunnelled addresses), though special.
    bool globallyReachable = false;
};

// The narrowest block holding `address` (an IPv4-mapped address as its IPv4 address);
// nullopt for an ordinary address.
std::optional<SpecialAddress> special(const ip::Address& address);
// Whether `address` lies in any special-purpose block.
bool isSpecial(const ip::Address& address);

}  // namespace ipdata
