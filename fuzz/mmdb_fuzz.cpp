// Two kinds of input, told by the first byte.
//  - A whole MaxMind DB file: refused with a MaxMind DB reason, or looked up at addresses
//    taken from the input (each place must hold its address), its fields, extras and paths
//    read, its ranges counted and searched.
//  - A data section: put under a one-node tree and valid metadata, so that every byte goes to
//    the value decoder; then the record's fields, extras and a few paths, and every value of
//    the section decoded from each offset.
// Any disagreement, a read outside the input (the sanitizers), or a hang is a finding.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "ipdata/mmdb.h"
#include "text/address.h"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

using ipdata::mmdb::Reader;
using ipdata::mmdb::Section;

void paths(const Reader& db, std::uint32_t record) {
    (void)db.fieldsOf(record);
    (void)db.extras(record);
    (void)db.get(record, {"country", "names", "zh-CN"});
    (void)db.get(record, {"subdivisions", "0", "iso_code"});
    (void)db.get(record, {"location", "latitude"});
}

void wholeFile(std::string_view bytes) {
    auto owner = std::make_shared<const std::string>(bytes);
    ipdata::OpenFailure failure;
    const std::unique_ptr<Reader> db = Reader::open(*owner, owner, failure);
    if (!db) {
        check(ipdata::isMmdbError(failure.error));
        return;
    }
    // Addresses from the input's bytes, of both families.
    for (std::size_t at = 0; at + 16 <= bytes.size() && at < 16 * 8; at += 16) {
        std::uint64_t high = 0, low = 0;
        for (std::size_t i = 0; i < 8; ++i) {
            high = high << 8 | static_cast<unsigned char>(bytes[at + i]);
            low = low << 8 | static_cast<unsigned char>(bytes[at + 8 + i]);
        }
        for (const ip::Address& a :
             {ip::Address::v4(static_cast<std::uint32_t>(low)), ip::Address::v6(high, low)}) {
            const auto place = db->locate(a);
            if (place) check(place->first <= a && a <= place->last);
            if (const auto hit = db->lookup(a)) paths(*db, hit->record);
        }
    }
    (void)db->rangeCount();
    (void)db->search({"a"});
    (void)db->versionText();
}

// A tree of one node whose both records lead to the data's first byte.
std::string underTree(std::string_view data) {
    std::string file = {'\0', '\0', '\x11', '\0', '\0', '\x11'};  // node_count 1: 1 + 16 + 0
    file += std::string(16, '\0');
    file += data;
    file += "\xAB\xCD\xEFMaxMind.com";
    // {node_count: 1, record_size: 24, ip_version: 4, binary_format_major_version: 2}
    file += "\xE4";
    file += "\x4Anode_count\xC1\x01";
    file += "\x4Brecord_size\xA1\x18";
    file += "\x4Aip_version\xA1\x04";
    file += "\x5B";
    file += "binary_format_major_version\xA1\x02";
    return file;
}

void dataSection(std::string_view data) {
    const std::string file = underTree(data);
    auto owner = std::make_shared<const std::string>(file);
    ipdata::OpenFailure failure;
    const std::unique_ptr<Reader> db = Reader::open(*owner, owner, failure);
    // A data section of any bytes leaves the file valid, unless it holds the marker.
    if (!db) return;
    const auto place = db->locate(ip::Address::v4(0x01020304));
    check(place.has_value() || data.empty());
    paths(*db, 0);
    const Section s(data);
    for (std::size_t at = 0; at < data.size() && at < 512; ++at) {
        const auto v = s.read(at);
        const auto end = s.skip(at);
        if (end) check(*end > at && *end <= data.size());
        if (v && v->type == ipdata::mmdb::Type::Map)
            s.eachPair(*v, [&](std::string_view, std::size_t valueAt) {
                (void)s.read(valueAt);
                return true;
            });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0) {
        wholeFile(rest);
    } else {
        dataSection(rest);
    }
    return 0;
}
