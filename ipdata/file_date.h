// The date of a data file's contents, read from the first bytes of the file alone, so
// that a window can name the data in use without opening it whole.
#pragma once

#include <string>
#include <string_view>

namespace ipdata {

// How many bytes of a file's start fileDate needs at most.
inline constexpr std::size_t kDateHeadBytes = 64 * 1024;

// "2026-09-16": an ipdb file's build time (UTC), or the date in an asn.db header; empty
// when the start of the file does not say (an ip2region file, a damaged header).
std::string fileDate(std::string_view head);

}  // namespace ipdata
