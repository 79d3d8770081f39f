// A recording Internet for native tests: every call is kept with its arguments, and the
// responses come from a handler chosen by host, port and object name.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/internet.h"
#include "text/text.h"

namespace fake {

struct InternetCall {
    std::string name;                     // "open", "connect", "openRequest", "send", "read", ...
    std::vector<std::string> args;        // each argument as text; a null pointer as "<null>"
    platform::InternetHandle handle = 0;  // the handle the call returned or worked on
};

struct HttpResponse {
    Bytes body;
    std::string rawHeaders = "HTTP/1.1 200 OK\r\n\r\n";
    bool failRequest = false;          // HttpOpenRequest gives a null handle
    std::function<void()> beforeBody;  // runs when the first read arrives (a slow server)
    // A silent server: the first read waits until the handle is closed or the receive
    // time-out set on it runs out, and then fails.
    bool stall = false;
    // The connection breaks once this many body bytes were read: the next read fails.
    std::size_t resetAfter = static_cast<std::size_t>(-1);
};

class Internet : public platform::Internet {
  public:
    platform::InternetHandle open(const std::string& agent, std::uint32_t accessType,
                                  const char* proxy, const char* bypass,
                                  std::uint32_t flags) override;
    platform::InternetHandle connect(platform::InternetHandle root, const std::string& host,
                                     std::uint16_t port, const char* user, const char* password,
                                     std::uint32_t service, std::uint32_t flags,
                                     std::uintptr_t context) override;
    platform::InternetHandle openRequest(platform::InternetHandle connection,
                                         const std::string& verb, const std::string& objectName,
                                         const std::string& version, const char* referrer,
                                         const char** acceptTypes, std::uint32_t flags,
                                         std::uintptr_t context) override;
    bool sendRequest(platform::InternetHandle request, const std::string& headers,
                     std::uint32_t headersLength, const void* optional,
                     std::uint32_t optionalLength) override;
    bool readFile(platform::InternetHandle request, void* buffer, std::uint32_t toRead,
                  std::uint32_t& read) override;
    bool queryInfo(platform::InternetHandle request, std::uint32_t infoLevel, void* buffer,
                   std::uint32_t& length, std::uint32_t* index) override;
    bool setOption(platform::InternetHandle handle, std::uint32_t option, const void* buffer,
                   std::uint32_t length) override;
    bool closeHandle(platform::InternetHandle handle) override;

    // Chooses the response of a request; unset gives an empty 200.
    std::function<HttpResponse(const std::string& host, int port, const std::string& object)>
        handler;
    bool failOpen = false;
    bool failConnect = false;

    std::vector<InternetCall> calls();
    std::vector<std::string> requests();  // "host" + "object" of every opened request, in order
    int openHandles();                    // handles opened and not yet closed
    void reset();

  private:
    struct Handle {
        std::string kind, host, object;
        int port = 0;
        HttpResponse response;
        std::size_t readOffset = 0;
        bool started = false;
        std::uint32_t receiveTimeoutMs = 0;  // 0: none set
    };
    platform::InternetHandle add(Handle h);
    std::mutex mutex_;
    std::condition_variable closed_;
    std::vector<InternetCall> calls_;
    std::vector<std::string> requests_;
    std::map<platform::InternetHandle, Handle> handles_;
    platform::InternetHandle next_ = 0x100;
};

}  // namespace fake
