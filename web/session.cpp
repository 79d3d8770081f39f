#include "web/session.h"

#include <algorithm>
#include <array>

#include "web/cookies.h"
#include "web/url.h"

const char* const defaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 2Pac; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";

namespace {

using namespace platform::wininet;

constexpr std::size_t kReadChunk = 1024;
constexpr std::size_t kRawHeaderBuffer = 5000;

void completeHeaderBlock(std::string& block, const std::string& url, const std::string& cookies) {
    if (findText(block, "Referer:") < 0) {
        if (block.empty())
            block = "Referer: " + url;
        else
            block += "\r\nReferer: " + url;
    }
    if (findText(block, "Accept:") < 0) block += "\r\nAccept: */*";
    if (findText(block, "Accept-Language:") < 0) block += "\r\nAccept-Language: zh-cn";
    if (findText(block, "Content-Type:") < 0)
        block += "\r\nContent-Type: application/x-www-form-urlencoded";
    if (!cookies.empty()) block += "\r\nCookie: " + cookies;
}

int statusCode(const std::string& rawHeaders) {
    const std::string statusLine = leftText(rawHeaders, findText(rawHeaders, "\r\n") - 1);
    return textToInt(getTextBetween(statusLine + " ", " ", " "));
}

// The Content-Length the headers declare; -1 without one.
long long contentLength(const std::string& rawHeaders) {
    for (const std::string& line : splitText(rawHeaders, "\r\n")) {
        if (toLowerAscii(leftText(line, 15)) != "content-length:") continue;
        const std::string value = trimSpaces(line.substr(15));
        if (value.empty() || value.find_first_not_of("0123456789") != std::string::npos) return -1;
        return value.size() > 15 ? -1 : std::stoll(value);
    }
    return -1;
}

// The target of a redirect response, empty when it is none (or has no Location line).
std::string redirectTarget(const std::string& rawHeaders) {
    const int status = statusCode(rawHeaders);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return {};
    for (const std::string& line : splitText(rawHeaders, "\r\n"))
        if (toLowerAscii(leftText(line, 9)) == "location:") return headerValue(line);
    return {};
}

}  // namespace

// A request under way; cancel() closes its handle and marks it so that its owner neither
// uses nor closes that handle again (the number may already belong to another request).
struct WebSession::Active {
    platform::InternetHandle request = 0;
    bool closedByCancel = false;
};

WebSession::WebSession(platform::Internet& net, WebTimeouts timeouts)
    : WebSession(net, defaultUserAgent, std::string(), timeouts) {}

WebSession::WebSession(platform::Internet& net, std::string agent, std::optional<std::string> proxy,
                       WebTimeouts timeouts)
    : net_(net), agent_(std::move(agent)), proxy_(std::move(proxy)), timeouts_(timeouts) {}

WebSession::~WebSession() {
    for (const auto& [key, connection] : idle_) net_.closeHandle(connection);
    if (root_) net_.closeHandle(root_);
}

platform::InternetHandle WebSession::takeConnection(const std::string& host, std::uint16_t port) {
    const platform::InternetHandle rootHandle = root();
    if (!rootHandle) return 0;
    std::lock_guard lock(mutex_);
    auto it = idle_.find(host + ":" + std::to_string(port));
    if (it != idle_.end()) {
        const platform::InternetHandle connection = it->second;
        idle_.erase(it);
        return connection;
    }
    return net_.connect(rootHandle, host, port, nullptr, nullptr, kServiceHttp, 0, 0);
}

void WebSession::giveBack(const std::string& host, std::uint16_t port,
                          platform::InternetHandle connection) {
    std::lock_guard lock(mutex_);
    idle_.emplace(host + ":" + std::to_string(port), connection);
}

platform::InternetHandle WebSession::root() {
    std::lock_guard lock(mutex_);
    if (cancelled_) return 0;
    if (!root_) {
        if (proxy_) {
            const std::string proxyList = "http=" + *proxy_;
            root_ = net_.open(agent_, kOpenTypeProxy, proxyList.c_str(), "", 0);
        } else {
            root_ = net_.open(agent_, kOpenTypeDirect, nullptr, nullptr, 0);
        }
    }
    return root_;
}

bool WebSession::beginRequest(Active& active) {
    std::lock_guard lock(mutex_);
    if (cancelled_) return false;
    active_.push_back(&active);
    return true;
}

bool WebSession::stillOurs(const Active& active) {
    std::lock_guard lock(mutex_);
    return !active.closedByCancel;
}

void WebSession::endRequest(Active& active) {
    std::lock_guard lock(mutex_);
    active_.erase(std::remove(active_.begin(), active_.end(), &active), active_.end());
    if (!active.closedByCancel) net_.closeHandle(active.request);
}

void WebSession::cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    for (Active* active : active_) {
        if (active->closedByCancel) continue;
        active->closedByCancel = true;
        net_.closeHandle(active->request);
    }
}

bool WebSession::cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

