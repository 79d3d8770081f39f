// The web routine through real WinINet (Wine's, under ctest) against a small HTTP server
// that this program runs itself on 127.0.0.1, on a port the system picks.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>
// wininet.h needs the types of the headers above.
#include <wininet.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/internet.h"
#include "tests/web/fetch_threads.h"
#include "web/web.h"

namespace {

std::string response(const std::string& status, const std::string& headers,
                     const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n" + headers + "\r\n" + body;
}

// The location service's pages are GBK; "本站主数据：广东省深圳市 电信".
const char* const kGbkPage =
    "<li>\xB1\xBE\xD5\xBE\xD6\xF7\xCA\xFD\xBE\xDD\xA3\xBA\xB9\xE3\xB6\xAB\xCA\xA1\xC9\xEE\xDB\xDA"
    "\xCA\xD0 \xB5\xE7\xD0\xC5</li>";

std::string twoMegabytes() {
    std::string body;
    body.reserve(2 << 20);
    for (int i = 0; body.size() < (2u << 20); ++i) body += "line " + std::to_string(i) + "\r\n";
    body.resize(2 << 20);
    return body;
}

// One request per connection, each on its own thread; every answer closes its connection.
class Server {
  public:
    Server() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 16);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~Server() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        closesocket(listener_);  // accept fails, and the thread ends
        thread_.join();
        for (auto& client : clients_) client.join();
        WSACleanup();
    }
    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    // The raw requests that reached a path, in order.
    std::vector<std::string> requests(const std::string& path) {
        std::lock_guard lock(mutex_);
        return requests_[path];
    }
    // Waits until a request for the path has arrived `count` times in all.
    void awaitRequests(const std::string& path, std::size_t count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return requests_[path].size() >= count; });
    }
    // The most /echo requests that were being answered at one time.
    int mostAtOnce() {
        std::lock_guard lock(mutex_);
        return mostAtOnce_;
    }

  private:
    void serve() {
        while (true) {
            SOCKET client = accept(listener_, nullptr, nullptr);
            if (client == INVALID_SOCKET) return;
            clients_.emplace_back([this, client] { answer(client); });
        }
    }

    void answer(SOCKET client) {
        std::string request = readRequest(client);
        std::string target = request.substr(0, request.find("\r\n"));
        std::string path = target.substr(target.find(' ') + 1);
        path = path.substr(0, path.find(' '));
        {
            std::lock_guard lock(mutex_);
            requests_[path].push_back(request);
        }
        changed_.notify_all();
        std::string out;
        bool reset = false;
        if (path == "/gbk") {
            out = response("200 OK", "Content-Type: text/html; charset=gb2312\r\n", kGbkPage);
        } else if (path == "/utf8") {
            out = response("200 OK", "Content-Type: text/html; charset=utf-8\r\n",
                           reinterpret_cast<const char*>(u8"<td>上海市 联通</td>"));
        } else if (path == "/nul") {
            out = response("200 OK", "", std::string("before\0after", 12));
        } else if (path == "/big") {
            out = response("200 OK", "", twoMegabytes());
        } else if (path == "/cookies") {
            out = response("200 OK",
                           "Set-Cookie: b=3; path=/\r\nSet-Cookie: c=deleted; path=/\r\n"
                           "Set-Cookie: plain=1\r\n",
                           "cookies");
        } else if (path == "/redirect") {
            out = response("302 Found", "Location: /target\r\n", "moved");
        } else if (path == "/target") {
            out = response("200 OK", "", "arrived");
        } else if (path == "/longheaders") {
            // Many ordinary lines: WinINet under Wine cuts a single line at about 4 KB.
            std::string filler;
            for (int i = 0; i < 10; ++i)
                filler += "X-Filler-" + std::to_string(i) + ": " + std::string(600, 'f') + "\r\n";
            out = response("200 OK", filler + "Set-Cookie: l=1; path=/\r\n", "long");
        } else if (path == "/post") {
            out = response("200 OK", "", "got " + request.substr(request.find("\r\n\r\n") + 4));
        } else if (path == "/reset") {
            out = "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(3000, 'r');
            reset = true;
        } else if (path == "/silent") {
            // Closes without answering.
        } else if (path == "/hang") {
            // Stays silent with the connection open until the server stops.
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_; });
        } else if (path == "/loop") {
            out = response("302 Found", "Location: /loop\r\n", "again");
        } else if (path.rfind("/echo/", 0) == 0) {
            {
                std::lock_guard lock(mutex_);
                mostAtOnce_ = std::max(mostAtOnce_, ++atOnce_);
            }
            Sleep(30);  // long enough for the other threads' requests to arrive meanwhile
            {
                std::lock_guard lock(mutex_);
                --atOnce_;
            }
            out = response("200 OK", "", path);
        } else {
            out = response("404 Not Found", "", "");
        }
        send(client, out.data(), static_cast<int>(out.size()), 0);
        if (reset) {
            linger abortive{1, 0};  // close with RST instead of FIN
            setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&abortive),
                       sizeof abortive);
            Sleep(200);  // let the partial body reach the client first
        } else {
            shutdown(client, SD_SEND);
            char drain[256];
            while (recv(client, drain, sizeof drain, 0) > 0) {
            }
        }
        closesocket(client);
    }

    static std::string readRequest(SOCKET client) {
        std::string request;
        char buffer[4096];
        std::size_t headerEnd = std::string::npos;
        while (headerEnd == std::string::npos) {
            int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) return request;
            request.append(buffer, n);
            headerEnd = request.find("\r\n\r\n");
        }
        std::size_t length = 0;
        std::size_t at = request.find("Content-Length:");
        if (at != std::string::npos && at < headerEnd)
            length = std::stoul(request.substr(at + 15, request.find("\r\n", at) - at - 15));
        while (request.size() < headerEnd + 4 + length) {
            int n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, n);
        }
        return request;
    }

    SOCKET listener_;
    int port_ = 0;
    std::thread thread_;
    std::vector<std::thread> clients_;  // only the accepting thread adds to it
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
    int atOnce_ = 0, mostAtOnce_ = 0;
    std::map<std::string, std::vector<std::string>> requests_;
};

