// The web routine through the recording Internet: the calls it makes and their arguments,
// what goes out in the header block and body, what comes back, and that every handle it
// opens is closed.
#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "tests/fakes/fake_internet.h"
#include "tests/web/fetch_threads.h"
#include "web/web.h"

namespace {

const std::string kDefaultBlock =
    "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded";
// RELOAD | NO_CACHE_WRITE | NO_COOKIES | NO_AUTO_REDIRECT (redirects are counted by the
// routine), and IGNORE_REDIRECT_TO_HTTPS for plain HTTP or SECURE for HTTPS.
const std::uint32_t kHttpFlags = 0x80000000u | 0x04000000 | 0x80000 | 0x200000 | 0x4000;
const std::uint32_t kHttpsFlags = 0x80000000u | 0x04000000 | 0x80000 | 0x200000 | 0x800000;

class Web : public ::testing::Test {
  protected:
    void TearDown() override { EXPECT_EQ(net.openHandles(), 0); }
    Response request(const std::string& url, Request r = {},
                     const std::optional<std::string>& proxy = std::string()) {
        r.url = url;
        return webRequest(net, r, proxy);
    }
    std::vector<fake::InternetCall> named(const std::string& name) {
        std::vector<fake::InternetCall> out;
        for (const auto& c : net.calls())
            if (c.name == name) out.push_back(c);
        return out;
    }
    fake::Internet net;
};

// What a GET through either wrapper sends, what it gives back, and that it leaves nothing
// open; the order of calls that do not depend on each other is the routine's business.
TEST_F(Web, GetThroughEachWrapper) {
    const std::string url = "example.com/a";
    net.handler = [](const std::string&, int, const std::string&) {
        fake::HttpResponse r;
        r.body = std::string(2500, 'x') + std::string("\0tail", 5);
        return r;
    };
    for (int wrapper = 0; wrapper < 2; ++wrapper) {
        SCOPED_TRACE(wrapper);
        net.reset();
        const std::string text = wrapper == 0 ? webGetText(net, url) : webGetUtf8Text(net, url);
        EXPECT_EQ(text, std::string(2500, 'x'));  // the whole body, cut at the NUL

        ASSERT_EQ(named("open").size(), 1u);
        ASSERT_EQ(named("connect").size(), 1u);
        ASSERT_EQ(named("openRequest").size(), 1u);
        ASSERT_EQ(named("send").size(), 1u);
        const auto root = named("open")[0].handle;
        const auto connection = named("connect")[0].handle;
        const auto request = named("openRequest")[0].handle;
        EXPECT_EQ(named("open")[0].args,
                  (std::vector<std::string>{defaultUserAgent, "3", "http=", "", "0"}));
        EXPECT_EQ(named("connect")[0].args,
                  (std::vector<std::string>{std::to_string(root), "example.com", "80", "<null>",
                                            "<null>", "3", "0", "0"}));
        EXPECT_EQ(named("openRequest")[0].args,
                  (std::vector<std::string>{std::to_string(connection), "GET", "/a", "HTTP/1.1",
                                            "<null>", "<null>", std::to_string(kHttpFlags), "0"}));
        const std::string block = "Referer: example.com/a" + kDefaultBlock;
        const auto send = named("send")[0];
        EXPECT_EQ(send.handle, request);
        // No body: a real (non-null) pointer of length 0.
        EXPECT_EQ(send.args,
                  (std::vector<std::string>{block, std::to_string(block.size()), "", "0"}));

        // Connect, send and receive limits, each set once on the request before it is sent.
        std::map<std::string, std::string> limits;
        bool sent = false;
        for (const auto& call : net.calls()) {
            sent = sent || call.name == "send";
            if (call.name != "setOption") continue;
            EXPECT_FALSE(sent) << "option " << call.args[0] << " set after the send";
            EXPECT_EQ(call.handle, request);
            EXPECT_TRUE(limits.emplace(call.args[0], call.args[1]).second);
        }
        EXPECT_EQ(limits, (std::map<std::string, std::string>{
                              {"2", "10000"}, {"5", "30000"}, {"6", "30000"}}));

        // Each handle closed once, and no handle used after its close.
        std::map<platform::InternetHandle, int> closes;
        for (const auto& call : net.calls()) {
            EXPECT_EQ(closes[call.handle], 0) << call.name << " on a closed handle";
            if (call.name == "close") ++closes[call.handle];
        }
        EXPECT_EQ(closes, (std::map<platform::InternetHandle, int>{
                              {root, 1}, {connection, 1}, {request, 1}}));
    }
}

TEST_F(Web, AddressesAndFlags) {
    struct Case {
        std::string url;
        bool noRedirect;
        std::string host, port, object;
        std::uint32_t flags;
    } cases[] = {
        {"HTTPS://Example.com:8443/Q?x=1", false, "example.com", "8443", "/Q?x=1", kHttpsFlags},
        {"https://example.com", true, "example.com", "443", "/", kHttpsFlags},
        {"http://host", false, "host", "80", "/", kHttpFlags},
        {"http://host?x=1", false, "host?x=1", "80", "/", kHttpFlags},
        {"http://h:ab/", true, "h", "0", "/", kHttpFlags},
        {"127.0.0.1:8080/ic.asp", false, "127.0.0.1", "8080", "/ic.asp", kHttpFlags},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        net.reset();
        Request r;
        r.followRedirects = !c.noRedirect;
        request(c.url, r);
        ASSERT_EQ(named("connect").size(), 1u);
        EXPECT_EQ(named("connect")[0].args[1], c.host);
        EXPECT_EQ(named("connect")[0].args[2], c.port);
        EXPECT_EQ(named("openRequest")[0].args[2], c.object);
        EXPECT_EQ(named("openRequest")[0].args[6], std::to_string(c.flags));
        EXPECT_EQ(named("send")[0].args[0], "Referer: " + c.url + kDefaultBlock);
    }
}

TEST_F(Web, ProxyAbsentSuppliedOrEmpty) {
    struct Case {
        std::optional<std::string> proxy;
        std::vector<std::string> open;
    } cases[] = {
        {std::nullopt, {defaultUserAgent, "1", "<null>", "<null>", "0"}},
        {std::string(), {defaultUserAgent, "3", "http=", "", "0"}},
        {std::string("127.0.0.1:3128"), {defaultUserAgent, "3", "http=127.0.0.1:3128", "", "0"}},
    };
    for (const auto& c : cases) {
        net.reset();
        request("http://h/", {}, c.proxy);
        EXPECT_EQ(named("open")[0].args, c.open);
    }
}

TEST_F(Web, UserAgentAndHeaderBlock) {
    struct Case {
        std::string extra, cookies, agent, block;
    } cases[] = {
        {"User-Agent: Test", "", "Test", "User-Agent: Test\r\nReferer: u/x" + kDefaultBlock},
        {"user-agent:  Agent 1 \r\nX: y", "", "Agent 1",
         "user-agent:  Agent 1 \r\nX: y\r\nReferer: u/x" + kDefaultBlock},
        // The last line without CR LF: everything after the block's first colon, trimmed.
        {"X-A: 1\r\nUser-Agent: Z", "", "1\r\nUser-Agent: Z",
         "X-A: 1\r\nUser-Agent: Z\r\nReferer: u/x" + kDefaultBlock},
        {"Accept: text/html", "", defaultUserAgent,
         "Accept: text/html\r\nReferer: u/x\r\nAccept-Language: zh-cn\r\nContent-Type: "
         "application/x-www-form-urlencoded"},
        // A name inside another header's name counts as present.
        {"X-Accept: 1\r\nReferer: r\r\nContent-Type: t", "", defaultUserAgent,
         "X-Accept: 1\r\nReferer: r\r\nContent-Type: t\r\nAccept-Language: zh-cn"},
        {"", "a=1; b=2", defaultUserAgent, "Referer: u/x" + kDefaultBlock + "\r\nCookie: a=1; b=2"},
        {"Cookie: c=3", "a=1", defaultUserAgent,
         "Cookie: c=3\r\nReferer: u/x" + kDefaultBlock + "\r\nCookie: a=1"},
        // The exact comparison: a lower-case referer line does not count.
        {"referer: r", "", defaultUserAgent, "referer: r\r\nReferer: u/x" + kDefaultBlock},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.extra);
        net.reset();
        Request r;
        r.headers = c.extra;
        r.cookies = c.cookies;
        const Response response = request("u/x", r);
        EXPECT_EQ(named("open")[0].args[0], c.agent);
        EXPECT_EQ(named("send")[0].args[0], c.block);
        EXPECT_EQ(named("send")[0].args[1], std::to_string(c.block.size()));
        EXPECT_EQ(response.sentHeaders, c.block);  // the caller sees the block that was sent
    }
}