// One request and its response, without following redirects. A body that failed or was
// cut short comes back empty.
Response WebSession::exchange(const std::string& url, Method method, const Bytes& body,
                              const std::string& headerBlock, const WebTimeouts& timeouts) {
    Response response;
    const std::string host = urlHost(url, false);
    const auto port = static_cast<std::uint16_t>(urlPort(url));
    struct Connection {
        WebSession& session;
        const std::string& host;
        std::uint16_t port;
        platform::InternetHandle handle;
        ~Connection() {
            if (handle) session.giveBack(host, port, handle);
        }
    } connection{*this, host, port, takeConnection(host, port)};
    if (!connection.handle) return response;
    // Redirects are followed by send(), so that they can be counted.
    // Pages are always fetched afresh (reload), so a cached copy would never be read: none is
    // written. Asking for a file would make Wine's WinINet write one regardless, and its
    // cache grows without bound, each request dearer than the last.
    std::uint32_t flags = kFlagReload | kFlagNoCacheWrite | kFlagNoCookies | kFlagNoAutoRedirect;
    flags |= urlIsHttps(url) ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    Active active;
    active.request = net_.openRequest(connection.handle, method == Method::Post ? "POST" : "GET",
                                      urlPath(url), "HTTP/1.1", nullptr, nullptr, flags, 0);
    if (!active.request) return response;
    response.opened = true;
    if (!beginRequest(active)) {
        net_.closeHandle(active.request);
        return response;
    }
    struct End {
        WebSession& session;
        Active& active;
        ~End() { session.endRequest(active); }
    } end{*this, active};

    const std::uint32_t limits[][2] = {{kOptionConnectTimeout, timeouts.connectMs},
                                       {kOptionSendTimeout, timeouts.sendMs},
                                       {kOptionReceiveTimeout, timeouts.receiveMs}};
    for (const auto& [option, ms] : limits) {
        if (!stillOurs(active)) return response;
        net_.setOption(active.request, option, &ms, sizeof ms);
    }

    if (!stillOurs(active)) return response;
    const auto blockLength = static_cast<std::uint32_t>(headerBlock.size());
    static const char kNoBody[1] = {0};
    // A failed send (nothing answered within the limits) is not read from: the read would
    // wait out the limit a second time.
    const bool sent = body.empty()
                          ? net_.sendRequest(active.request, headerBlock, blockLength, kNoBody, 0)
                          : net_.sendRequest(active.request, headerBlock, blockLength, body.data(),
                                             static_cast<std::uint32_t>(body.size()));

    // A failed read ends the loop as the end of the body does, but leaves no body: a page
    // cut off by a broken connection must not pass for the whole answer.
    Bytes received;
    bool complete = sent;
    while (complete) {
        if (!stillOurs(active)) return response;
        std::array<char, kReadChunk> chunk{};
        std::uint32_t count = 0;
        if (!net_.readFile(active.request, chunk.data(), kReadChunk, count)) complete = false;
        if (!complete || count == 0) break;
        received.append(chunk.data(), std::min<std::size_t>(count, kReadChunk));
    }

    // Headers that do not fit with their NUL leave the buffer as it was: all spaces.
    if (!stillOurs(active)) return response;
    std::string rawHeaders(kRawHeaderBuffer, ' ');
    std::uint32_t length = kRawHeaderBuffer;
    if (net_.queryInfo(active.request, kQueryRawHeadersCrlf, rawHeaders.data(), length, nullptr))
        rawHeaders =
            bytesToText(rawHeaders.substr(0, std::min<std::size_t>(length, kRawHeaderBuffer)));
    response.headers = std::move(rawHeaders);
    response.status = statusCode(response.headers);
    // A body shorter than its Content-Length was cut off: WinINet ends such a read as if
    // the body had ended.
    const long long declared = contentLength(response.headers);
    if (declared >= 0 && static_cast<long long>(received.size()) < declared) complete = false;
    if (complete) response.body = std::move(received);
    return response;
}

Response WebSession::send(const Request& request) {
    std::string cookies = request.cookies;
    Bytes body = request.body;
    std::string target = request.url;
    Method hopMethod = request.method;
    for (int redirects = 0;; ++redirects) {
        // Every hop sends the caller's lines, the Referer of the first address, and the
        // cookies as they stand after the hops before it.
        std::string block = request.headers;
        completeHeaderBlock(block, request.url, cookies);
        Response hop = exchange(target, hopMethod, body, block, request.timeouts);
        // Not opened: nothing went out on this hop.
        if (!hop.opened) return Response();
        hop.sentHeaders = std::move(block);
        if (cancelled()) {
            hop.body.clear();
            return hop;
        }
        const std::string next =
            request.followRedirects ? redirectTarget(hop.headers) : std::string();
        // The Location of a response without one is no address: the rule that falls back to
        // the headers is for callers who keep one text for both.
        std::string locationOrHeaders;
        parseResponseHeaders(hop.headers, hop.newCookies, locationOrHeaders, cookies);
        if (locationOrHeaders != hop.headers) hop.location = std::move(locationOrHeaders);
        if (next.empty() || redirects == kMaxRedirects) {
            hop.cookies = cookies;
            if (!next.empty()) hop.body.clear();  // past the bound: a failure
            return hop;
        }
        if (hop.status != 307 && hop.status != 308) {
            hopMethod = Method::Get;
            body.clear();
        }
        target = resolveLocation(target, next);
    }
}

std::string WebSession::getText(const std::string& url) {
    Request request;
    request.url = url;
    request.timeouts = timeouts_;
    return bytesToText(send(request).body);
}

std::string WebSession::getUtf8Text(const std::string& url) {
    Request request;
    request.url = url;
    request.timeouts = timeouts_;
    return utf8ToGbk(send(request).body);
}
