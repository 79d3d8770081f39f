#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "lookup/workers.h"
#include "text/text.h"
#include "web/web.h"

namespace {

std::string rangeSearchUrl(const std::string& pathAndQuery) {
    return std::string("http://") + hosts::kRangeSearchHost + pathAndQuery;
}

// Every byte of the UTF-8 form as %XX, so a space between words goes out as %20.
std::string resultPageUrl(const std::string& keywords, int pageIndex) {
    std::string url = rangeSearchUrl("/ip.php?" + urlEncode(keywords, false, true));
    if (pageIndex > 0) url.append("&").append(numberToText(pageIndex));
    return url;
}

std::string foundMessage(view::ListView& list, bool stopping) {
    std::string text = "正在查询,已找到" + numberToText(list.rowCount()) + "条数据!";
    return stopping ? text + "[停止中]" : text;
}

// One entry of a result page: a single range, or several listed on the entry's detail page.
void addEntryRows(view::MainViews& views, const std::string& entry) {
    view::ListView& list = views.超级列表框_查询列表;
    if (findText(entry, "<br/>") == -1) {
        int row = list.appendRow();
        list.setCell(row, 0, getTextBetween(entry, "IP ", "地址"));
        list.setCell(row, 1, getTextBetween(entry, "地址：", "<"));
        view::setStatus(views, foundMessage(list, false));
        return;
    }
    std::string firstAddress = getTextBetween(entry, "IP地址段：", " -");
    std::string detail = webGetUtf8Text(rangeSearchUrl("/ip-" + firstAddress + ".htm"));
    // Padded with a space each side, so the space markers find the first and last word.
    std::string rangeText(1, ' ');
    rangeText.append(replaceText(getTextBetween(detail, "<p>", "</p>"), "<br/>", ""))
        .append(1, ' ');
    TextList ranges;
    getAllTextsBetween(rangeText, " ", " ", ranges);
    std::string place = getTextBetween(entry, "详细地址：", "<br/>");
    // All ranges of the entry are written even after a stop; the status says it is ending.
    for (const std::string& range : ranges) {
        int row = list.appendRow();
        list.setCell(row, 1, place);
        list.setCell(row, 0, range);
        view::setStatus(views, foundMessage(list, g_stopRequested == 1));
    }
}

}  // namespace

namespace {

void runReverseSearch(view::MainViews& views, lookup_detail::WorkerSlot slot) {
    if (!slot.held()) {
        view::setStatus(views, "已开始查询,请先停止!");
        return;
    }
    view::ListView& list = views.超级列表框_查询列表;
    view::setStatus(views, "正在查询...");
    g_queryRunning = 1;
    {
        lookup_detail::InLoop inLoop;
        list.deleteAllRows();
        std::string page = webGetUtf8Text(resultPageUrl(views.编辑框_实际地址.text(), 0));
        const int pages = textToInt(getTextBetween(page, "共", "页"));
        for (int p = 1; p <= pages; ++p) {
            // The box is read again for every further page: the user may have edited it.
            if (p > 1) page = webGetUtf8Text(resultPageUrl(views.编辑框_实际地址.text(), p - 1));
            TextList entries;
            getAllTextsBetween(page, "<p class='bg'>", "/p>", entries);
            for (const std::string& entry : entries) {
                addEntryRows(views, entry);
                if (g_stopRequested == 1) break;
            }
            if (g_stopRequested == 1) {
                g_stopRequested = 0;
                break;
            }
        }
    }
    slot.finish([&] {
        g_queryRunning = 0;
        view::setStatus(views, "查询完毕,共找到" + numberToText(list.rowCount()) + "条数据!");
    });
}

}  // namespace

void startReverseSearch(view::MainViews& views) {
    using lookup_detail::WorkerSlot;
    if (views.编辑框_实际地址.text().empty()) {
        view::setStatus(views, "没有填写实际地址!");
        return;
    }
    if (g_queryRunning == 1) {
        view::setStatus(views, "已开始查询,请先停止!");
        return;
    }
    // The slot is claimed here, on the window thread, so a second quick click is refused
    // at once; a stopped worker still finishing its entry holds it too.
    WorkerSlot slot(WorkerSlot::Claim::Now);
    if (slot.held()) {
        slot.release();
        if (!lookup_detail::startDetached(
                [&views] { runReverseSearch(views, WorkerSlot::adopt()); }))
            WorkerSlot::adopt();  // frees the slot again
        return;
    }
    // A worker writing its final message: the new search waits for it on its own thread.
    if (lookup_detail::workerSlotState() == lookup_detail::SlotState::Finishing) {
        lookup_detail::startDetached([&views] { reverseSearchWorker(views); });
        return;
    }
    view::setStatus(views, "已开始查询,请先停止!");
}

void reverseSearchWorker(view::MainViews& views) {
    runReverseSearch(views, lookup_detail::WorkerSlot(lookup_detail::WorkerSlot::Claim::Wait));
}
