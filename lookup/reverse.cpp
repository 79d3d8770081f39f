#include <mutex>

#include "lookup/hosts.h"
#include "lookup/internal.h"
#include "platform/condition.h"
#include "text/text.h"
#include "web/url.h"

namespace lookup::detail {

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

// One entry of a result page: a single range, or several listed on the entry's detail page.
std::vector<RowCells> entryRows(WebSession& session, const std::string& entry) {
    if (findText(entry, "<br/>") == -1)
        return {{getTextBetween(entry, "IP ", "地址"), getTextBetween(entry, "地址：", "<")}};
    std::string firstAddress = getTextBetween(entry, "IP地址段：", " -");
    std::string detail =
        session.getUtf8Text(rangeSearchUrl("/ip-" + encodePathText(firstAddress) + ".htm"));
    // Padded with a space each side, so the space markers find the first and last word.
    std::string rangeText(1, ' ');
    rangeText.append(replaceText(getTextBetween(detail, "<p>", "</p>"), "<br/>", ""))
        .append(1, ' ');
    TextList ranges;
    getAllTextsBetween(rangeText, " ", " ", ranges);
    const std::string place = getTextBetween(entry, "详细地址：", "<br/>");
    std::vector<RowCells> rows;
    for (std::string& range : ranges) rows.push_back({std::move(range), place});
    return rows;
}

}  // namespace

namespace {

// Entries posted to the window and not yet shown there.
struct Unshown {
    platform::Condition shown;
    int count = 0;  // under `shown`
};

}  // namespace

void reverseRun(const std::shared_ptr<WindowSide>& side, WebSession& session,
                const std::string& keywords, platform::StopToken stop) {
    auto found = std::make_shared<int>(0);  // window thread: rows this search has put in
    // Each entry's rows are shown before the next request goes out: a fast service would
    // otherwise keep the window thread seconds behind the search, a close or a stop among
    // the messages waiting, while the search went on asking.
    auto unshown = std::make_shared<Unshown>();
    auto waitForWindow = [&] { unshown->shown.wait([&] { return unshown->count == 0; }, stop); };
    std::string page = session.getUtf8Text(resultPageUrl(keywords, 0));
    const int pages = textToInt(getTextBetween(page, "共", "页"));
    for (int p = 1; p <= pages && !session.cancelled(); ++p) {
        waitForWindow();
        if (p > 1) page = session.getUtf8Text(resultPageUrl(keywords, p - 1));
        TextList entries;
        getAllTextsBetween(page, "<p class='bg'>", "/p>", entries);
        for (const std::string& entry : entries) {
            waitForWindow();
            if (session.cancelled()) break;
            std::vector<RowCells> rows = entryRows(session, entry);
            if (!rows.empty()) {
                {
                    std::lock_guard lock(unshown->shown);
                    ++unshown->count;
                }
                post(side, [found, unshown, rows = std::move(rows)](WindowSide& s) mutable {
                    {
                        std::lock_guard lock(unshown->shown);
                        --unshown->count;
                        unshown->shown.notifyAll();
                    }
                    QueryTable& table = s.rows;
                    const int count = static_cast<int>(rows.size());
                    // The user's list goes only once this search has rows to put in its place.
                    if (*found == 0) {
                        table.replace(std::move(rows));
                    } else {
                        for (RowCells& row : rows) table.append(std::move(row));
                    }
                    *found += count;
                    std::string text = "正在查询,已找到" + numberToText(*found) + "条数据!";
                    if (s.run == RunState::Stopping) text += "[停止中]";
                    s.texts.setStatus(text);
                });
            }
            if (session.cancelled()) break;
        }
    }
    post(side, [found](WindowSide& s) {
        s.run = RunState::Idle;
        s.texts.setStatus("查询完毕,共找到" + numberToText(*found) + "条数据!");
    });
}

}  // namespace lookup::detail
