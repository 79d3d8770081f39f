// Small address data files for tests, laid out as the real one: header, index, records;
// the last record ends the file and equal regions share one record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ipdata/ipdata.h"
#include "text/text.h"

namespace ipdata_test {

inline void putLe32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> (8 * i) & 0xFF);
}

struct FileRange {
    const char* first;
    const char* last;
    const char* region;  // GBK, stored as UTF-8
};

// Ranges in ascending order, at least one; a malformed address is stored as 0.0.0.0.
inline std::string buildFile(const std::vector<FileRange>& ranges) {
    auto ip = [](const char* dotted) { return ipdata::parseAddress(dotted).value_or(0); };
    std::string file(8 + 12 * ranges.size(), '\0');
    putLe32(file, 0, 8);
    putLe32(file, 4, static_cast<std::uint32_t>(8 + 12 * (ranges.size() - 1)));
    std::map<std::string, std::uint32_t> pointers;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const std::string& text = ranges[i].region;
        auto [it, added] = pointers.try_emplace(text, 0);
        if (added) {
            it->second = static_cast<std::uint32_t>(file.size()) |
                         static_cast<std::uint32_t>(4 + text.size()) << 24;
            file += std::string("\x01\x00\x00\x00", 4) + text;
        }
        putLe32(file, 8 + 12 * i, ip(ranges[i].first));
        putLe32(file, 12 + 12 * i, ip(ranges[i].last));
        putLe32(file, 16 + 12 * i, it->second);
    }
    return file;
}

}  // namespace ipdata_test
