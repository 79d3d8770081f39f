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
// "2024-01-17" from a version record's text ("纯真网络 2024年01月17日IP数据", isVersionStamp);
// empty when it holds no such date.
std::string versionDate(std::string_view text);
// The date of a whole file whose start says none, from its version record (a qqwry.dat file
// keeps it in its last range); empty when it has none.
std::string versionDateOfFile(std::string_view bytes);

}  // namespace ipdata
