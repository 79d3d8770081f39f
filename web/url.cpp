#include "web/url.h"

#include "text/text.h"

std::string encodePathText(const std::string& text) {
    // Spaces (the full-width one too, at a character start) and ASCII blanks at either end.
    std::string trimmed = text;
    for (std::string before; before != trimmed;) {
        before = trimmed;
        trimmed = trimSpaces(trimmed);
        const std::size_t first = trimmed.find_first_not_of("\t\r\n");
        if (first == std::string::npos) return {};
        trimmed = trimmed.substr(first, trimmed.find_last_not_of("\t\r\n") + 1 - first);
    }
    // urlEncode keeps [0-9A-Za-z.-]; an IPv6 address keeps its colons too. "%3A" in its
    // output can only stand for a colon, as a "%" of the text becomes "%25".
    return replaceText(urlEncode(trimmed, true), "%3A", ":");
}

bool urlIsHttps(const std::string& url) {
    return toLowerAscii(leftText(url, 5)) == "https";
}

std::string urlHost(const std::string& url, bool keepPort) {
    std::string address = toLowerAscii(url);
    if (rightText(address, 1) != "/") address += "/";
    std::string host;
    if (leftText(address, 8) == "https://") {
        host = getTextBetween(address, "https://", "/");
    } else {
        if (findText(address, "http://") < 0) address = "http://" + address;
        host = getTextBetween(address, "http://", "/");
    }
    if (!keepPort) {
        int colon = findText(host, ":");
        if (colon > 0) host = leftText(host, colon - 1);
    }
    return host;
}

int urlPort(const std::string& url) {
    const std::string host = urlHost(url, true);
    int colon = findTextBackward(host, ":");
    if (colon < 0) return urlIsHttps(url) ? 443 : 80;
    return textToInt(host.substr(static_cast<std::size_t>(colon)));
}

std::string urlPath(const std::string& url) {
    // The host is looked for behind a leading scheme, so that a host such as "h" or "tp"
    // is not found inside "http://" itself.
    const std::string scheme = toLowerAscii(leftText(url, 8));
    const int behindScheme = scheme == "https://" ? 9 : leftText(scheme, 7) == "http://" ? 8 : 1;
    int at = findText(url, urlHost(url, false), behindScheme, true);
    if (at < 0) at = 1;
    int slash = findText(url, "/", at, true);
    if (slash < 0) return "/";
    return url.substr(static_cast<std::size_t>(slash) - 1);
}

std::string resolveLocation(const std::string& base, const std::string& location) {
    const std::string lowered = toLowerAscii(location);
    if (leftText(lowered, 7) == "http://" || leftText(lowered, 8) == "https://") return location;
    const std::string scheme = urlIsHttps(base) ? "https:" : "http:";
    if (leftText(location, 2) == "//") return scheme + location;
    const std::string origin = scheme + "//" + urlHost(base, true);
    if (leftText(location, 1) == "/") return origin + location;
    std::string directory = urlPath(base);
    directory = directory.substr(0, directory.find('?'));
    directory = directory.substr(0, directory.rfind('/') + 1);
    return origin + directory + location;
}
