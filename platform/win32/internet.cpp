// The Internet interface passed straight through to WinINet, installed at start-up.
#include "platform/internet.h"

#include <windows.h>
#include <wininet.h>

namespace {

HINTERNET toHandle(platform::InternetHandle h) {
    return reinterpret_cast<HINTERNET>(h);
}
platform::InternetHandle fromHandle(HINTERNET h) {
    return reinterpret_cast<platform::InternetHandle>(h);
}

class WinInet : public platform::Internet {
  public:
    // Access type 3 with the proxy list "http=" and nothing behind it names no proxy for
    // HTTP, and WinINet then connects directly (checked under Wine by tests/web); the
    // callers rely on that, as they always supply the empty proxy.
    platform::InternetHandle open(const std::string& agent, std::uint32_t accessType,
                                  const char* proxy, const char* bypass,
                                  std::uint32_t flags) override {
        return fromHandle(InternetOpenA(agent.c_str(), accessType, proxy, bypass, flags));
    }
    platform::InternetHandle connect(platform::InternetHandle root, const std::string& host,
                                     std::uint16_t port, const char* user, const char* password,
                                     std::uint32_t service, std::uint32_t flags,
                                     std::uintptr_t context) override {
        return fromHandle(InternetConnectA(toHandle(root), host.c_str(), port, user, password,
                                           service, flags, context));
    }
    platform::InternetHandle openRequest(platform::InternetHandle connection,
                                         const std::string& verb, const std::string& objectName,
                                         const std::string& version, const char* referrer,
                                         const char** acceptTypes, std::uint32_t flags,
                                         std::uintptr_t context) override {
        return fromHandle(HttpOpenRequestA(toHandle(connection), verb.c_str(), objectName.c_str(),
                                           version.c_str(), referrer, acceptTypes, flags, context));
    }
    bool sendRequest(platform::InternetHandle request, const std::string& headers,
                     std::uint32_t headersLength, const void* optional,
                     std::uint32_t optionalLength) override {
        return HttpSendRequestA(toHandle(request), headers.c_str(), headersLength,
                                const_cast<void*>(optional), optionalLength) != FALSE;
    }
    bool readFile(platform::InternetHandle request, void* buffer, std::uint32_t toRead,
                  std::uint32_t& read) override {
        DWORD count = 0;
        BOOL ok = InternetReadFile(toHandle(request), buffer, toRead, &count);
        read = ok ? count : 0;
        return ok != FALSE;
    }
    bool queryInfo(platform::InternetHandle request, std::uint32_t infoLevel, void* buffer,
                   std::uint32_t& length, std::uint32_t* index) override {
        DWORD size = length;
        DWORD at = index ? *index : 0;
        BOOL ok =
            HttpQueryInfoA(toHandle(request), infoLevel, buffer, &size, index ? &at : nullptr);
        length = size;
        if (index) *index = at;
        return ok != FALSE;
    }
    bool closeHandle(platform::InternetHandle handle) override {
        return InternetCloseHandle(toHandle(handle)) != FALSE;
    }
};

WinInet g_winInet;

struct Install {
    Install() { platform::setInternet(&g_winInet); }
} g_install;

}  // namespace
