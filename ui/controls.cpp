// Control creation from the layout tables; the look common to both windows.
#include <windows.h>
// The headers below need the types of windows.h first.
#include <commctrl.h>

#include <span>
#include <vector>

#include "platform/win32/unique_handle.h"
#include "platform/win32/window_text.h"
#include "table/summary.h"
#include "ui/internal.h"

namespace ui {

namespace {

const COLORREF kLabelBackground = RGB(220, 220, 220);
constexpr int kToolbarHeight = 48;

HFONT fontFor(const ControlLayout& c, const ControlLook& look) {
    if (c.kind != Kind::Label) return look.font;
    const HFONT own = (c.traits & kTitleFont) ? look.titleFont
                      : (c.traits & kLink)    ? look.linkFont
                                              : look.labelFont;
    return own ? own : look.font;
}

// Children of a group box send their notifications to it; the window handles them.
LRESULT CALLBACK groupBoxProc(HWND box, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_COMMAND:
        case WM_NOTIFY:
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORLISTBOX:
            return SendMessageW(GetAncestor(box, GA_ROOT), message, w, l);
        case WM_ERASEBKGND: {
            // A group box paints only its frame; its inside is the window's background.
            RECT r;
            GetClientRect(box, &r);
            FillRect(reinterpret_cast<HDC>(w), &r, GetSysColorBrush(COLOR_BTNFACE));
            return 1;
        }
        case WM_NCDESTROY:
            RemoveWindowSubclass(box, groupBoxProc, 0);
            break;
    }
    return DefSubclassProc(box, message, w, l);
}

// The link label opens its text when the left button is released over it, and shows a
// hand meanwhile. A right click does nothing.
LRESULT CALLBACK linkProc(HWND label, UINT message, WPARAM w, LPARAM l, UINT_PTR, DWORD_PTR) {
    switch (message) {
        case WM_LBUTTONUP:
            openAboutLink(label);
            return 0;
        case WM_SETCURSOR:
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        case WM_NCDESTROY:
            RemoveWindowSubclass(label, linkProc, 0);
            break;
    }
    return DefSubclassProc(label, message, w, l);
}

HWND createToolbar(HWND window, const ControlLayout& c, const ControlLook& look) {
    HWND bar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT |
                                   TBSTYLE_WRAPABLE | CCS_TOP | CCS_NORESIZE | CCS_NOPARENTALIGN,
                               0, 0, 0, 0, window, reinterpret_cast<HMENU>(INT_PTR(c.id)),
                               instance(), nullptr);
    if (!bar) return nullptr;
    SendMessageW(bar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(look.font), FALSE);
    SendMessageW(bar, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(look.toolbarImages));
    SendMessageW(bar, TB_SETINDENT, 0, 0);
    std::vector<std::wstring> texts;
    for (const ToolbarEntry& e : kToolbarEntries) texts.push_back(win32::utf8ToWide(e.text));
    std::vector<TBBUTTON> buttons;
    for (size_t i = 0; i < std::size(kToolbarEntries); ++i) {
        const ToolbarEntry& e = kToolbarEntries[i];
        TBBUTTON b{};
        if (e.separator) {
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = e.image;
            b.idCommand = kToolbarCommandBase + static_cast<int>(i);
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = e.check ? BTNS_CHECK : BTNS_BUTTON;
            b.iString = reinterpret_cast<INT_PTR>(texts[i].c_str());
        }
        buttons.push_back(b);
    }
    SendMessageW(bar, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    // A 32-pixel picture with its text under it makes a button taller than the room above
    // the group boxes (top 48). Without vertical padding the picture starts at the button's
    // top and the text ends at 48, so the bar is placed by hand: full width, 48 high.
    SendMessageW(bar, TB_SETPADDING, 0, MAKELPARAM(8, 0));
    RECT client;
    GetClientRect(window, &client);
    MoveWindow(bar, 0, 0, client.right, kToolbarHeight, FALSE);
    return bar;
}

HWND createStatusBar(HWND window, const ControlLayout& c, const ControlLook& look) {
    HWND bar =
        CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | CCS_BOTTOM, 0, 0, 0,
                        0, window, reinterpret_cast<HMENU>(INT_PTR(c.id)), instance(), nullptr);
    if (!bar) return nullptr;
    SendMessageW(bar, WM_SETFONT, reinterpret_cast<WPARAM>(look.font), FALSE);
    int edges[std::size(kStatusPanelEdges)];
    std::copy(std::begin(kStatusPanelEdges), std::end(kStatusPanelEdges), edges);
    SendMessageW(bar, SB_SETPARTS, std::size(edges), reinterpret_cast<LPARAM>(edges));
    for (size_t i = 0; i < std::size(kStatusPanelTexts); ++i) {
        std::wstring text = win32::utf8ToWide(kStatusPanelTexts[i]);
        SendMessageW(bar, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
    }
    return bar;
}

void addColumns(HWND list, std::span<const ColumnLayout> columns) {
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    // The summary's numbers line up on the right; the query list's columns are texts.
    const bool numbers = columns.data() == kStatsColumns;
    for (size_t i = 0; i < columns.size(); ++i) {
        std::wstring header = win32::utf8ToWide(columns[i].header);
        LVCOLUMNW column{};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = numbers && i > 0 ? LVCFMT_RIGHT : LVCFMT_LEFT;
        column.cx = columns[i].width;
        column.pszText = header.data();
        column.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
}

HWND createPlain(HWND parent, const ControlLayout& c, const ControlLook& look) {
    const wchar_t* cls = L"";
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    DWORD exStyle = 0;
    switch (c.kind) {
        case Kind::GroupBox:
            cls = L"BUTTON";
            style |= BS_GROUPBOX | WS_CLIPCHILDREN;
            exStyle = WS_EX_CONTROLPARENT;
            break;
        case Kind::ListView:
            cls = WC_LISTVIEWW;
            style |= WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_NOSORTHEADER;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case Kind::Label:
            cls = L"STATIC";
            style |= SS_NOPREFIX;
            if (c.traits & kCentre)
                style |= SS_CENTER;
            else if (!(c.traits & kWrap))
                style |= SS_LEFT | SS_CENTERIMAGE;
            if (c.traits & kLink) style |= SS_NOTIFY;
            break;
        case Kind::EditBox:
            cls = L"EDIT";
            style |= WS_TABSTOP | ES_LEFT;
            style |= (c.traits & kMultiLine)
                         ? ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL | WS_VSCROLL
                         : ES_AUTOHSCROLL;
            if (c.traits & kReadOnly) style = (style & ~ES_WANTRETURN) | ES_READONLY;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case Kind::Button:
            cls = L"BUTTON";
            style |= WS_TABSTOP | BS_PUSHBUTTON;
            break;
        case Kind::ComboBox:
            cls = L"COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
            break;
        default:
            return nullptr;
    }
    std::wstring caption = win32::utf8ToWide(c.caption);
    HWND control =
        CreateWindowExW(exStyle, cls, caption.c_str(), style, c.left, c.top, c.width, c.height,
                        parent, reinterpret_cast<HMENU>(INT_PTR(c.id)), instance(), nullptr);
    if (!control) return nullptr;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fontFor(c, look)), FALSE);
    if (c.kind == Kind::GroupBox) SetWindowSubclass(control, groupBoxProc, 0, 0);
    if (c.kind == Kind::ListView)
        addColumns(control, c.id == id::stats::lines ? std::span<const ColumnLayout>(kStatsColumns)
                                                     : std::span<const ColumnLayout>(kListColumns));
    if (c.kind == Kind::ComboBox) {
        for (const FieldId by : groupings())
            SendMessageW(
                control, CB_ADDSTRING, 0,
                reinterpret_cast<LPARAM>(win32::utf8ToWide(summary::groupTitle(by)).c_str()));
        SendMessageW(control, CB_SETCURSEL, 0, 0);
    }
    if (c.kind == Kind::EditBox)
        SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no limit of its own
    if (c.traits & kLink) SetWindowSubclass(control, linkProc, 0, 0);
    return control;
}

