// The MaxMind DB reader over a city-like file of the tests' writer (about 300 000 IPv4
// networks, 40 000 records shaped as a city file's, cities, subdivisions, countries and
// continents shared through pointers, 28-bit records in an IPv6 tree): a million random IPv4
// lookups with the place's fields, and the same lookups and fields through libmaxminddb where it is
// installed.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "ipdata/mmdb.h"
#include "tests/ipdata/mmdb_file.h"

#ifdef VERDALO_HAVE_MAXMINDDB
#include <maxminddb.h>
#endif

namespace {

constexpr int kLookups = 1'000'000;

std::string cityFile() {
    std::mt19937 random(5);
    mmdbfile::Data d;
    auto names = [&](const std::string& en, const std::string& zh) {
        const std::size_t at = d.map(8);
        for (const char* language : {"de", "en", "es", "fr", "ja", "pt-BR", "ru"}) {
            d.string(language);
            d.string(en);
        }
        d.string("zh-CN");
        d.string(zh);
        return at;
    };
    std::vector<std::size_t> countries, continents;
    for (int i = 0; i < 7; ++i) {
        const std::size_t at = d.map(3);
        d.string("code");
        d.string("C" + std::to_string(i));
        d.string("geoname_id");
        d.u32(6255140 + static_cast<std::uint32_t>(i));
        d.string("names");
        names("Continent " + std::to_string(i), "洲" + std::to_string(i));
        continents.push_back(at);
    }
    for (int i = 0; i < 250; ++i) {
        const std::size_t at = d.map(3);
        d.string("geoname_id");
        d.u32(1814991 + static_cast<std::uint32_t>(i));
        d.string("iso_code");
        d.string(
            std::string{static_cast<char>('A' + i / 26 % 26), static_cast<char>('A' + i % 26)});
        d.string("names");
        names("Country " + std::to_string(i), "国家" + std::to_string(i));
        countries.push_back(at);
    }
    // As a city file's writer does, what many records share is written once and pointed to:
    // the cities, the subdivisions, the countries and the continents.
    std::vector<std::size_t> cities, regions;
    for (int i = 0; i < 3000; ++i) {
        regions.push_back(d.array(1));
        d.map(3);
        d.string("geoname_id");
        d.u32(static_cast<std::uint32_t>(2'000'000 + i));
        d.string("iso_code");
        d.string("SD");
        d.string("names");
        names("Region " + std::to_string(i), "地区" + std::to_string(i));
    }
    for (int i = 0; i < 10'000; ++i) {
        cities.push_back(d.map(2));
        d.string("geoname_id");
        d.u32(static_cast<std::uint32_t>(1'000'000 + i));
        d.string("names");
        names("City " + std::to_string(i), "城市" + std::to_string(i));
    }
    std::vector<std::uint32_t> records;
    for (int i = 0; i < 40'000; ++i) {
        const std::size_t country = countries[random() % countries.size()];
        records.push_back(static_cast<std::uint32_t>(d.map(7)));
        d.string("city");
        d.pointer(static_cast<std::uint32_t>(cities[random() % cities.size()]));
        d.string("continent");
        d.pointer(static_cast<std::uint32_t>(continents[random() % continents.size()]));
        d.string("country");
        d.pointer(static_cast<std::uint32_t>(country));
        d.string("location");
        d.map(4);
        d.string("accuracy_radius");
        d.u16(100);
        d.string("latitude");
        d.number(static_cast<double>(random() % 180'000) / 1000 - 90);
        d.string("longitude");
        d.number(static_cast<double>(random() % 360'000) / 1000 - 180);
        d.string("time_zone");
        d.string("Asia/Shanghai");
        d.string("postal");
        d.strings({{"code", std::to_string(100000 + i)}});
        d.string("registered_country");
        d.pointer(static_cast<std::uint32_t>(country));
        d.string("subdivisions");
        d.pointer(static_cast<std::uint32_t>(regions[random() % regions.size()]));
    }
    // Each /17 whole, halved or quartered.
    std::vector<mmdbfile::Network> networks;
    for (std::uint32_t block = 0; block < (1u << 17); ++block) {
        const int length = 17 + static_cast<int>(random() % 3);
        for (std::uint32_t part = 0; part < (1u << (length - 17)); ++part)
            networks.push_back(mmdbfile::v4(block << 15 | part << (32 - length), length,
                                            records[random() % records.size()]));
    }
    return mmdbfile::build(mmdbfile::tree(28, 6), networks, d, "GeoIP2-City");
}

struct City {
    std::shared_ptr<const std::string> bytes;
    std::unique_ptr<ipdata::mmdb::Reader> reader;
    std::string path;
};

const City& city() {
    static const City kCity = [] {
        City c;
        c.bytes = std::make_shared<const std::string>(cityFile());
        ipdata::OpenFailure failure;
        c.reader = ipdata::mmdb::Reader::open(*c.bytes, c.bytes, failure);
        c.path = (std::filesystem::temp_directory_path() / "verdalo_bench_city.mmdb").string();
        std::ofstream(c.path, std::ios::binary) << *c.bytes;
        return c;
    }();
    return kCity;
}

std::vector<std::uint32_t> randomAddresses() {
    std::mt19937 random(11);
    std::vector<std::uint32_t> addresses;
    for (int i = 0; i < kLookups; ++i) addresses.push_back(static_cast<std::uint32_t>(random()));
    return addresses;
}

void perLookup(benchmark::State& state) {
    state.counters["us_per_lookup"] = benchmark::Counter(
        static_cast<double>(kLookups) / 1e6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The place with its fields: country, first subdivision and city names (zh-CN), iso_code.
void BM_mmdb_lookup(benchmark::State& state) {
    const City& c = city();
    if (!c.reader) return state.SkipWithError("the generated file was refused");
    const std::vector<std::uint32_t> addresses = randomAddresses();
    std::size_t answered = 0;
    for (auto _ : state) {
        answered = 0;
        for (const std::uint32_t a : addresses) {
            auto place = c.reader->locate(ip::Address::v4(a));
            answered += place.has_value();
            benchmark::DoNotOptimize(place);
        }
    }
    perLookup(state);
    state.counters["answered"] = static_cast<double>(answered);
    state.counters["file_mb"] = static_cast<double>(c.bytes->size()) / 1e6;
}
BENCHMARK(BM_mmdb_lookup)->Unit(benchmark::kMillisecond);

// The tree walk and one path: the country's Chinese name.
void BM_mmdb_lookup_one_path(benchmark::State& state) {
    const City& c = city();
    if (!c.reader) return state.SkipWithError("the generated file was refused");
    const std::vector<std::uint32_t> addresses = randomAddresses();
    for (auto _ : state) {
        for (const std::uint32_t a : addresses) {
            const auto hit = c.reader->lookup(ip::Address::v4(a));
            if (hit)
                benchmark::DoNotOptimize(c.reader->get(hit->record, {"country", "names", "zh-CN"}));
        }
    }
    perLookup(state);
}
BENCHMARK(BM_mmdb_lookup_one_path)->Unit(benchmark::kMillisecond);

#ifdef VERDALO_HAVE_MAXMINDDB
// libmaxminddb over the same file (mapped), the same addresses and the same four fields.
void BM_libmaxminddb_lookup(benchmark::State& state) {
    const City& c = city();
    MMDB_s mmdb;
    if (MMDB_open(c.path.c_str(), MMDB_MODE_MMAP, &mmdb) != MMDB_SUCCESS)
        return state.SkipWithError("libmaxminddb refused the file");
    const std::vector<std::uint32_t> addresses = randomAddresses();
    std::size_t answered = 0;
    for (auto _ : state) {
        answered = 0;
        for (const std::uint32_t a : addresses) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(a);
            int error = 0;
            MMDB_lookup_result_s result =
                MMDB_lookup_sockaddr(&mmdb, reinterpret_cast<const sockaddr*>(&address), &error);
            if (error != MMDB_SUCCESS || !result.found_entry) continue;
            ++answered;
            MMDB_entry_data_s data;
            MMDB_get_value(&result.entry, &data, "country", "names", "zh-CN", NULL);
            benchmark::DoNotOptimize(data);
            MMDB_get_value(&result.entry, &data, "subdivisions", "0", "names", "zh-CN", NULL);
            benchmark::DoNotOptimize(data);
            MMDB_get_value(&result.entry, &data, "city", "names", "zh-CN", NULL);
            benchmark::DoNotOptimize(data);
            MMDB_get_value(&result.entry, &data, "country", "iso_code", NULL);
            benchmark::DoNotOptimize(data);
        }
    }
    MMDB_close(&mmdb);
    perLookup(state);
    state.counters["answered"] = static_cast<double>(answered);
}
BENCHMARK(BM_libmaxminddb_lookup)->Unit(benchmark::kMillisecond);
#endif

// mmdb_lookup_us: random IPv4 addresses (uniform over the space, one seed) in a real file named
// by VERDALO_DBIP_CITY (DB-IP's city lite), each with the fields a lookup uses: ours the place
// (locate) and its coordinates (extras), libmaxminddb the same seven values by path. The two
// readers take turns over the same addresses in each iteration, so that load from other work
// falls on both alike; the counters are each one's microseconds per lookup.
void BM_mmdb_lookup_us(benchmark::State& state) {
    const char* path = std::getenv("VERDALO_DBIP_CITY");
    if (!path) return state.SkipWithError("VERDALO_DBIP_CITY names no file");
    // Mapped, as the program and libmaxminddb read it.
    const int fd = ::open(path, O_RDONLY);
    struct stat info {};
    if (fd < 0 || ::fstat(fd, &info) != 0) return state.SkipWithError("cannot read the file");
    const auto size = static_cast<std::size_t>(info.st_size);
    void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    ::close(fd);
    if (mapped == MAP_FAILED) return state.SkipWithError("cannot map the file");
    const std::shared_ptr<void> mapping(mapped, [size](void* p) { ::munmap(p, size); });
    ipdata::OpenFailure failure;
    const auto reader = ipdata::mmdb::Reader::open(
        std::string_view(static_cast<const char*>(mapped), size), mapping, failure);
    if (!reader) return state.SkipWithError("the file was refused");
    const std::vector<std::uint32_t> addresses = randomAddresses();
    // The thread's CPU time: the machine is shared, and time spent switched out is neither's.
    struct Clock {
        using duration = std::chrono::nanoseconds;
        using time_point = std::chrono::nanoseconds;
        static time_point now() {
            timespec t{};
            ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
        }
    };
    Clock::duration ours{}, theirs{};
    std::size_t answered = 0;
#ifdef VERDALO_HAVE_MAXMINDDB
    MMDB_s mmdb;
    if (MMDB_open(path, MMDB_MODE_MMAP, &mmdb) != MMDB_SUCCESS)
        return state.SkipWithError("libmaxminddb refused the file");
    std::size_t theirsAnswered = 0;
#endif
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        answered = 0;
        for (const std::uint32_t a : addresses) {
            const ip::Address address = ip::Address::v4(a);
            const auto place = reader->locate(address);
            if (!place) continue;
            ++answered;
            benchmark::DoNotOptimize(place->fields);
            const ipdata::Extras e = reader->extras(address, *place);
            benchmark::DoNotOptimize(e.latitude);
            benchmark::DoNotOptimize(e.longitude);
            benchmark::DoNotOptimize(e.postalCode);
        }
        ours += Clock::now() - start;
#ifdef VERDALO_HAVE_MAXMINDDB
        const Clock::time_point middle = Clock::now();
        theirsAnswered = 0;
        for (const std::uint32_t a : addresses) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(a);
            int error = 0;
            MMDB_lookup_result_s result =
                MMDB_lookup_sockaddr(&mmdb, reinterpret_cast<const sockaddr*>(&address), &error);
            if (error != MMDB_SUCCESS || !result.found_entry) continue;
            ++theirsAnswered;
            MMDB_entry_data_s data;
            for (const char* key : {"country_code", "state1", "state2", "city", "latitude",
                                    "longitude", "postcode"}) {
                MMDB_get_value(&result.entry, &data, key, NULL);
                benchmark::DoNotOptimize(data);
            }
        }
        theirs += Clock::now() - middle;
#endif
    }
    auto perLookupUs = [&](Clock::duration d) {
        return std::chrono::duration<double, std::micro>(d).count() /
               (static_cast<double>(state.iterations()) * kLookups);
    };
    state.counters["mmdb_lookup_us"] = perLookupUs(ours);
    state.counters["answered"] = static_cast<double>(answered);
#ifdef VERDALO_HAVE_MAXMINDDB
    MMDB_close(&mmdb);
    state.counters["libmaxminddb_us"] = perLookupUs(theirs);
    state.counters["ratio"] = perLookupUs(ours) / perLookupUs(theirs);
    if (theirsAnswered != answered) state.SkipWithError("the readers answered different counts");
#endif
}
BENCHMARK(BM_mmdb_lookup_us)->Unit(benchmark::kMillisecond)->Iterations(4);

// A reverse search over every network: one country's name.
void BM_mmdb_search(benchmark::State& state) {
    const City& c = city();
    std::size_t found = 0;
    for (auto _ : state) found = c.reader->search({"国家7"}).size();
    state.counters["ranges"] = static_cast<double>(found);
    state.counters["all_ranges"] = static_cast<double>(c.reader->rangeCount());
}
BENCHMARK(BM_mmdb_search)->Unit(benchmark::kMillisecond);

void BM_mmdb_open(benchmark::State& state) {
    const City& c = city();
    for (auto _ : state) {
        ipdata::OpenFailure failure;
        auto reader = ipdata::mmdb::Reader::open(*c.bytes, c.bytes, failure);
        benchmark::DoNotOptimize(reader);
    }
    state.counters["nodes"] = c.reader ? static_cast<double>(c.reader->metadata().nodeCount) : 0;
}
BENCHMARK(BM_mmdb_open)->Unit(benchmark::kMillisecond);

}  // namespace

namespace {
void BM_mmdb_walk_only(benchmark::State& state) {
    const City& c = city();
    const std::vector<std::uint32_t> addresses = randomAddresses();
    for (auto _ : state) {
        for (const std::uint32_t a : addresses)
            benchmark::DoNotOptimize(c.reader->lookup(ip::Address::v4(a)));
    }
    perLookup(state);
}
BENCHMARK(BM_mmdb_walk_only)->Unit(benchmark::kMillisecond);
void BM_mmdb_fields_hot(benchmark::State& state) {
    const City& c = city();
    const auto hit = c.reader->lookup(ip::Address::v4(0x01020304));
    for (auto _ : state) {
        for (int i = 0; i < kLookups; ++i)
            benchmark::DoNotOptimize(c.reader->fieldsOf(hit->record));
    }
    perLookup(state);
}
BENCHMARK(BM_mmdb_fields_hot)->Unit(benchmark::kMillisecond);
}  // namespace
