// The batch query over the real WinINet, timed: run by bench/batch.sh inside the namespace
// harness against the mock location service. The list is in memory; the requests, the
// page handling and the worker's loop are the program's own. With "web" as the second
// argument only the page fetches are timed, to split our overhead from the exchange's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "platform/win32/internet.h"
#include "tests/fakes/fake_view.h"
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
    fake::MainWindow window;
    for (int i = 0; i < rows; ++i) window.list.addRow({address(i)});
    int filled = 0;
    auto start = std::chrono::steady_clock::now();
    if (webOnly) {
        platform::win32::WinInet net;
        WebSession session(net);
        for (int i = 0; i < rows; ++i)
            filled += !session
                           .getText(std::string("http://") + hosts::kLocationHost +
                                    "/ips138.asp?ip=" + address(i) + "&action=2")
                           .empty();
    } else {
        batchQueryWorker(window.views);
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!webOnly)
        for (const auto& row : window.list.rows()) filled += !row[1].empty();
    std::printf("rows=%d filled=%d seconds=%.3f rows_per_second=%.1f\n", rows, filled, seconds,
                rows / seconds);
    return filled == rows ? 0 : 1;
}
