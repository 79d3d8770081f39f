// Response headers as a server may send them, through parseResponseHeaders and
// mergeCookies, against the cookie merge done literally, piece by piece.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "web/web.h"

namespace {

std::string literalMerge(std::string oldCookies, std::string newCookies) {
    TextList fresh = splitText(removeAllSpaces(newCookies), ";");
    for (const std::string& piece : splitText(removeAllSpaces(oldCookies), ";"))
        if (!hasCookieNamed(fresh, cookieName(piece))) fresh.push_back(piece);
    std::string out;
    for (const std::string& piece : fresh)
        if (rightText(piece, 8) != "=deleted") out += piece + "; ";
    return out.empty() ? out : out.substr(0, out.size() - 2);
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The caller's cookie text, a NUL, then the raw header text.
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t cut = input.find('\0');
    std::string cookies = cut == std::string::npos ? std::string() : input.substr(0, cut);
    std::string raw = cut == std::string::npos ? input : input.substr(cut + 1);

    std::string before = cookies;
    std::string newCookies = "left over", location;
    parseResponseHeaders(raw, newCookies, location, cookies);
    check(removeAllSpaces(newCookies) == newCookies);
    check(cookies == literalMerge(before, newCookies));
    check(!location.empty() || raw.empty());

    std::string old = before, fresh = raw;
    std::string merged = mergeCookies(old, fresh);
    check(merged == old && merged == literalMerge(before, raw));
    return 0;
}
