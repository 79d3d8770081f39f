#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "text/text.h"

namespace lookup {

bool isNetworkReachable(platform::Probe& probe, int timeLimitMs) {
    std::optional<platform::Ipv4> address = probe.resolve(hosts::kProbeHost);
    if (!address) return false;
    // Any reply counts, 0 ms included: a fast network answers within the same millisecond.
    return probe.echo(*address, timeLimitMs) >= 0;
}

std::string fetchPublicAddress(platform::Probe& probe, WebSession& session) {
    if (!isNetworkReachable(probe)) return "本机没有连接到网络,请退出连接网络后操作!";
    std::string page = session.getText(std::string("http://") + hosts::kEchoHost + "/ic.asp");
    return getTextBetween(page, "<center>", "</center>");
}

}  // namespace lookup
