// The lookups over the real WinINet and ICMP, inside the namespace of netns.sh, against
// the mock services: what the fakes cannot show (host names resolving through the hosts
// file, loopback echo, misbehaving servers, GBK and UTF-8 pages on the wire).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "platform/win32/system.h"
#include "tests/fakes/fake_window.h"
#include "text/text.h"
#include "ui/lookup_presenter.h"

namespace {

std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The request log of the mock services, as Wine sees the Unix path.
std::vector<std::string> requestLog() {
    std::ifstream in("Z:" + env("VERDALO_MOCK_LOG"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

int requestsFor(const std::string& host, const std::string& path) {
    int n = 0;
    for (const auto& line : requestLog())
        n += line.find("\"host\": \"" + host + "\"") != std::string::npos &&
             line.find("\"path\": \"" + path + "\"") != std::string::npos;
    return n;
}

bool probeHostAbsent() {
    return env("VERDALO_E2E_NO_PROBE") == "1";
}

class LookupWire : public ::testing::Test {
  protected:
    // Runs the window's posted work until the run's final message.
    bool runToEnd() {
        return window.runUntil([this] { return window.panel(1).rfind("查询完毕", 0) == 0; },
                               120000);
    }
    platform::win32::System system;
    platform::Services os = system.services();
    fake::Window window;
    platform::Executor executor;
    ui::LookupPresenter lookups{os, executor, window.table(), window, window};
};

TEST_F(LookupWire, LocationPageByHostName) {
    WebSession session(os.internet);
    // The piece cut out of the page is still GBK, as the page was.
    EXPECT_EQ(gbkToUtf8(lookup::lookupLocation(session, "1.2.3.4", lookup::LookupMode::MainData)),
              "模拟省1.2.3.4市 电信");
    EXPECT_EQ(gbkToUtf8(lookup::lookupLocation(session, "5.6.7.8", lookup::LookupMode::Detailed)),
              "本站主数据：模拟省5.6.7.8市 电信\r\n参考数据一：参考5.6.7.8");
    EXPECT_EQ(requestsFor(hosts::kLocationHost, "/ips138.asp?ip=1.2.3.4&action=2"), 1);
}

TEST_F(LookupWire, MisbehavingServiceLeavesAnEmptyCellAndTheRunGoesOn) {
    struct Row {
        const char* address;
        std::string location;
    };
    const Row rows[] = {
        {"mock-reset", ""},
        {"1.1.1.1", "模拟省1.1.1.1市 电信"},
        {"mock-404", ""},
        {"mock-empty", ""},
        {"mock-nul", ""},
        {"mock-nomarker", ""},
        {"mock-big", "模拟省mock-big市 电信"},  // 5 MB of filler before the page
        {"mock-slow-300", "模拟省mock-slow-300市 电信"},
        {"2.2.2.2", "模拟省2.2.2.2市 电信"},
    };
    std::vector<RowCells> cells;
    for (const Row& row : rows) cells.push_back({row.address, ""});
    window.table().replace(cells);
    lookups.startBatchQuery();
    ASSERT_TRUE(runToEnd());
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(window.table().cell(i, 1), rows[i].location) << rows[i].address;
    EXPECT_EQ(window.panel(1), "查询完毕,共查询出9条数据!");
}

TEST_F(LookupWire, ReverseSearchOverThreePagesWithDetailPages) {
    window.setText(Box::Keywords, "北京 电信");
    lookups.startReverseSearch();
    ASSERT_TRUE(runToEnd());
    const std::vector<RowCells> expected = {
        {"10.0.0.0-10.0.0.255", "北京 电信一区 电信"},
        {"10.0.1.0-10.0.1.255", "北京 电信二区 联通"},
        {"10.0.2.0-10.0.2.255", "北京 电信二区 联通"},
        {"10.0.3.0-10.0.3.255", "北京 电信二区 联通"},
        {"10.1.0.0-10.1.0.255", "北京 电信一区 电信"},
        {"10.1.1.0-10.1.1.255", "北京 电信二区 联通"},
        {"10.1.2.0-10.1.2.255", "北京 电信二区 联通"},
        {"10.1.3.0-10.1.3.255", "北京 电信二区 联通"},
        {"10.2.0.0-10.2.0.255", "北京 电信一区 电信"},
    };
    std::vector<RowCells> shown;
    for (std::size_t i = 0; i < window.table().size(); ++i)
        shown.push_back(
            {std::string(window.table().cell(i, 0)), shownLocation(window.table().row(i))});
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(window.panel(1), "查询完毕,共找到9条数据!");
    const std::string encoded = "/ip.php?%E5%8C%97%E4%BA%AC%20%E7%94%B5%E4%BF%A1";
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded + "&1"), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded + "&2"), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, "/ip-10.0.1.0.htm"), 1);
}

TEST_F(LookupWire, PublicAddressThroughTheLoopbackEcho) {
    WebSession session(os.internet);
    if (probeHostAbsent()) {
        EXPECT_FALSE(lookup::isNetworkReachable(os.probe));
        EXPECT_EQ(lookup::fetchPublicAddress(os.probe, session), std::nullopt);
        EXPECT_EQ(requestsFor(hosts::kEchoHost, "/ic.asp"), 0);
        return;
    }
    std::optional<platform::Ipv4> address = os.probe.resolve(hosts::kProbeHost);
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(*address, 0x0100007fu);  // 127.0.0.1 from the hosts file
    int ms = os.probe.echo(*address, 2000);
    std::printf("loopback echo reply: %d ms\n", ms);
    // Loopback answers within the same millisecond: a 0 ms reply is a reply.
    EXPECT_GE(ms, 0);
    lookups.showPublicAddress();
    ASSERT_TRUE(window.runUntil([this] { return !window.panel(2).empty(); }, 30000));
    EXPECT_EQ(window.panel(2), "您的IP是：[127.0.0.1] 来自：本机回环");
    EXPECT_EQ(requestsFor(hosts::kEchoHost, "/ic.asp"), 1);
}

}  // namespace
