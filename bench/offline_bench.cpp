// The reverse search answered from the real address data file (data/ip2region.db;
// VERDALO_IPDATA names another) through the engine and its events, without a window, start
// to end, the table replaced included; and the engine's own open of the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "lookup/lookup.h"
#include "platform/post_queue.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_internet.h"
#include "tests/fakes/fake_module_memory.h"
#include "tests/fakes/fake_probe.h"

namespace {

platform::Path dataPath() {
    const char* named = std::getenv("VERDALO_IPDATA");
    if (named) return platform::Path::fromUtf8(named);
    return platform::Path::fromUtf8(
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "ip2region.db")
            .string());
}

// Puts what the engine reports into a table, as the window's presenter does, without a
// window: the answers and the rows found, and whether the run has ended.
struct Table final : lookup::Events {
    QueryTable table{{"IP", "来自"}};
    bool ended = false;
    bool answered(RowId id, const Answer& answer) override { return table.setAnswer(id, answer); }
    bool listed(RowId id) const override { return table.indexOf(id).has_value(); }
    void batchFinished(const lookup::BatchOutcome&) override { ended = true; }
    void offlineBatchFinished(const SharedAnswers& answers,
                              const lookup::OfflineOutcome&) override {
        table.setAnswers(answers);
        ended = true;
    }
    void offlineBatchFailed(const lookup::NoData&) override { ended = true; }
    void rangesFound(RowStore rows) override { table.replaceRows(std::move(rows)); }
    void searchFinished(RowStore rows, bool) override {
        if (!rows.empty()) table.replaceRows(std::move(rows));
        ended = true;
    }
    void singleAnswered(const std::string&, const lookup::SingleResult&) override {}
    void publicAddressFound(const std::optional<std::string>&) override {}
    void dataFileRefused(const lookup::DataFileProblem&) override { ended = true; }
};

struct World {
    fake::DiskFiles files;
    fake::Dialogs dialogs;
    fake::Clipboard clipboard;
    fake::Internet net;
    fake::Probe probe;
    fake::ModuleMemory moduleMemory;
    platform::Services os{files, dialogs, clipboard, net, probe, moduleMemory};
    platform::PostQueue queue;
    Table events;
    platform::Executor executor;
    std::unique_ptr<lookup::Engine> engine;

    World() {
        files.listsFolders = true;  // the world data and asn.db beside the data file
        net.handler = [](auto&&...) { return fake::HttpResponse{}; };
    }
    ~World() { engine.reset(); }
    void open() {
        engine = std::make_unique<lookup::Engine>(os, executor, queue, events, dataPath());
    }
    // One run, start to its end, its rows in the table.
    void run(const std::function<bool()>& start) {
        events.ended = false;
        if (start()) queue.runUntil([this] { return events.ended; });
    }
    void search(const std::string& keywords) {
        run([&] { return engine->startReverseSearch(keywords); });
    }
};

// Construction to the first answer: the open, off the window thread, then a search.
void BM_open_then_search(benchmark::State& state) {
    World world;
    for (auto _ : state) {
        world.open();
        world.search("重庆市 电信");
    }
    if (world.events.table.size() != 72)
        state.SkipWithError("data/ip2region.db missing or not the expected file");
}
BENCHMARK(BM_open_then_search)->Unit(benchmark::kMillisecond);

void BM_reverse_search(benchmark::State& state, const char* keywords) {
    World world;
    world.open();
    for (auto _ : state) {
        world.events.table.clear();
        world.search(keywords);
    }
    if (!world.net.requests().empty())
        return state.SkipWithError("data/ip2region.db missing: the web was asked");
    state.counters["rows"] = static_cast<double>(world.events.table.size());
}
BENCHMARK_CAPTURE(BM_reverse_search, telecom, "电信")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_reverse_search, chongqing_telecom, "重庆市 电信")
    ->Unit(benchmark::kMillisecond);

// The offline mode's batch over 100 000 rows, every fourth IPv6 (with the ipdb data),
// start to its end, the answers written into the table included.
void BM_offline_batch(benchmark::State& state) {
    World world;
    world.open();
    std::vector<RowCells> rows;
    for (std::uint32_t i = 0; i < 100000; ++i) {
        const std::uint32_t v = i * 2654435761u;
        char text[48];
        if (i % 4 == 3)
            std::snprintf(text, sizeof text, "240e:%x:%x::%x", i % 4096, i / 4096, i % 251 + 1);
        else
            std::snprintf(text, sizeof text, "%u.%u.%u.%u", 1 + v % 222, v >> 16 & 255,
                          v >> 8 & 255, v & 255);
        rows.push_back({text, ""});
    }
    QueryTable& table = world.events.table;
    for (auto _ : state) {
        table.replace(rows);
        world.run([&] { return world.engine->startBatch(table.pending(), true); });
    }
    state.counters["answered"] = static_cast<double>(rows.size() - table.pending().size());
}
BENCHMARK(BM_offline_batch)->Unit(benchmark::kMillisecond);

}  // namespace
