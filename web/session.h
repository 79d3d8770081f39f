// One Internet session for a run of requests: the root handle is opened once and shared,
// up to a few requests may be under way at once from different threads, and cancel()
// cuts every one of them short.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "text/text.h"

// Limits of one exchange, in milliseconds. A silent server is cut by the receive limit.
struct WebTimeouts {
    std::uint32_t connectMs = 10000;
    std::uint32_t sendMs = 30000;
    std::uint32_t receiveMs = 30000;
};

// Redirects followed for one request; one more and the request fails.
inline constexpr int kMaxRedirects = 5;

class WebSession {
  public:
    // The session every lookup uses: the default agent and the proxy list "http=", which
    // names no proxy, so requests go direct.
    explicit WebSession(platform::Internet& net, WebTimeouts timeouts = {});
    // A root handle of the caller's making: this agent, and access through `proxy` when
    // supplied (even empty), direct when absent.
    WebSession(platform::Internet& net, std::string agent, std::optional<std::string> proxy,
               WebTimeouts timeouts = {});
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    // One exchange with the arguments of webRequest (the agent and proxy are the
    // session's). Empty body on failure, after cancel() included.
    Bytes request(const std::string& url, int method, const std::string& postText,
                  std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                  std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                  std::string& rawHeaders);

    // A GET of `url` alone: the page as GBK bytes up to the first NUL, or converted from
    // UTF-8. Empty when the request failed or was cancelled.
    std::string getText(const std::string& url);
    std::string getUtf8Text(const std::string& url);

    // From any thread: every request under way returns the empty body at once, and every
    // later one returns it without touching the network.
    void cancel();
    bool cancelled() const;

  private:
    struct Active;
    platform::InternetHandle root();
    Bytes exchange(const std::string& url, int method, const Bytes& body,
                   const std::string& headerBlock, std::string& rawHeaders, bool& failed);
    bool beginRequest(Active& active);
    bool stillOurs(const Active& active);
    void endRequest(Active& active);
    platform::InternetHandle takeConnection(const std::string& host, std::uint16_t port);
    void giveBack(const std::string& host, std::uint16_t port, platform::InternetHandle connection);

    platform::Internet& net_;
    const std::string agent_;
    const std::optional<std::string> proxy_;
    const WebTimeouts timeouts_;
    mutable std::mutex mutex_;
    platform::InternetHandle root_ = 0;
    // Connection handles not in use, by "host:port". Each serves one request at a time and
    // lives as long as the session: the handles under the root then change only here, under
    // the mutex (Wine's WinINet keeps a handle's children in a list it does not lock).
    std::multimap<std::string, platform::InternetHandle> idle_;
    bool cancelled_ = false;
    std::vector<Active*> active_;
};
