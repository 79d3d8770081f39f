#include "lookup/lookup.h"
#include "lookup/workers.h"
#include "text/text.h"

void startBatchQuery(view::MainViews& views) {
    // The worker itself refuses to run on an empty list or beside another worker.
    lookup_detail::startDetached([&views] { batchQueryWorker(views); });
}

void requestStop() {
    g_stopRequested = 1;
    g_queryRunning = 0;
}

void batchQueryWorker(view::MainViews& views) {
    view::ListView& list = views.超级列表框_查询列表;
    if (list.rowCount() == 0) {
        view::setStatus(views, "没有可用IP地址!");
        return;
    }
    if (g_queryRunning == 1) {
        view::setStatus(views, "已开始查询,请先停止!");
        return;
    }
    // Two quick starts can both get here; a stopped worker still at its row holds the slot.
    lookup_detail::WorkerSlot slot(lookup_detail::WorkerSlot::Claim::Wait);
    if (!slot.held()) {
        view::setStatus(views, "已开始查询,请先停止!");
        return;
    }
    g_queryRunning = 1;
    int counter = 0;
    {
        lookup_detail::InLoop inLoop;
        const int rows = list.rowCount();  // rows added from here on wait for the next run
        for (int row = 0; row < rows; ++row) {
            if (!list.cell(row, 1).empty()) continue;  // answered before; the stop waits
            std::string address = list.cell(row, 0);
            // An import meanwhile may have left a shorter list: past its end there is
            // nothing to ask about.
            if (address.empty() && row >= list.rowCount()) break;
            view::setStatus(views, "正在查询IP地址...");
            const std::string location = lookupLocation(address, LookupMode::MainData);
            // The answer belongs to its address: if an import replaced the row meanwhile,
            // writing it by index would give another address this one's location.
            list.setCellIfKey(row, 1, location, 0, address);
            ++counter;
            if (g_stopRequested == 1) {
                g_stopRequested = 0;
                break;
            }
        }
    }
    slot.finish([&] {
        g_queryRunning = 0;
        view::setStatus(views, "查询完毕,共查询出" + numberToText(counter) + "条数据!");
    });
}
