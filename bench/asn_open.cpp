// The open of asn.db under Wine, timed: map the file through the program's own platform
// files and check it with the reader, as the program will at start-up. Prints the median
// and the first of the runs, and the working set after the last open.
//     asn_open.exe <asn.db> [runs]
#include <windows.h>
// psapi.h needs windows.h before it.
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "ipdata/asn.h"
#include "platform/win32/files.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: asn_open <asn.db> [runs]\n");
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
        ipdata::AsnError error;
        const auto db = ipdata::AsnDatabase::open(owner->bytes(), owner, error);
        QueryPerformanceCounter(&end);
        ms.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                     static_cast<double>(frequency.QuadPart));
        if (!db) {
            std::fprintf(stderr, "refused: %s\n",
                         std::string(ipdata::asnErrorName(error)).c_str());
            return 1;
        }
        ranges = db->rangeCount(ip::Family::V4) + db->rangeCount(ip::Family::V6);
        const auto found = db->find(ip::Address::v4(0xDA460001u));  // 218.70.0.1
        answered = found && found->number == 4134;
    }
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const double first = ms.front();
    std::sort(ms.begin(), ms.end());
    std::printf(
        "asn_open_ms=%.1f first_ms=%.1f runs=%d ranges=%zu answered=%zu working_set_mb=%.1f "
        "peak_working_set_mb=%.1f\n",
        ms[ms.size() / 2], first, runs, ranges, answered, counters.WorkingSetSize / 1048576.0,
        counters.PeakWorkingSetSize / 1048576.0);
    return 0;
}
