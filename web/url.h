// Parts of an address, as the web session takes it apart.
#pragma once

#include <string>

// A text made safe for the path of an address: spaces, tabs and line breaks cut at both
// ends, then every byte outside [0-9A-Za-z.:-] written as %XX.
std::string encodePathText(const std::string& text);

bool urlIsHttps(const std::string& url);
std::string urlHost(const std::string& url, bool keepPort);
int urlPort(const std::string& url);
std::string urlPath(const std::string& url);
// A Location value made absolute against the address that answered with it.
std::string resolveLocation(const std::string& base, const std::string& location);
