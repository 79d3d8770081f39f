// The connectivity probe over Winsock 1.1 and icmp.dll. Both are loaded by name on first use
// (not linked): a system without icmp.dll only loses the probe, and neither is loaded before
// the window shows.
#include "platform/win32/probe.h"

#include <windows.h>
#include <winsock2.h>

#include <cstring>
#include <mutex>

#include "platform/win32/unique_handle.h"

namespace platform::win32 {
namespace {

// The reply layout of icmp.dll on 32-bit Windows (ICMP_ECHO_REPLY).
struct EchoReply {
    ULONG address;
    ULONG status;
    ULONG roundTripTime;
    USHORT dataSize;
    USHORT reserved;
    void* data;
    UCHAR ttl, tos, flags, optionsSize;
    UCHAR* optionsData;
};
static_assert(sizeof(void*) != 4 || sizeof(EchoReply) == 28);

// One reply with no data, plus the 8 bytes of an ICMP error that icmp.dll may copy in.
constexpr DWORD kReplyBufferSize = 36;

using IcmpCreateFileFn = HANDLE(WINAPI*)();
using IcmpCloseHandleFn = BOOL(WINAPI*)(HANDLE);
using IcmpSendEchoFn = DWORD(WINAPI*)(HANDLE, ULONG, LPVOID, WORD, LPVOID, LPVOID, DWORD, DWORD);
using InetAddrFn = decltype(&inet_addr);
using GetHostByNameFn = decltype(&gethostbyname);

struct IcmpLibrary {
    InetAddrFn inetAddr = nullptr;
    GetHostByNameFn getHostByName = nullptr;
    IcmpCreateFileFn create = nullptr;
    IcmpCloseHandleFn close = nullptr;
    IcmpSendEchoFn send = nullptr;
    bool socketsReady = false;
};

// GetProcAddress gives a generic function pointer; going through void(*)() tells the
// compiler the cast to the real signature is meant.
template <class Fn>
Fn procAddress(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Started once and kept for the life of the process: neither the socket layer nor the
// library is released, so a probe never races a teardown.
const IcmpLibrary& icmpLibrary() {
    static IcmpLibrary library;
    static std::once_flag once;
    std::call_once(once, [] {
        if (HMODULE sockets = LoadLibraryW(L"ws2_32.dll")) {
            auto startup = procAddress<decltype(&WSAStartup)>(sockets, "WSAStartup");
            library.inetAddr = procAddress<InetAddrFn>(sockets, "inet_addr");
            library.getHostByName = procAddress<GetHostByNameFn>(sockets, "gethostbyname");
            WSADATA data;
            library.socketsReady = startup && library.inetAddr && library.getHostByName &&
                                   startup(MAKEWORD(1, 1), &data) == 0;
        }
        HMODULE module = LoadLibraryW(L"icmp.dll");
        if (!module) return;
        library.create = procAddress<IcmpCreateFileFn>(module, "IcmpCreateFile");
        library.close = procAddress<IcmpCloseHandleFn>(module, "IcmpCloseHandle");
        library.send = procAddress<IcmpSendEchoFn>(module, "IcmpSendEcho");
    });
    return library;
}

// icmp.dll is loaded at run time, so its close routine is reached through the library.
BOOL WINAPI closeEcho(HANDLE handle) {
    return icmpLibrary().close(handle);
}
using EchoHandle = UniqueAny<HANDLE, &closeEcho>;

}  // namespace

std::optional<Ipv4> IcmpProbe::resolve(const std::string& host) {
    const IcmpLibrary& library = icmpLibrary();
    if (!library.socketsReady) return std::nullopt;
    unsigned long address = library.inetAddr(host.c_str());
    if (address != INADDR_NONE) return address;
    // gethostbyname keeps its answer in per-thread storage, so copy it out at once.
    const hostent* entry = library.getHostByName(host.c_str());
    if (!entry || entry->h_addrtype != AF_INET || entry->h_length != 4 || !entry->h_addr_list ||
        !entry->h_addr_list[0])
        return std::nullopt;
    Ipv4 first;
    std::memcpy(&first, entry->h_addr_list[0], sizeof first);
    return first;
}

int IcmpProbe::echo(Ipv4 address, int timeLimitMs) {
    const IcmpLibrary& library = icmpLibrary();
    if (!library.create || !library.close || !library.send) return -1;
    EchoHandle handle(library.create());
    if (!handle.valid()) return -1;
    alignas(8) unsigned char reply[kReplyBufferSize] = {};
    static char noData[1];
    DWORD replies = library.send(handle.get(), address, noData, 0, nullptr, reply, kReplyBufferSize,
                                 static_cast<DWORD>(timeLimitMs));
    if (replies == 0) return -1;
    EchoReply first;
    std::memcpy(&first, reply, sizeof first);
    if (first.status != 0) return -1;  // IP_SUCCESS; anything else is an error report
    return static_cast<int>(first.roundTripTime);
}

}  // namespace platform::win32
