#include "ipdata/ipdata.h"

namespace ipdata {

bool isIpdbError(OpenError error) {
    return error >= OpenError::NoMetadataLength;
}

std::unique_ptr<Database> openDatabase(std::string_view bytes, std::shared_ptr<const void> owner,
                                       OpenFailure& failure) {
    // An ipdb file opens with the length of its metadata, big-endian and small, then the
    // metadata's "{". An ip2region header could look so by chance (its first bytes are
    // offsets): when it does and the ipdb reading fails, ip2region gets its turn.
    const bool ipdbLike = bytes.size() > 4 && bytes[0] == 0 && bytes[4] == '{';
    if (!ipdbLike) return openIp2region(bytes, failure);
    if (auto db = openIpdb(bytes, std::move(owner), failure)) return db;
    OpenFailure other;
    return openIp2region(bytes, other);
}

std::vector<Range> Database::search(const std::vector<std::string>& keywords,
                                    const std::stop_token& stop) const {
    std::vector<Range> found;
    searchEach(
        keywords, [&](Range& range) { found.push_back(std::move(range)); }, stop);
    return found;
}

std::string rangeDisplay(const Range& range) {
    return ip::formatRange(range.first, range.last);
}

std::string addressDisplay(std::uint32_t address) {
    return ip::formatAddress(ip::Address::v4(address));
}

std::optional<std::uint32_t> parseAddress(std::string_view dotted) {
    const std::optional<ip::Address> address = ip::parseAddress(dotted);
    if (!address || !address->isV4()) return std::nullopt;
    return address->v4Value();
}

}  // namespace ipdata
