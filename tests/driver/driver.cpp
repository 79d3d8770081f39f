// The UI test driver: drives a running Verdalo.exe from outside, as a user would, and
// prints what it reads. One command per line from stdin (or the command line), one result
// line per command: "ok [value]" or "err <reason>". Texts travel as UTF-8 with \\, \r, \n
// and \t escaped; windows get UTF-16. See README.md for the commands.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ui/layout.h"

namespace {

// ---- text ---------------------------------------------------------------------------

std::wstring fromUtf8(const std::string& s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string toUtf8(const std::wstring& w) {
    if (w.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string s(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
    return s;
}

std::string utf8Of(const char8_t* s) {
    return reinterpret_cast<const char*>(s);
}

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        switch (s[++i]) {
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            default:
                out += s[i];
        }
    }
    return out;
}

struct Failure {
    std::string reason;
};
[[noreturn]] void fail(const std::string& reason) {
    throw Failure{reason};
}

int toInt(const std::string& s) {
    char* end = nullptr;
    long v = std::strtol(s.c_str(), &end, 10);
    if (s.empty() || *end) fail("not a number: " + s);
    return static_cast<int>(v);
}

// ---- the program under test ---------------------------------------------------------

int g_timeoutMs = 10000;
HWND g_main = nullptr;
DWORD g_pid = 0;
HANDLE g_process = nullptr;

struct WindowList {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collectWindow(HWND w, LPARAM l) {
    auto* wl = reinterpret_cast<WindowList*>(l);
    DWORD p = 0;
    GetWindowThreadProcessId(w, &p);
    if (p == wl->pid && IsWindowVisible(w)) wl->found.push_back(w);
    return TRUE;
}

std::vector<HWND> topWindows(DWORD pid) {
    WindowList list{pid, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&list));
    return list.found;
}

std::wstring className(HWND w) {
    wchar_t buffer[256];
    int n = GetClassNameW(w, buffer, 256);
    return std::wstring(buffer, n > 0 ? n : 0);
}

// Waits until `probe` gives a value or the time limit passes.
template <typename T>
std::optional<T> waitFor(int ms, const std::function<std::optional<T>()>& probe,
                         DWORD periodMs = 50) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (auto v = probe()) return v;
        if (static_cast<int>(GetTickCount() - start) >= ms) return std::nullopt;
        Sleep(periodMs);
    }
}

HWND findMain(int ms, DWORD periodMs = 50) {
    if (g_main && IsWindow(g_main)) return g_main;
    const std::wstring caption = fromUtf8("VerdaloV1.0");
    auto found = waitFor<HWND>(
        ms,
        [&]() -> std::optional<HWND> {
            // Shown only once every control exists.
            HWND w = FindWindowW(nullptr, caption.c_str());
            if (w && IsWindowVisible(w)) return w;
            return std::nullopt;
        },
        periodMs);
    if (!found) fail("main window not found");
    g_main = *found;
    GetWindowThreadProcessId(g_main, &g_pid);
    if (g_process) CloseHandle(g_process);
    g_process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, g_pid);
    return g_main;
}

HWND main() {
    return findMain(g_timeoutMs);
}

HWND findAbout() {
    main();
    const std::wstring caption = fromUtf8(utf8Of(u8"关于"));
    for (HWND w : topWindows(g_pid)) {
        wchar_t text[64];
        GetWindowTextW(w, text, 64);
        if (caption == text && className(w) != L"#32770") return w;
    }
    return nullptr;
}

HWND about() {
    HWND w = findAbout();
    if (!w) fail("about window not open");
    return w;
}

HWND findStats() {
    main();
    for (HWND w : topWindows(g_pid))
        if (className(w) == L"VerdaloStats") return w;
    return nullptr;
}

HWND stats() {
    HWND w = findStats();
    if (!w) fail("stats window not open");
    return w;
}

struct Control {
    HWND hwnd;
    const ui::ControlLayout* layout;  // null for the windows themselves
    bool aboutWindow;
};

const ui::ControlLayout* layoutOf(std::span<const ui::ControlLayout> table,
                                  const std::string& name) {
    for (const ui::ControlLayout& c : table)
        if (utf8Of(c.name) == name) return &c;
    return nullptr;
}

HWND handleOf(HWND window, std::span<const ui::ControlLayout> table, const ui::ControlLayout& c) {
    HWND parent = window;
    if (c.parent) {
        for (const ui::ControlLayout& p : table)
            if (p.id == c.parent) parent = handleOf(window, table, p);
    }
    return parent ? GetDlgItem(parent, c.id) : nullptr;
}

