// The offline address data over the real file (data/ip2region.db, fetched by
// scripts/install-deps.sh; VERDALO_IPDATA names another): opening it, a million random
// lookups, and reverse searches over every range.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "ipdata/ipdata.h"

namespace {

std::string fileBytes() {
    const char* named = std::getenv("VERDALO_IPDATA");
    const std::filesystem::path path =
        named
            ? std::filesystem::path(named)
            : std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "ip2region.db";
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::string& bytes() {
    static const std::string kBytes = fileBytes();
    return kBytes;
}

const ipdata::Database* database() {
    static const std::optional<ipdata::Database> kDatabase = [] {
        std::string reason;
        return ipdata::Database::open(bytes(), reason);
    }();
    return kDatabase ? &*kDatabase : nullptr;
}

constexpr int kLookups = 1'000'000;

void BM_open(benchmark::State& state) {
    for (auto _ : state) {
        std::string reason;
        auto db = ipdata::Database::open(bytes(), reason);
        if (!db) return state.SkipWithError("data/ip2region.db missing or unusable");
        benchmark::DoNotOptimize(db->rangeCount());
    }
}
BENCHMARK(BM_open)->Unit(benchmark::kMillisecond);

// One iteration is a million lookups; "per_lookup" is the average time of one.
void BM_find(benchmark::State& state) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/ip2region.db missing or unusable");
    std::mt19937 random(11);
    std::vector<std::uint32_t> addresses(kLookups);
    for (auto& a : addresses) a = static_cast<std::uint32_t>(random());
    for (auto _ : state)
        for (std::uint32_t a : addresses) benchmark::DoNotOptimize(db->find(a));
    state.counters["per_lookup"] = benchmark::Counter(
        kLookups, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_find)->Unit(benchmark::kMillisecond);

void BM_search(benchmark::State& state, std::vector<std::string> keywords) {
    const ipdata::Database* db = database();
    if (!db) return state.SkipWithError("data/ip2region.db missing or unusable");
    std::size_t found = 0;
    for (auto _ : state) found = db->search(keywords).size();
    state.counters["ranges"] = static_cast<double>(found);
}
BENCHMARK_CAPTURE(BM_search, telecom, std::vector<std::string>{"电信"})
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_search, chongqing_telecom, std::vector<std::string>{"重庆市", "电信"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
