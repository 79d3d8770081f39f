// The Internet client interface the web routine is written against: shaped like the
// WinINet calls it makes. platform/win32 passes through to WinINet; tests/fakes records.
// Handles of different requests may be used from different threads at once.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

using InternetHandle = std::uintptr_t;  // 0 is the null handle

// WinINet's values, named as in its header (which the layers above do not include);
// platform/win32 checks each against the header.
namespace wininet {
inline constexpr std::uint32_t kOpenTypeDirect = 1;             // INTERNET_OPEN_TYPE_DIRECT
inline constexpr std::uint32_t kOpenTypeProxy = 3;              // INTERNET_OPEN_TYPE_PROXY
inline constexpr std::uint32_t kServiceHttp = 3;                // INTERNET_SERVICE_HTTP
inline constexpr std::uint32_t kFlagReload = 0x80000000;        // INTERNET_FLAG_RELOAD
inline constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;  // INTERNET_FLAG_NO_CACHE_WRITE
inline constexpr std::uint32_t kFlagNoCookies = 0x80000;        // INTERNET_FLAG_NO_COOKIES
inline constexpr std::uint32_t kFlagNoAutoRedirect = 0x200000;  // INTERNET_FLAG_NO_AUTO_REDIRECT
inline constexpr std::uint32_t kFlagSecure = 0x800000;          // INTERNET_FLAG_SECURE
// INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS
inline constexpr std::uint32_t kFlagIgnoreRedirectToHttps = 0x4000;
inline constexpr std::uint32_t kQueryRawHeadersCrlf = 22;  // HTTP_QUERY_RAW_HEADERS_CRLF
inline constexpr std::uint32_t kOptionConnectTimeout = 2;  // INTERNET_OPTION_CONNECT_TIMEOUT
inline constexpr std::uint32_t kOptionSendTimeout = 5;     // INTERNET_OPTION_SEND_TIMEOUT
inline constexpr std::uint32_t kOptionReceiveTimeout = 6;  // INTERNET_OPTION_RECEIVE_TIMEOUT
}  // namespace wininet

class Internet {
  public:
    virtual ~Internet() = default;
    // proxy / bypass: nullptr passes NULL, "" passes an empty string; they differ.
    virtual InternetHandle open(const std::string& agent, std::uint32_t accessType,
                                const char* proxy, const char* bypass, std::uint32_t flags) = 0;
    virtual InternetHandle connect(InternetHandle root, const std::string& host, std::uint16_t port,
                                   const char* user, const char* password, std::uint32_t service,
                                   std::uint32_t flags, std::uintptr_t context) = 0;
    virtual InternetHandle openRequest(InternetHandle connection, const std::string& verb,
                                       const std::string& objectName, const std::string& version,
                                       const char* referrer, const char** acceptTypes,
                                       std::uint32_t flags, std::uintptr_t context) = 0;
    // optional == nullptr passes NULL; the web routine passes a non-null empty buffer for GET.
    virtual bool sendRequest(InternetHandle request, const std::string& headers,
                             std::uint32_t headersLength, const void* optional,
                             std::uint32_t optionalLength) = 0;
    virtual bool readFile(InternetHandle request, void* buffer, std::uint32_t toRead,
                          std::uint32_t& read) = 0;
    virtual bool queryInfo(InternetHandle request, std::uint32_t infoLevel, void* buffer,
                           std::uint32_t& length, std::uint32_t* index) = 0;
    // Shaped like InternetSetOption: the option number and its value's bytes.
    virtual bool setOption(InternetHandle handle, std::uint32_t option, const void* buffer,
                           std::uint32_t length) = 0;
    // From another thread this ends a call under way on the handle: it returns failing.
    virtual bool closeHandle(InternetHandle handle) = 0;
};

}  // namespace platform