Control control(const std::string& name) {
    if (name == "main") return {main(), nullptr, false};
    if (name == "about") return {about(), nullptr, true};
    if (name == "stats") return {stats(), nullptr, false};
    if (name.rfind("stats:", 0) == 0) {
        const ui::ControlLayout* layout = layoutOf(ui::kStatsControls, name.substr(6));
        if (!layout) fail("no control named " + name);
        HWND h = GetDlgItem(stats(), layout->id);
        if (!h) fail("control has no window: " + name);
        return {h, layout, false};
    }
    const bool aboutWindow = name.rfind("about:", 0) == 0;
    std::span<const ui::ControlLayout> table =
        aboutWindow ? std::span<const ui::ControlLayout>(ui::kAboutControls)
                    : std::span<const ui::ControlLayout>(ui::kMainControls);
    const ui::ControlLayout* layout = layoutOf(table, aboutWindow ? name.substr(6) : name);
    if (!layout) fail("no control named " + name);
    if (layout->kind == ui::Kind::Service) fail("service object, not a window: " + name);
    HWND h = handleOf(aboutWindow ? about() : main(), table, *layout);
    if (!h) fail("control has no window: " + name);
    return {h, layout, aboutWindow};
}

std::string nameOf(HWND w) {
    if (!w) return "none";
    if (w == g_main) return "main";
    HWND aboutWindow = findAbout();
    if (w == aboutWindow) return "about";
    HWND root = GetAncestor(w, GA_ROOT);
    const int id = GetDlgCtrlID(w);
    if (root == g_main) {
        for (const ui::ControlLayout& c : ui::kMainControls)
            if (c.id == id && handleOf(g_main, ui::kMainControls, c) == w) return utf8Of(c.name);
    } else if (root && root == aboutWindow) {
        for (const ui::ControlLayout& c : ui::kAboutControls)
            if (c.id == id && handleOf(aboutWindow, ui::kAboutControls, c) == w)
                return "about:" + utf8Of(c.name);
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "other:%s:%d", toUtf8(className(w)).c_str(), id);
    return buffer;
}

// ---- memory in the program under test, for the messages that carry pointers -----------

class RemoteBuffer {
  public:
    explicit RemoteBuffer(size_t size) : size_(size) {
        if (!g_process) main();
        p_ = VirtualAllocEx(g_process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
        if (!p_) fail("VirtualAllocEx failed");
    }
    ~RemoteBuffer() { VirtualFreeEx(g_process, p_, 0, MEM_RELEASE); }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    LPARAM address(size_t offset = 0) const {
        return reinterpret_cast<LPARAM>(static_cast<char*>(p_) + offset);
    }
    void write(const void* data, size_t n, size_t offset = 0) {
        if (!WriteProcessMemory(g_process, static_cast<char*>(p_) + offset, data, n, nullptr))
            fail("WriteProcessMemory failed");
    }
    void read(void* data, size_t n, size_t offset = 0) {
        if (!ReadProcessMemory(g_process, static_cast<char*>(p_) + offset, data, n, nullptr))
            fail("ReadProcessMemory failed");
    }
    std::wstring readText(size_t offset, size_t chars) {
        std::wstring w(chars, L'\0');
        read(w.data(), chars * sizeof(wchar_t), offset);
        w.resize(wcsnlen(w.c_str(), chars));
        return w;
    }

  private:
    size_t size_;
    void* p_ = nullptr;
};

LRESULT send(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(w, m, wp, lp, SMTO_NORMAL, static_cast<UINT>(g_timeoutMs), &result))
        fail("window does not answer");
    return static_cast<LRESULT>(result);
}

// The program may change a text between the length query and the copy; a text read
// with a stale length comes back cut short. Read until the length holds still.
std::wstring windowText(HWND w) {
    std::wstring text;
    for (int attempt = 0; attempt < 50; ++attempt) {
        const int n = static_cast<int>(send(w, WM_GETTEXTLENGTH, 0, 0));
        text.assign(static_cast<size_t>(n) + 1, L'\0');
        const int got =
            static_cast<int>(send(w, WM_GETTEXT, n + 1, reinterpret_cast<LPARAM>(text.data())));
        text.resize(static_cast<size_t>(std::max(0, got)));
        if (got == n && send(w, WM_GETTEXTLENGTH, 0, 0) == n) break;
    }
    return text;
}

constexpr size_t kTextChars = 1 << 16;

std::wstring cellText(HWND list, int row, int column) {
    RemoteBuffer buffer(sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.address(sizeof item));
    item.cchTextMax = kTextChars;
    buffer.write(&item, sizeof item);
    const LRESULT n = send(list, LVM_GETITEMTEXTW, row, buffer.address());
    return buffer.readText(sizeof item, static_cast<size_t>(std::max<LRESULT>(0, n)));
}

std::wstring headerText(HWND list, int column) {
    HWND header = reinterpret_cast<HWND>(send(list, LVM_GETHEADER, 0, 0));
    if (!header) fail("list has no header");
    RemoteBuffer buffer(sizeof(HDITEMW) + 1024 * sizeof(wchar_t));
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.address(sizeof item));
    item.cchTextMax = 1024;
    buffer.write(&item, sizeof item);
    if (!send(header, HDM_GETITEMW, column, buffer.address())) fail("no such column");
    return buffer.readText(sizeof item, 1024);
}

