// A small MaxMind DB writer for tests, fuzz seeds and benchmarks: values appended to a data
// section by hand (so that damaged ones can be made too), networks put in a binary tree,
// records of 24, 28 or 32 bits, the metadata as a map in the same encoding.
#pragma once

#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mmdbfile {

// Appends values to a section; each call returns where its value starts.
struct Data {
    std::string bytes;

    std::size_t head(int type, std::uint32_t size) {
        const std::size_t at = bytes.size();
        const int low = type < 8 ? type : 0;
        std::string tail;
        std::uint32_t bits = size;
        if (size >= 65821) {
            bits = 31;
            const std::uint32_t v = size - 65821;
            tail = {static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
        } else if (size >= 285) {
            bits = 30;
            const std::uint32_t v = size - 285;
            tail = {static_cast<char>(v >> 8), static_cast<char>(v)};
        } else if (size >= 29) {
            bits = 29;
            tail = {static_cast<char>(size - 29)};
        }
        bytes += static_cast<char>(low << 5 | static_cast<int>(bits));
        if (type >= 8) bytes += static_cast<char>(type - 7);
        bytes += tail;
        return at;
    }
    std::size_t big(int type, std::uint64_t v, int most) {
        int n = 0;
        while (n < most && (v >> (8 * n)) != 0) ++n;
        const std::size_t at = head(type, static_cast<std::uint32_t>(n));
        for (int i = n - 1; i >= 0; --i) bytes += static_cast<char>(v >> (8 * i));
        return at;
    }
    std::size_t string(std::string_view s) {
        const std::size_t at = head(2, static_cast<std::uint32_t>(s.size()));
        bytes += s;
        return at;
    }
    std::size_t raw(std::string_view s) {  // bytes
        const std::size_t at = head(4, static_cast<std::uint32_t>(s.size()));
        bytes += s;
        return at;
    }
    std::size_t u16(std::uint16_t v) { return big(5, v, 2); }
    std::size_t u32(std::uint32_t v) { return big(6, v, 4); }
    std::size_t u64(std::uint64_t v) { return big(9, v, 8); }
    std::size_t i32(std::int32_t v) {
        const std::size_t at = head(8, 4);
        for (int i = 3; i >= 0; --i)
            bytes += static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * i));
        return at;
    }
    std::size_t u128(std::uint64_t high, std::uint64_t low) {
        const std::size_t at = head(10, 16);
        for (int i = 7; i >= 0; --i) bytes += static_cast<char>(high >> (8 * i));
        for (int i = 7; i >= 0; --i) bytes += static_cast<char>(low >> (8 * i));
        return at;
    }
    std::size_t number(double v) {
        const std::size_t at = head(3, 8);
        const auto b = std::bit_cast<std::uint64_t>(v);
        for (int i = 7; i >= 0; --i) bytes += static_cast<char>(b >> (8 * i));
        return at;
    }
    std::size_t single(float v) {
        const std::size_t at = head(15, 4);
        const auto b = std::bit_cast<std::uint32_t>(v);
        for (int i = 3; i >= 0; --i) bytes += static_cast<char>(b >> (8 * i));
        return at;
    }
    std::size_t boolean(bool v) { return head(14, v ? 1 : 0); }
    std::size_t map(std::uint32_t pairs) { return head(7, pairs); }
    std::size_t array(std::uint32_t items) { return head(11, items); }
    // A pointer in its smallest form, or in form `ss` (0 to 3) where the target fits it.
    std::size_t pointer(std::uint32_t target, int ss = -1) {
        const std::size_t at = bytes.size();
        if (ss < 0) ss = target < 2048 ? 0 : target < 526336 ? 1 : target < 134744064 ? 2 : 3;
        static constexpr std::uint32_t kBias[] = {0, 2048, 526336, 0};
        const std::uint32_t v = target - kBias[ss];
        const int n = ss + 1;
        bytes +=
            static_cast<char>(0x20 | ss << 3 | (ss < 3 ? static_cast<int>(v >> (8 * n)) & 7 : 0));
        for (int i = n - 1; i >= 0; --i) bytes += static_cast<char>(v >> (8 * i));
        return at;
    }
    // A map of string pairs, keys and values inline.
    std::size_t strings(const std::vector<std::pair<std::string, std::string>>& pairs) {
        const std::size_t at = map(static_cast<std::uint32_t>(pairs.size()));
        for (const auto& [k, v] : pairs) {
            string(k);
            string(v);
        }
        return at;
    }
};

// A network and the data offset of its record.
struct Network {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    int length = 0;  // bits of the 128
    std::uint32_t record = 0;
};
inline Network v4(std::uint32_t address, int length, std::uint32_t record) {
    return {0, address, 96 + length, record};
}

struct Tree {
    int recordSize = 24;
    int ipVersion = 6;
    // IPv6 trees: ::ffff:0:0/96 leads to the IPv4 subtree as well.
    bool alias = true;
    // What the metadata says in place of the truth, for damaged files.
    std::optional<std::uint32_t> nodeCount;
    std::uint16_t major = 2;
};

