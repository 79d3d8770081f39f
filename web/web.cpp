#include "web/web.h"

#include <array>
#include <cstdint>

#include "platform/internet.h"

const char* const defaultUserAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 2Pac; .NET CLR 2.0.50727; .NET CLR "
    "3.0.04506.648; .NET CLR 3.5.21022)";

namespace {

// WinINet's values, named as in its header (which this layer does not include).
constexpr std::uint32_t kOpenTypeDirect = 1;
constexpr std::uint32_t kOpenTypeProxy = 3;
constexpr std::uint32_t kServiceHttp = 3;
constexpr std::uint32_t kFlagReload = 0x80000000;
constexpr std::uint32_t kFlagNeedFile = 0x10;
constexpr std::uint32_t kFlagNoCookies = 0x80000;
constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;
constexpr std::uint32_t kFlagSecure = 0x800000;
constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;
constexpr std::uint32_t kQueryRawHeadersCrlf = 22;
constexpr std::size_t kReadChunk = 1024;
constexpr std::size_t kRawHeaderBuffer = 5000;

// Closes its Internet handle when it goes; declared in opening order, so the handles of
// one request close in reverse order on every path.
class OwnedHandle {
  public:
    explicit OwnedHandle(platform::InternetHandle handle) : handle_(handle) {}
    ~OwnedHandle() { close(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    platform::InternetHandle get() const { return handle_; }
    explicit operator bool() const { return handle_ != 0; }
    void close() {
        if (handle_) platform::internet().closeHandle(handle_);
        handle_ = 0;
    }

  private:
    platform::InternetHandle handle_;
};

bool isHttps(const std::string& url) {
    return toLowerAscii(leftText(url, 5)) == "https";
}

std::string userAgentOf(const std::string& extraHeaders) {
    if (findText(extraHeaders, "User-Agent:", 1, true) < 0) return defaultUserAgent;
    std::string agent = trimSpaces(getTextBetween(extraHeaders, "User-Agent:", "\r\n"));
    return agent.empty() ? headerValue(extraHeaders) : agent;
}

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

}  // namespace

Bytes webRequest(const std::string& url, int method, const std::string& postText,
                 std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                 std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                 const std::optional<std::string>& proxy, std::string& rawHeaders) {
    platform::Internet& net = platform::internet();
    const std::string verb = method == 1 ? "POST" : "GET";
    const std::string agent = userAgentOf(extraHeaders);

    Bytes body;
    {
        std::string proxyList = proxy ? "http=" + *proxy : std::string();
        OwnedHandle root(proxy ? net.open(agent, kOpenTypeProxy, proxyList.c_str(), "", 0)
                               : net.open(agent, kOpenTypeDirect, nullptr, nullptr, 0));
        if (!root) return {};
        OwnedHandle connection(net.connect(root.get(), urlHost(url, false),
                                           static_cast<std::uint16_t>(urlPort(url)), nullptr,
                                           nullptr, kServiceHttp, 0, 0));
        if (!connection) return {};
        std::uint32_t flags = kFlagReload | kFlagNeedFile | kFlagNoCookies;
        if (noRedirect) flags |= kFlagNoAutoRedirect;
        flags |= isHttps(url) ? kFlagSecure : kFlagIgnoreRedirectToHttps;
        OwnedHandle request(net.openRequest(connection.get(), verb, urlPath(url), "HTTP/1.1",
                                            nullptr, nullptr, flags, 0));
        if (!request) return {};

        completeHeaderBlock(extraHeaders, url, cookies);
        const auto blockLength = static_cast<std::uint32_t>(extraHeaders.size());
        if (method == 0) {
            static const char kNoBody[1] = {0};
            net.sendRequest(request.get(), extraHeaders, blockLength, kNoBody, 0);
        } else {
            if (postBytes.empty()) postBytes = postText;
            net.sendRequest(request.get(), extraHeaders, blockLength, postBytes.data(),
                            static_cast<std::uint32_t>(postBytes.size()));
        }

        // A failed read ends the loop as the end of the body does, but leaves no body: a
        // page cut off by a broken connection must not pass for the whole answer.
        while (true) {
            std::array<char, kReadChunk> chunk{};
            std::uint32_t count = 0;
            if (!net.readFile(request.get(), chunk.data(), kReadChunk, count)) {
                body.clear();
                break;
            }
            if (count == 0) break;
            body.append(chunk.data(), count < kReadChunk ? count : kReadChunk);
        }

        // Headers that do not fit with their NUL leave the buffer as it was: all spaces.
        rawHeaders.assign(kRawHeaderBuffer, ' ');
        std::uint32_t length = kRawHeaderBuffer;
        if (net.queryInfo(request.get(), kQueryRawHeadersCrlf, rawHeaders.data(), length, nullptr))
            rawHeaders = bytesToText(
                rawHeaders.substr(0, length < kRawHeaderBuffer ? length : kRawHeaderBuffer));

        request.close();
        connection.close();
        root.close();
    }
    parseResponseHeaders(rawHeaders, newCookies, locationOrHeaders, cookies);
    return body;
}

std::string webGetText(const std::string& url, int method, const std::string& postText,
                       std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                       std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                       const std::optional<std::string>& proxy, std::string& rawHeaders) {
    return bytesToText(webRequest(url, method, postText, cookies, newCookies, extraHeaders,
                                  locationOrHeaders, noRedirect, postBytes, proxy, rawHeaders));
}

std::string webGetUtf8Text(const std::string& url, int method, const std::string& postText,
                           std::string& cookies, std::string& newCookies, std::string& extraHeaders,
                           std::string& locationOrHeaders, bool noRedirect, Bytes& postBytes,
                           const std::optional<std::string>& proxy, std::string& rawHeaders) {
    return utf8ToGbk(webRequest(url, method, postText, cookies, newCookies, extraHeaders,
                                locationOrHeaders, noRedirect, postBytes, proxy, rawHeaders));
}

namespace {
// The arguments a wrapper gets when its caller gives only the address: the proxy is then
// supplied, as the empty text.
struct Defaults {
    std::string cookies, newCookies, extraHeaders, locationOrHeaders, rawHeaders;
    Bytes postBytes;
    std::optional<std::string> proxy = std::string();
};
}  // namespace

std::string webGetText(const std::string& url) {
    Defaults d;
    return webGetText(url, 0, "", d.cookies, d.newCookies, d.extraHeaders, d.locationOrHeaders,
                      false, d.postBytes, d.proxy, d.rawHeaders);
}

std::string webGetUtf8Text(const std::string& url) {
    Defaults d;
    return webGetUtf8Text(url, 0, "", d.cookies, d.newCookies, d.extraHeaders, d.locationOrHeaders,
                          false, d.postBytes, d.proxy, d.rawHeaders);
}

std::string urlHost(const std::string& url, bool keepPort) {
    std::string address = toLowerAscii(url);
    if (rightText(address, 1) != "/") address += "/";
    std::string host;
    if (leftText(address, 8) == "https://") {
        host = getTextBetween(address, "https://", "/");
    } else {
        if (findText(address, "http://") < 0) address = "http://" + address;
        host = getTextBetween(address, "http://", "/");
    }
    if (!keepPort) {
        int colon = findText(host, ":");
        if (colon > 0) host = leftText(host, colon - 1);
    }
    return host;
}

int urlPort(const std::string& url) {
    const std::string host = urlHost(url, true);
    int colon = findTextBackward(host, ":");
    if (colon < 0) return isHttps(url) ? 443 : 80;
    return textToInt(host.substr(static_cast<std::size_t>(colon)));
}

std::string urlPath(const std::string& url) {
    // The host is looked for behind a leading scheme, so that a host such as "h" or "tp"
    // is not found inside "http://" itself.
    const std::string scheme = toLowerAscii(leftText(url, 8));
    const int behindScheme = scheme == "https://" ? 9 : leftText(scheme, 7) == "http://" ? 8 : 1;
    int at = findText(url, urlHost(url, false), behindScheme, true);
    if (at < 0) at = 1;
    int slash = findText(url, "/", at, true);
    if (slash < 0) return "/";
    return url.substr(static_cast<std::size_t>(slash) - 1);
}
