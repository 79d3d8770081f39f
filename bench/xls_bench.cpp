// The import and export at full size, through the engine and its events, with no window:
// .xls at 65 535 list rows (the most a sheet holds below its title row), text at 100 000
// lines; and the .xls reader and writer alone. Text import and export should come out O(N).
// For the engine, Time is the call to the end reported, CPU the share of it spent on the
// thread that stands for the window's (the rest runs on the worker).
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "io/engine.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_files.h"

namespace {
const io::Titles kTitles = {
    {"IP", "来自"},
    {"国家", "省份", "城市", "区县", "所有者", "运营商", "ASN", "AS名称", "次数", "来源", "CIDR"},
    {"网络", "离线库"}};
}  // namespace

namespace {

std::string address(int i) {
    return std::to_string(1 + i / 65536) + "." + std::to_string(i / 256 % 256) + ".10." +
           std::to_string(i % 256);
}
std::string location(int i) {
    return "广东省深圳市 电信ADSL 第" + std::to_string(i % 900) + "区";
}

// The replies the worker posts, run on the benchmark's thread when it waits for them.
class Inbox final : public Poster {
  public:
    void post(std::function<void()> work) override {
        {
            std::lock_guard lock(mutex_);
            queue_.push_back(std::move(work));
        }
        posted_.notify_one();
    }
    void runOne() {
        std::unique_lock lock(mutex_);
        posted_.wait(lock, [this] { return !queue_.empty(); });
        std::function<void()> work = std::move(queue_.front());
        queue_.pop_front();
        lock.unlock();
        work();
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> queue_;
};

// Only whether the work has ended, and whether well.
struct Ends final : io::FileEvents {
    bool ended = false, failed = false;
    void importStarted(io::FormatId) override {}
    void imported(const io::Imported&) override { ended = true; }
    void importFailed(io::FormatId, io::Failure) override { ended = failed = true; }
    void exportStarted(io::FormatId) override {}
    void exported(const io::Exported&) override { ended = true; }
    void exportFailed(io::FormatId, io::Failure) override { ended = failed = true; }
    void pasted(std::size_t) override {}
    void copied() override {}
    void copyFailed(io::Failure) override {}
};

struct Setup {
    fake::Files files;
    fake::Clipboard clipboard;
    platform::Executor executor;
    QueryTable table{{"IP", "来自"}};
    Inbox inbox;
    Ends ends;
    io::FileEngine engine{files, clipboard, executor, table, inbox, ends};

    explicit Setup(int rows) {
        std::vector<RowCells> cells;
        cells.reserve(rows);
        for (int i = 0; i < rows; ++i) cells.push_back({address(i), location(i)});
        table.replace(std::move(cells));
    }
    void wait() {
        while (!ends.ended) inbox.runOne();
        ends.ended = false;
    }
    void importFile(const char* path) {
        engine.importFile(fake::path(path));
        wait();
    }
    void exportFile(const char* path) {
        engine.exportRows(fake::path(path), table.snapshot(), kTitles);
        wait();
    }
};

void BM_xlsExport(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    for (auto _ : state) s.exportFile("D:\\out.xls");
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
    s.files.put("D:\\in.xls", io::workbookFile(s.table.rows(), kTitles).bytes);
    for (auto _ : state) s.importFile("D:\\in.xls");
    // The title row, then every data row.
    if (s.ends.failed || s.table.size() != static_cast<std::size_t>(state.range(0)) + 1)
        state.SkipWithError("rows lost");
}
BENCHMARK(BM_xlsImport)->Arg(65535)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_xlsReadFile(benchmark::State& state) {
    Setup s(static_cast<int>(state.range(0)));
    const std::string file = io::workbookFile(s.table.rows(), kTitles).bytes;
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
    for (auto _ : state) s.exportFile("D:\\out.txt");
    state.counters["bytes"] = static_cast<double>(s.files.get("D:\\out.txt").size());
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
    for (auto _ : state) s.importFile("D:\\in.txt");
    if (s.ends.failed || s.table.size() != static_cast<std::size_t>(state.range(0)))
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
