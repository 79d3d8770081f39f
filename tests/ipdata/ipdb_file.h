// Small ipdb files for tests, laid out as the real one: metadata, nodes numbered depth
// first, an unused 8-byte node, then one record per distinct text, the last one ending the
// file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "text/address.h"
#include "text/text.h"

namespace ipdata_test {

struct IpdbPrefix {
    const char* prefix;  // "1.0.1.0/24" or "240e:1::/32"
    const char* record;  // GBK fields separated by tabs, stored as UTF-8
};

inline const std::string kIpdbFields =
    R"(["country_name","region_name","city_name","district_name","owner_domain","isp_domain","country_code","continent_code"])";

struct IpdbFile {
    std::string bytes;
    std::size_t nodesAt = 0;  // where node 0 starts
    std::uint32_t nodeCount = 0;
    std::size_t recordsAt = 0;  // where the first record starts
};

inline void putBe32(std::string& out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

// Prefixes must not overlap; an IPv4 prefix lies under ::ffff:0:0/96. `metadata` replaces
// the JSON metadata when given ("%N" and "%T" stand for node_count and total_size).
inline IpdbFile buildIpdb(const std::vector<IpdbPrefix>& prefixes, int ipVersion = 3,
                          const std::string& fields = kIpdbFields, std::string metadata = {}) {
    constexpr int kEmpty = -1;  // a child: >= 0 a node, <= -2 record -(2 + index)
    std::vector<std::array<int, 2>> nodes{{kEmpty, kEmpty}};
    std::vector<std::string> records;
    std::map<std::string, int> recordIds;
    for (const IpdbPrefix& p : prefixes) {
        const std::string text = p.prefix;
        const std::size_t slash = text.find('/');
        const ip::Address a = *ip::parseAddress(text.substr(0, slash));
        int length = std::stoi(text.substr(slash + 1));
        ip::Address full = a;
        if (a.isV4()) {
            full = ip::Address::v6(0, 0xFFFFull << 32 | a.v4Value());
            length += 96;
        }
        full.family = ip::Family::V6;
        auto [it, added] =
            recordIds.try_emplace(p.record, static_cast<int>(records.size()));
        if (added) records.push_back(it->first);
        int node = 0;
        for (int depth = 0; depth < length; ++depth) {
            const int bit = full.bit(depth);
            if (depth + 1 == length) {
                nodes[node][bit] = -2 - it->second;
            } else {
                if (nodes[node][bit] == kEmpty) {
                    nodes[node][bit] = static_cast<int>(nodes.size());
                    nodes.push_back({kEmpty, kEmpty});
                }
                node = nodes[node][bit];
            }
        }
    }
    // Depth-first numbering, bit 0 first, as the real file has it.
    std::vector<int> order, number(nodes.size());
    std::vector<int> stack{0};
    while (!stack.empty()) {
        const int n = stack.back();
        stack.pop_back();
        number[n] = static_cast<int>(order.size());
        order.push_back(n);
        for (int bit : {1, 0})
            if (nodes[n][bit] >= 0) stack.push_back(nodes[n][bit]);
    }
    const auto count = static_cast<std::uint32_t>(nodes.size());
    std::string data(8, '\0');  // the unused node before the records
    putBe32(data, 0, count);
    putBe32(data, 4, count);
    std::vector<std::uint32_t> pointers;
    for (const std::string& r : records) {
        pointers.push_back(count + static_cast<std::uint32_t>(data.size()));
        data += static_cast<char>(r.size() >> 8);
        data += static_cast<char>(r.size() & 0xFF);
        data += r;
    }
    std::string tree(8 * count, '\0');
    for (std::uint32_t i = 0; i < count; ++i) {
        for (int bit : {0, 1}) {
            const int c = nodes[order[i]][bit];
            const std::uint32_t value = c == kEmpty ? count
                                        : c >= 0    ? static_cast<std::uint32_t>(number[c])
                                                    : pointers[-2 - c];
            putBe32(tree, 8 * i + 4 * bit, value);
        }
    }
    const std::string total = std::to_string(tree.size() + data.size());
    if (metadata.empty()) {
        metadata = R"({"build":1,"ip_version":)" + std::to_string(ipVersion) +
                   R"(,"languages":{"CN":0},"node_count":%N,"total_size":%T,"fields":)" + fields +
                   "}";
    }
    for (const auto& [mark, value] :
         {std::pair<std::string, std::string>{"%N", std::to_string(count)}, {"%T", total}}) {
        const std::size_t at = metadata.find(mark);
        if (at != std::string::npos) metadata.replace(at, 2, value);
    }
    IpdbFile file;
    file.bytes.assign(4, '\0');
    putBe32(file.bytes, 0, static_cast<std::uint32_t>(metadata.size()));
    file.bytes += metadata;
    file.nodesAt = file.bytes.size();
    file.nodeCount = count;
    file.bytes += tree;
    file.recordsAt = file.bytes.size() + 8;
    file.bytes += data;
    return file;
}

}  // namespace ipdata_test
