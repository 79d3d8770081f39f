#include "lookup/hosts.h"
#include "lookup/internal.h"
#include "text/text.h"
#include "web/url.h"

namespace lookup::detail {

namespace {

// The pages are cut while GBK (getUtf8Text), with GBK markers; what is cut out goes on as
// UTF-8.
constexpr char kAddress[] = "\xB5\xD8\xD6\xB7";                          // 地址
constexpr char kAddressColon[] = "\xB5\xD8\xD6\xB7\xA3\xBA";                // 地址：
constexpr char kRangeColon[] = "IP\xB5\xD8\xD6\xB7\xB6\xCE\xA3\xBA";        // IP地址段：
constexpr char kPlaceColon[] = "\xCF\xEA\xCF\xB8\xB5\xD8\xD6\xB7\xA3\xBA";  // 详细地址：
constexpr char kPagesBefore[] = "\xB9\xB2";                                // 共
constexpr char kPagesAfter[] = "\xD2\xB3";                                 // 页

std::string rangeSearchUrl(const std::string& pathAndQuery) {
    return std::string("http://") + hosts::kRangeSearchHost + pathAndQuery;
}

// Every byte of the UTF-8 form as %XX, so a space between words goes out as %20. The
// encoder takes GBK, as the service's own pages would give it; a character GBK lacks goes
// as "?", as the status says.
std::string resultPageUrl(const std::string& keywords, int pageIndex) {
    std::string url = rangeSearchUrl("/ip.php?" + urlEncode(utf8ToGbk(keywords), false, true));
    if (pageIndex > 0) url.append("&").append(numberToText(pageIndex));
    return url;
}

// One entry of a result page: a single range, or several listed on the entry's detail page.
std::vector<RowCells> entryRows(WebSession& session, const std::string& entry) {
    if (findText(entry, "<br/>") == -1)
        return {{gbkToUtf8(getTextBetween(entry, "IP ", kAddress)),
                 gbkToUtf8(getTextBetween(entry, kAddressColon, "<"))}};
    std::string firstAddress = getTextBetween(entry, kRangeColon, " -");
    std::string detail =
        session.getUtf8Text(rangeSearchUrl("/ip-" + encodePathText(firstAddress) + ".htm"));
    // Padded with a space each side, so the space markers find the first and last word.
    std::string rangeText(1, ' ');
    rangeText.append(replaceText(getTextBetween(detail, "<p>", "</p>"), "<br/>", ""))
        .append(1, ' ');
    TextList ranges;
    getAllTextsBetween(rangeText, " ", " ", ranges);
    const std::string place = gbkToUtf8(getTextBetween(entry, kPlaceColon, "<br/>"));
    std::vector<RowCells> rows;
    for (std::string& range : ranges) rows.push_back({gbkToUtf8(range), place});
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
        if (walk.fetched++ == 0) walk.pages = textToInt(getTextBetween(page, kPagesBefore, kPagesAfter));
        walk.entries.clear();
        walk.next = 0;
        if (walk.pages >= 1) getAllTextsBetween(page, "<p class='bg'>", "/p>", walk.entries);
    }
    walk.done = true;
    return found;
}

}  // namespace lookup::detail
