// The Internet interface over WinINet; the program's services object holds one.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "platform/internet.h"

namespace platform::win32 {

class WinInet final : public Internet {
  public:
    // Connections to one server that open() makes sure the process may have at once.
    static constexpr unsigned long kLeastConnectionsPerServer = 4;

    InternetHandle open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                        const char* bypass, std::uint32_t flags) override;
    InternetHandle connect(InternetHandle root, const std::string& host, std::uint16_t port,
                           const char* user, const char* password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t context) override;
    InternetHandle openRequest(InternetHandle connection, const std::string& verb,
                               const std::string& objectName, const std::string& version,
                               const char* referrer, const char** acceptTypes, std::uint32_t flags,
                               std::uintptr_t context) override;
    bool sendRequest(InternetHandle request, const std::string& headers,
                     std::uint32_t headersLength, const void* optional,
                     std::uint32_t optionalLength) override;
    bool readFile(InternetHandle request, void* buffer, std::uint32_t toRead,
                  std::uint32_t& read) override;
    bool queryInfo(InternetHandle request, std::uint32_t infoLevel, void* buffer,
                   std::uint32_t& length, std::uint32_t* index) override;
    bool setOption(InternetHandle handle, std::uint32_t option, const void* buffer,
                   std::uint32_t length) override;
    bool closeHandle(InternetHandle handle) override;

    struct Pending;

  private:
    std::shared_ptr<Pending> pendingOf(InternetHandle request);
    std::mutex mutex_;
    std::map<InternetHandle, std::shared_ptr<Pending>> pending_;  // by request handle
};

}  // namespace platform::win32
