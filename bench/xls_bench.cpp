// The import and export buttons at full size over the fake window and in-memory files:
// .xls at 65 535 list rows (the most a sheet holds below its title row), text at 100 000
// lines; and the .xls reader and writer alone. Text import and export should come out O(N).
// For the buttons, Time is the click to the result shown, CPU the share of it spent on the
// window thread (the rest runs on the worker).
#include <benchmark/benchmark.h>

#include <string>

#include "tests/io/io_world.h"

namespace {

std::string address(int i) {
    return std::to_string(1 + i / 65536) + "." + std::to_string(i / 256 % 256) + ".10." +
           std::to_string(i % 256);
}
std::string location(int i) {
    return "广东省深圳市 电信ADSL 第" + std::to_string(i % 900) + "区";
}

struct Setup : io_test::World {
    explicit Setup(int rows) {
        std::vector<RowCells> cells;
        cells.reserve(rows);
        for (int i = 0; i < rows; ++i) cells.push_back({address(i), location(i)});
        view.table().replace(std::move(cells));
        view.setText(Box::SaveLocation, "D:\\out.xls");
    }
};

void BM_xlsExport(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    for (auto _ : state) s.exportFile(s.view.text(Box::SaveLocation));
    state.counters["bytes"] = static_cast<double>(s.files.get("D:\\out.xls").size());
}
BENCHMARK(BM_xlsExport)->Arg(65535)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_xlsWriteFile(benchmark::State& state) {
    std::vector<workbook::CellToWrite> cells;
    for (std::uint32_t r = 0; r < state.range(0); ++r) {
        cells.push_back({r + 1, 0, address(r), true});
        cells.push_back({r + 1, 1, location(r), true});
    }
    for (auto _ : state) benchmark::DoNotOptimize(workbook::writeWorkbook("Sheet1", cells));
}
BENCHMARK(BM_xlsWriteFile)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_xlsImport(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    s.files.put("D:\\in.xls", io::workbookFile(s.view.table().rows(), {"IP", "来自"}).bytes);
    s.view.setText(Box::FileLocation, "D:\\in.xls");
    for (auto _ : state) s.importFile(s.view.text(Box::FileLocation));
    // The title row, then every data row.
    if (s.view.table().size() != static_cast<std::size_t>(state.range(0)) + 1)
        state.SkipWithError("rows lost");
}
BENCHMARK(BM_xlsImport)->Arg(65535)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_xlsReadFile(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    const std::string file = io::workbookFile(s.view.table().rows(), {"IP", "来自"}).bytes;
    for (auto _ : state) {
        workbook::ParsedWorkbook book;
        workbook::parseWorkbook(file, book);
        std::vector<workbook::SheetCell> cells;
        workbook::readSheet(book, "Sheet1", cells);
        benchmark::DoNotOptimize(cells.data());
    }
}
BENCHMARK(BM_xlsReadFile)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_textExport(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    s.view.setText(Box::SaveLocation, "D:\\out.txt");
    for (auto _ : state) s.exportFile(s.view.text(Box::SaveLocation));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_textExport)
    ->UseRealTime()
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// range(1): 0 a GBK file, 1 the same lines as UTF-8 with a byte-order mark (converted).
void BM_textImport(benchmark::State& state) {
    Setup s(0);
    std::string text = state.range(1) ? "\xEF\xBB\xBF" : "";
    for (int i = 0; i < state.range(0); ++i) text += address(i) + "\r\n";
    s.files.put("D:\\in.txt", text);
    s.view.setText(Box::FileLocation, "D:\\in.txt");
    for (auto _ : state) s.importFile(s.view.text(Box::FileLocation));
    if (s.view.table().size() != static_cast<std::size_t>(state.range(0)))
        state.SkipWithError("rows lost");
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_textImport)
    ->UseRealTime()
    ->Args({50000, 0})
    ->Args({100000, 0})
    ->Args({200000, 0})
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_textImport)->Args({100000, 1})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
