// The reverse search answered from the real address data file (data/ip2region.db;
// VERDALO_IPDATA names another) through the Lookups and the fake window, click to final
// message, the table replaced included; and the Lookups' own open of the file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "lookup/lookup.h"
#include "tests/fakes/fake_clipboard.h"
#include "tests/fakes/fake_dialogs.h"
#include "tests/fakes/fake_files.h"
#include "tests/fakes/fake_internet.h"
#include "tests/fakes/fake_module_memory.h"
#include "tests/fakes/fake_probe.h"
#include "tests/fakes/fake_window.h"

namespace {

platform::Path dataPath() {
    const char* named = std::getenv("VERDALO_IPDATA");
    if (named) return platform::Path::fromUtf8(named);
    return platform::Path::fromUtf8(
        (std::filesystem::path(__FILE__).parent_path().parent_path() / "data" / "ip2region.db")
            .string());
}

struct World {
    fake::DiskFiles files;
    fake::Dialogs dialogs;
    fake::Clipboard clipboard;
    fake::Internet net;
    fake::Probe probe;
    fake::ModuleMemory moduleMemory;
    platform::Services os{files, dialogs, clipboard, net, probe, moduleMemory};
    fake::Window window;
    platform::Executor executor;
    std::unique_ptr<lookup::Lookups> lookups;

    World() {
        net.handler = [](auto&&...) { return fake::HttpResponse{}; };
    }
    ~World() { lookups.reset(); }
    bool finished() { return window.panel(1).rfind("查询完毕", 0) == 0; }
    // One search, click to final message; false when it never ended.
    bool search(const std::string& keywords) {
        window.setText(Box::Keywords, keywords);
        window.setPanel(1, "");
        lookups->startReverseSearch();
        return window.runUntil([this] { return finished(); }, 60000);
    }
};

// Construction to the first answer: the open, off the window thread, then a search.
void BM_open_then_search(benchmark::State& state) {
    World world;
    for (auto _ : state) {
        world.lookups = std::make_unique<lookup::Lookups>(
            world.os, world.executor, world.window.table(), world.window, world.window, dataPath());
        if (!world.search("重庆市 电信")) return state.SkipWithError("the search did not end");
    }
    if (world.window.table().size() != 72)
        state.SkipWithError("data/ip2region.db missing or not the expected file");
}
BENCHMARK(BM_open_then_search)->Unit(benchmark::kMillisecond);

void BM_reverse_search(benchmark::State& state, const char* keywords) {
    World world;
    world.lookups = std::make_unique<lookup::Lookups>(
        world.os, world.executor, world.window.table(), world.window, world.window, dataPath());
    for (auto _ : state) {
        world.window.table().clear();
        if (!world.search(keywords)) return state.SkipWithError("the search did not end");
    }
    if (!world.net.requests().empty())
        return state.SkipWithError("data/ip2region.db missing: the web was asked");
    state.counters["rows"] = static_cast<double>(world.window.table().size());
}
BENCHMARK_CAPTURE(BM_reverse_search, telecom, "电信")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_reverse_search, chongqing_telecom, "重庆市 电信")
    ->Unit(benchmark::kMillisecond);

// The offline mode's batch over 100 000 rows, every fourth IPv6 (with the ipdb data),
// start to final message, the answers written into the table included.
void BM_offline_batch(benchmark::State& state) {
    World world;
    world.lookups = std::make_unique<lookup::Lookups>(
        world.os, world.executor, world.window.table(), world.window, world.window, dataPath());
    world.lookups->setOfflineMode(true);
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
    for (auto _ : state) {
        world.window.table().replace(rows);
        world.window.setPanel(1, "");
        world.lookups->startBatchQuery();
        if (!world.window.runUntil([&] { return world.finished(); }, 60000))
            return state.SkipWithError("the batch did not end");
    }
    state.counters["answered"] =
        static_cast<double>(world.window.table().pending().size() < rows.size()
                                ? rows.size() - world.window.table().pending().size()
                                : 0);
}
BENCHMARK(BM_offline_batch)->Unit(benchmark::kMillisecond);

}  // namespace