// SB_GETTEXT takes no buffer size, so the buffer is far larger than any panel text and
// the copy's own length (its result) says how much to read: a text that changes between
// a length query and the copy can neither be cut short nor overrun the buffer.
std::wstring panelText(HWND bar, int panel) {
    if (LOWORD(send(bar, SB_GETTEXTLENGTHW, panel, 0)) >= kTextChars / 2)
        fail("panel text too long");
    RemoteBuffer buffer(kTextChars * sizeof(wchar_t));
    const LRESULT copied = send(bar, SB_GETTEXTW, panel, buffer.address());
    return buffer.readText(0, std::min<size_t>(LOWORD(copied), kTextChars));
}

struct ToolbarButton {
    TBBUTTON button;
    std::wstring text;
};

ToolbarButton toolbarButton(int index) {
    HWND bar = control(utf8Of(u8"工具条_查询")).hwnd;
    if (index < 0 || index >= send(bar, TB_BUTTONCOUNT, 0, 0))
        fail("no toolbar entry " + std::to_string(index));
    RemoteBuffer buffer(sizeof(TBBUTTON) + 1024 * sizeof(wchar_t));
    if (!send(bar, TB_GETBUTTON, index, buffer.address())) fail("TB_GETBUTTON failed");
    ToolbarButton b{};
    buffer.read(&b.button, sizeof b.button);
    if (!(b.button.fsStyle & BTNS_SEP)) {
        const LRESULT n =
            send(bar, TB_GETBUTTONTEXTW, b.button.idCommand, buffer.address(sizeof(TBBUTTON)));
        if (n > 0)
            b.text =
                buffer.readText(sizeof(TBBUTTON), std::min<size_t>(static_cast<size_t>(n), 1023));
    }
    return b;
}

