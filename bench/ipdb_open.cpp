// The open of the address data under Wine, timed: map the file through the program's own
// platform files and check it with the ipdata reader, as the program does at start-up.
// Prints the median and the first of the runs, and the working set after the last open.
// (<chrono> is left out: its C++20 unit suffixes hold a character GBK lacks.)
//     ipdb_open.exe <data file> [runs]
#include <windows.h>
// psapi.h needs windows.h before it.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ipdata/ipdata.h"
#include "platform/win32/files.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ipdb_open <data file> [runs]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    platform::win32::FileSystem files;
    std::vector<double> ms;
    std::size_t ranges = 0, answered = 0;
    for (int i = 0; i < runs; ++i) {
        LARGE_INTEGER frequency, start, end;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        auto view = files.map(platform::Path::fromUtf8(argv[1]));
        if (!view) {
            std::fprintf(stderr, "cannot map %s\n", argv[1]);
            return 1;
        }
        auto owner = std::make_shared<const platform::FileView>(std::move(*view));
        ipdata::OpenFailure reason;
        const std::unique_ptr<ipdata::Database> db =
            ipdata::openDatabase(owner->bytes(), owner, reason);
        QueryPerformanceCounter(&end);
        ms.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                     static_cast<double>(frequency.QuadPart));
        if (!db) {
            std::fprintf(stderr, "refused: error %d\n", static_cast<int>(reason.error));
            return 1;
        }
        ranges = db->rangeCount();
        answered = db->find(0xDEB40001u).has_value();  // 222.180.0.1
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf(
        "ipdb_open_ms=%.1f first_ms=%.1f runs=%d ranges=%zu answered=%zu working_set_mb=%.1f "
        "peak_working_set_mb=%.1f\n",
        ms[ms.size() / 2], first, runs, ranges, answered, counters.WorkingSetSize / 1048576.0,
        counters.PeakWorkingSetSize / 1048576.0);
    return 0;
}
