// ICMP echo and name resolution, shaped like the calls the connectivity check makes
// (inet_addr, gethostbyname, IcmpSendEcho). platform/win32 uses Winsock 1.1 and icmp.dll;
// tests/fakes answers from tables and records every call.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// An IPv4 address in network byte order, as inet_addr gives it.
using Ipv4 = std::uint32_t;

class Probe {
  public:
    virtual ~Probe() = default;
    // A dotted IPv4 address as it is; otherwise the first IPv4 address the name resolves
    // to. Nothing when the name does not resolve or the socket layer cannot start.
    virtual std::optional<Ipv4> resolve(const std::string& host) = 0;
    // One echo request with no data and no options, waiting at most timeLimitMs. The reply
    // time in whole milliseconds (0 is a reply), or -1 when no reply came in time.
    virtual int echo(Ipv4 address, int timeLimitMs) = 0;
};


}  // namespace platform
