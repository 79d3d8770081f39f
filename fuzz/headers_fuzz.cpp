// Response headers as a server may send them, through parseResponseHeaders and
// mergeCookies, against the cookie merge done literally, piece by piece; the same text as
// the answer to a request that follows redirects; and through encodePathText.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tests/fakes/fake_internet.h"
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

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Only [0-9A-Za-z.:-] and %XX come out.
bool safeForPath(const std::string& path) {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (c == '%') {
            if (i + 2 >= path.size() || !isHex(path[i + 1]) || !isHex(path[i + 2])) return false;
            i += 2;
        } else if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                     c == '.' || c == ':' || c == '-')) {
            return false;
        }
    }
    return true;
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

    // Whatever the status line and Location say: the first request and at most
    // kMaxRedirects more, every handle closed.
    fake::Internet net;
    net.handler = [&](const std::string&, int, const std::string&) {
        fake::HttpResponse response;
        response.rawHeaders = raw;
        response.body = "page";
        return response;
    };
    {
        WebSession session(net);
        session.getText("http://h/p?q");
    }
    check(net.requests().size() <= 1 + kMaxRedirects);
    check(net.openHandles() == 0);

    const std::string path = encodePathText(input);
    check(safeForPath(path) && path.size() <= 3 * input.size());
    return 0;
}
