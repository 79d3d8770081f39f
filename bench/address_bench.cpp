// Addresses found in free text: a 5 MB log of 100 000 lines, each with an address (one in
// five IPv6, half of them seen before) among times, versions, ports and words.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "text/address.h"

namespace {

std::string makeLog() {
    std::mt19937 random(7);
    std::string log;
    for (int line = 0; line < 100'000; ++line) {
        const unsigned n = random() % 50'000;
        log += "11:42:07 v1.2.3 GET /?id=" + std::to_string(random() % 100'000) + " from ";
        if (n % 5 == 0) {
            log +=
                "[2001:db8:" + std::to_string(n % 9000) + "::" + std::to_string(n % 77) + "]:443";
        } else {
            log += std::to_string(n >> 8 & 255) + "." + std::to_string(n & 255) + ".3." +
                   std::to_string(n % 200) + ":8080";
        }
        log += " ok\n";
    }
    return log;
}

void BM_findAddresses(benchmark::State& state) {
    const std::string log = makeLog();
    std::size_t found = 0;
    for (auto _ : state) found = ip::findAddresses(log).size();
    state.counters["MB"] = static_cast<double>(log.size()) / 1e6;
    state.counters["addresses"] = static_cast<double>(found);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * log.size()));
}
BENCHMARK(BM_findAddresses)->Unit(benchmark::kMillisecond);

}  // namespace
