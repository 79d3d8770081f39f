// One synchronous HTTP(S) exchange over the platform's Internet interface, and the two
// wrappers that return the body as text. A failed request yields the empty body, never an
// error. Each call here opens and closes its own root handle; a run of many requests
// shares one WebSession (web/session.h) instead.
#pragma once

#include <optional>
#include <string>

#include "platform/internet.h"
#include "text/text.h"
#include "web/session.h"

extern const char* const defaultUserAgent;

Bytes webRequest(platform::Internet& net, const std::string& url, int method,
                 const std::string& postText, std::string& cookies, std::string& newCookies,
                 std::string& extraHeaders, std::string& locationOrHeaders, bool noRedirect,
                 Bytes& postBytes, const std::optional<std::string>& proxy,
                 std::string& rawHeaders);

std::string webGetText(platform::Internet& net, const std::string& url, int method,
                       const std::string& postText, std::string& cookies, std::string& newCookies,
                       std::string& extraHeaders, std::string& locationOrHeaders, bool noRedirect,
                       Bytes& postBytes, const std::optional<std::string>& proxy,
                       std::string& rawHeaders);
std::string webGetUtf8Text(platform::Internet& net, const std::string& url, int method,
                           const std::string& postText, std::string& cookies,
                           std::string& newCookies, std::string& extraHeaders,
                           std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                           const std::optional<std::string>& proxy, std::string& rawHeaders);

// A one-shot fetch of the address alone, every other argument at its default (GET, no
// body, no cookies, redirects followed, proxy supplied as empty).
std::string webGetText(platform::Internet& net, const std::string& url);
std::string webGetUtf8Text(platform::Internet& net, const std::string& url);

// A text made safe for the path of an address: spaces, tabs and line breaks cut at both
// ends, then every byte outside [0-9A-Za-z.:-] written as %XX.
std::string encodePathText(const std::string& text);

bool urlIsHttps(const std::string& url);
std::string urlHost(const std::string& url, bool keepPort);
int urlPort(const std::string& url);
std::string urlPath(const std::string& url);

std::string headerValue(const std::string& line);
void parseResponseHeaders(const std::string& rawHeaders, std::string& newCookies,
                          std::string& locationOrHeaders, std::string& cookies);
std::string mergeCookies(std::string& oldCookies, std::string& newCookies);
std::string cookieName(const std::string& piece);
bool hasCookieNamed(const TextList& pieces, const std::string& name);
