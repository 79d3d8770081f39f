#include <atomic>
#include <string>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "lookup/workers.h"
#include "text/text.h"
#include "web/web.h"

namespace {
// One single query at a time; a click while one is under way is ignored, because the
// answer to the running one is about to fill the same box.
std::atomic<bool> g_singleQueryBusy{false};
}  // namespace

std::string lookupLocation(const std::string& address, LookupMode mode, view::StatusBar* status) {
    // The address goes into the query unencoded: the service is asked exactly what the
    // user typed or imported.
    std::string page = webGetText(std::string("http://") + hosts::kLocationHost +
                                  "/ips138.asp?ip=" + address + "&action=2");
    if (mode == LookupMode::MainData) return getTextBetween(page, "本站主数据：", "</li>");

    std::string segment = getTextBetween(page, "<li", "</ul>");
    if (status) status->setPanel(1, "正在查询,已查询到" + numberToText(1) + "条数据!");
    // The segment starts inside the first item's opening tag; its first ">" closes it.
    std::string first = getTextBetween(segment, ">", "</li>");
    std::string second = getTextBetween(segment, "</li><li>", "</li>");
    return first + "\r\n" + second;
}

void runSingleQuery(view::MainViews& views) {
    std::string address = views.编辑框_IP地址.text();
    if (address.empty()) {
        view::setStatus(views, "没有填写IP地址!");
        return;
    }
    if (g_singleQueryBusy.exchange(true)) return;
    // Off the window thread, so the window keeps painting during the request; the views
    // carry each access back to the window thread in order.
    bool started = lookup_detail::startDetached([&views, address] {
        std::string result = lookupLocation(address, LookupMode::Detailed, &views.状态条1);
        views.编辑框_结果.setText(result);
        view::setStatus(views, "查询完毕!");
        g_singleQueryBusy = false;
    });
    if (!started) g_singleQueryBusy = false;
}
