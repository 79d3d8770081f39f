#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "text/text.h"
#include "web/url.h"

namespace lookup {

std::string locationUrl(const std::string& address) {
    return std::string("http://") + hosts::kLocationHost +
           "/ips138.asp?ip=" + encodePathText(address) + "&action=2";
}

// The page is GBK, and so are the markers the answer is cut out with.
constexpr char kMainDataMarker[] = "\xB1\xBE\xD5\xBE\xD6\xF7\xCA\xFD\xBE\xDD\xA3\xBA";  // 本站主数据：

std::string locationOf(const std::string& page, LookupMode mode) {
    if (mode == LookupMode::MainData) return getTextBetween(page, kMainDataMarker, "</li>");
    std::string segment = getTextBetween(page, "<li", "</ul>");
    // The segment starts inside the first item's opening tag; its first ">" closes it.
    std::string first = getTextBetween(segment, ">", "</li>");
    std::string second = getTextBetween(segment, "</li><li>", "</li>");
    return first + "\r\n" + second;
}

std::string lookupLocation(WebSession& session, const std::string& address, LookupMode mode) {
    return locationOf(session.getText(locationUrl(address)), mode);
}

}  // namespace lookup
