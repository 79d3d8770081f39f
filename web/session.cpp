#include "web/session.h"

#include <algorithm>
#include <array>

#include "web/web.h"

namespace {

// WinINet's values, named as in its header (which this layer does not include).
constexpr std::uint32_t kOpenTypeDirect = 1;
constexpr std::uint32_t kOpenTypeProxy = 3;
constexpr std::uint32_t kServiceHttp = 3;
constexpr std::uint32_t kFlagReload = 0x80000000;
constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;
constexpr std::uint32_t kFlagNoCookies = 0x80000;
constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;
constexpr std::uint32_t kFlagSecure = 0x800000;
constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;
constexpr std::uint32_t kQueryRawHeadersCrlf = 22;
constexpr std::uint32_t kOptionConnectTimeout = 2;
constexpr std::uint32_t kOptionSendTimeout = 5;
constexpr std::uint32_t kOptionReceiveTimeout = 6;
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

// The target of a redirect response, empty when it is none (or has no Location line).
std::string redirectTarget(const std::string& rawHeaders) {
    const int status = statusCode(rawHeaders);
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return {};
    for (const std::string& line : splitText(rawHeaders, "\r\n"))
        if (toLowerAscii(leftText(line, 9)) == "location:") return headerValue(line);
    return {};
}

// A Location value made absolute against the address that answered with it.
std::string resolveLocation(const std::string& base, const std::string& location) {
    const std::string lowered = toLowerAscii(location);
    if (leftText(lowered, 7) == "http://" || leftText(lowered, 8) == "https://") return location;
    const std::string scheme = urlIsHttps(base) ? "https:" : "http:";
    if (leftText(location, 2) == "//") return scheme + location;
    const std::string origin = scheme + "//" + urlHost(base, true);
    if (leftText(location, 1) == "/") return origin + location;
    std::string directory = urlPath(base);
    directory = directory.substr(0, directory.find('?'));
    directory = directory.substr(0, directory.rfind('/') + 1);
    return origin + directory + location;
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

// One request and its response, without following redirects. `opened` tells whether the
// request could be opened at all; a body that failed or was cut short comes back empty.
Bytes WebSession::exchange(const std::string& url, int method, const Bytes& body,
                           const std::string& headerBlock, std::string& rawHeaders, bool& opened) {
    opened = false;
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
    if (!connection.handle) return {};
    // Redirects are followed by request(), so that they can be counted.
    // Pages are always fetched afresh (reload), so a cached copy would never be read: none is
    // written. Asking for a file would make Wine's WinINet write one regardless, and its
    // cache grows without bound, each request dearer than the last.
    std::uint32_t flags = kFlagReload | kFlagNoCacheWrite | kFlagNoCookies | kFlagNoAutoRedirect;
    flags |= urlIsHttps(url) ? kFlagSecure : kFlagIgnoreRedirectToHttps;
    Active active;
    active.request = net_.openRequest(connection.handle, method == 1 ? "POST" : "GET", urlPath(url),
                                      "HTTP/1.1", nullptr, nullptr, flags, 0);
    if (!active.request) return {};
    opened = true;
    if (!beginRequest(active)) {
        net_.closeHandle(active.request);
        return {};
    }
    struct End {
        WebSession& session;
        Active& active;
        ~End() { session.endRequest(active); }
    } end{*this, active};

    const std::uint32_t limits[][2] = {{kOptionConnectTimeout, timeouts_.connectMs},
                                       {kOptionSendTimeout, timeouts_.sendMs},
                                       {kOptionReceiveTimeout, timeouts_.receiveMs}};
    for (const auto& [option, ms] : limits) {
        if (!stillOurs(active)) return {};
        net_.setOption(active.request, option, &ms, sizeof ms);
    }

    if (!stillOurs(active)) return {};
    const auto blockLength = static_cast<std::uint32_t>(headerBlock.size());
    static const char kNoBody[1] = {0};
    // A failed send (nothing answered within the limits) is not read from: the read would
    // wait out the limit a second time.
    const bool sent = method == 0
                          ? net_.sendRequest(active.request, headerBlock, blockLength, kNoBody, 0)
                          : net_.sendRequest(active.request, headerBlock, blockLength, body.data(),
                                             static_cast<std::uint32_t>(body.size()));

    // A failed read ends the loop as the end of the body does, but leaves no body: a page
    // cut off by a broken connection must not pass for the whole answer.
    Bytes received;
    bool complete = sent;
    while (complete) {
        if (!stillOurs(active)) return {};
        std::array<char, kReadChunk> chunk{};
        std::uint32_t count = 0;
        if (!net_.readFile(active.request, chunk.data(), kReadChunk, count)) complete = false;
        if (!complete || count == 0) break;
        received.append(chunk.data(), std::min<std::size_t>(count, kReadChunk));
    }

    // Headers that do not fit with their NUL leave the buffer as it was: all spaces.
    if (!stillOurs(active)) return {};
    rawHeaders.assign(kRawHeaderBuffer, ' ');
    std::uint32_t length = kRawHeaderBuffer;
    if (net_.queryInfo(active.request, kQueryRawHeadersCrlf, rawHeaders.data(), length, nullptr))
        rawHeaders =
            bytesToText(rawHeaders.substr(0, std::min<std::size_t>(length, kRawHeaderBuffer)));
    if (!complete) return {};
    return received;
}

Bytes WebSession::request(const std::string& url, int method, const std::string& postText,
                          std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                          std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                          std::string& rawHeaders) {
    const std::string given = extraHeaders;
    Bytes body = method == 0 ? Bytes() : postBytes.empty() ? Bytes(postText) : postBytes;
    std::string target = url;
    int hopMethod = method;
    for (int redirects = 0;; ++redirects) {
        // Every hop sends the caller's lines, the Referer of the first address, and the
        // cookies as they stand after the hops before it.
        std::string block = given;
        completeHeaderBlock(block, url, cookies);
        std::string hopHeaders;
        bool opened = false;
        Bytes received = exchange(target, hopMethod, body, block, hopHeaders, opened);
        // Not opened: nothing went out on this hop (on the first, the caller's texts are
        // left as they were).
        if (!opened) return {};
        extraHeaders = block;
        if (method != 0 && redirects == 0) postBytes = body;
        if (cancelled()) return {};
        rawHeaders = hopHeaders;

        const std::string next = noRedirect ? std::string() : redirectTarget(hopHeaders);
        if (next.empty() || redirects == kMaxRedirects) {
            parseResponseHeaders(rawHeaders, newCookies, locationOrHeaders, cookies);
            return next.empty() ? received : Bytes();  // past the bound: a failure
        }
        std::string hopCookies, hopLocation;
        parseResponseHeaders(hopHeaders, hopCookies, hopLocation, cookies);
        const int status = statusCode(hopHeaders);
        if (status != 307 && status != 308) {
            hopMethod = 0;
            body.clear();
        }
        target = resolveLocation(target, next);
    }
}

std::string WebSession::getText(const std::string& url) {
    std::string cookies, newCookies, extraHeaders, locationOrHeaders, rawHeaders;
    Bytes postBytes;
    return bytesToText(request(url, 0, "", cookies, newCookies, extraHeaders, locationOrHeaders,
                               false, postBytes, rawHeaders));
}

std::string WebSession::getUtf8Text(const std::string& url) {
    std::string cookies, newCookies, extraHeaders, locationOrHeaders, rawHeaders;
    Bytes postBytes;
    return utf8ToGbk(request(url, 0, "", cookies, newCookies, extraHeaders, locationOrHeaders,
                             false, postBytes, rawHeaders));
}
