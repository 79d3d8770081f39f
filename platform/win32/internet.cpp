#include "platform/win32/internet.h"

#include <windows.h>
#include <wininet.h>

namespace platform::win32 {
namespace {

HINTERNET toHandle(InternetHandle h) {
    return reinterpret_cast<HINTERNET>(h);
}
InternetHandle fromHandle(HINTERNET h) {
    return reinterpret_cast<InternetHandle>(h);
}

}  // namespace

// Access type 3 with the proxy list "http=" and nothing behind it names no proxy for HTTP,
// and WinINet then connects directly (checked under Wine by tests/web); the callers rely on
// that, as they always supply the empty proxy.
InternetHandle WinInet::open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                             const char* bypass, std::uint32_t flags) {
    return fromHandle(InternetOpenA(agent.c_str(), accessType, proxy, bypass, flags));
}

InternetHandle WinInet::connect(InternetHandle root, const std::string& host, std::uint16_t port,
                                const char* user, const char* password, std::uint32_t service,
                                std::uint32_t flags, std::uintptr_t context) {
    return fromHandle(InternetConnectA(toHandle(root), host.c_str(), port, user, password, service,
                                       flags, context));
}

InternetHandle WinInet::openRequest(InternetHandle connection, const std::string& verb,
                                    const std::string& objectName, const std::string& version,
                                    const char* referrer, const char** acceptTypes,
                                    std::uint32_t flags, std::uintptr_t context) {
    return fromHandle(HttpOpenRequestA(toHandle(connection), verb.c_str(), objectName.c_str(),
                                       version.c_str(), referrer, acceptTypes, flags, context));
}

bool WinInet::sendRequest(InternetHandle request, const std::string& headers,
                          std::uint32_t headersLength, const void* optional,
                          std::uint32_t optionalLength) {
    return HttpSendRequestA(toHandle(request), headers.c_str(), headersLength,
                            const_cast<void*>(optional), optionalLength) != FALSE;
}

bool WinInet::readFile(InternetHandle request, void* buffer, std::uint32_t toRead,
                       std::uint32_t& read) {
    DWORD count = 0;
    BOOL ok = InternetReadFile(toHandle(request), buffer, toRead, &count);
    read = ok ? count : 0;
    return ok != FALSE;
}

bool WinInet::queryInfo(InternetHandle request, std::uint32_t infoLevel, void* buffer,
                        std::uint32_t& length, std::uint32_t* index) {
    DWORD size = length;
    DWORD at = index ? *index : 0;
    BOOL ok = HttpQueryInfoA(toHandle(request), infoLevel, buffer, &size, index ? &at : nullptr);
    length = size;
    if (index) *index = at;
    return ok != FALSE;
}

bool WinInet::setOption(InternetHandle handle, std::uint32_t option, const void* buffer,
                        std::uint32_t length) {
    return InternetSetOptionA(toHandle(handle), option, const_cast<void*>(buffer), length) != FALSE;
}

bool WinInet::closeHandle(InternetHandle handle) {
    return InternetCloseHandle(toHandle(handle)) != FALSE;
}

}  // namespace platform::win32
