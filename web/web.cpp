#include "web/web.h"

namespace {

std::string userAgentOf(const std::string& extraHeaders) {
    if (findText(extraHeaders, "User-Agent:", 1, true) < 0) return defaultUserAgent;
    std::string agent = trimSpaces(getTextBetween(extraHeaders, "User-Agent:", "\r\n"));
    return agent.empty() ? headerValue(extraHeaders) : agent;
}

}  // namespace

Response webRequest(platform::Internet& net, const Request& request,
                    const std::optional<std::string>& proxy) {
    WebSession session(net, userAgentOf(request.headers), proxy);
    return session.send(request);
}

std::string webGetText(platform::Internet& net, const std::string& url) {
    return WebSession(net).getText(url);
}

std::string webGetUtf8Text(platform::Internet& net, const std::string& url) {
    return WebSession(net).getUtf8Text(url);
}
