// The .xlsx and CSV files of 100 000 result rows, written and read back through the
// functions of bytes and rows the import and export call (natively; under Wine the program
// adds the conversions' and the window's share). Both should come out O(N).
#include <benchmark/benchmark.h>

#include <string>

#include "io/formats.h"

namespace {

RowStore results(int n) {
    RowStore rows;
    rows.reserve(n);
    for (int i = 0; i < n; ++i)
        rows.push(std::to_string(1 + i / 65536) + "." + std::to_string(i / 256 % 256) + ".10." +
                      std::to_string(i % 256),
                  {"广东省深圳市 电信ADSL 第" + std::to_string(i % 900) + "区", Source::Web});
    return rows;
}

const io::Titles kTitles = {
    {"IP", "来自"},
    {"国家", "省份", "城市", "区县", "所有者", "运营商", "ASN", "AS名称", "次数", "来源", "CIDR"},
    {"网络", "离线库"}};

void BM_xlsxWrite(benchmark::State& state) {
    const RowStore rows = results(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) bytes = io::xlsxFile(rows, kTitles).bytes.size();
    state.counters["bytes"] = static_cast<double>(bytes);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_xlsxWrite)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_xlsxRead(benchmark::State& state) {
    const std::string file = io::xlsxFile(results(static_cast<int>(state.range(0))), kTitles).bytes;
    std::vector<RowCells> rows;
    for (auto _ : state)
        if (io::xlsxRows(file, rows) != workbook::XlsxStatus::Ok) state.SkipWithError("not read");
    if (rows.size() != static_cast<std::size_t>(state.range(0)) + 1)
        state.SkipWithError("rows lost");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_xlsxRead)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_csvWrite(benchmark::State& state) {
    const RowStore rows = results(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(io::csvFile(rows, kTitles));
}
BENCHMARK(BM_csvWrite)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_csvRead(benchmark::State& state) {
    const std::string file = io::csvFile(results(static_cast<int>(state.range(0))), kTitles);
    for (auto _ : state) benchmark::DoNotOptimize(io::csvRows(file));
}
BENCHMARK(BM_csvRead)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
