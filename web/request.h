// A web exchange as values: everything a call needs goes out in one Request, everything
// that came back returns in one Response.
#pragma once

#include <cstdint>
#include <string>

#include "text/text.h"

enum class Method { Get, Post };

// Limits of one exchange, in milliseconds. A silent server is cut by the receive limit.
struct WebTimeouts {
    std::uint32_t connectMs = 10000;
    std::uint32_t sendMs = 30000;
    std::uint32_t receiveMs = 30000;
};

// Redirects followed for one request; one more and the request fails.
inline constexpr int kMaxRedirects = 5;

struct Request {
    std::string url;  // "http://", "https://" or neither (then HTTP)
    Method method = Method::Get;
    // Extra header lines separated by CR LF, without a final CR LF. A "User-Agent:" line
    // names the agent of a one-shot request too.
    std::string headers;
    // Sent whenever not empty, with either method.
    Bytes body;
    // The Cookie header's value; empty sends none.
    std::string cookies;
    bool followRedirects = true;
    WebTimeouts timeouts;
};

struct Response {
    // False when the request could not be opened at all: nothing went out.
    bool opened = false;
    int status = 0;
    // The raw response headers as WinINet gives them (status line and header lines, CR LF
    // separated); 5000 spaces when they did not fit the buffer.
    std::string headers;
    // The whole body; empty on any failure, a cut-off or cancelled one included.
    Bytes body;
    // The header block that was sent (the request's lines and the ones added).
    std::string sentHeaders;
    // The Location value of the last response, empty without one.
    std::string location;
    // The cookies this response set, and the request's cookies merged with them.
    std::string newCookies;
    std::string cookies;
};
