#include "lookup/hosts.h"
#include "lookup/internal.h"
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

// Each entry's rows reach the window before the next request goes out: the reply to one
// step starts the next, so a fast service never runs ahead of the window, and no worker
// waits for it.
RowStore reverseStep(ReverseWalk& walk, WebSession& session, const platform::StopToken& stop) {
    RowStore found;
    while (!session.cancelled() && !stop.stop_requested()) {
        if (walk.next < walk.entries.size()) {
            for (RowCells& row : entryRows(session, walk.entries[walk.next++]))
                found.push(row[0], {std::move(row[1]), Source::RangeSearch});
            if (!found.empty()) return found;
            continue;
        }
        if (walk.fetched > 0 && walk.fetched >= walk.pages) break;
        const std::string page = session.getUtf8Text(resultPageUrl(walk.keywords, walk.fetched));
        if (walk.fetched++ == 0) walk.pages = textToInt(getTextBetween(page, "共", "页"));
        walk.entries.clear();
        walk.next = 0;
        if (walk.pages >= 1) getAllTextsBetween(page, "<p class='bg'>", "/p>", walk.entries);
    }
    walk.done = true;
    return found;
}

}  // namespace lookup::detail
