#include "tests/fakes/fake_probe.h"

#include <cstdio>

namespace fake {

// Network byte order on the little-endian machines the tests run on: the first octet is
// the lowest byte, as inet_addr gives it.
platform::Ipv4 ipv4(int a, int b, int c, int d) {
    return static_cast<platform::Ipv4>(a & 0xff) | static_cast<platform::Ipv4>(b & 0xff) << 8 |
           static_cast<platform::Ipv4>(c & 0xff) << 16 |
           static_cast<platform::Ipv4>(d & 0xff) << 24;
}

std::string dotted(platform::Ipv4 address) {
    return std::to_string(address & 0xff) + "." + std::to_string(address >> 8 & 0xff) + "." +
           std::to_string(address >> 16 & 0xff) + "." + std::to_string(address >> 24 & 0xff);
}

std::optional<platform::Ipv4> Probe::resolve(const std::string& host) {
    std::lock_guard lock(mutex_);
    calls_.push_back("resolve " + host);
    auto it = names.find(host);
    if (it != names.end()) return it->second;
    int a, b, c, d;
    char tail;
    if (std::sscanf(host.c_str(), "%d.%d.%d.%d%c", &a, &b, &c, &d, &tail) == 4)
        return ipv4(a, b, c, d);
    return std::nullopt;
}

int Probe::echo(platform::Ipv4 address, int timeLimitMs) {
    std::lock_guard lock(mutex_);
    calls_.push_back("echo " + dotted(address) + " " + std::to_string(timeLimitMs));
    auto it = replyMs.find(address);
    if (it == replyMs.end() || it->second > timeLimitMs) return -1;
    return it->second;
}

std::vector<std::string> Probe::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace fake
