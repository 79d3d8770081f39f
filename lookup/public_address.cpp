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

std::optional<std::string> fetchPublicAddress(platform::Probe& probe, WebSession& session) {
    if (!isNetworkReachable(probe)) return std::nullopt;
    std::string page = session.getText(std::string("http://") + hosts::kEchoHost + "/ic.asp");
    return gbkToUtf8(getTextBetween(page, "<center>", "</center>"));
}

}  // namespace lookup
