// Arbitrary bytes as a qqwry.dat file. A refused file must say why; an accepted one is looked
// up and searched, and what the search gives must agree with the lookup; the version record
// read alone must be the one the open set aside, and the range that held it no answer. Any
// disagreement, or a read outside the input (the sanitizers), is a finding.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ipdata/ipdata.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

std::uint32_t le32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4 && at + i < bytes.size(); ++i)
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ipdata::OpenFailure reason;
    auto db = ipdata::openQqwry(bytes, reason);
    if (!db) {
        check(!ipdata::openDatabase(bytes, nullptr, reason) || !ipdata::looksLikeQqwry(bytes));
        return 0;
    }
    if (const std::optional<std::string> version = db->versionText()) {
        check(ipdata::isVersionStamp(*version));
        // The top range held it: it is no answer.
        check(!db->locate(ip::Address::v4(0xFFFFFFFFu)));
        if (ipdata::looksLikeQqwry(bytes)) check(ipdata::qqwryVersion(bytes) == version);
    }
    for (std::size_t at = 0; at < 64; at += 4) {
        const std::uint32_t address = le32(bytes, at);
        if (auto place = db->locate(ip::Address::v4(address))) {
            check(place->first.v4Value() <= address && address <= place->last.v4Value());
            ipdata::displayOf(*place);
        }
    }
    // A keyword of one or two bytes from the tail, alone and beside a second one.
    const std::string keyword(bytes.substr(size - (size % 2 ? 1 : 2)));
    for (const auto& keywords :
         {std::vector<std::string>{keyword}, std::vector<std::string>{keyword, "中国"}}) {
        const auto found = db->search(keywords);
        check(found.size() <= db->rangeCount());
        for (std::size_t i = 0; i < found.size(); ++i) {
            check(i == 0 || found[i - 1].last < found[i].first);
            // Adjacent ranges that read the same are joined: each end lies in a range that
            // reads so.
            for (const ip::Address& address : {found[i].first, found[i].last}) {
                auto same = db->find(address);
                check(same && same->display == found[i].display && found[i].first <= same->first &&
                      same->last <= found[i].last);
            }
        }
    }
    return 0;
}
