// The batch query over the real WinINet, timed: run by bench/batch.sh inside the namespace
// harness against the mock location service. The engine runs without a window: the rows
// go in as values, the answers come back as its events. With "web" as the second argument
// only the page fetches are timed, one after another, each with its own root handle, to
// split our overhead from the exchange's.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "lookup/lookup.h"
#include "platform/post_queue.h"
#include "platform/win32/system.h"
#include "web/web.h"

namespace {

std::string address(int i) {
    return "10." + std::to_string(i / 65536 % 256) + "." + std::to_string(i / 256 % 256) + "." +
           std::to_string(i % 256);
}

// Counts the answers with a text until the batch reports its end.
struct Tally final : lookup::Events {
    int filled = 0;
    bool ended = false;
    bool answered(RowId, const Answer& answer) override {
        filled += !answer.text.empty();
        return true;
    }
    bool listed(RowId) const override { return true; }
    void batchFinished(const lookup::BatchOutcome&) override { ended = true; }
    void offlineBatchFinished(const SharedAnswers&,
                              const lookup::OfflineOutcome&) override {}
    void offlineBatchFailed(const lookup::NoData&) override {}
    void rangesFound(RowStore) override {}
    void searchFinished(RowStore, bool) override {}
    void singleAnswered(const std::string&, const lookup::SingleResult&) override {}
    void publicAddressFound(const std::optional<std::string>&) override {}
    void dataFileRefused(const lookup::DataFileProblem&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    const int rows = argc > 1 ? std::atoi(argv[1]) : 2000;
    const bool webOnly = argc > 2 && std::strcmp(argv[2], "web") == 0;
    platform::win32::System system;
    platform::Services os = system.services();
    platform::Executor executor;
    std::vector<PendingRow> pending;
    for (int i = 0; i < rows; ++i) pending.push_back({static_cast<RowId>(i + 1), address(i)});
    int filled = 0;
    auto start = std::chrono::steady_clock::now();
    if (webOnly) {
        for (int i = 0; i < rows; ++i)
            filled += !webGetText(os.internet, lookup::locationUrl(address(i))).empty();
    } else {
        platform::PostQueue queue;
        Tally tally;
        lookup::Engine engine(os, executor, queue, tally);
        if (!engine.startBatch(std::move(pending), false)) return 2;
        queue.runUntil([&] { return tally.ended; });
        filled = tally.filled;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("rows=%d filled=%d seconds=%.3f rows_per_second=%.1f\n", rows, filled, seconds,
                rows / seconds);
    return filled == rows ? 0 : 1;
}
