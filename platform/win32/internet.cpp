// Requests run in WinINet's asynchronous mode, each call waited for here, so the calls stay
// blocking for the caller. The reason is closeHandle: a call waiting on a request must
// return as soon as another thread closes that request. WinINet documents that closing
// the handle does so for its blocking calls, but Wine's WinINet keeps waiting in the
// socket until the receive time-out; a wait of our own ends at once either way.
#include "platform/win32/internet.h"

#include <windows.h>
#include <wininet.h>

#include <condition_variable>
#include <thread>
#include <cstring>
#include <string>

namespace platform::win32 {

// One request's state shared with WinINet's threads. WinINet may finish an operation
// after its caller has given up (the request closed under it), writing into the buffers
// it was given, so those live here, and this lives until WinINet reports the handle gone.
struct WinInet::Pending {
    std::mutex mutex;
    std::condition_variable changed;
    bool complete = false;
    bool closed = false;
    bool waiting = false;  // a caller is in wait()
    bool gone = false;     // WinINet has let go of the handle
    DWORD goneOnThread = 0;
    DWORD_PTR result = 0;
    std::string headers;
    std::string optional;
    std::string buffer;
    DWORD count = 0;

    void start() {
        std::lock_guard lock(mutex);
        complete = false;
    }
    // True when the operation ended well; false when it failed or the request was closed.
    bool wait() {
        std::unique_lock lock(mutex);
        waiting = true;
        changed.wait(lock, [&] { return complete || closed; });
        waiting = false;
        return !closed && result != 0;
    }
    // Wakes a caller waiting on the request; tells whether there was one.
    bool close() {
        std::lock_guard lock(mutex);
        closed = true;
        changed.notify_all();
        return waiting;
    }
    void letGo() {
        std::lock_guard lock(mutex);
        closed = true;
        gone = true;
        goneOnThread = GetCurrentThreadId();
        changed.notify_all();
    }
    // Waits (a bounded while) until WinINet has let go of the handle; when that happened on
    // another thread, it is still finishing there, so that thread gets the processor.
    void awaitGone() {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, std::chrono::seconds(2), [&] { return gone; });
        const bool elsewhere = gone && goneOnThread != GetCurrentThreadId();
        lock.unlock();
        if (elsewhere) SwitchToThread();
    }
};

namespace {

using PendingHolder = std::shared_ptr<WinInet::Pending>;

HINTERNET toHandle(InternetHandle h) {
    return reinterpret_cast<HINTERNET>(h);
}
InternetHandle fromHandle(HINTERNET h) {
    return reinterpret_cast<InternetHandle>(h);
}

// The context of each request handle is a heap holder of its Pending, released with the
// last callback WinINet makes for that handle.
void CALLBACK statusCallback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    auto* holder = reinterpret_cast<PendingHolder*>(context);
    if (!holder) return;
    WinInet::Pending& pending = **holder;
    if (status == INTERNET_STATUS_REQUEST_COMPLETE) {
        std::lock_guard lock(pending.mutex);
        pending.complete = true;
        pending.result = static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwResult;
        pending.changed.notify_all();
    } else if (status == INTERNET_STATUS_HANDLE_CLOSING) {
        pending.letGo();
        delete holder;
    }
}

}  // namespace

// Access type 3 with the proxy list "http=" and nothing behind it names no proxy for HTTP,
// and WinINet then connects directly (checked under Wine by tests/web); the callers rely on
// that, as they always supply the empty proxy.
InternetHandle WinInet::open(const std::string& agent, std::uint32_t accessType, const char* proxy,
                             const char* bypass, std::uint32_t flags) {
    HINTERNET root =
        InternetOpenA(agent.c_str(), accessType, proxy, bypass, flags | INTERNET_FLAG_ASYNC);
    if (root) InternetSetStatusCallbackA(root, statusCallback);
    return fromHandle(root);
}

InternetHandle WinInet::connect(InternetHandle root, const std::string& host, std::uint16_t port,
                                const char* user, const char* password, std::uint32_t service,
                                std::uint32_t flags, std::uintptr_t context) {
    return fromHandle(InternetConnectA(toHandle(root), host.c_str(), port, user, password, service,
                                       flags, context));
}

// The caller's context is not passed on: WinINet's context of a request is its Pending.
InternetHandle WinInet::openRequest(InternetHandle connection, const std::string& verb,
                                    const std::string& objectName, const std::string& version,
                                    const char* referrer, const char** acceptTypes,
                                    std::uint32_t flags, std::uintptr_t) {
    auto* holder = new PendingHolder(std::make_shared<Pending>());
    HINTERNET request =
        HttpOpenRequestA(toHandle(connection), verb.c_str(), objectName.c_str(), version.c_str(),
                         referrer, acceptTypes, flags, reinterpret_cast<DWORD_PTR>(holder));
    if (!request) {
        delete holder;
        return 0;
    }
    std::lock_guard lock(mutex_);
    pending_[fromHandle(request)] = *holder;
    return fromHandle(request);
}

std::shared_ptr<WinInet::Pending> WinInet::pendingOf(InternetHandle request) {
    std::lock_guard lock(mutex_);
    auto it = pending_.find(request);
    return it == pending_.end() ? nullptr : it->second;
}

bool WinInet::sendRequest(InternetHandle request, const std::string& headers,
                          std::uint32_t headersLength, const void* optional,
                          std::uint32_t optionalLength) {
    std::shared_ptr<Pending> pending = pendingOf(request);
    if (!pending) return false;
    pending->start();
    pending->headers.assign(headers, 0, headersLength);
    // A non-null pointer even when empty: that is what the caller asked for.
    pending->optional.assign(optional ? static_cast<const char*>(optional) : "",
                             optional ? optionalLength : 0);
    if (HttpSendRequestA(toHandle(request), pending->headers.c_str(), headersLength,
                         optional ? pending->optional.data() : nullptr, optionalLength))
        return true;
    return GetLastError() == ERROR_IO_PENDING && pending->wait();
}

bool WinInet::readFile(InternetHandle request, void* buffer, std::uint32_t toRead,
                       std::uint32_t& read) {
    read = 0;
    std::shared_ptr<Pending> pending = pendingOf(request);
    if (!pending) return false;
    pending->start();
    pending->buffer.assign(toRead, '\0');
    pending->count = 0;
    if (!InternetReadFile(toHandle(request), pending->buffer.data(), toRead, &pending->count) &&
        (GetLastError() != ERROR_IO_PENDING || !pending->wait()))
        return false;
    std::lock_guard lock(pending->mutex);
    read = pending->count < toRead ? pending->count : toRead;
    std::memcpy(buffer, pending->buffer.data(), read);
    return true;
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
    std::shared_ptr<Pending> pending;
    {
        std::lock_guard lock(mutex_);
        auto it = pending_.find(handle);
        if (it != pending_.end()) {
            pending = it->second;
            pending_.erase(it);
        }
    }
    // A caller waiting on the request (this close is a cancel) returns now, though WinINet
    // may still be finishing underneath.
    const bool cancelling = pending && pending->close();
    const bool closed = InternetCloseHandle(toHandle(handle)) != FALSE;
    // The owner closing its own request waits until WinINet has let go of it: Wine's WinINet
    // changes the lists of a handle's children unlocked, so a request still being torn down
    // on one of its threads must not meet the next request on the same connection.
    if (pending && !cancelling && closed) pending->awaitGone();
    return closed;
}

}  // namespace platform::win32
