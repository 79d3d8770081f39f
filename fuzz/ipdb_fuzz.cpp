// Three kinds of input, told by the first byte.
//  - Addresses: the bytes as text for the address parser and finder. What is parsed must
//    print and parse back to itself, agree with the C library's inet_pton wherever that
//    accepts the text, and every address found in a text must be one.
//  - A whole file, metadata included: refused with a reason, or looked up and searched.
//  - An ipdb file: metadata written here (so that node_count and the field list are
//    known), then the input as nodes and records. A refused file must say why. In an
//    accepted one every lookup must agree with a plain walk of the bytes, and every range
//    a search gives must read, at both ends, as the lookup there reads.
// Any disagreement, or a read outside the input (the sanitizers), is a finding.
#include <arpa/inet.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "ipdata/ipdata.h"
#include "text/address.h"
#include "text/text.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t be32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i)
        value =
            value << 8 | (at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    return value;
}

void addresses(std::string_view text) {
    const std::optional<ip::Address> parsed = ip::parseAddress(text);
    if (parsed) check(ip::parseAddress(ip::formatAddress(*parsed)) == parsed);
    const std::string zeroEnded(text.substr(0, text.find('\0')));
    unsigned char pton[16];
    if (zeroEnded == text && inet_pton(AF_INET6, zeroEnded.c_str(), pton) == 1) {
        check(parsed && !parsed->isV4() && std::memcmp(parsed->bytes.data(), pton, 16) == 0);
    } else if (zeroEnded == text && inet_pton(AF_INET, zeroEnded.c_str(), pton) == 1) {
        check(parsed && parsed->isV4() && std::memcmp(&parsed->bytes[12], pton, 4) == 0);
    }
    if (parsed && !parsed->isV4()) {
        check(inet_pton(AF_INET6, ip::formatAddress(*parsed).c_str(), pton) == 1);
        check(std::memcmp(parsed->bytes.data(), pton, 16) == 0);
    }
    for (const std::string& found : ip::findAddresses(text)) {
        const auto a = ip::parseAddress(found);
        check(a && ip::formatAddress(*a) == found);
    }
}

constexpr int kFields = 3;

// The record the file holds for `address` by the plainest walk: its first kFields fields
// as GBK, or nullopt; `whole` the record's UTF-8 text. IPv4 addresses lie under
// ::ffff:0:0/96, which must be a node.
std::optional<std::string> referenceWalk(std::string_view tree, std::uint32_t nodes, bool v4Data,
                                         bool v6Data, const ip::Address& a,
                                         std::string_view& whole) {
    unsigned char bits[16] = {};
    if (a.isV4()) {
        if (!v4Data) return std::nullopt;
        bits[10] = bits[11] = 0xFF;
        std::memcpy(bits + 12, &a.bytes[12], 4);
    } else {
        if (!v6Data) return std::nullopt;
        std::memcpy(bits, a.bytes.data(), 16);
    }
    std::uint64_t node = 0;
    for (int depth = 0; depth < 128; ++depth) {
        if (a.isV4() && depth == 96 && node >= nodes) return std::nullopt;
        const int bit = bits[depth / 8] >> (7 - depth % 8) & 1;
        node = be32(tree, node * 8 + 4 * static_cast<unsigned>(bit));
        if (node == nodes) return std::nullopt;
        if (node > nodes) {
            if (a.isV4() && depth < 96) return std::nullopt;
            const std::uint64_t at = node - nodes + std::uint64_t{nodes} * 8;
            if (at + 2 > tree.size()) return std::nullopt;
            const std::size_t length = be32(tree, at) >> 16;
            if (at + 2 + length > tree.size()) return std::nullopt;
            // Split by bytes: a tab never occurs inside a UTF-8 character.
            std::string_view text = tree.substr(at + 2, length);
            whole = text;
            std::size_t end = 0;
            for (int field = 0; field < kFields && end != text.npos; ++field)
                end = text.find('\t', field == 0 ? 0 : end + 1);
            return std::string(text.substr(0, end));
        }
    }
    return std::nullopt;
}

