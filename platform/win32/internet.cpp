// Requests run in WinINet's asynchronous mode, each call waited for here, so the calls stay
// blocking for the caller. The reason is closeHandle: a call waiting on a request must
// return as soon as another thread closes that request. WinINet documents that closing
// the handle does so for its blocking calls, but Wine's WinINet keeps waiting in the
// socket until the receive time-out; a wait of our own ends at once either way.
#include "platform/win32/internet.h"

#include <windows.h>
#include <wininet.h>

#include <cstring>
#include <string>
#include <utility>

#include "platform/win32/system_call.h"

namespace platform::win32 {

static_assert(wininet::kOpenTypeDirect == INTERNET_OPEN_TYPE_DIRECT);
static_assert(wininet::kOpenTypeProxy == INTERNET_OPEN_TYPE_PROXY);
static_assert(wininet::kServiceHttp == INTERNET_SERVICE_HTTP);
static_assert(wininet::kFlagReload == INTERNET_FLAG_RELOAD);
static_assert(wininet::kFlagNoCacheWrite == INTERNET_FLAG_NO_CACHE_WRITE);
static_assert(wininet::kFlagNoCookies == INTERNET_FLAG_NO_COOKIES);
static_assert(wininet::kFlagNoAutoRedirect == INTERNET_FLAG_NO_AUTO_REDIRECT);
static_assert(wininet::kFlagSecure == INTERNET_FLAG_SECURE);
static_assert(wininet::kFlagIgnoreRedirectToHttps == INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
static_assert(wininet::kQueryRawHeadersCrlf == HTTP_QUERY_RAW_HEADERS_CRLF);
static_assert(wininet::kOptionConnectTimeout == INTERNET_OPTION_CONNECT_TIMEOUT);
static_assert(wininet::kOptionSendTimeout == INTERNET_OPTION_SEND_TIMEOUT);
static_assert(wininet::kOptionReceiveTimeout == INTERNET_OPTION_RECEIVE_TIMEOUT);

namespace {

// WinINet is loaded on the first request (the public address, once the window shows), not
// with the program: every DLL in the import table, with its own imports, is loaded before
// the window can show. Without it every call fails as a refused request does.
template <class F, class... Arguments>
auto callWinInet(const char* name, Arguments&&... arguments) {
    F* routine = ::win32::systemCall<F>(L"wininet.dll", name);
    using Result = decltype(routine(std::forward<Arguments>(arguments)...));
    if (!routine) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return Result{};
    }
    return routine(std::forward<Arguments>(arguments)...);
}

}  // namespace

// One request's state shared with WinINet's threads. WinINet may finish an operation
// after its caller has given up (the request closed under it), writing into the buffers
// it was given, so those live here, and this lives until WinINet reports the handle gone.
// Its lock and condition are the system's own: the C++ ones of our runtime make a kernel
// object for each new condition under one process-wide spin lock, and with a new Pending
// for every request the lanes of a batch spent half their time spinning there.
struct WinInet::Pending {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    bool complete = false;
    bool closed = false;
    bool waiting = false;  // a caller is in wait()
    bool gone = false;     // WinINet has let go of the handle
    DWORD goneOnThread = 0;
    DWORD_PTR result = 0;
    std::string headers;
    std::string optional;
    std::string buffer;
    // A read's buffer and count: WinINet writes the count when the read completes, which
    // may be on its own thread (see readFile).
    INTERNET_BUFFERSA read{};
    DWORD_PTR context = 0;  // the request handle's context

    struct Locked {
        explicit Locked(Pending& p) : lock(p.lock) { AcquireSRWLockExclusive(&lock); }
        ~Locked() { ReleaseSRWLockExclusive(&lock); }
        Locked(const Locked&) = delete;
        Locked& operator=(const Locked&) = delete;
        SRWLOCK& lock;
    };

