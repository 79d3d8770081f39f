#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "platform/probe.h"
#include "text/text.h"
#include "web/web.h"

namespace {
const char* const kNotConnected = "本机没有连接到网络,请退出连接网络后操作!";

bool probeOnce(int timeLimitMs) {
    platform::Probe& probe = platform::probe();
    std::optional<platform::Ipv4> address = probe.resolve(hosts::kProbeHost);
    if (!address) return false;
    // Any reply counts, 0 ms included: a fast network answers within the same millisecond.
    return probe.echo(*address, timeLimitMs) >= 0;
}

std::string echoedAddress() {
    std::string page = webGetText(std::string("http://") + hosts::kEchoHost + "/ic.asp");
    return getTextBetween(page, "<center>", "</center>");
}
}  // namespace

bool isNetworkReachable(int timeLimitMs) {
    return probeOnce(timeLimitMs);
}

bool isNetworkReachable(view::MessagePump& pump, int timeLimitMs) {
    pump.processPending();
    return probeOnce(timeLimitMs);
}

std::string fetchPublicAddress() {
    return isNetworkReachable() ? echoedAddress() : kNotConnected;
}

std::string fetchPublicAddress(view::MessagePump& pump) {
    return isNetworkReachable(pump) ? echoedAddress() : kNotConnected;
}
