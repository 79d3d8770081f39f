// The real skin engine, loaded from the program's embedded bytes by our loader, skinning
// windows of this thread under Wine.
#include <windows.h>
// commctrl.h needs the types of windows.h first.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/win32/module_memory.h"
#include "skin/module_loader.h"
#include "skin/skin.h"

namespace {

std::uint32_t u32(const unsigned char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
std::uint16_t u16(const unsigned char* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

// Forwards to the real services and notes every call, to see what release does.
class Recording : public platform::ModuleMemory {
  public:
    explicit Recording(platform::ModuleMemory& real) : real_(real) {}
    platform::Address virtualAlloc(platform::Address a, std::uint32_t s, std::uint32_t t,
                                   std::uint32_t p) override {
        log.push_back("alloc");
        return real_.virtualAlloc(a, s, t, p);
    }
    bool virtualFree(platform::Address a, std::uint32_t s, std::uint32_t t) override {
        log.push_back("free");
        return real_.virtualFree(a, s, t);
    }
    bool virtualProtect(platform::Address a, std::uint32_t s, std::uint32_t p) override {
        log.push_back("protect");
        return real_.virtualProtect(a, s, p);
    }
    std::uint32_t loadLibrary(platform::Address n) override {
        log.push_back("loadLibrary");
        return real_.loadLibrary(n);
    }
    bool freeLibrary(std::uint32_t m) override {
        log.push_back("freeLibrary");
        return real_.freeLibrary(m);
    }
    platform::Address getProcAddress(std::uint32_t m, platform::Address n) override {
        log.push_back("getProcAddress");
        return real_.getProcAddress(m, n);
    }
    std::uint32_t call(platform::Address a, const platform::CallArguments& args) override {
        log.push_back("call");
        return real_.call(a, args);
    }
    unsigned char* hostPointer(platform::Address a, std::uint32_t s) override {
        return real_.hostPointer(a, s);
    }
    platform::Address addressOf(const void* b, std::size_t s) override {
        return real_.addressOf(b, s);
    }
    std::vector<std::string> log;

  private:
    platform::ModuleMemory& real_;
};

void pump() {
    for (int round = 0; round < 5; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(20);
    }
}

HWND makeWindow(const wchar_t* caption, int x) {
    static bool registered = false;
    if (!registered) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = L"SkinTestWindow";
        RegisterClassExW(&wc);
        registered = true;
    }
    HWND w = CreateWindowExW(WS_EX_APPWINDOW, L"SkinTestWindow", caption,
                             WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, 60, 420,
                             300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ShowWindow(w, SW_SHOWNORMAL);
    UpdateWindow(w);
    return w;
}

template <LRESULT Answer>
LRESULT CALLBACK answering(HWND h, UINT m, WPARAM w, LPARAM l) {
    return m == WM_APP ? Answer : DefWindowProcW(h, m, w, l);
}

void registerAnswering() {
    for (auto [name, proc] :
         {std::pair{L"SkinTestA", &answering<'A'>}, std::pair{L"SkinTestB", &answering<'B'>}}) {
        WNDCLASSEXW wc = {};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = name;
        RegisterClassExW(&wc);
    }
}

bool inside(LONG_PTR address, platform::Address base, std::uint32_t size) {
    auto a = static_cast<std::uint32_t>(address);
    return a >= base && a < base + size;
}

COLORREF clientPixel(HWND w, int x, int y) {
    HDC dc = GetDC(w);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return c;
}

// What a message box looked like while it was open: found by a thread timer that runs in
// the box's own modal loop, which then closes it.
struct BoxSeen {
    platform::Address base = 0;
    std::uint32_t size = 0;
    bool found = false, boxSkinned = false, buttonSkinned = false;
} g_box;

BOOL CALLBACK findDialog(HWND h, LPARAM out) {
    wchar_t name[16];
    if (GetClassNameW(h, name, 16) && lstrcmpW(name, L"#32770") == 0) {
        *reinterpret_cast<HWND*>(out) = h;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK inspectBox(HWND, UINT, UINT_PTR id, DWORD) {
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findDialog, reinterpret_cast<LPARAM>(&box));
    if (!box) return;
    KillTimer(nullptr, id);
    g_box.found = true;
    g_box.boxSkinned = inside(GetWindowLongPtrW(box, GWLP_WNDPROC), g_box.base, g_box.size);
    HWND ok = GetDlgItem(box, IDOK);
    g_box.buttonSkinned = ok && inside(GetWindowLongPtrW(ok, GWLP_WNDPROC), g_box.base, g_box.size);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

// The built engine image, read with its file layout: what the loader will have to handle.
TEST(SkinEngineImage, IsAPlainDllWithoutTlsExportingByName) {
    const unsigned char* f = kEmbeddedSkinLibrary;
    const std::size_t size = kEmbeddedSkinLibrarySize;
    ASSERT_GE(size, 64u);
    ASSERT_EQ(u16(f), 0x5A4D);
    const std::uint32_t nt = u32(f + 60);
    ASSERT_LE(nt + 248, size);
    ASSERT_EQ(u32(f + nt), 0x4550u);
    EXPECT_EQ(u16(f + nt + 4), 0x14C);              // i386
    EXPECT_EQ(u16(f + nt + 22) & 0x2002, 0x2002);   // executable DLL
    EXPECT_NE(u32(f + nt + 40), 0u);                // an entry point
    EXPECT_EQ(u32(f + nt + 120 + 8 * 9 + 4), 0u);   // no TLS directory
    EXPECT_EQ(u32(f + nt + 120 + 8 * 13 + 4), 0u);  // no delay-load imports
    EXPECT_EQ(u32(f + nt + 120 + 8 * 14 + 4), 0u);  // not .NET
    const std::uint16_t sections = u16(f + nt + 6);
    auto fileOffset = [&](std::uint32_t rva) -> std::size_t {
        for (std::uint16_t i = 0; i < sections; ++i) {
            const unsigned char* s = f + nt + 248 + 40 * i;
            std::uint32_t va = u32(s + 12), raw = u32(s + 16), pointer = u32(s + 20);
            if (rva >= va && rva < va + raw) return pointer + (rva - va);
        }
        return 0;
    };
    // Exports by name only, the two the program calls.
    std::size_t dir = fileOffset(u32(f + nt + 120));
    ASSERT_NE(dir, 0u);
    std::vector<std::string> names;
    for (std::uint32_t i = 0; i < u32(f + dir + 24); ++i)
        names.emplace_back(reinterpret_cast<const char*>(
            f + fileOffset(u32(f + fileOffset(u32(f + dir + 32)) + 4 * i))));
    EXPECT_EQ(names, (std::vector<std::string>{"SkinH_AdjustAero", "SkinH_AttachRes"}));
    // Imports by name, from system libraries only.
    std::size_t d = fileOffset(u32(f + nt + 128));
    ASSERT_NE(d, 0u);
    for (; u32(f + d + 16) != 0; d += 20) {
        std::string library = reinterpret_cast<const char*>(f + fileOffset(u32(f + d + 12)));
        EXPECT_TRUE(library == "GDI32.dll" || library == "KERNEL32.dll" || library == "USER32.dll")
            << library;
        for (std::size_t t = fileOffset(u32(f + d + 16)); u32(f + t) != 0; t += 4)
            EXPECT_EQ(u32(f + t) & 0x80000000u, 0u) << library;
    }
    std::printf("skin engine image: %u bytes, skin resource: %u bytes\n",
                static_cast<unsigned>(kEmbeddedSkinLibrarySize),
                static_cast<unsigned>(kSkinResourceSize));
}

TEST(SkinEngine, SkinsTheWindowsOfTheThreadFromAttachOn) {
    platform::win32::KernelModuleMemory real;
    Recording recording(real);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);

    std::optional<Skin> skin(std::in_place, recording);
    skin->loadSkinLibrary();
    const InMemoryModule& engine = skin->engine();
    const platform::Address base = engine.moduleBase();
    ASSERT_NE(base, 0u);
    const std::uint32_t size = engine.mappedSize();
    const platform::Address attach = engine.findExport("SkinH_AttachRes");
    const platform::Address adjust = engine.findExport("SkinH_AdjustAero");
    EXPECT_TRUE(inside(attach, base, size));
    EXPECT_TRUE(inside(adjust, base, size));
    EXPECT_EQ(engine.findExport("skinh_attachres"), 0u);
    // Code runs from execute-read pages; the headers are read-only.
    MEMORY_BASIC_INFORMATION page = {};
    VirtualQuery(reinterpret_cast<void*>(attach), &page, sizeof page);
    EXPECT_EQ(page.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
    VirtualQuery(reinterpret_cast<void*>(base), &page, sizeof page);
    EXPECT_EQ(page.Protect, static_cast<DWORD>(PAGE_READONLY));

    registerAnswering();
    HWND w = makeWindow(L"Skin test", 40);
    HWND button = CreateWindowExW(0, L"Button", L"Push", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 20,
                                  20, 80, 26, w, nullptr, nullptr, nullptr);
    CreateWindowExW(0, STATUSCLASSNAMEW, L"ready", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, w, nullptr,
                    nullptr, nullptr);
    pump();
    RECT windowBefore, clientBefore;
    GetWindowRect(w, &windowBefore);
    GetClientRect(w, &clientBefore);
    const WNDPROC plain = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC));
    EXPECT_EQ(clientPixel(w, 300, 100), GetSysColor(COLOR_BTNFACE));

    // A damaged skin is refused and nothing is touched.
    std::vector<unsigned char> damaged(kSkinResource, kSkinResource + kSkinResourceSize);
    damaged[damaged.size() / 2] ^= 0x40;
    EXPECT_EQ(callAddress(recording, attach, reinterpret_cast<std::uint32_t>(damaged.data()),
                          static_cast<std::uint32_t>(damaged.size()), 0, 90, 75, 0),
              0u);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), plain);

    skin->attachSkinResource({kSkinResource, kSkinResourceSize}, "", kProgramColours);
    skin->adjustSkinAero(kProgramAero);
    pump();

    // Subclassed into the mapped engine, the window and its children alike.
    EXPECT_TRUE(inside(GetWindowLongPtrW(w, GWLP_WNDPROC), base, size));
    EXPECT_TRUE(inside(GetWindowLongPtrW(button, GWLP_WNDPROC), base, size));
    // Geometry untouched: the layout is measured in client coordinates.
    RECT windowAfter, clientAfter;
    GetWindowRect(w, &windowAfter);
    GetClientRect(w, &clientAfter);
    EXPECT_TRUE(EqualRect(&windowBefore, &windowAfter));
    EXPECT_TRUE(EqualRect(&clientBefore, &clientAfter));
    // The body is the skin's light mint now, not the system face colour.
    COLORREF body = clientPixel(w, 300, 100);
    EXPECT_NE(body, GetSysColor(COLOR_BTNFACE));
    EXPECT_GT(GetGValue(body), GetRValue(body));
    // The caption band is drawn in the skin's dark teal.
    HDC wdc = GetWindowDC(w);
    POINT origin = {0, 0};
    ClientToScreen(w, &origin);
    const int captionBottom = origin.y - windowAfter.top;
    COLORREF caption = GetPixel(wdc, 200, captionBottom - 3);
    ReleaseDC(w, wdc);
    EXPECT_LT(GetRValue(caption), 100);
    EXPECT_GT(GetBValue(caption), GetRValue(caption));

    // Windows made later are skinned through the hook.
    HWND later = makeWindow(L"Later", 480);
    pump();
    EXPECT_TRUE(inside(GetWindowLongPtrW(later, GWLP_WNDPROC), base, size));

    // So are message boxes and their buttons.
    g_box = {base, size};
    SetTimer(nullptr, 0, 50, inspectBox);
    MessageBoxW(w, L"skinned?", L"box", MB_OK);
    EXPECT_TRUE(g_box.found);
    EXPECT_TRUE(g_box.boxSkinned);
    EXPECT_TRUE(g_box.buttonSkinned);

    // Our caption buttons hit-test and work: press and release on close closes the window.
    RECT lr;
    GetWindowRect(later, &lr);
    POINT lo = {0, 0};
    ClientToScreen(later, &lo);
    const int border = lo.x - lr.left;
    const POINT closePoint = {lr.right - border - 3 - 6, lr.top + (lo.y - lr.top + border) / 2};
    const POINT captionPoint = {(lr.left + lr.right) / 2 - 60, closePoint.y};
    EXPECT_EQ(SendMessageW(later, WM_NCHITTEST, 0, MAKELPARAM(closePoint.x, closePoint.y)),
              HTCLOSE);
    EXPECT_EQ(SendMessageW(later, WM_NCHITTEST, 0, MAKELPARAM(captionPoint.x, captionPoint.y)),
              HTCAPTION);
    SendMessageW(later, WM_NCLBUTTONDOWN, HTCLOSE, MAKELPARAM(closePoint.x, closePoint.y));
    EXPECT_TRUE(IsWindow(later));  // nothing happens until the button is released
    SendMessageW(later, WM_LBUTTONUP, 0,
                 MAKELPARAM(closePoint.x - lo.x,
                            static_cast<WORD>(static_cast<short>(closePoint.y - lo.y))));
    pump();
    EXPECT_FALSE(IsWindow(later));

    // More windows than the engine keeps at hand, alive at once, then gone and made again
    // (handles may come back): each one's messages still reach its own class procedure.
    for (int round = 0; round < 2; ++round) {
        std::vector<HWND> children;
        for (int i = 0; i < 600; ++i)
            children.push_back(CreateWindowExW(0, i % 2 ? L"SkinTestB" : L"SkinTestA", L"",
                                               WS_CHILD, 0, 0, 10, 10, w, nullptr, nullptr,
                                               nullptr));
        int wrong = 0, plainProc = 0;
        for (int i = 0; i < 600; ++i) {
            if (!inside(GetWindowLongPtrW(children[i], GWLP_WNDPROC), base, size)) ++plainProc;
            if (SendMessageW(children[i], WM_APP, 0, 0) != (i % 2 ? 'B' : 'A')) ++wrong;
        }
        EXPECT_EQ(plainProc, 0) << "round " << round;
        EXPECT_EQ(wrong, 0) << "round " << round;
        for (HWND child : children) DestroyWindow(child);
    }

    // The skin's end at program end: the engine is told it is detached, hands the window back
    // its own procedure and is unmapped with the libraries it loaded; the window lives on
    // with the system's look.
    const std::size_t before = recording.log.size();
    skin.reset();
    const std::vector<std::string> released(recording.log.begin() + before, recording.log.end());
    ASSERT_GE(released.size(), 3u);
    EXPECT_EQ(released[0], "call");
    EXPECT_EQ(released[1], "free");
    EXPECT_EQ(std::count(released.begin(), released.end(), "freeLibrary"),
              std::count(recording.log.begin(), recording.log.end(), "loadLibrary"));
    MEMORY_BASIC_INFORMATION info = {};
    VirtualQuery(reinterpret_cast<void*>(base), &info, sizeof info);
    // Not MEM_FREE: Wine shows a released range inside one of its own reserved areas (where
    // the engine's preferred address lies) as reserved.
    EXPECT_NE(info.State, static_cast<DWORD>(MEM_COMMIT));
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(w, GWLP_WNDPROC)), plain);
    RedrawWindow(w, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    pump();
    EXPECT_EQ(clientPixel(w, 300, 100), GetSysColor(COLOR_BTNFACE));
    HWND after = makeWindow(L"After", 480);  // the hook is gone with the engine
    pump();
    EXPECT_FALSE(inside(GetWindowLongPtrW(after, GWLP_WNDPROC), base, size));
    DestroyWindow(after);
    DestroyWindow(w);
    pump();
}

}  // namespace
