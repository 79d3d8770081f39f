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
#include "web/request.h"

extern const char* const defaultUserAgent;

class WebSession {
  public:
    // The session every lookup uses: the default agent and the proxy list "http=", which
    // names no proxy, so requests go direct. `timeouts` are those of getText/getUtf8Text.
    explicit WebSession(platform::Internet& net, WebTimeouts timeouts = {});
    // A root handle of the caller's making: this agent, and access through `proxy` when
    // supplied (even empty), direct when absent.
    WebSession(platform::Internet& net, std::string agent, std::optional<std::string> proxy,
               WebTimeouts timeouts = {});
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    // One exchange, redirects followed (at most kMaxRedirects) unless the request says
    // not; the agent and proxy are the session's. Empty body on failure, after cancel()
    // included.
    Response send(const Request& request);

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
    // One hop: no redirect followed. The response's headers, body and `opened` are set.
    Response exchange(const std::string& url, Method method, const Bytes& body,
                      const std::string& headerBlock, const WebTimeouts& timeouts);
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