// Boxes and labels lie under the controls one works with: a label's box overlaps the edit box
// beside it, and two buttons of the window lie inside 分组框1's frame.
bool liesUnder(const ControlLayout& c) {
    return c.kind == Kind::GroupBox || c.kind == Kind::Label;
}

// Makes the controls of `parent` (`parentId` in the layout), each one's own after it.
// A new child window goes to the bottom of its siblings' z-order, so making boxes and labels
// after the rest gives the z-order at once; moving them down afterwards cost a round trip to
// the window server each, a tenth of the start-up's work on the controls.
bool createChildren(HWND window, HWND parent, int parentId, const WindowLayout& layout,
                    const ControlLook& look) {
    for (const bool under : {false, true}) {
        for (const ControlLayout& c : layout.controls) {
            // Service objects are owned by the window, never windows.
            if (c.parent != parentId || c.kind == Kind::Service || liesUnder(c) != under) continue;
            HWND control = c.kind == Kind::ToolBar     ? createToolbar(window, c, look)
                           : c.kind == Kind::StatusBar ? createStatusBar(window, c, look)
                                                       : createPlain(parent, c, look);
            if (!control) return false;
            if (!createChildren(window, control, c.id, layout, look)) return false;
        }
    }
    return true;
}

}  // namespace

Theme::Theme() : labelBrush_(CreateSolidBrush(kLabelBackground)), images_(makeToolbarImages()) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // The system's message font, asked for with the Chinese character set: where it
        // lacks the glyphs (Tahoma on an English system) the font mapper picks one that
        // has them, instead of drawing empty boxes.
        metrics.lfMessageFont.lfCharSet = GB2312_CHARSET;
        font_.reset(CreateFontIndirectW(&metrics.lfMessageFont));
    }
}

HFONT Theme::defaultFont() const {
    return font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool Theme::labelColours(HWND control, HDC dc, LRESULT& brush) const {
    wchar_t cls[16];
    if (!GetClassNameW(control, cls, 16) || lstrcmpiW(cls, L"Static") != 0) return false;
    SetTextColor(dc, RGB(0, 0, 0));
    SetBkColor(dc, kLabelBackground);
    brush = reinterpret_cast<LRESULT>(labelBrush_ ? labelBrush_.get()
                                                  : GetSysColorBrush(COLOR_BTNFACE));
    return true;
}

HWND controlHandle(HWND window, int id) {
    for (const WindowLayout* layout : {&kMainWindow, &kAboutWindow}) {
        for (const ControlLayout& c : layout->controls) {
            if (c.id != id) continue;
            HWND parent = c.parent ? controlHandle(window, c.parent) : window;
            return parent ? GetDlgItem(parent, id) : nullptr;
        }
    }
    return nullptr;
}

bool registerWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance();
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    return RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool createControls(HWND window, const WindowLayout& layout, const ControlLook& look) {
    return createChildren(window, window, 0, layout, look);
}

void centreOnScreen(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace ui