    void start() {
        Locked locked(*this);
        complete = false;
    }
    // True when the operation ended well; false when it failed or the request was closed.
    bool wait() {
        Locked locked(*this);
        waiting = true;
        while (!complete && !closed) SleepConditionVariableSRW(&changed, &lock, INFINITE, 0);
        waiting = false;
        return !closed && result != 0;
    }
    void finish(DWORD_PTR operationResult) {
        Locked locked(*this);
        complete = true;
        result = operationResult;
        WakeAllConditionVariable(&changed);
    }
    // Wakes a caller waiting on the request; tells whether there was one.
    bool close() {
        Locked locked(*this);
        closed = true;
        WakeAllConditionVariable(&changed);
        return waiting;
    }
    void letGo() {
        Locked locked(*this);
        closed = true;
        gone = true;
        goneOnThread = GetCurrentThreadId();
        WakeAllConditionVariable(&changed);
    }
    // Waits (a bounded while) until WinINet has let go of the handle; when that happened on
    // another thread, it is still finishing there, so that thread gets the processor.
    void awaitGone() {
        bool elsewhere;
        {
            Locked locked(*this);
            const ULONGLONG end = GetTickCount64() + 2000;
            for (ULONGLONG now = GetTickCount64(); !gone && now < end; now = GetTickCount64())
                SleepConditionVariableSRW(&changed, &lock, static_cast<DWORD>(end - now), 0);
            elsewhere = gone && goneOnThread != GetCurrentThreadId();
        }
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
        pending.finish(static_cast<const INTERNET_ASYNC_RESULT*>(info)->dwResult);
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
    // A batch keeps 4 requests in flight to one server; WinINet allows 2 per server in some
    // settings, which would leave two of them waiting. The limit is the process's: raised
    // only, never lowered.
    ULONG connections = 0;
    DWORD size = sizeof connections;
    if (callWinInet<decltype(InternetQueryOptionA)>("InternetQueryOptionA", nullptr,
                                                    INTERNET_OPTION_MAX_CONNS_PER_SERVER,
                                                    &connections, &size) &&
        connections < kLeastConnectionsPerServer) {
        connections = kLeastConnectionsPerServer;
        callWinInet<decltype(InternetSetOptionA)>("InternetSetOptionA", nullptr,
                                                  INTERNET_OPTION_MAX_CONNS_PER_SERVER,
                                                  &connections, sizeof connections);
    }
    HINTERNET root = callWinInet<decltype(InternetOpenA)>(
        "InternetOpenA", agent.c_str(), accessType, proxy, bypass, flags | INTERNET_FLAG_ASYNC);
    if (root)
        callWinInet<decltype(InternetSetStatusCallbackA)>("InternetSetStatusCallbackA", root,
                                                          statusCallback);
    return fromHandle(root);
}

InternetHandle WinInet::connect(InternetHandle root, const std::string& host, std::uint16_t port,
                                const char* user, const char* password, std::uint32_t service,
                                std::uint32_t flags, std::uintptr_t context) {
    return fromHandle(callWinInet<decltype(InternetConnectA)>("InternetConnectA", toHandle(root),
                                                              host.c_str(), port, user, password,
                                                              service, flags, context));
}

// The caller's context is not passed on: WinINet's context of a request is its Pending.
InternetHandle WinInet::openRequest(InternetHandle connection, const std::string& verb,
                                    const std::string& objectName, const std::string& version,
                                    const char* referrer, const char** acceptTypes,
                                    std::uint32_t flags, std::uintptr_t) {
    auto* holder = new PendingHolder(std::make_shared<Pending>());
    (*holder)->context = reinterpret_cast<DWORD_PTR>(holder);
    HINTERNET request = callWinInet<decltype(HttpOpenRequestA)>(
        "HttpOpenRequestA", toHandle(connection), verb.c_str(), objectName.c_str(), version.c_str(),
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
    if (callWinInet<decltype(HttpSendRequestA)>(
            "HttpSendRequestA", toHandle(request), pending->headers.c_str(), headersLength,
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
    // Not InternetReadFile: when its read goes pending, Wine's writes 0 into the caller's
    // count after the call, which can land after WinINet's thread has written the real
    // count and reported completion, so a page under load ended early, cut and taken as
    // whole. InternetReadFileEx leaves the count to the completion alone.
    pending->read = INTERNET_BUFFERSA{};
    pending->read.dwStructSize = sizeof pending->read;
    pending->read.lpvBuffer = pending->buffer.data();
    pending->read.dwBufferLength = toRead;
    if (!callWinInet<decltype(InternetReadFileExA)>("InternetReadFileExA", toHandle(request),
                                                    &pending->read, IRF_ASYNC, pending->context) &&
        (GetLastError() != ERROR_IO_PENDING || !pending->wait()))
        return false;
    WinInet::Pending::Locked locked(*pending);
    read = pending->read.dwBufferLength < toRead ? pending->read.dwBufferLength : toRead;
    std::memcpy(buffer, pending->buffer.data(), read);
    return true;
}

bool WinInet::queryInfo(InternetHandle request, std::uint32_t infoLevel, void* buffer,
                        std::uint32_t& length, std::uint32_t* index) {
    DWORD size = length;
    DWORD at = index ? *index : 0;
    BOOL ok = callWinInet<decltype(HttpQueryInfoA)>("HttpQueryInfoA", toHandle(request), infoLevel,
                                                    buffer, &size, index ? &at : nullptr);
    length = size;
    if (index) *index = at;
    return ok != FALSE;
}

bool WinInet::setOption(InternetHandle handle, std::uint32_t option, const void* buffer,
                        std::uint32_t length) {
    return callWinInet<decltype(InternetSetOptionA)>("InternetSetOptionA", toHandle(handle), option,
                                                     const_cast<void*>(buffer), length) != FALSE;
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
    const bool closed = callWinInet<decltype(InternetCloseHandle)>("InternetCloseHandle",
                                                                   toHandle(handle)) != FALSE;
    // The owner closing its own request waits until WinINet has let go of it: Wine's WinINet
    // changes the lists of a handle's children unlocked, so a request still being torn down
    // on one of its threads must not meet the next request on the same connection.
    if (pending && !cancelling && closed) pending->awaitGone();
    return closed;
}

}  // namespace platform::win32
