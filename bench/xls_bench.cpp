// .xls read and write at the size of a full sheet (65 535 list rows), through the same
// objects the import and export use, and the text import and export at 100 000 rows. The
// text export's complexity should come out as O(N).
#include <benchmark/benchmark.h>

#include <string>

#include "io/io.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_view.h"
#include "xls/biff.h"

namespace {

std::string address(int i) {
    return std::to_string(1 + i / 65536) + "." + std::to_string(i / 256 % 256) + ".10." +
           std::to_string(i % 256);
}
std::string location(int i) {
    return "广东省深圳市 电信ADSL 第" + std::to_string(i % 900) + "区";
}

struct Setup {
    fake::Files files;
    fake::Dialogs dialogs;
    fake::MainWindow window;
    Setup() {
        platform::setFiles(&files);
        platform::setDialogs(&dialogs);
    }
    void fill(int rows) {
        window.list.deleteAllRows();
        for (int i = 0; i < rows; ++i) window.list.addRow({address(i), location(i)});
    }
};

void BM_xlsExport(benchmark::State& state) {
    Setup s;
    s.fill(static_cast<int>(state.range(0)));
    for (auto _ : state) exportToExcel("D:\\out.xls", s.window.views);
    state.counters["bytes"] = static_cast<double>(s.files.get("D:\\out.xls").size());
}
BENCHMARK(BM_xlsExport)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_xlsWriteFile(benchmark::State& state) {
    std::vector<xls::CellToWrite> cells;
    for (std::uint32_t r = 0; r < state.range(0); ++r) {
        cells.push_back({r + 1, 0, address(r), true});
        cells.push_back({r + 1, 1, location(r), true});
    }
    for (auto _ : state) benchmark::DoNotOptimize(xls::writeWorkbook("Sheet1", cells));
}
BENCHMARK(BM_xlsWriteFile)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_xlsImport(benchmark::State& state) {
    Setup s;
    s.fill(static_cast<int>(state.range(0)));
    exportToExcel("D:\\in.xls", s.window.views);
    s.window.fileBox.setText("D:\\in.xls");
    for (auto _ : state) importAddressList(s.window.views);
    // Two title rows (one per column, on a diagonal), then every data row.
    if (s.window.list.rowCount() != state.range(0) + 2) state.SkipWithError("rows lost");
}
BENCHMARK(BM_xlsImport)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_xlsReadFile(benchmark::State& state) {
    Setup s;
    s.fill(static_cast<int>(state.range(0)));
    exportToExcel("D:\\in.xls", s.window.views);
    const std::string file = s.files.get("D:\\in.xls");
    for (auto _ : state) {
        xls::ParsedWorkbook book;
        xls::parseWorkbook(file, book);
        std::vector<xls::SheetCell> cells;
        xls::readSheet(book, "Sheet1", cells);
        benchmark::DoNotOptimize(cells.data());
    }
}
BENCHMARK(BM_xlsReadFile)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_textExport(benchmark::State& state) {
    Setup s;
    s.fill(static_cast<int>(state.range(0)));
    for (auto _ : state) exportToText("D:\\out.txt", s.window.views);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_textExport)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_textImport(benchmark::State& state) {
    Setup s;
    std::string text;
    for (int i = 0; i < state.range(0); ++i) text += address(i) + "\r\n";
    s.files.put("D:\\in.txt", text);
    s.window.fileBox.setText("D:\\in.txt");
    for (auto _ : state) importAddressList(s.window.views);
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_textImport)
    ->Arg(50000)
    ->Arg(100000)
    ->Arg(200000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
