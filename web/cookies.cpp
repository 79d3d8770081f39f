#include "web/cookies.h"

#include <unordered_set>

namespace {
// The name=value part of a Set-Cookie line: up to the first ";", or the rest of the line
// when the cookie comes without attributes ("Set-Cookie: a=1"), which servers often send.
std::string setCookieValue(const std::string& line) {
    static const std::string kMarker = "Set-Cookie:";
    int at = findText(line, kMarker, 1, true);
    if (at < 0) return {};
    const int value = at + static_cast<int>(kMarker.size());
    int end = findText(line, ";", value);
    if (end < 0) return midText(line, value, static_cast<int>(line.size()));
    return midText(line, value, end - value);
}
}  // namespace

std::string headerValue(const std::string& line) {
    int colon = findText(line, ":");
    if (colon < 0) return {};
    return trimSpaces(line.substr(static_cast<std::size_t>(colon)));
}

void parseResponseHeaders(const std::string& rawHeaders, std::string& newCookies,
                          std::string& locationOrHeaders, std::string& cookies) {
    newCookies.clear();
    for (const std::string& line : splitText(rawHeaders, "\r\n")) {
        if (findText(line, "Location:") >= 0) locationOrHeaders = headerValue(line);
        if (findText(line, "Set-Cookie") >= 0)
            newCookies += trimSpaces(setCookieValue(line)) + "; ";
    }
    if (newCookies.size() >= 2) newCookies.resize(newCookies.size() - 2);
    if (locationOrHeaders.empty()) locationOrHeaders = rawHeaders;
    mergeCookies(cookies, newCookies);
}

std::string mergeCookies(std::string& oldCookies, std::string& newCookies) {
    oldCookies = removeAllSpaces(oldCookies);
    newCookies = removeAllSpaces(newCookies);
    TextList merged = splitText(newCookies, ";");
    // The names in `merged` so far; the same answer as hasCookieNamed, without walking
    // the list again for every old piece.
    std::unordered_set<std::string> names;
    for (const std::string& piece : merged) names.insert(cookieName(piece));
    for (const std::string& piece : splitText(oldCookies, ";")) {
        std::string name = cookieName(piece);
        if (names.insert(name).second) merged.push_back(piece);
    }
    std::string result;
    for (const std::string& piece : merged) {
        if (rightText(piece, 8) == "=deleted") continue;
        result += piece;
        result += "; ";
    }
    if (result.size() >= 2) result.resize(result.size() - 2);
    oldCookies = result;
    return result;
}

std::string cookieName(const std::string& piece) {
    int equals = findText(piece, "=");
    return trimSpaces(equals < 0 ? piece : leftText(piece, equals - 1));
}

bool hasCookieNamed(const TextList& pieces, const std::string& name) {
    for (const std::string& piece : pieces)
        if (cookieName(piece) == name) return true;
    return false;
}
