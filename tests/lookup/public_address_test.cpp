#include "support.h"

namespace lookup_test {
namespace {

const std::string kNotConnected = "本机没有连接到网络,请退出连接网络后操作!";
const std::string kEchoRequest = std::string(hosts::kEchoHost) + "/ic.asp";

TEST_F(LookupTest, PublicAddressFollowsTheProbe) {
    struct Case {
        const char* name;
        bool resolves;
        int replyMs;  // -1: no reply
        std::string echoPage;
        std::string shown;
        bool echoAsked;
    };
    const std::string echo = "<html><center>您的IP是：[1.2.3.4] 来自：广东</center></html>";
    const Case cases[] = {
        {"probe host does not resolve", false, 5, echo, kNotConnected, false},
        {"no reply", true, -1, echo, kNotConnected, false},
        {"reply slower than the limit", true, 2500, echo, kNotConnected, false},
        {"reply in 0 ms is a reply", true, 0, echo, "您的IP是：[1.2.3.4] 来自：广东", true},
        {"reply at the limit", true, 2000, echo, "您的IP是：[1.2.3.4] 来自：广东", true},
        {"upper-case markers", true, 30, "<CENTER>1.2.3.4</CENTER>", "1.2.3.4", true},
        {"no closing marker", true, 30, "<center>1.2.3.4", "", true},
        {"empty echo page", true, 30, "", "", true},
    };
    const platform::Ipv4 probeAddress = fake::ipv4(127, 0, 0, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Probe p;
        platform::setProbe(&p);
        if (c.resolves) p.names[hosts::kProbeHost] = probeAddress;
        if (c.replyMs >= 0) p.replyMs[probeAddress] = c.replyMs;
        net.reset();
        net.handler = [&](auto&&...) { return page(c.echoPage); };
        fake::MessagePump pump;
        std::vector<std::string> order;
        pump.onPump = [&] { order.push_back("pump " + std::to_string(p.calls().size())); };
        EXPECT_EQ(fetchPublicAddress(pump), c.shown);
        EXPECT_EQ(order, std::vector<std::string>{"pump 0"});  // painted before the probe
        std::vector<std::string> expectCalls{"resolve " + std::string(hosts::kProbeHost)};
        if (c.resolves) expectCalls.push_back("echo 127.0.0.9 2000");
        EXPECT_EQ(p.calls(), expectCalls);
        EXPECT_EQ(net.requests(), c.echoAsked ? std::vector<std::string>{kEchoRequest}
                                              : std::vector<std::string>{});
        platform::setProbe(&probe);
    }
}

TEST_F(LookupTest, ReachabilityHonoursTheGivenLimit) {
    probe.names[hosts::kProbeHost] = fake::ipv4(10, 0, 0, 1);
    probe.replyMs[fake::ipv4(10, 0, 0, 1)] = 300;
    EXPECT_TRUE(isNetworkReachable());
    EXPECT_FALSE(isNetworkReachable(100));
    EXPECT_EQ(probe.calls().back(), "echo 10.0.0.1 100");
}

}  // namespace
}  // namespace lookup_test
