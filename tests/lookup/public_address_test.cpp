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
    };
    const std::string echo = "<html><center>您的IP是：[1.2.3.4] 来自：广东</center></html>";
    const Case cases[] = {
        {"probe host does not resolve", false, 5, echo, kNotConnected},
        {"no reply", true, -1, echo, kNotConnected},
        {"reply slower than the limit", true, 2500, echo, kNotConnected},
        {"reply in 0 ms is a reply", true, 0, echo, "您的IP是：[1.2.3.4] 来自：广东"},
        {"reply at the limit", true, 2000, echo, "您的IP是：[1.2.3.4] 来自：广东"},
        {"upper-case markers", true, 30, "<CENTER>1.2.3.4</CENTER>", "1.2.3.4"},
        {"no closing marker", true, 30, "<center>1.2.3.4", ""},
    };
    const platform::Ipv4 probeAddress = fake::ipv4(127, 0, 0, 9);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake::Probe p;
        if (c.resolves) p.names[hosts::kProbeHost] = probeAddress;
        if (c.replyMs >= 0) p.replyMs[probeAddress] = c.replyMs;
        net.reset();
        net.handler = [&](auto&&...) { return gbkPage(c.echoPage); };
        WebSession session(net);
        EXPECT_EQ(lookup::fetchPublicAddress(p, session).value_or(kNotConnected), c.shown);
        std::vector<std::string> expectCalls{"resolve " + std::string(hosts::kProbeHost)};
        if (c.resolves) expectCalls.push_back("echo 127.0.0.9 2000");
        EXPECT_EQ(p.calls(), expectCalls);
        const bool echoAsked = c.shown != kNotConnected;
        EXPECT_EQ(net.requests(),
                  echoAsked ? std::vector<std::string>{kEchoRequest} : std::vector<std::string>{});
    }
}

// A silent echo service keeps nothing waiting: the window goes on handling its work, and
// closing it ends the request at once.
TEST_F(LookupTest, PublicAddressArrivesOffTheWindowThread) {
    probe.names[hosts::kProbeHost] = fake::ipv4(127, 0, 0, 9);
    probe.replyMs[fake::ipv4(127, 0, 0, 9)] = 5;
    Gate& gate = newGate();
    net.handler = [&](auto&&...) {
        fake::HttpResponse r = page("<center>5.6.7.8</center>");
        r.beforeBody = [&] { gate.wait(); };
        return r;
    };
    lookups->showPublicAddress();
    ASSERT_TRUE(gate.awaitWaiting(1));  // returned while the page is awaited
    window.setText(Box::Keywords, "");
    lookups->startReverseSearch();  // the window still answers
    EXPECT_EQ(status(), "没有填写实际地址!");
    gate.open();
    ASSERT_TRUE(runUntil([&] { return window.panel(2) == "5.6.7.8"; }));

    net.handler = [](auto&&...) {
        fake::HttpResponse r;
        r.stall = true;
        return r;
    };
    lookups = std::make_unique<ui::LookupPresenter>(os, executor, window.table(), window, window);
    lookups->showPublicAddress();
    ASSERT_TRUE(waitFor([&] { return net.requests().size() == 2u; }));
    lookups.reset();  // returns once the stalled request is cut, not after its time-out
    window.drain();
    EXPECT_EQ(window.panel(2), "5.6.7.8");
}

}  // namespace
}  // namespace lookup_test