TEST_F(Web, BodyGoesOutWhateverTheVerb) {
    struct Case {
        Method method;
        std::string body, verb;
    } cases[] = {
        {Method::Post, "a=b", "POST"}, {Method::Post, std::string("x\0y", 3), "POST"},
        {Method::Get, "abc", "GET"},   {Method::Post, "", "POST"},
        {Method::Get, "", "GET"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.verb + " " + c.body);
        net.reset();
        Request r;
        r.method = c.method;
        r.body = c.body;
        request("http://h/p", r);
        EXPECT_EQ(named("openRequest")[0].args[1], c.verb);
        const auto send = named("send")[0];
        EXPECT_EQ(send.args[2], c.body);
        EXPECT_EQ(send.args[3], std::to_string(c.body.size()));
    }
}

TEST_F(Web, FailedOpenClosesWhatWasOpenedAndChangesNothing) {
    enum Fail { kOpen, kConnect, kRequest };
    struct Case {
        Fail fail;
        std::vector<std::string> calls;  // names, with the handle a close works on
    } cases[] = {
        {kOpen, {"open 0"}},
        {kConnect, {"open R", "connect 0", "close R"}},
        {kRequest, {"open R", "connect C", "openRequest 0", "close C", "close R"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fail);
        net.reset();
        net.failOpen = c.fail == kOpen;
        net.failConnect = c.fail == kConnect;
        net.handler = [&](const std::string&, int, const std::string&) {
            fake::HttpResponse r;
            r.failRequest = c.fail == kRequest;
            return r;
        };
        Request r;
        r.method = Method::Post;
        r.body = "body";
        r.cookies = "a = 1";
        r.headers = "X: 1";
        const Response response = request("http://h/", r);
        EXPECT_FALSE(response.opened);
        EXPECT_EQ(response.body, "");
        EXPECT_EQ(response.headers, "");
        EXPECT_EQ(response.cookies, "");

        std::vector<std::string> seen;
        platform::InternetHandle root = 0, connection = 0;
        for (const auto& call : net.calls()) {
            if (call.name == "open") root = call.handle;
            if (call.name == "connect") connection = call.handle;
            std::string h = call.handle == 0            ? "0"
                            : call.handle == root       ? "R"
                            : call.handle == connection ? "C"
                                                        : "?";
            seen.push_back(call.name + " " + h);
        }
        EXPECT_EQ(seen, c.calls);
        net.failOpen = net.failConnect = false;
    }
}

TEST_F(Web, ResponseHeadersAndCookies) {
    net.handler = [](const std::string&, int, const std::string& object) {
        fake::HttpResponse r;
        r.body = "ok";
        if (object == "/login")
            r.rawHeaders =
                "HTTP/1.1 302 Found\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=deleted; "
                "path=/\r\nLocation: http://h/home\r\n\r\n";
        else
            r.rawHeaders = "HTTP/1.1 200 OK\r\nX-Long: " + std::string(5000, 'v') + "\r\n\r\n";
        return r;
    };
    Request r;
    r.cookies = "a=1; b=2";
    r.followRedirects = false;
    Response a = request("http://h/login", r);
    EXPECT_EQ(a.body, "ok");
    EXPECT_EQ(a.status, 302);
    EXPECT_EQ(a.cookies, "b=3; a=1");
    EXPECT_EQ(a.newCookies, "b=3;c=deleted");
    EXPECT_EQ(a.location, "http://h/home");
    EXPECT_EQ(a.headers,
              "HTTP/1.1 302 Found\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=deleted; "
              "path=/\r\nLocation: http://h/home\r\n\r\n");

    // The cookies go out on the next request, and headers beyond the 5000-byte buffer are
    // not obtained.
    r.cookies = a.cookies;
    a = request("http://h/home", r);
    EXPECT_EQ(a.body, "ok");
    EXPECT_EQ(named("send")[1].args[0],
              "Referer: http://h/home" + kDefaultBlock + "\r\nCookie: b=3; a=1");
    EXPECT_EQ(a.headers, std::string(5000, ' '));
    EXPECT_EQ(a.location, "");
    EXPECT_EQ(a.newCookies, "");
    EXPECT_EQ(a.cookies, "b=3; a=1");
}

TEST_F(Web, BrokenConnectionGivesNoBody) {
    net.handler = [](const std::string&, int, const std::string&) {
        fake::HttpResponse r;
        r.body = std::string(5000, 'b');
        r.resetAfter = 2048;
        r.rawHeaders = "HTTP/1.1 200 OK\r\nSet-Cookie: s=1; path=/\r\n\r\n";
        return r;
    };
    const Response a = request("http://h/");
    EXPECT_EQ(a.body, "");
    EXPECT_EQ(webGetText(net, "http://h/"), "");
    EXPECT_EQ(a.cookies, "s=1");  // the headers did arrive
    EXPECT_EQ(named("close").size(), 6u);
}

// A connection that ends before the Content-Length it declared ends the body early
// without an error (as Wine's WinINet reads it): the page is cut, not whole.
TEST_F(Web, BodyShorterThanItsContentLengthIsNoBody) {
    struct Case {
        std::string headers;
        Bytes body;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n", ""},
        {"HTTP/1.1 200 OK\r\ncontent-length:  2048 \r\n\r\n", std::string(2048, 'b')},
        {"HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n", std::string(2048, 'b')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.headers);
        net.handler = [&](const std::string&, int, const std::string&) {
            fake::HttpResponse r;
            r.body = std::string(2048, 'b');
            r.rawHeaders = c.headers;
            return r;
        };
        EXPECT_EQ(request("http://h/").body, c.body);
    }
}

TEST_F(Web, Utf8BodyIsConvertedWhole) {
    net.handler = [](const std::string&, int, const std::string&) {
        fake::HttpResponse r;
        for (int i = 0; i < 600; ++i) r.body += "\xE4\xB8\xAD";  // 中, across chunk borders
        return r;
    };
    std::string expected;
    for (int i = 0; i < 600; ++i) expected += "\xD6\xD0";
    EXPECT_EQ(webGetUtf8Text(net, "http://h/"), expected);
}

fake::HttpResponse redirectTo(const std::string& location, int status = 302,
                              const std::string& extra = "") {
    fake::HttpResponse r;
    r.body = "moved";
    r.rawHeaders = "HTTP/1.1 " + std::to_string(status) + " Moved\r\n" + extra +
                   "Location: " + location + "\r\n\r\n";
    return r;
}

TEST_F(Web, RedirectsAreFollowedWithTheirCookiesUpToTheBound) {
    net.handler = [](const std::string& host, int, const std::string& object) {
        if (object == "/dir/a?x=1") return redirectTo("b", 302, "Set-Cookie: s=1; path=/\r\n");
        if (object == "/dir/b") return redirectTo("http://other:81/c");
        if (object == "/loop") return redirectTo("/loop");
        if (object.rfind("/hops/", 0) == 0 && object != "/hops/0")  // one hop fewer each time
            return redirectTo("/hops/" + std::to_string(std::stoi(object.substr(6)) - 1));
        fake::HttpResponse r;
        r.body = "at " + host + object;
        return r;
    };
    Request r;
    r.cookies = "k=0";
    const Response a = request("h/dir/a?x=1", r);
    EXPECT_EQ(a.body, "at other/c");
    EXPECT_EQ(net.requests(), (std::vector<std::string>{"h/dir/a?x=1", "h/dir/b", "other/c"}));
    EXPECT_EQ(named("open").size(), 1u);
    EXPECT_EQ(named("connect").size(), 2u);  // h:80 serves both of its hops
    // The cookie set on the way goes out on the next hop; the Referer stays the first
    // address; the caller gets the last response's headers.
    EXPECT_EQ(named("send")[1].args[0],
              "Referer: h/dir/a?x=1" + kDefaultBlock + "\r\nCookie: s=1; k=0");
    EXPECT_EQ(a.cookies, "s=1; k=0");
    EXPECT_EQ(a.headers, "HTTP/1.1 200 OK\r\n\r\n");
    EXPECT_EQ(a.location, "");

    // Five redirects are followed; the sixth is not, and the answer is then a failure.
    for (const auto& [object, body] :
         {std::pair{"/hops/5", "at h/hops/0"}, std::pair{"/hops/6", ""}}) {
        SCOPED_TRACE(object);
        net.reset();
        EXPECT_EQ(request(std::string("http://h") + object).body, body);
        EXPECT_EQ(net.requests().size(), 6u);
    }
    // A loop likewise, the last Location given back.
    net.reset();
    const Response loop = request("http://h/loop");
    EXPECT_EQ(loop.body, "");
    EXPECT_EQ(net.requests().size(), 6u);
    EXPECT_EQ(loop.location, "/loop");
}

TEST_F(Web, RedirectedPostBecomesGetExceptFor307And308) {
    struct Case {
        int status;
        std::string verb, body;
    } cases[] = {{301, "GET", ""},
                 {302, "GET", ""},
                 {303, "GET", ""},
                 {307, "POST", "a=1"},
                 {308, "POST", "a=1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        net.reset();
        net.handler = [&](const std::string&, int, const std::string& object) {
            return object == "/form" ? redirectTo("/done", c.status) : fake::HttpResponse{};
        };
        Request r;
        r.method = Method::Post;
        r.body = "a=1";
        request("http://h/form", r);
        ASSERT_EQ(named("send").size(), 2u);
        EXPECT_EQ(named("openRequest")[1].args[1], c.verb);
        EXPECT_EQ(named("send")[1].args[2], c.verb == "GET" ? "" : c.body);
    }
}

TEST_F(Web, SilentServerIsCutByTheReceiveLimit) {
    net.handler = [](const std::string&, int, const std::string&) {
        fake::HttpResponse r;
        r.stall = true;
        return r;
    };
    WebSession session(net, WebTimeouts{10, 20, 50});
    EXPECT_EQ(session.getText("http://h/silent"), "");
    const auto options = named("setOption");
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[2].args, (std::vector<std::string>{"6", "50"}));
}

TEST_F(Web, CancelEndsAWaitingRequestAndEveryLaterOne) {
    std::mutex mutex;
    std::condition_variable changed;
    bool reading = false;
    net.handler = [&](const std::string&, int, const std::string&) {
        fake::HttpResponse r;
        r.stall = true;  // with the default 30 s limit
        r.beforeBody = [&] {
            std::lock_guard lock(mutex);
            reading = true;
            changed.notify_all();
        };
        return r;
    };
    {
        WebSession session(net);
        std::string page = "unset";
        std::thread worker([&] { page = session.getText("http://h/slow"); });
        {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return reading; });
        }
        const auto start = std::chrono::steady_clock::now();
        session.cancel();
        worker.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_EQ(page, "");
        EXPECT_TRUE(session.cancelled());

        const std::size_t before = net.calls().size();
        EXPECT_EQ(session.getUtf8Text("http://h/next"), "");
        EXPECT_EQ(net.calls().size(), before);
    }
    // The request handle was closed once, by cancel(), and nothing was left open.
    const auto request = named("openRequest")[0].handle;
    int closes = 0;
    for (const auto& call : named("close")) closes += call.handle == request;
    EXPECT_EQ(closes, 1);
}

TEST_F(Web, FourThreadsShareOneSession) {
    constexpr int kThreads = 4, kEach = 25;
    std::mutex mutex;
    std::condition_variable changed;
    int reading = 0, most = 0;
    net.handler = [&](const std::string&, int, const std::string& object) {
        fake::HttpResponse r;
        r.body = object;
        r.beforeBody = [&] {
            std::unique_lock lock(mutex);
            most = std::max(most, ++reading);
            changed.notify_all();
            // The first requests wait for each other: all four are then under way at once.
            changed.wait_for(lock, std::chrono::seconds(5), [&] { return most == kThreads; });
            --reading;
        };
        return r;
    };
    WebSession session(net);
    EXPECT_EQ(fetchFromThreads(session, "http://h", "/", kThreads, kEach), kThreads * kEach);
    EXPECT_EQ(most, kThreads);
    EXPECT_EQ(named("open").size(), 1u);
    // A connection handle serves one request at a time and is used again after it.
    EXPECT_EQ(named("connect").size(), static_cast<std::size_t>(kThreads));
}

}  // namespace
