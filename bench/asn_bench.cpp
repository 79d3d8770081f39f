// Network numbers over the real asn.db the build packed (build/<dir>/data/asn.db;
// VERDALO_ASN names another), mapped as the program maps it: the open, and a million
// lookups of each kind. "us_per_lookup" is the figure asn_lookup_us.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "ipdata/asn.h"
#include "tests/fakes/fake_files.h"

namespace {

constexpr int kLookups = 1'000'000;

std::string dataPath() {
    if (const char* named = std::getenv("VERDALO_ASN")) return named;
    // This program lies in build/<dir>/bench/, the packed file in build/<dir>/data/.
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "data" /
            "asn.db")
        .string();
}

std::unique_ptr<ipdata::AsnDatabase> openData() {
    fake::DiskFiles files;
    auto view = files.map(dataPath());
    if (!view) return nullptr;
    auto owner = std::make_shared<const platform::FileView>(std::move(*view));
    ipdata::AsnError error;
    return ipdata::AsnDatabase::open(owner->bytes(), owner, error);
}

const ipdata::AsnDatabase* database() {
    static const std::unique_ptr<ipdata::AsnDatabase> kDatabase = openData();
    return kDatabase.get();
}

void BM_asn_open(benchmark::State& state) {
    for (auto _ : state) {
        auto db = openData();
        if (!db) return state.SkipWithError("data/asn.db missing or refused");
        benchmark::DoNotOptimize(db.get());
    }
}
BENCHMARK(BM_asn_open)->Unit(benchmark::kMillisecond);

void lookups(benchmark::State& state, const std::vector<ip::Address>& addresses) {
    const ipdata::AsnDatabase* db = database();
    if (!db) return state.SkipWithError("data/asn.db missing or refused");
    std::size_t answered = 0;
    for (auto _ : state) {
        answered = 0;
        for (const ip::Address& a : addresses) {
            auto found = db->find(a);
            answered += found.has_value();
            benchmark::DoNotOptimize(found);
        }
    }
    state.counters["us_per_lookup"] = benchmark::Counter(
        static_cast<double>(addresses.size()) / 1e6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["answered"] = static_cast<double>(answered);
}

void BM_asn_lookup_v4(benchmark::State& state) {
    std::mt19937 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i)
        addresses.push_back(ip::Address::v4(static_cast<std::uint32_t>(random())));
    lookups(state, addresses);
}
BENCHMARK(BM_asn_lookup_v4)->Unit(benchmark::kMillisecond);

// Addresses inside ranges the file holds, a random range each time: every lookup answers.
void known(benchmark::State& state, ip::Family family) {
    const ipdata::AsnDatabase* db = database();
    if (!db) return state.SkipWithError("data/asn.db missing or refused");
    std::mt19937_64 random(11);
    std::vector<ip::Address> addresses;
    const std::size_t count = db->rangeCount(family);
    for (int i = 0; i < kLookups; ++i) {
        const ipdata::AsnAnswer r = db->rangeAt(family, random() % count);
        if (family == ip::Family::V4) {
            const std::uint64_t span = std::uint64_t{r.last.v4Value()} - r.first.v4Value() + 1;
            addresses.push_back(
                ip::Address::v4(r.first.v4Value() + static_cast<std::uint32_t>(random() % span)));
        } else {
            addresses.push_back(r.first);  // the range's first address
        }
    }
    lookups(state, addresses);
}
void BM_asn_lookup_v4_known(benchmark::State& state) {
    known(state, ip::Family::V4);
}
BENCHMARK(BM_asn_lookup_v4_known)->Unit(benchmark::kMillisecond);
void BM_asn_lookup_v6_known(benchmark::State& state) {
    known(state, ip::Family::V6);
}
BENCHMARK(BM_asn_lookup_v6_known)->Unit(benchmark::kMillisecond);

// Global unicast space, 2000::/3.
void BM_asn_lookup_v6(benchmark::State& state) {
    std::mt19937_64 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i)
        addresses.push_back(ip::Address::v6(0x2000000000000000ull | random() >> 3, random()));
    lookups(state, addresses);
}
BENCHMARK(BM_asn_lookup_v6)->Unit(benchmark::kMillisecond);

}  // namespace
