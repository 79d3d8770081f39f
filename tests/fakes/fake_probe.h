// A table-driven probe for native tests: names resolve from a map, echo replies come from
// a map of address to reply time; every call is recorded.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/probe.h"

namespace fake {

class Probe : public platform::Probe {
  public:
    std::optional<platform::Ipv4> resolve(const std::string& host) override;
    int echo(platform::Ipv4 address, int timeLimitMs) override;

    // Names resolve from this map; a dotted address not listed resolves to itself.
    std::map<std::string, platform::Ipv4> names;
    // Reply time per address; an address not listed gives no reply. A time above the
    // limit of a call also gives no reply, as a real slow echo would.
    std::map<platform::Ipv4, int> replyMs;

    std::vector<std::string> calls();  // "resolve host", "echo a.b.c.d limit"

  private:
    std::mutex mutex_;
    std::vector<std::string> calls_;
};

platform::Ipv4 ipv4(int a, int b, int c, int d);
std::string dotted(platform::Ipv4 address);

}  // namespace fake
