// What happens to the response headers once a request has been read: the Location, the
// Set-Cookie values, and the caller's cookie text kept across requests.
#pragma once

#include <string>

#include "text/text.h"

std::string headerValue(const std::string& line);
// Sets `newCookies` to the cookies the headers set, `locationOrHeaders` to their Location
// value (or, when it was empty and there is none, to the headers themselves), and merges
// the new cookies into `cookies`.
void parseResponseHeaders(const std::string& rawHeaders, std::string& newCookies,
                          std::string& locationOrHeaders, std::string& cookies);
std::string mergeCookies(std::string& oldCookies, std::string& newCookies);
std::string cookieName(const std::string& piece);
bool hasCookieNamed(const TextList& pieces, const std::string& name);
