// One synchronous HTTP(S) exchange over the platform's Internet interface, and the two
// wrappers the lookups use. A failed request yields the empty body, never an error.
#pragma once

#include <optional>
#include <string>

#include "text/text.h"

extern const char* const defaultUserAgent;

Bytes webRequest(const std::string& url, int method, const std::string& postText,
                 std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                 std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                 const std::optional<std::string>& proxy, std::string& rawHeaders);

std::string webGetText(const std::string& url, int method, const std::string& postText,
                       std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                       std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                       const std::optional<std::string>& proxy, std::string& rawHeaders);
std::string webGetUtf8Text(const std::string& url, int method, const std::string& postText,
                           std::string& cookies, std::string& newCookies,
                           std::string& extraHeaders, std::string& locationOrHeaders,
                           bool noRedirect, Bytes& postBytes,
                           const std::optional<std::string>& proxy, std::string& rawHeaders);

// What every caller of the system does: only the address, every other argument at its
// default (GET, no body, no cookies, redirects followed, proxy supplied as empty).
std::string webGetText(const std::string& url);
std::string webGetUtf8Text(const std::string& url);

std::string urlHost(const std::string& url, bool keepPort);
int urlPort(const std::string& url);
std::string urlPath(const std::string& url);

std::string headerValue(const std::string& line);
void parseResponseHeaders(const std::string& rawHeaders, std::string& newCookies,
                          std::string& locationOrHeaders, std::string& cookies);
std::string mergeCookies(std::string& oldCookies, std::string& newCookies);
std::string cookieName(const std::string& piece);
bool hasCookieNamed(const TextList& pieces, const std::string& name);