// In the toolbar's client area, or on the screen.
RECT toolbarItemRect(int index, bool screen) {
    HWND bar = control(utf8Of(u8"工具条_查询")).hwnd;
    RemoteBuffer buffer(sizeof(RECT));
    if (!send(bar, TB_GETITEMRECT, index, buffer.address())) fail("TB_GETITEMRECT failed");
    RECT r;
    buffer.read(&r, sizeof r);
    if (screen) MapWindowPoints(bar, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Pixels of the top square of a toolbar button (where its picture lies) that differ from
// the button's own background, read from the screen.
int pictureInk(int index) {
    RECT r = toolbarItemRect(index, true);
    const int w = r.right - r.left, h = std::min<int>(r.bottom - r.top, 36);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    const COLORREF background = GetPixel(memory, 1, 1);
    int ink = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (GetPixel(memory, x, y) != background) ++ink;
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return ink;
}

// ---- boxes and dialogs ----------------------------------------------------------------

bool isMessageBox(HWND w) {
    return className(w) == L"#32770" && GetDlgItem(w, 0xFFFF);
}
HWND fileNameBox(HWND w) {
    if (className(w) != L"#32770") return nullptr;
    if (HWND c = GetDlgItem(w, 0x47C)) return c;  // cmb13, the explorer-style name box
    return GetDlgItem(w, 0x480);                  // edt1
}

HWND waitBox(int ms) {
    if (!g_pid) main();
    auto found = waitFor<HWND>(ms, []() -> std::optional<HWND> {
        for (HWND w : topWindows(g_pid))
            if (isMessageBox(w)) return w;
        return std::nullopt;
    });
    if (!found) fail("no message box");
    return *found;
}

HWND waitFileDialog(int ms) {
    if (!g_pid) main();
    auto found = waitFor<HWND>(ms, []() -> std::optional<HWND> {
        for (HWND w : topWindows(g_pid))
            if (fileNameBox(w)) return w;
        return std::nullopt;
    });
    if (!found) fail("no file dialog");
    return *found;
}

void waitGone(HWND w, int ms, const char* what) {
    if (!waitFor<bool>(ms, [&]() -> std::optional<bool> {
            if (!IsWindow(w) || !IsWindowVisible(w)) return true;
            return std::nullopt;
        }))
        fail(std::string(what) + " still open");
}

void pressButton(HWND dialog, int id) {
    HWND button = GetDlgItem(dialog, id);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// ---- real input -----------------------------------------------------------------------

void mouseClickAt(HWND root, POINT at, bool right) {
    SetForegroundWindow(root);
    Sleep(100);
    SetCursorPos(at.x, at.y);
    Sleep(50);
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_MOUSE;
    in[0].mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    in[1].mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    SendInput(2, in, sizeof(INPUT));
    Sleep(200);
}

void mouseClick(HWND target, bool right) {
    RECT r;
    GetWindowRect(target, &r);
    mouseClickAt(GetAncestor(target, GA_ROOT),
                 POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, right);
}

void pressKey(WORD vk) {
    INPUT in[2]{};
    in[0].type = in[1].type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[1].ki.wVk = vk;
    in[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, in, sizeof(INPUT));
    Sleep(200);
}

// A key pressed with Ctrl held, as a user types Ctrl+C.
void pressCtrlKey(WORD vk) {
    INPUT in[4]{};
    for (INPUT& i : in) i.type = INPUT_KEYBOARD;
    in[0].ki.wVk = in[3].ki.wVk = VK_CONTROL;
    in[1].ki.wVk = in[2].ki.wVk = vk;
    in[2].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(4, in, sizeof(INPUT));
    Sleep(200);
}

bool putClipboardText(const std::wstring& text) {
    if (!OpenClipboard(nullptr)) return false;
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    bool put = false;
    if (memory) {
        auto* to = static_cast<wchar_t*>(GlobalLock(memory));
        text.copy(to, text.size());
        to[text.size()] = L'\0';
        GlobalUnlock(memory);
        put = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        if (!put) GlobalFree(memory);
    }
    CloseClipboard();
    return put;
}

// Files dropped on a window, as the shell hands them over: a DROPFILES block in the
// program's own memory (a fixed HGLOBAL is its address, which is all DragQueryFileW locks).
// The program frees it with DragFinish; memory it cannot free stays for the run.
void dropFiles(HWND target, const std::vector<std::wstring>& paths) {
    std::wstring names;
    for (const auto& path : paths) names += path + L'\0';
    names += L'\0';
    std::vector<char> block(sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    DROPFILES head{};
    head.pFiles = sizeof(DROPFILES);
    head.pt = {20, 20};
    head.fWide = TRUE;
    std::memcpy(block.data(), &head, sizeof head);
    std::memcpy(block.data() + sizeof head, names.data(), names.size() * sizeof(wchar_t));
    void* remote =
        VirtualAllocEx(g_process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(g_process, remote, block.data(), block.size(), nullptr))
        fail("could not place the dropped names in the program");
    PostMessageW(target, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
}

HWND focusedWindow() {
    main();
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(g_main, nullptr), &info))
        fail("GetGUIThreadInfo failed");
    return info.hwndFocus;
}

// ---- commands -------------------------------------------------------------------------

std::string rectText(const RECT& r) {
    std::ostringstream s;
    s << r.left << ' ' << r.top << ' ' << (r.right - r.left) << ' ' << (r.bottom - r.top);
    return s.str();
}

WORD keyOf(const std::string& name) {
    if (name == "esc") return VK_ESCAPE;
    if (name == "enter") return VK_RETURN;
    if (name == "tab") return VK_TAB;
    if (name == "space") return VK_SPACE;
    if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
        return static_cast<WORD>(std::toupper(static_cast<unsigned char>(name[0])));
    fail("unknown key " + name);
}

HWND list() {
    return control(utf8Of(u8"超级列表框_查询列表")).hwnd;
}
HWND statusBar() {
    return control(utf8Of(u8"状态条1")).hwnd;
}

// Splits off the first word; the rest of the line stays whole (texts may hold spaces).
std::string word(std::string& rest) {
    size_t start = rest.find_first_not_of(' ');
    if (start == std::string::npos) {
        rest.clear();
        return {};
    }
    size_t end = rest.find(' ', start);
    std::string w = rest.substr(start, end == std::string::npos ? std::string::npos : end - start);
    rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
    return w;
}

std::string need(std::string& rest, const char* what) {
    std::string w = word(rest);
    if (w.empty()) fail(std::string("missing ") + what);
    return w;
}

int timeoutArg(std::string& rest) {
    std::string w = word(rest);
    return w.empty() ? g_timeoutMs : toInt(w);
}

// How many different pictures the system's menu or message font draws for the characters
// of `text`, each alone on a small bitmap, as menus and message boxes draw them (the
// default character set, the system's font links). A font that lacks them draws every one
// as the same empty box: 1.
int distinctGlyphs(const LOGFONTW& font, const std::wstring& text) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = CreateFontIndirectW(&font);
    const int side = 64;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = side;
    info.bmiHeader.biHeight = -side;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    HGDIOBJ oldFont = SelectObject(dc, f);
    std::vector<std::vector<std::uint32_t>> seen;
    for (wchar_t c : text) {
        RECT all{0, 0, side, side};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        TextOutW(dc, 4, 4, &c, 1);
        GdiFlush();
        const auto* p = static_cast<const std::uint32_t*>(bits);
        std::vector<std::uint32_t> picture(p, p + side * side);
        if (std::find(seen.begin(), seen.end(), picture) == seen.end()) seen.push_back(picture);
    }
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    DeleteObject(f);
    DeleteDC(dc);
    return static_cast<int>(seen.size());
}

std::string run(const std::string& line) {
    std::string rest = line;
    const std::string command = word(rest);
    if (command.empty() || command[0] == '#') return "";

    if (command == "timeout") {
        g_timeoutMs = toInt(need(rest, "ms"));
        return "ok";
    }
    if (command == "sleep") {
        Sleep(static_cast<DWORD>(toInt(need(rest, "ms"))));
        return "ok";
    }
    if (command == "wait-main") {
        findMain(timeoutArg(rest));
        return "ok";
    }
    // Looks every millisecond: bench/program.py times start-ups by it.
    if (command == "wait-shown") {
        findMain(timeoutArg(rest), 1);
        return "ok";
    }
    if (command == "set-text") {
        HWND w = control(need(rest, "control")).hwnd;
        const std::wstring text = fromUtf8(unescape(rest));
        send(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return "ok";
    }
    if (command == "get-text")
        return "ok " + escape(toUtf8(windowText(control(need(rest, "control")).hwnd)));
    if (command == "click") {
        HWND w = control(need(rest, "control")).hwnd;
        PostMessageW(w, BM_CLICK, 0, 0);
        return "ok";
    }
    if (command == "toolbar") {
        const int index = toInt(need(rest, "index"));
        ToolbarButton b = toolbarButton(index);
        if (b.button.fsStyle & BTNS_SEP) fail("separator");
        PostMessageW(main(), WM_COMMAND, MAKEWPARAM(b.button.idCommand, BN_CLICKED),
                     reinterpret_cast<LPARAM>(control(utf8Of(u8"工具条_查询")).hwnd));
        return "ok";
    }
    if (command == "toolbar-count")
        return "ok " +
               std::to_string(send(control(utf8Of(u8"工具条_查询")).hwnd, TB_BUTTONCOUNT, 0, 0));
    if (command == "toolbar-button") {
        ToolbarButton b = toolbarButton(toInt(need(rest, "index")));
        const bool separator = b.button.fsStyle & BTNS_SEP;
        std::ostringstream s;
        s << "ok " << (separator ? "separator" : "button") << ' ' << b.button.idCommand << ' '
          << (separator ? -1 : b.button.iBitmap) << ' '
          << ((b.button.fsState & TBSTATE_ENABLED) ? 1 : 0) << ' '
          << ((b.button.fsStyle & (BTNS_CHECK | BTNS_DROPDOWN | BTNS_WHOLEDROPDOWN)) ? 1 : 0) << ' '
          << escape(toUtf8(b.text));
        return s.str();
    }
    if (command == "toolbar-rect")
        return "ok " + rectText(toolbarItemRect(toInt(need(rest, "index")), false));
    if (command == "toolbar-image")
        return "ok " + std::to_string(pictureInk(toInt(need(rest, "index"))));
    if (command == "stats-lines") {
        // Every line of the 统计 window's list, its cells tab-separated, lines "\n"-separated.
        HWND lines = GetDlgItem(stats(), ui::id::stats::lines);
        const int count = static_cast<int>(send(lines, LVM_GETITEMCOUNT, 0, 0));
        std::string out;
        for (int row = 0; row < count; ++row) {
            if (row > 0) out += '\n';
            for (int column = 0; column < 4; ++column) {
                if (column > 0) out += '\t';
                out += toUtf8(cellText(lines, row, column));
            }
        }
        return "ok " + escape(out);
    }
    if (command == "stats-group") {
        // Picks the grouping by its place in the choice box, as a user's pick does.
        HWND box = GetDlgItem(stats(), ui::id::stats::groupBox);
        const int index = toInt(need(rest, "index"));
        if (send(box, CB_SETCURSEL, index, 0) != index) fail("no such choice");
        send(stats(), WM_COMMAND, MAKEWPARAM(ui::id::stats::groupBox, CBN_SELCHANGE),
             reinterpret_cast<LPARAM>(box));
        return "ok";
    }
    if (command == "rows") return "ok " + std::to_string(send(list(), LVM_GETITEMCOUNT, 0, 0));
    if (command == "cols") {
        HWND header = reinterpret_cast<HWND>(send(list(), LVM_GETHEADER, 0, 0));
        return "ok " + std::to_string(send(header, HDM_GETITEMCOUNT, 0, 0));
    }
    if (command == "cell") {
        const int row = toInt(need(rest, "row"));
        const int column = toInt(need(rest, "column"));
        return "ok " + escape(toUtf8(cellText(list(), row, column)));
    }
    if (command == "header")
        return "ok " + escape(toUtf8(headerText(list(), toInt(need(rest, "column")))));
    if (command == "column-width")
        return "ok " +
               std::to_string(send(list(), LVM_GETCOLUMNWIDTH, toInt(need(rest, "column")), 0));
    if (command == "status")
        return "ok " + escape(toUtf8(panelText(statusBar(), toInt(need(rest, "panel")))));
    if (command == "set-status") {
        // Writes a panel from outside, e.g. a marker to see whether the program writes it.
        const int panel = toInt(need(rest, "panel"));
        const std::wstring text = fromUtf8(unescape(rest));
        RemoteBuffer buffer((text.size() + 1) * sizeof(wchar_t));
        buffer.write(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
        send(statusBar(), SB_SETTEXTW, panel, buffer.address());
        return "ok";
    }
    if (command == "status-parts") {
        HWND bar = statusBar();
        RemoteBuffer buffer(16 * sizeof(int));
        const int n = static_cast<int>(send(bar, SB_GETPARTS, 16, buffer.address()));
        int edges[16];
        buffer.read(edges, sizeof edges);
        std::string out = "ok";
        for (int i = 0; i < n && i < 16; ++i) out += " " + std::to_string(edges[i]);
        return out;
    }
    if (command == "status-rect") {
        HWND bar = statusBar();
        RemoteBuffer buffer(sizeof(RECT));
        if (!send(bar, SB_GETRECT, toInt(need(rest, "panel")), buffer.address()))
            fail("no such panel");
        RECT r;
        buffer.read(&r, sizeof r);
        return "ok " + rectText(r);
    }
    if (command == "wait-status") {
        const int panel = toInt(need(rest, "panel"));
        // The prefix is everything up to the last word, the time limit.
        const size_t cut = rest.find_last_of(' ');
        if (cut == std::string::npos) fail("missing time limit");
        const int ms = toInt(rest.substr(cut + 1));
        const std::string prefix = unescape(rest.substr(0, cut));
        std::string last;
        auto got = waitFor<std::string>(ms, [&]() -> std::optional<std::string> {
            last = toUtf8(panelText(statusBar(), panel));
            if (last.rfind(prefix, 0) == 0) return last;
            return std::nullopt;
        });
        if (!got) fail("panel shows " + escape(last));
        return "ok " + escape(*got);
    }
    if (command == "wait-rows") {
        const int rows = toInt(need(rest, "rows"));
        const int ms = timeoutArg(rest);
        LRESULT last = 0;
        if (!waitFor<bool>(ms, [&]() -> std::optional<bool> {
                last = send(list(), LVM_GETITEMCOUNT, 0, 0);
                if (last == rows) return true;
                return std::nullopt;
            }))
            fail("list has " + std::to_string(last) + " rows");
        return "ok";
    }
    if (command == "answer-box") {
        const std::string button = need(rest, "button");
        const int id = button == "yes"      ? IDYES
                       : button == "no"     ? IDNO
                       : button == "ok"     ? IDOK
                       : button == "cancel" ? IDCANCEL
                                            : 0;
        if (!id) fail("unknown button " + button);
        HWND box = waitBox(timeoutArg(rest));
        const std::string text = toUtf8(windowText(GetDlgItem(box, 0xFFFF)));
        if (!GetDlgItem(box, id)) fail("box has no " + button + " button: " + escape(text));
        pressButton(box, id);
        waitGone(box, g_timeoutMs, "message box");
        return "ok " + escape(text);
    }
    if (command == "attach-box") {
        // For a program that never shows its main window: a message box with this caption,
        // of any process, becomes the program under test.
        const std::wstring caption = fromUtf8(unescape(need(rest, "caption")));
        auto found = waitFor<HWND>(timeoutArg(rest), [&]() -> std::optional<HWND> {
            for (HWND w = FindWindowExW(nullptr, nullptr, L"#32770", caption.c_str()); w;
                 w = FindWindowExW(nullptr, w, L"#32770", caption.c_str()))
                if (isMessageBox(w) && IsWindowVisible(w)) return w;
            return std::nullopt;
        });
        if (!found) fail("no message box with that caption");
        GetWindowThreadProcessId(*found, &g_pid);
        if (g_process) CloseHandle(g_process);
        g_process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, g_pid);
        return "ok";
    }
    if (command == "box-text")
        return "ok " + escape(toUtf8(windowText(GetDlgItem(waitBox(timeoutArg(rest)), 0xFFFF))));
    if (command == "box-caption")
        return "ok " + escape(toUtf8(windowText(waitBox(timeoutArg(rest)))));
    if (command == "no-box") {
        if (!g_pid) main();
        for (HWND w : topWindows(g_pid))
            if (isMessageBox(w))
                fail("message box open: " + escape(toUtf8(windowText(GetDlgItem(w, 0xFFFF)))));
        return "ok";
    }
    if (command == "file-dialog" || command == "file-dialog-cancel") {
        HWND dialog = waitFileDialog(g_timeoutMs);
        if (command == "file-dialog") {
            const std::wstring path = fromUtf8(unescape(rest));
            send(fileNameBox(dialog), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
            pressButton(dialog, IDOK);
        } else {
            pressButton(dialog, IDCANCEL);
        }
        waitGone(dialog, g_timeoutMs, "file dialog");
        return "ok";
    }
    if (command == "dialog-title")
        return "ok " + escape(toUtf8(windowText(waitFileDialog(timeoutArg(rest)))));
    if (command == "rect") {
        Control c = control(need(rest, "control"));
        RECT r;
        GetWindowRect(c.hwnd, &r);
        if (HWND parent = GetParent(c.hwnd))
            MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
        return "ok " + rectText(r);
    }
    if (command == "window-rect") {
        RECT r;
        GetWindowRect(control(need(rest, "window")).hwnd, &r);
        return "ok " + rectText(r);
    }
    if (command == "client-rect") {
        RECT r;
        GetClientRect(control(need(rest, "control")).hwnd, &r);
        return "ok " + rectText(r);
    }
    if (command == "font-glyphs") {
        // font-glyphs <menu|message> <text>
        const std::string which = rest.substr(0, rest.find(' '));
        if (which != "menu" && which != "message") return "err menu or message";
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            return "err no system metrics";
        const std::wstring text =
            fromUtf8(unescape(rest.size() > which.size() ? rest.substr(which.size() + 1) : ""));
        return "ok " + std::to_string(distinctGlyphs(
                           which == "menu" ? metrics.lfMenuFont : metrics.lfMessageFont, text));
    }
    if (command == "locale") {
        // The system's ANSI code page and locale name, to show what an A call would use.
        wchar_t name[LOCALE_NAME_MAX_LENGTH] = L"";
        GetUserDefaultLocaleName(name, LOCALE_NAME_MAX_LENGTH);
        return "ok " + std::to_string(GetACP()) + " " + toUtf8(name);
    }
    if (command == "screen")
        return "ok " + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + " " +
               std::to_string(GetSystemMetrics(SM_CYSCREEN));
    if (command == "class") return "ok " + toUtf8(className(control(need(rest, "control")).hwnd));
    if (command == "parent") {
        Control c = control(need(rest, "control"));
        return "ok " + nameOf(GetAncestor(c.hwnd, GA_PARENT) == GetDesktopWindow()
                                  ? nullptr
                                  : GetParent(c.hwnd));
    }
    if (command == "covered") {
        // Visible siblings above the control in the z-order that overlap it: they paint
        // over it (a group box paints its whole inside).
        HWND w = control(need(rest, "control")).hwnd;
        RECT mine;
        GetWindowRect(w, &mine);
        std::string out = "ok";
        for (HWND above = GetWindow(w, GW_HWNDPREV); above; above = GetWindow(above, GW_HWNDPREV)) {
            RECT r, both;
            GetWindowRect(above, &r);
            if (IsWindowVisible(above) && IntersectRect(&both, &mine, &r))
                out += " " + nameOf(above);
        }
        return out;
    }
    if (command == "owner")
        return "ok " + nameOf(GetWindow(control(need(rest, "window")).hwnd, GW_OWNER));
    if (command == "style") {
        HWND w = control(need(rest, "control")).hwnd;
        char buffer[64];
        std::snprintf(buffer, sizeof buffer, "ok %08lx %08lx",
                      static_cast<unsigned long>(GetWindowLongW(w, GWL_STYLE)),
                      static_cast<unsigned long>(GetWindowLongW(w, GWL_EXSTYLE)));
        return buffer;
    }
    if (command == "list-style") {
        const LRESULT ex = send(list(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "ok %08lx", static_cast<unsigned long>(ex));
        return buffer;
    }
    if (command == "visible")
        return std::string("ok ") +
               (IsWindowVisible(control(need(rest, "control")).hwnd) ? "1" : "0");
    if (command == "enabled")
        return std::string("ok ") +
               (IsWindowEnabled(control(need(rest, "control")).hwnd) ? "1" : "0");
    if (command == "focus") return "ok " + nameOf(focusedWindow());
    if (command == "mouse-click") {
        HWND w = control(need(rest, "control")).hwnd;
        const std::string button = word(rest);
        mouseClick(w, button == "right");
        return "ok";
    }
    if (command == "cursor-over") {
        // Moves the pointer over the control and names the shape the program gave it.
        HWND w = control(need(rest, "control")).hwnd;
        RECT r;
        GetWindowRect(w, &r);
        SetForegroundWindow(GetAncestor(w, GA_ROOT));
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2 - 1);
        Sleep(100);
        SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
        Sleep(300);
        CURSORINFO info{};
        info.cbSize = sizeof info;
        if (!GetCursorInfo(&info)) fail("GetCursorInfo failed");
        if (info.hCursor == LoadCursorW(nullptr, IDC_HAND)) return "ok hand";
        if (info.hCursor == LoadCursorW(nullptr, IDC_ARROW)) return "ok arrow";
        if (info.hCursor == LoadCursorW(nullptr, IDC_IBEAM)) return "ok ibeam";
        // Under Wine a program's system cursors are handles of its own: name it by value.
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "ok cursor:%p", static_cast<void*>(info.hCursor));
        return buffer;
    }
    if (command == "mouse-move") {
        // Moves the pointer to a point of the screen, as a user's hand would, over the
        // window there.
        const int x = toInt(need(rest, "x"));
        const int y = toInt(need(rest, "y"));
        if (HWND under = WindowFromPoint(POINT{x, y}))
            SetForegroundWindow(GetAncestor(under, GA_ROOT));
        SetCursorPos(x, y - 1);
        Sleep(100);
        SetCursorPos(x, y);
        Sleep(300);
        return "ok";
    }
    if (command == "mouse-toolbar") {
        // A real click on a toolbar entry, separators included.
        const RECT r = toolbarItemRect(toInt(need(rest, "index")), true);
        mouseClickAt(main(), POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}, false);
        return "ok";
    }
    if (command == "key") {
        pressKey(keyOf(need(rest, "key")));
        return "ok";
    }
    if (command == "ctrl-key") {
        pressCtrlKey(keyOf(need(rest, "key")));
        return "ok";
    }
    if (command == "get-clipboard") {
        // The clipboard's Unicode text, as a paste elsewhere would read it.
        std::wstring text;
        for (int tries = 0; tries < 50 && !OpenClipboard(nullptr); ++tries) Sleep(20);
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
                text = chars;
                GlobalUnlock(data);
            }
        }
        CloseClipboard();
        return "ok " + escape(toUtf8(text));
    }
    if (command == "set-clipboard") {
        if (!putClipboardText(fromUtf8(unescape(rest)))) fail("clipboard not set");
        return "ok";
    }
    if (command == "drop-files") {
        // Paths separated by "|".
        std::vector<std::wstring> paths;
        std::wstring all = fromUtf8(unescape(rest));
        for (size_t from = 0; from <= all.size();) {
            const size_t bar = std::min(all.find(L'|', from), all.size());
            if (bar > from) paths.push_back(all.substr(from, bar - from));
            from = bar + 1;
        }
        if (paths.empty()) fail("no path to drop");
        dropFiles(main(), paths);
        return "ok";
    }
    if (command == "post-key") {
        // A key as the window would receive it, without moving the real focus.
        HWND w = control(need(rest, "control")).hwnd;
        const WORD vk = keyOf(need(rest, "key"));
        PostMessageW(w, WM_KEYDOWN, vk, 1);
        PostMessageW(w, WM_KEYUP, vk, 0xC0000001);
        return "ok";
    }
    if (command == "about-open") {
        if (findAbout()) return "ok";
        ToolbarButton b = toolbarButton(4);
        PostMessageW(main(), WM_COMMAND, MAKEWPARAM(b.button.idCommand, BN_CLICKED), 0);
        if (!waitFor<HWND>(timeoutArg(rest), []() -> std::optional<HWND> {
                if (HWND w = findAbout()) return w;
                return std::nullopt;
            }))
            fail("about window did not open");
        return "ok";
    }
    if (command == "about-close") {
        HWND w = about();
        PostMessageW(control(utf8Of(u8"about:按钮1")).hwnd, BM_CLICK, 0, 0);
        waitGone(w, timeoutArg(rest), "about window");
        return "ok";
    }
    if (command == "about-exists") return std::string("ok ") + (findAbout() ? "1" : "0");
    if (command == "wait-about-closed") {
        if (HWND w = findAbout()) waitGone(w, timeoutArg(rest), "about window");
        return "ok";
    }
    if (command == "children") {
        // Direct children only: a group box's controls are its own.
        HWND parent = control(need(rest, "window")).hwnd;
        int n = 0;
        for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) ++n;
        return "ok " + std::to_string(n);
    }
    if (command == "windows") {
        main();
        std::string out = "ok";
        for (HWND w : topWindows(g_pid))
            out += " " + escape(toUtf8(className(w))) + ":" + escape(toUtf8(windowText(w)));
        return out;
    }
    if (command == "close-main") {
        PostMessageW(main(), WM_CLOSE, 0, 0);
        return "ok";
    }
    if (command == "wait-exit") {
        if (!g_process) main();
        const int ms = timeoutArg(rest);
        if (WaitForSingleObject(g_process, static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
            fail("still running");
        DWORD code = 0;
        GetExitCodeProcess(g_process, &code);
        return "ok " + std::to_string(static_cast<int>(code));
    }
    if (command == "running") {
        if (!g_process) main();
        return std::string("ok ") + (WaitForSingleObject(g_process, 0) == WAIT_TIMEOUT ? "1" : "0");
    }
    if (command == "kill-main") {
        main();
        TerminateProcess(g_process, 99);
        WaitForSingleObject(g_process, static_cast<DWORD>(g_timeoutMs));
        return "ok";
    }
    fail("unknown command " + command);
}

void answer(const std::string& line) {
    std::string out;
    try {
        out = run(line);
    } catch (const Failure& f) {
        out = "err " + f.reason;
    }
    if (out.empty()) return;
    out += "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) answer(toUtf8(argv[i]));
        return 0;
    }
    std::string line;
    int c;
    while ((c = std::fgetc(stdin)) != EOF) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            answer(line);
            line.clear();
        } else {
            line += static_cast<char>(c);
        }
    }
    if (!line.empty()) answer(line);
    return 0;
}