inline Tree tree(int recordSize, int ipVersion, std::optional<std::uint32_t> nodeCount = {},
                 std::uint16_t major = 2) {
    Tree t;
    t.recordSize = recordSize;
    t.ipVersion = ipVersion;
    t.nodeCount = nodeCount;
    t.major = major;
    return t;
}

// The nodes: two children each, a node index or a leaf (~0u: empty).
struct Node {
    std::int64_t child[2] = {-1, -1};  // >= 0 a node, -1 empty, <= -2 record -(r + 2)
};

inline int bitOf(const Network& n, int depth) {
    return static_cast<int>(depth < 64 ? n.high >> (63 - depth) & 1 : n.low >> (127 - depth) & 1);
}

// The whole file: tree, separator, `data`, marker, metadata (its extra pairs appended by
// `moreMeta`, written into the metadata section `meta` after the standard ones).
inline std::string build(const Tree& t, const std::vector<Network>& networks, const Data& data,
                         std::string_view databaseType = "Test-City",
                         std::uint64_t epoch = 1'700'000'000,
                         const std::vector<std::string>& languages = {"en", "zh-CN"}) {
    std::vector<Node> nodes(1);
    const int skip = t.ipVersion == 4 ? 96 : 0;
    for (const Network& n : networks) {
        std::size_t node = 0;
        for (int depth = skip; depth < n.length; ++depth) {
            const int bit = bitOf(n, depth);
            if (depth + 1 == n.length) {
                nodes[node].child[bit] = -static_cast<std::int64_t>(n.record) - 2;
                break;
            }
            if (nodes[node].child[bit] < 0) {
                nodes[node].child[bit] = static_cast<std::int64_t>(nodes.size());
                nodes.emplace_back();
            }
            node = static_cast<std::size_t>(nodes[node].child[bit]);
        }
    }
    if (t.ipVersion == 6 && t.alias) {
        // ::ffff:0:0/96: the same node as ::/96.
        std::size_t node = 0, v4 = 0;
        bool found = true;
        for (int depth = 0; depth < 96 && found; ++depth) {
            found = nodes[v4].child[0] >= 0;
            if (found) v4 = static_cast<std::size_t>(nodes[v4].child[0]);
        }
        if (found) {
            const Network mapped{0, 0xFFFFull << 32, 96, 0};
            for (int depth = 0; depth < 95; ++depth) {
                const int bit = bitOf(mapped, depth);
                if (nodes[node].child[bit] < 0) {
                    nodes[node].child[bit] = static_cast<std::int64_t>(nodes.size());
                    nodes.emplace_back();
                }
                node = static_cast<std::size_t>(nodes[node].child[bit]);
            }
            nodes[node].child[1] = static_cast<std::int64_t>(v4);
        }
    }
    const auto count = static_cast<std::uint32_t>(nodes.size());
    auto value = [&](std::int64_t c) -> std::uint32_t {
        if (c >= 0) return static_cast<std::uint32_t>(c);
        if (c == -1) return count;
        return count + 16 + static_cast<std::uint32_t>(-c - 2);
    };
    std::string file;
    for (const Node& n : nodes) {
        const std::uint32_t l = value(n.child[0]), r = value(n.child[1]);
        auto put = [&](std::uint32_t v, int bytes) {
            for (int i = bytes - 1; i >= 0; --i) file += static_cast<char>(v >> (8 * i));
        };
        if (t.recordSize == 24) {
            put(l, 3);
            put(r, 3);
        } else if (t.recordSize == 28) {
            put(l, 3);
            file += static_cast<char>((l >> 24 & 0x0F) << 4 | (r >> 24 & 0x0F));
            put(r, 3);
        } else {
            put(l, 4);
            put(r, 4);
        }
    }
    file += std::string(16, '\0');
    file += data.bytes;
    file += "\xAB\xCD\xEFMaxMind.com";
    Data meta;
    meta.map(9);
    meta.string("node_count");
    meta.u32(t.nodeCount.value_or(count));
    meta.string("record_size");
    meta.u16(static_cast<std::uint16_t>(t.recordSize));
    meta.string("ip_version");
    meta.u16(static_cast<std::uint16_t>(t.ipVersion));
    // The type through a pointer: the metadata's pointers count from its own start.
    meta.string("database_type");
    const std::size_t typePointer = meta.pointer(0, 0);
    meta.string("languages");
    meta.array(static_cast<std::uint32_t>(languages.size()));
    for (const std::string& l : languages) meta.string(l);
    meta.string("binary_format_major_version");
    meta.u16(t.major);
    meta.string("binary_format_minor_version");
    meta.u16(0);
    meta.string("build_epoch");
    meta.u64(epoch);
    meta.string("description");
    meta.strings({{"en", "test data"}});
    Data pointed;
    pointed.pointer(static_cast<std::uint32_t>(meta.string(databaseType)), 0);
    meta.bytes.replace(typePointer, 2, pointed.bytes);
    return file + meta.bytes;
}

}  // namespace mmdbfile
