// The connectivity probe over Winsock 1.1 and icmp.dll; the program's services object
// holds one.
#pragma once

#include "platform/probe.h"

namespace platform::win32 {

class IcmpProbe final : public Probe {
  public:
    std::optional<Ipv4> resolve(const std::string& host) override;
    int echo(Ipv4 address, int timeLimitMs) override;
};

}  // namespace platform::win32
