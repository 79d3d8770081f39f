// The batch query over the real WinINet, timed: run by bench/batch.sh inside the namespace
// harness against the mock location service. The list is in memory; the requests, the
// page handling and the run's lanes are the program's own. With "web" as the second
// argument only the page fetches are timed, one after another, each with its own root
// handle, to split our overhead from the exchange's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "lookup/lookup.h"
#include "platform/win32/system.h"
#include "tests/fakes/fake_window.h"
#include "web/web.h"

namespace {
std::string address(int i) {
    return "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256);
}
}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    const bool webOnly = argc > 2 && std::strcmp(argv[2], "web") == 0;
    platform::win32::System system;
    platform::Services os = system.services();
    fake::Window window;
    platform::Executor executor;
    std::vector<RowCells> cells;
    for (int i = 0; i < rows; ++i) cells.push_back({address(i), ""});
    window.table().replace(cells);
    int filled = 0;
    auto start = std::chrono::steady_clock::now();
    if (webOnly) {
        for (int i = 0; i < rows; ++i)
            filled += !webGetText(os.internet, lookup::locationUrl(address(i))).empty();
    } else {
        lookup::Lookups lookups(os, executor, window.table(), window, window);
        lookups.startBatchQuery();
        window.runUntil([&] { return window.panel(1).rfind("查询完毕", 0) == 0; }, 3600000);
        for (const Row& row : window.table().rows()) filled += !row.location.empty();
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("rows=%d filled=%d seconds=%.3f rows_per_second=%.1f\n", rows, filled, seconds,
                rows / seconds);
    return filled == rows ? 0 : 1;
}