void wholeFile(std::string_view bytes) {
    ipdata::OpenFailure reason;
    const auto db = ipdata::openDatabase(bytes, nullptr, reason);
    if (!db) {
        return;
    }
    for (const ip::Address& a : {ip::Address::v4(be32(bytes, bytes.size() / 2)),
                                 ip::Address::v6(be32(bytes, 8), be32(bytes, 12))})
        if (auto range = db->find(a)) check(range->first <= a && a <= range->last);
    db->search({std::string(bytes.substr(bytes.size() - 1))});
}

void ipdb(std::string_view input) {
    if (input.size() < 2) return;
    const int version = 1 + static_cast<unsigned char>(input[0]) % 3;
    const std::uint32_t nodes = 1 + static_cast<unsigned char>(input[1]) % 128;
    const std::string_view tree = input.substr(2);
    const std::string meta =
        R"({"node_count":)" + std::to_string(nodes) + R"(,"ip_version":)" +
        std::to_string(version) +
        R"(,"languages":{"CN":0},"fields":["country_name","region_name","isp_domain"],"total_size":)" +
        std::to_string(tree.size()) + "}";
    std::string file(4, '\0');
    file[3] = static_cast<char>(meta.size());
    file[2] = static_cast<char>(meta.size() >> 8);
    file += meta;
    file += tree;

    ipdata::OpenFailure reason;
    const auto db = ipdata::openIpdb(file, nullptr, reason);
    if (!db) {
        check(ipdata::isIpdbError(reason.error));  // refused, and why
        return;
    }
    // The same database at a copy of the bytes, handed further copies as it walks, answers
    // as the first.
    auto copy = std::make_shared<const std::string>(file);
    const auto moved = db->at(*copy, copy, [&file]() -> std::optional<ipdata::BytesView> {
        auto next = std::make_shared<const std::string>(file);
        return ipdata::BytesView{*next, next};
    });
    check(moved != nullptr);
    // Addresses: every 4 and 16 bytes of the tree, and the ends of each family.
    std::vector<ip::Address> asked = {ip::Address::v4(0), ip::Address::v4(~0u),
                                      ip::Address::v6(0, 0), ip::Address::v6(~0ull, ~0ull)};
    for (std::size_t at = 0; at + 16 <= tree.size() && asked.size() < 64; at += 16) {
        asked.push_back(ip::Address::v4(be32(tree, at)));
        const std::uint64_t high = std::uint64_t{be32(tree, at)} << 32 | be32(tree, at + 4);
        const std::uint64_t low = std::uint64_t{be32(tree, at + 8)} << 32 | be32(tree, at + 12);
        asked.push_back(ip::Address::v6(high, low));
    }
    for (const ip::Address& a : asked) {
        const auto range = db->find(a);
        std::string_view whole;
        const auto expected = referenceWalk(tree, nodes, version & 1, version & 2, a, whole);
        // Only the file's version record is a record and no answer.
        if (!range && expected) check(db->versionText() && ipdata::isVersionStamp(whole));
        if (range) check(expected.has_value());
        if (!range) continue;
        check(range->region == *expected && range->first <= a && a <= range->last);
        check(range->first.family == a.family && range->last.family == a.family);
        const auto again = moved->find(a);
        check(again && again->first == range->first && again->region == range->region);
    }
    // A keyword from the tail, alone and beside a second one.
    const std::string keyword(tree.substr(tree.size() - tree.size() % 3));
    for (const auto& keywords :
         {std::vector<std::string>{keyword}, std::vector<std::string>{keyword, "电"}}) {
        const auto found = db->search(keywords);
        check(moved->search(keywords).size() == found.size());
        for (std::size_t i = 0; i < found.size(); ++i) {
            check(found[i].first <= found[i].last);
            check(i == 0 || found[i - 1].last < found[i].first);
            for (const ip::Address& end : {found[i].first, found[i].last}) {
                const auto same = db->find(end);
                check(same && same->display == found[i].display);
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (size == 0) return 0;
    if (data[0] & 0x80) {
        addresses(bytes.substr(1));
    } else if (data[0] & 0x40) {
        wholeFile(bytes.substr(1));
    } else {
        ipdb(bytes.substr(1));
    }
    return 0;
}
