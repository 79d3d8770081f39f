// A writer of small qqwry.dat files for the tests, in each of the record layouts real files
// use, with where each record went, so that a test can damage one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "text/bytes.h"
#include "text/text.h"

namespace qqwry_test {

// How a record reaches its texts: in place; through a redirect of both (mode 1) to a
// country pointed at (mode 2) and an area pointed at; through a pointer to the country
// (mode 2) followed by a pointer to the area.
enum class Layout { Plain, MoveBoth, MoveText };

struct Row {
    std::uint32_t first;
    std::uint32_t last;
    std::string country;  // UTF-8, written as GBK
    std::string area;
    Layout layout = Layout::Plain;
};

struct Written {
    std::string bytes;
    std::vector<std::size_t> records;  // each row's record offset
};

inline void put24(std::string& out, std::size_t value) {
    for (int i = 0; i < 3; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

inline std::string redirect(char mode, std::size_t to) {
    std::string out(1, mode);
    put24(out, to);
    return out;
}

inline Written writeQqwry(const std::vector<Row>& rows) {
    Written file{std::string(8, '\0'), {}};
    std::string& out = file.bytes;
    for (const Row& row : rows) {
        const std::string country = utf8ToGbk(row.country) + '\0';
        const std::string area = utf8ToGbk(row.area) + '\0';
        std::string texts = country + area;
        if (row.layout != Layout::Plain) {
            const std::size_t c = out.size();
            out += country;
            const std::size_t a = out.size();
            out += area;
            texts = redirect(2, c) + redirect(2, a);
            if (row.layout == Layout::MoveBoth) {
                const std::size_t both = out.size();
                out += texts;
                texts = redirect(1, both);
            }
        }
        file.records.push_back(out.size());
        le::append32(out, row.last);
        out += texts;
    }
    le::set32(out, 0, static_cast<std::uint32_t>(out.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        le::set32(out, 4, static_cast<std::uint32_t>(out.size()));
        le::append32(out, rows[i].first);
        put24(out, file.records[i]);
    }
    return file;
}

}  // namespace qqwry_test
