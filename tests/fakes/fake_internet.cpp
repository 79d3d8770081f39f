#include "tests/fakes/fake_internet.h"

#include <algorithm>
#include <cstring>

namespace fake {
namespace {
std::string orNull(const char* s) {
    return s ? std::string(s) : std::string("<null>");
}
constexpr std::uint32_t kOptionReceiveTimeout = platform::wininet::kOptionReceiveTimeout;
}  // namespace

platform::InternetHandle Internet::add(Handle h) {
    platform::InternetHandle id = next_++;
    handles_.emplace(id, std::move(h));
    return id;
}

platform::InternetHandle Internet::open(const std::string& agent, std::uint32_t accessType,
                                        const char* proxy, const char* bypass,
                                        std::uint32_t flags) {
    std::lock_guard lock(mutex_);
    platform::InternetHandle h = failOpen ? 0 : add({"root", "", "", 0, {}, 0, false});
    calls_.push_back(
        {"open",
         {agent, std::to_string(accessType), orNull(proxy), orNull(bypass), std::to_string(flags)},
         h});
    return h;
}

platform::InternetHandle Internet::connect(platform::InternetHandle root, const std::string& host,
                                           std::uint16_t port, const char* user,
                                           const char* password, std::uint32_t service,
                                           std::uint32_t flags, std::uintptr_t context) {
    std::lock_guard lock(mutex_);
    platform::InternetHandle h = (failConnect || !handles_.count(root))
                                     ? 0
                                     : add({"connection", host, "", port, {}, 0, false});
    calls_.push_back(
        {"connect",
         {std::to_string(root), host, std::to_string(port), orNull(user), orNull(password),
          std::to_string(service), std::to_string(flags), std::to_string(context)},
         h});
    return h;
}

platform::InternetHandle Internet::openRequest(platform::InternetHandle connection,
                                               const std::string& verb,
                                               const std::string& objectName,
                                               const std::string& version, const char* referrer,
                                               const char** acceptTypes, std::uint32_t flags,
                                               std::uintptr_t context) {
    std::unique_lock lock(mutex_);
    auto it = handles_.find(connection);
    platform::InternetHandle h = 0;
    if (it != handles_.end()) {
        std::string host = it->second.host;
        int port = it->second.port;
        auto chooser = handler;
        lock.unlock();
        HttpResponse response = chooser ? chooser(host, port, objectName) : HttpResponse{};
        lock.lock();
        if (!response.failRequest) {
            h = add({"request", host, objectName, port, std::move(response), 0, false});
            requests_.push_back(host + objectName);
        }
    }
    calls_.push_back({"openRequest",
                      {std::to_string(connection), verb, objectName, version, orNull(referrer),
                       acceptTypes ? std::string("<types>") : std::string("<null>"),
                       std::to_string(flags), std::to_string(context)},
                      h});
    return h;
}

bool Internet::sendRequest(platform::InternetHandle request, const std::string& headers,
                           std::uint32_t headersLength, const void* optional,
                           std::uint32_t optionalLength) {
    std::lock_guard lock(mutex_);
    std::string body = optional ? std::string(static_cast<const char*>(optional), optionalLength)
                                : std::string("<null>");
    calls_.push_back(
        {"send",
         {headers, std::to_string(headersLength), body, std::to_string(optionalLength)},
         request});
    return handles_.count(request) != 0;
}

bool Internet::readFile(platform::InternetHandle request, void* buffer, std::uint32_t toRead,
                        std::uint32_t& read) {
    std::unique_lock lock(mutex_);
    read = 0;
    auto it = handles_.find(request);
    if (it == handles_.end()) return false;
    if (!it->second.started) {
        it->second.started = true;
        auto before = it->second.response.beforeBody;
        if (before) {
            lock.unlock();
            before();
            lock.lock();
            it = handles_.find(request);
            if (it == handles_.end()) return false;
        }
    }
    if (it->second.response.stall) {
        const std::uint32_t limit = it->second.receiveTimeoutMs;
        auto gone = [&] { return handles_.count(request) == 0; };
        if (limit)
            closed_.wait_for(lock, std::chrono::milliseconds(limit), gone);
        else
            closed_.wait(lock, gone);
        calls_.push_back({"read", {std::to_string(toRead), "<stalled>"}, request});
        return false;
    }
    Handle& h = it->second;
    if (h.readOffset >= h.response.resetAfter && h.readOffset < h.response.body.size()) {
        calls_.push_back({"read", {std::to_string(toRead), "<reset>"}, request});
        return false;
    }
    std::size_t left = std::min(h.response.body.size(), h.response.resetAfter) - h.readOffset;
    std::size_t n = std::min<std::size_t>(left, toRead);
    std::memcpy(buffer, h.response.body.data() + h.readOffset, n);
    h.readOffset += n;
    read = static_cast<std::uint32_t>(n);
    calls_.push_back({"read", {std::to_string(toRead), std::to_string(n)}, request});
    return true;
}

bool Internet::queryInfo(platform::InternetHandle request, std::uint32_t infoLevel, void* buffer,
                         std::uint32_t& length, std::uint32_t* index) {
    std::lock_guard lock(mutex_);
    calls_.push_back({"queryInfo",
                      {std::to_string(infoLevel), std::to_string(length),
                       index ? std::string("<index>") : std::string("<null>")},
                      request});
    auto it = handles_.find(request);
    if (it == handles_.end()) return false;
    const std::string& raw = it->second.response.rawHeaders;
    // Like WinINet: the text and its NUL must fit, else nothing is written.
    if (raw.size() + 1 > length) {
        length = static_cast<std::uint32_t>(raw.size() + 1);
        return false;
    }
    std::memcpy(buffer, raw.c_str(), raw.size() + 1);
    length = static_cast<std::uint32_t>(raw.size());
    return true;
}

bool Internet::setOption(platform::InternetHandle handle, std::uint32_t option, const void* buffer,
                         std::uint32_t length) {
    std::lock_guard lock(mutex_);
    std::uint32_t value = 0;
    if (buffer && length == sizeof value) std::memcpy(&value, buffer, sizeof value);
    calls_.push_back({"setOption", {std::to_string(option), std::to_string(value)}, handle});
    auto it = handles_.find(handle);
    if (it == handles_.end()) return false;
    if (option == kOptionReceiveTimeout) it->second.receiveTimeoutMs = value;
    return true;
}

bool Internet::closeHandle(platform::InternetHandle handle) {
    std::lock_guard lock(mutex_);
    calls_.push_back({"close", {std::to_string(handle)}, handle});
    const bool known = handles_.erase(handle) != 0;
    closed_.notify_all();
    return known;
}

std::vector<InternetCall> Internet::calls() {
    std::lock_guard lock(mutex_);
    return calls_;
}

std::vector<std::string> Internet::requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

int Internet::openHandles() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(handles_.size());
}

void Internet::reset() {
    std::lock_guard lock(mutex_);
    calls_.clear();
    requests_.clear();
    handles_.clear();
}

}  // namespace fake