Server& server() {
    static Server s;
    return s;
}

platform::win32::WinInet net;

Response request(const std::string& path, Request r = {}) {
    r.url = server().base() + path;
    return webRequest(net, r);
}

// The callers' form, which opens WinINet with the proxy list "http=": it must go direct.
TEST(WinInet, GbkBodyDirectThroughEmptyProxyList) {
    EXPECT_EQ(webGetText(net, server().base() + "/gbk"), kGbkPage);
    auto seen = server().requests("/gbk");
    ASSERT_EQ(seen.size(), 1u);
    // A proxy would have been sent the absolute address.
    EXPECT_EQ(seen[0].substr(0, seen[0].find("\r\n")), "GET /gbk HTTP/1.1");
    EXPECT_NE(seen[0].find("\r\nReferer: " + server().base() + "/gbk\r\n"), std::string::npos);
    EXPECT_NE(seen[0].find("\r\nAccept-Language: zh-cn\r\n"), std::string::npos);
    EXPECT_NE(seen[0].find("\r\nUser-Agent: " + std::string(defaultUserAgent) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(seen[0].find("Cookie:"), std::string::npos);
}

// Every lookup asks afresh, so a page kept in the URL cache is never read: a big batch
// would only fill the user's cache, and Wine's grows without bound, each request dearer.
TEST(WinInet, PagesAreNotKeptInTheUrlCache) {
    const std::string url = server().base() + "/utf8";
    ASSERT_FALSE(webGetText(net, url).empty());
    DWORD size = 0;
    EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(WinInet, FourConnectionsPerServerAtLeast) {
    ASSERT_FALSE(webGetText(net, server().base() + "/utf8").empty());
    ULONG connections = 0;
    DWORD size = sizeof connections;
    ASSERT_TRUE(
        InternetQueryOptionA(nullptr, INTERNET_OPTION_MAX_CONNS_PER_SERVER, &connections, &size));
    EXPECT_GE(connections, platform::win32::WinInet::kLeastConnectionsPerServer);
}

// The range site's UTF-8 pages come back as GBK, to be cut with the same markers as the
// location pages; "上海市 联通".
TEST(WinInet, Utf8BodyConverted) {
    EXPECT_EQ(webGetUtf8Text(net, server().base() + "/utf8"),
              "<td>\xC9\xCF\xBA\xA3\xCA\xD0 \xC1\xAA\xCD\xA8</td>");
}

TEST(WinInet, BodyCutAtNul) {
    EXPECT_EQ(webGetText(net, server().base() + "/nul"), "before");
    EXPECT_EQ(request("/nul").body, std::string("before\0after", 12));
}

TEST(WinInet, TwoMegabyteBodyReadWhole) {
    Bytes body = request("/big").body;
    EXPECT_EQ(body.size(), 2u << 20);
    EXPECT_TRUE(body == twoMegabytes());
}

TEST(WinInet, SetCookieLinesMerged) {
    Request r;
    r.cookies = "a=1; b=2";
    const Response a = request("/cookies", r);
    EXPECT_EQ(a.body, "cookies");
    EXPECT_EQ(a.cookies, "b=3; plain=1; a=1");
    EXPECT_EQ(a.newCookies, "b=3;c=deleted;plain=1");
    EXPECT_EQ(a.headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
    EXPECT_EQ(a.status, 200);
    EXPECT_EQ(a.location, "");

    // The platform keeps none of them: only the Cookie line we write goes out.
    r.cookies = a.cookies;
    request("/gbk", r);
    auto seen = server().requests("/gbk");
    EXPECT_NE(seen.back().find("\r\nCookie: b=3; plain=1; a=1\r\n"), std::string::npos);
}

TEST(WinInet, RedirectFollowedOrHandedBack) {
    EXPECT_EQ(request("/redirect").body, "arrived");
    EXPECT_EQ(server().requests("/target").size(), 1u);

    Request noRedirect;
    noRedirect.followRedirects = false;
    const Response handedBack = request("/redirect", noRedirect);
    EXPECT_EQ(handedBack.body, "moved");
    EXPECT_EQ(handedBack.location, "/target");
    EXPECT_EQ(server().requests("/target").size(), 1u);
}

TEST(WinInet, HeadersBeyondTheBufferAreNotObtained) {
    Request r;
    r.cookies = "k = 1";
    const Response a = request("/longheaders", r);
    EXPECT_EQ(a.body, "long");
    EXPECT_EQ(a.headers, std::string(5000, ' '));
    EXPECT_EQ(a.location, "");
    EXPECT_EQ(a.newCookies, "");
    EXPECT_EQ(a.cookies, "k=1");
}

TEST(WinInet, PostSendsTheBody) {
    Request r;
    r.method = Method::Post;
    r.body = "ip=1.2.3.4&x=%20";
    EXPECT_EQ(request("/post", r).body, "got ip=1.2.3.4&x=%20");
    auto seen = server().requests("/post");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].substr(0, seen[0].find("\r\n")), "POST /post HTTP/1.1");
    EXPECT_NE(seen[0].find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
              std::string::npos);
}

TEST(WinInet, FailuresGiveTheEmptyBody) {
    // A port nobody listens on: bound, then released.
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    closesocket(s);
    EXPECT_EQ(webGetText(net, "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"),
              "");

    EXPECT_EQ(webGetText(net, server().base() + "/silent"), "");
    EXPECT_EQ(webGetText(net, server().base() + "/reset"), "");
}

using Clock = std::chrono::steady_clock;

TEST(WinInet, SilentServerIsCutByTheReceiveLimit) {
    WebSession session(net, WebTimeouts{2000, 2000, 500});
    const auto start = Clock::now();
    EXPECT_EQ(session.getText(server().base() + "/hang"), "");
    // Well before the server lets go (never, while the test runs).
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
}

TEST(WinInet, CancelEndsAWaitingRequestAtOnce) {
    WebSession session(net);  // the 30 s receive limit
    const std::size_t before = server().requests("/hang").size();
    std::string page = "unset";
    std::thread worker([&] { page = session.getText(server().base() + "/hang"); });
    server().awaitRequests("/hang", before + 1);
    Sleep(200);  // into the wait for the answer
    const auto start = Clock::now();
    session.cancel();
    worker.join();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(page, "");
    EXPECT_EQ(session.getText(server().base() + "/gbk"), "");
}

TEST(WinInet, RedirectLoopEndsAfterTheBound) {
    EXPECT_EQ(webGetText(net, server().base() + "/loop"), "");
    EXPECT_EQ(server().requests("/loop").size(), 6u);  // the first and 5 redirects
}

TEST(WinInet, FourThreadsShareOneSession) {
    constexpr int kThreads = 4, kEach = 10;
    WebSession session(net);
    EXPECT_EQ(fetchFromThreads(session, server().base(), "/echo/", kThreads, kEach),
              kThreads * kEach);
    EXPECT_EQ(server().mostAtOnce(), kThreads);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    server();
    return RUN_ALL_TESTS();
}
