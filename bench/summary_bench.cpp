// The 统计 window's summary over a list of 1 048 576 rows, each placed in one of a few
// thousand records, as a large log answered from the address data gives: the part of
// summary_1m_s that is our own code (bench/program.sh measures the whole click).
#include <benchmark/benchmark.h>

#include "table/summary.h"

namespace {

const RowStore& millionRows() {
    static const RowStore rows = [] {
        RowStore r;
        r.reserve(1 << 20, 14 << 20);
        for (int i = 0; i < (1 << 20); ++i) {
            const int record = (i * 2654435761u) % 3000;
            Fields f{record % 7 ? "中国" : "美国",
                     "省" + std::to_string(record % 34),
                     "市" + std::to_string(record % 400),
                     "",
                     "",
                     "运营商" + std::to_string(record % 12),
                     "CN"};
            r.push("10." + std::to_string(i >> 16) + "." + std::to_string((i >> 8) & 255) + "." +
                       std::to_string(i & 255),
                   {"x", Source::DataFile, f});
        }
        return r;
    }();
    return rows;
}

void BM_Summary1M(benchmark::State& state) {
    const RowStore& rows = millionRows();
    const auto by = static_cast<summary::GroupBy>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(summary::summarise(rows, by));
}
BENCHMARK(BM_Summary1M)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

}  // namespace
