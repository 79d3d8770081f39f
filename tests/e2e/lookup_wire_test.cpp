// The lookups over the real WinINet and ICMP, inside the namespace of netns.sh, against
// the mock services: what the fakes cannot show (host names resolving through the hosts
// file, loopback echo, misbehaving servers, GBK and UTF-8 pages on the wire).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "lookup/hosts.h"
#include "lookup/lookup.h"
#include "tests/fakes/fake_view.h"
#include "platform/probe.h"

namespace {

const char* const kNotConnected = "本机没有连接到网络,请退出连接网络后操作!";

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

bool waitForThreads() {
    for (int i = 0; i < 60000 && runningLookupThreads() != 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return runningLookupThreads() == 0;
}

bool probeHostAbsent() {
    return env("VERDALO_E2E_NO_PROBE") == "1";
}

TEST(LookupWire, LocationPageByHostName) {
    EXPECT_EQ(lookupLocation("1.2.3.4", LookupMode::MainData), "模拟省1.2.3.4市 电信");
    EXPECT_EQ(lookupLocation("5.6.7.8", LookupMode::Detailed),
              "本站主数据：模拟省5.6.7.8市 电信\r\n参考数据一：参考5.6.7.8");
    EXPECT_EQ(requestsFor(hosts::kLocationHost, "/ips138.asp?ip=1.2.3.4&action=2"), 1);
}

TEST(LookupWire, MisbehavingServiceLeavesAnEmptyCellAndTheRunGoesOn) {
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
    fake::MainWindow window;
    for (const Row& row : rows) window.list.addRow({row.address});
    startBatchQuery(window.views);
    ASSERT_TRUE(waitForThreads());
    for (std::size_t i = 0; i < std::size(rows); ++i)
        EXPECT_EQ(window.list.cell(static_cast<int>(i), 1), rows[i].location) << rows[i].address;
    EXPECT_EQ(window.status.panel(1), "查询完毕,共查询出9条数据!");
}

TEST(LookupWire, ReverseSearchOverThreePagesWithDetailPages) {
    fake::MainWindow window;
    window.keywordBox.setText("北京 电信");
    startReverseSearch(window.views);
    ASSERT_TRUE(waitForThreads());
    const std::vector<std::vector<std::string>> expected = {
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
    EXPECT_EQ(window.list.rows(), expected);
    EXPECT_EQ(window.status.panel(1), "查询完毕,共找到9条数据!");
    const std::string encoded = "/ip.php?%E5%8C%97%E4%BA%AC%20%E7%94%B5%E4%BF%A1";
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded + "&1"), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, encoded + "&2"), 1);
    EXPECT_EQ(requestsFor(hosts::kRangeSearchHost, "/ip-10.0.1.0.htm"), 1);
}

TEST(LookupWire, PublicAddressThroughTheLoopbackEcho) {
    if (probeHostAbsent()) {
        EXPECT_FALSE(isNetworkReachable());
        EXPECT_EQ(fetchPublicAddress(), kNotConnected);
        EXPECT_EQ(requestsFor(hosts::kEchoHost, "/ic.asp"), 0);
    } else {
        std::optional<platform::Ipv4> address = platform::probe().resolve(hosts::kProbeHost);
        ASSERT_TRUE(address.has_value());
        EXPECT_EQ(*address, 0x0100007fu);  // 127.0.0.1 from the hosts file
        int ms = platform::probe().echo(*address, 2000);
        std::printf("loopback echo reply: %d ms\n", ms);
        // Loopback answers within the same millisecond: a 0 ms reply is a reply.
        EXPECT_GE(ms, 0);
        EXPECT_TRUE(isNetworkReachable());
        fake::MessagePump pump;
        EXPECT_EQ(fetchPublicAddress(pump), "您的IP是：[127.0.0.1] 来自：本机回环");
        EXPECT_EQ(pump.calls, 1);
        EXPECT_EQ(requestsFor(hosts::kEchoHost, "/ic.asp"), 1);
    }
}

}  // namespace
