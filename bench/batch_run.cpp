// The batch query over the real WinINet, timed: run by bench/batch.sh inside the namespace
// harness against the mock location service. The list is in memory; the requests, the
// page handling and the worker's loop are the program's own.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "lookup/lookup.h"
#include "platform/fake/fake_view.h"

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    fake::MainWindow window;
    for (int i = 0; i < rows; ++i)
        window.list.addRow({"10." + std::to_string(i / 65536 % 256) + "." +
                            std::to_string(i / 256 % 256) + "." + std::to_string(i % 256)});
    auto start = std::chrono::steady_clock::now();
    batchQueryWorker(window.views);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int filled = 0;
    for (const auto& row : window.list.rows()) filled += !row[1].empty();
    std::printf("rows=%d filled=%d seconds=%.3f rows_per_second=%.1f\n", rows, filled, seconds,
                rows / seconds);
    return filled == rows ? 0 : 1;
}
