// Verdalo's skin engine: a small DLL, free of the C runtime, that repaints the windows of
// the thread that attaches it in the colours of a compiled skin. Existing windows are
// subclassed when the skin is attached, later ones (the about window, message boxes,
// dialogs) through a CBT hook. Frames keep their system geometry: only what is drawn in
// the non-client area changes, so outer sizes and client rectangles stay as laid out.
#include <windows.h>
// commctrl.h needs the types of windows.h first.
#include <commctrl.h>

#include "skin/engine/skin_format.h"

// The compiler may emit calls to these for structure copies and clears.
extern "C" void* memset(void* destination, int value, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    while (count--) *d++ = static_cast<unsigned char>(value);
    return destination;
}
extern "C" void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* d = static_cast<unsigned char*>(destination);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count--) *d++ = *s++;
    return destination;
}

namespace {

// ---------------------------------------------------------------- settings and palette

struct Settings {
    // SkinH_AttachRes
    int saturation;  // percent of the skin's own saturation
    int gloss;       // percent strength of the glossy upper half of bars and buttons
    int hue;         // degrees the skin's hues are turned by
    // SkinH_AdjustAero
    int glassAlpha;        // weight of the skin's frame colours against the tint, 0..255
    int shadowDark;        // percent darkness of the glow behind caption texts
    int shadowSharp;       // percent: 0 fades the glow out, 100 keeps it solid to its edge
    int shadowSize;        // glow radius in pixels
    int shadowX, shadowY;  // glow offset in pixels
    COLORREF tint;
    WCHAR face[skin::kMaxFaceChars];  // caption font override; empty keeps the skin's
};

Settings g_settings = {100, 50, 0, 255, 0, 0, 0, 0, 0, RGB(0, 0, 0), {0}};
skin::Skin g_skin;
COLORREF g_colour[skin::ColourCount];
HBRUSH g_brush[skin::ColourCount];
HFONT g_captionFont;
HFONT g_groupFont;
HHOOK g_hook;
DWORD g_thread;
bool g_attached;

const WCHAR kOldProc[] = L"VerdaloSkin.OldProc";
const WCHAR kKind[] = L"VerdaloSkin.Kind";
const WCHAR kState[] = L"VerdaloSkin.State";

enum Kind {
    KindNone,
    KindFrame,
    KindButton,
    KindToolbar,
    KindStatus,
    KindHeader,
    KindList,
    KindEdit,
    KindOther
};

// Every message of a skinned window needs its old procedure and its kind, and reading a
// window property is a trip to the window server under Wine: an import that adds rows by
// the ten thousand spent most of its time there. The two are mirrored in a small table
// that only the skin's own thread touches; the properties stay the record, and an entry
// is dropped wherever they are removed.
struct Skinned {
    HWND window;
    WNDPROC old;
    Kind kind;
};
constexpr unsigned kCacheSlots = 256;  // a power of two
Skinned g_cache[kCacheSlots];

Skinned& cacheSlot(HWND h) {
    return g_cache[(static_cast<unsigned>(reinterpret_cast<UINT_PTR>(h)) * 2654435761u) >> 24];
}

// The window's old procedure and kind; false for a window the skin has not subclassed.
bool skinnedWindow(HWND h, Skinned& out) {
    const bool mine = g_thread == GetCurrentThreadId();
    if (mine && h && cacheSlot(h).window == h) {  // empty slots hold no window
        out = cacheSlot(h);
        return true;
    }
    WNDPROC old = reinterpret_cast<WNDPROC>(GetPropW(h, kOldProc));
    if (!old) return false;
    out = {h, old, static_cast<Kind>(reinterpret_cast<UINT_PTR>(GetPropW(h, kKind)))};
    if (mine) cacheSlot(h) = out;
    return true;
}

void forgetWindow(HWND h) {
    if (g_thread == GetCurrentThreadId() && cacheSlot(h).window == h) cacheSlot(h) = {};
}

// State bits kept per window.
constexpr UINT_PTR kActive = 0x1;
constexpr UINT_PTR kHot = 0x2;
constexpr UINT_PTR kTrackingLeave = 0x4;
constexpr UINT_PTR kPressedInside = 0x8;
constexpr int kHoverShift = 8;     // caption button under the mouse
constexpr int kPressedShift = 12;  // caption button held down
enum CaptionButton { NoButton, CloseButton, MaxButton, MinButton };

int clamp(int v, int low, int high) {
    return v < low ? low : v > high ? high : v;
}

COLORREF mix(COLORREF a, COLORREF b, int weightOfB) {  // weight 0..255
    int w = clamp(weightOfB, 0, 255);
    int r = (GetRValue(a) * (255 - w) + GetRValue(b) * w) / 255;
    int g = (GetGValue(a) * (255 - w) + GetGValue(b) * w) / 255;
    int bl = (GetBValue(a) * (255 - w) + GetBValue(b) * w) / 255;
    return RGB(r, g, bl);
}

int hueChannel(int p, int q, int h) {
    h = ((h % 360) + 360) % 360;
    if (h < 60) return p + (q - p) * h / 60;
    if (h < 180) return q;
    if (h < 240) return p + (q - p) * (240 - h) / 60;
    return p;
}

// Saturation scale and hue turn in HSL, integers only (no runtime library here).
COLORREF adjustHsl(COLORREF c, int saturationPercent, int hueDegrees) {
    if (saturationPercent == 100 && hueDegrees == 0) return c;
    int r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
    int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    int l = (mx + mn) / 2;
    if (mx == mn) return c;
    int d = mx - mn;
    int s = l < 128 ? d * 255 / (mx + mn) : d * 255 / (510 - mx - mn);
    int h;
    if (mx == r)
        h = 60 * (g - b) / d;
    else if (mx == g)
        h = 120 + 60 * (b - r) / d;
    else
        h = 240 + 60 * (r - g) / d;
    h += hueDegrees;
    s = clamp(s * saturationPercent / 100, 0, 255);
    if (s == 0) return RGB(l, l, l);
    int q = l < 128 ? l * (255 + s) / 255 : l + s - l * s / 255;
    int p = 2 * l - q;
    return RGB(clamp(hueChannel(p, q, h + 120), 0, 255), clamp(hueChannel(p, q, h), 0, 255),
               clamp(hueChannel(p, q, h - 120), 0, 255));
}

bool isGlass(int colour) {
    using namespace skin;
    return colour == CaptionActiveTop || colour == CaptionActiveBottom ||
           colour == CaptionInactiveTop || colour == CaptionInactiveBottom ||
           colour == FrameActive || colour == FrameInactive || colour == FrameEdge;
}

HFONT makeFont(const skin::FontStyle& font, const WCHAR* overrideFace) {
    const WCHAR* face = overrideFace[0] ? overrideFace : reinterpret_cast<const WCHAR*>(font.face);
    // GB2312 makes the font mapper pick a face with Chinese glyphs when this one is missing.
    return CreateFontW(font.height, 0, 0, 0, font.weight, 0, 0, 0, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, face);
}

void rebuildPalette() {
    for (int i = 0; i < skin::ColourCount; ++i) {
        COLORREF c = adjustHsl(g_skin.colour[i], g_settings.saturation, g_settings.hue);
        if (isGlass(i)) c = mix(c, g_settings.tint, 255 - g_settings.glassAlpha);
        g_colour[i] = c;
        HBRUSH old = g_brush[i];
        g_brush[i] = CreateSolidBrush(c);
        if (old) DeleteObject(old);
    }
    HFONT oldCaption = g_captionFont, oldGroup = g_groupFont;
    g_captionFont = makeFont(g_skin.font[skin::CaptionFont], g_settings.face);
    g_groupFont = makeFont(g_skin.font[skin::GroupCaptionFont], L"");
    if (oldCaption) DeleteObject(oldCaption);
    if (oldGroup) DeleteObject(oldGroup);
}

COLORREF colour(int i) {
    return g_colour[i];
}

// ---------------------------------------------------------------- drawing helpers

void fill(HDC dc, int left, int top, int right, int bottom, COLORREF c) {
    RECT r = {left, top, right, bottom};
    SetDCBrushColor(dc, c);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void frameRect(HDC dc, int left, int top, int right, int bottom, COLORREF c) {
    fill(dc, left, top, right, top + 1, c);
    fill(dc, left, bottom - 1, right, bottom, c);
    fill(dc, left, top, left + 1, bottom, c);
    fill(dc, right - 1, top, right, bottom, c);
}

// Vertical gradient; the gloss lightens the upper half like a glass bar.
void gradient(HDC dc, const RECT& r, COLORREF top, COLORREF bottom, int gloss) {
    int height = r.bottom - r.top;
    int half = height / 2 > 0 ? height / 2 : 1;
    for (int y = 0; y < height; ++y) {
        COLORREF c = mix(top, bottom, height > 1 ? y * 255 / (height - 1) : 0);
        if (gloss > 0 && y < half)
            c = mix(c, RGB(255, 255, 255), gloss * 110 * (half - y) / (100 * half));
        fill(dc, r.left, r.top + y, r.right, r.top + y + 1, c);
    }
}

void roundRect(HDC dc, const RECT& r, int radius, COLORREF fillColour, COLORREF border) {
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(DC_BRUSH));
    SetDCPenColor(dc, border);
    SetDCBrushColor(dc, fillColour);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

void roundBorder(HDC dc, const RECT& r, int radius, COLORREF border) {
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(DC_PEN));
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetDCPenColor(dc, border);
    RoundRect(dc, r.left, r.top, r.right, r.bottom, radius * 2, radius * 2);
    SelectObject(dc, oldPen);
    SelectObject(dc, oldBrush);
}

void roundGradient(HDC dc, const RECT& r, int radius, COLORREF top, COLORREF bottom, int gloss) {
    HRGN region =
        CreateRoundRectRgn(r.left, r.top, r.right + 1, r.bottom + 1, radius * 2, radius * 2);
    SelectClipRgn(dc, region);
    gradient(dc, r, top, bottom, gloss);
    SelectClipRgn(dc, nullptr);
    DeleteObject(region);
}

// A text with the glow of SkinH_AdjustAero behind it, against a background colour.
void glowText(HDC dc, const WCHAR* text, RECT r, COLORREF textColour, COLORREF back, UINT format) {
    int size = clamp(g_settings.shadowSize, 0, 12);
    if (size > 0 && g_settings.shadowDark > 0) {
        COLORREF darkest = mix(back, RGB(0, 0, 0), g_settings.shadowDark * 255 / 100);
        static const int kDirections[8][2] = {{-1, 0},  {1, 0}, {0, -1}, {0, 1},
                                              {-1, -1}, {1, 1}, {-1, 1}, {1, -1}};
        for (int k = size; k >= 1; --k) {
            int soft = (size - k + 1) * 255 / size;
            int strength = soft + (255 - soft) * clamp(g_settings.shadowSharp, 0, 100) / 100;
            SetTextColor(dc, mix(back, darkest, strength));
            for (const auto& d : kDirections) {
                RECT moved = r;
                OffsetRect(&moved, d[0] * k + g_settings.shadowX, d[1] * k + g_settings.shadowY);
                DrawTextW(dc, text, -1, &moved, format);
            }
        }
    }
    SetTextColor(dc, textColour);
    DrawTextW(dc, text, -1, &r, format);
}

// Double buffering: draw into a bitmap, then copy it to the window in one step.
struct Buffer {
    HDC target, dc;
    HBITMAP bitmap;
    HGDIOBJ oldBitmap;
    int width, height;
    Buffer(HDC t, int w, int h) : target(t), width(w), height(h) {
        dc = CreateCompatibleDC(t);
        bitmap = CreateCompatibleBitmap(t, w > 0 ? w : 1, h > 0 ? h : 1);
        oldBitmap = SelectObject(dc, bitmap);
    }
    void copyTo(int x, int y) { BitBlt(target, x, y, width, height, dc, 0, 0, SRCCOPY); }
    ~Buffer() {
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

HFONT windowFont(HWND h) {
    HFONT f = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
    return f ? f : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

UINT_PTR state(HWND h) {
    return reinterpret_cast<UINT_PTR>(GetPropW(h, kState));
}
void setState(HWND h, UINT_PTR s) {
    SetPropW(h, kState, reinterpret_cast<HANDLE>(s));
}
Kind kindOf(HWND h) {
    Skinned e;
    if (skinnedWindow(h, e)) return e.kind;
    return static_cast<Kind>(reinterpret_cast<UINT_PTR>(GetPropW(h, kKind)));
}

bool isGroupBox(HWND h) {
    return kindOf(h) == KindButton && (GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

// The colour behind a control: its group's fill inside a group box, else the window's.
COLORREF backOf(HWND control) {
    HWND parent = GetParent(control);
    return parent && isGroupBox(parent) ? colour(skin::GroupFill) : colour(skin::WindowBackground);
}
HBRUSH backBrushOf(HWND control) {
    HWND parent = GetParent(control);
    return parent && isGroupBox(parent) ? g_brush[skin::GroupFill]
                                        : g_brush[skin::WindowBackground];
}

// ---------------------------------------------------------------- frames and captions

struct FrameGeometry {
    int width, height;
    RECT client;  // in window coordinates
    int border;
    RECT button[4];  // indexed by CaptionButton; empty when absent
};

void frameGeometry(HWND h, FrameGeometry& g) {
    RECT wr, cr;
    GetWindowRect(h, &wr);
    GetClientRect(h, &cr);
    POINT origin = {0, 0};
    ClientToScreen(h, &origin);
    g.width = wr.right - wr.left;
    g.height = wr.bottom - wr.top;
    g.client.left = origin.x - wr.left;
    g.client.top = origin.y - wr.top;
    g.client.right = g.client.left + cr.right;
    g.client.bottom = g.client.top + cr.bottom;
    g.border = g.client.left > 0 ? g.client.left : 1;
    for (RECT& r : g.button) SetRectEmpty(&r);
    int buttonHeight = g.client.top - g.border - 4;
    if (buttonHeight < 10) return;
    if (buttonHeight > 26) buttonHeight = 26;
    int buttonWidth = buttonHeight + buttonHeight / 2 + 4;
    int top = g.border + (g.client.top - g.border - buttonHeight) / 2;
    int right = g.width - g.border - 3;
    LONG style = GetWindowLongW(h, GWL_STYLE);
    const int order[3] = {CloseButton, MaxButton, MinButton};
    const LONG needs[3] = {WS_SYSMENU, WS_MAXIMIZEBOX, WS_MINIMIZEBOX};
    for (int i = 0; i < 3; ++i) {
        if (!(style & needs[i]) || !(style & WS_SYSMENU)) continue;
        SetRect(&g.button[order[i]], right - buttonWidth, top, right, top + buttonHeight);
        right -= buttonWidth + 2;
    }
}

int buttonAt(const FrameGeometry& g, POINT windowPoint) {
    for (int b = CloseButton; b <= MinButton; ++b)
        if (!IsRectEmpty(&g.button[b]) && PtInRect(&g.button[b], windowPoint)) return b;
    return NoButton;
}

POINT toWindow(HWND h, POINT screen) {
    RECT wr;
    GetWindowRect(h, &wr);
    return {screen.x - wr.left, screen.y - wr.top};
}

void drawGlyph(HDC dc, const RECT& r, int which, COLORREF c) {
    int size = (r.bottom - r.top) * 2 / 5;
    int cx = (r.left + r.right) / 2, cy = (r.top + r.bottom) / 2;
    HPEN pen = CreatePen(PS_SOLID, 2, c);
    HGDIOBJ old = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    int half = size / 2;
    if (which == CloseButton) {
        MoveToEx(dc, cx - half, cy - half, nullptr);
        LineTo(dc, cx + half + 1, cy + half + 1);
        MoveToEx(dc, cx + half, cy - half, nullptr);
        LineTo(dc, cx - half - 1, cy + half + 1);
    } else if (which == MinButton) {
        MoveToEx(dc, cx - half, cy + half - 1, nullptr);
        LineTo(dc, cx + half + 1, cy + half - 1);
    } else {
        Rectangle(dc, cx - half, cy - half, cx + half + 1, cy + half + 1);
    }
    SelectObject(dc, oldBrush);
    SelectObject(dc, old);
    DeleteObject(pen);
}

void paintFrame(HWND h) {
    if (IsIconic(h)) return;
    FrameGeometry g;
    frameGeometry(h, g);
    if (g.width <= 0 || g.height <= 0 || g.client.top <= 0) return;
    UINT_PTR s = state(h);
    bool active = (s & kActive) != 0;
    int hover = static_cast<int>((s >> kHoverShift) & 0xF);
    int pressed = static_cast<int>((s >> kPressedShift) & 0xF);
    if (pressed && !(s & kPressedInside)) pressed = NoButton;
    HDC dc = GetWindowDC(h);
    if (!dc) return;
    ExcludeClipRect(dc, g.client.left, g.client.top, g.client.right, g.client.bottom);

    COLORREF frame = colour(active ? skin::FrameActive : skin::FrameInactive);
    COLORREF top = colour(active ? skin::CaptionActiveTop : skin::CaptionInactiveTop);
    COLORREF bottom = colour(active ? skin::CaptionActiveBottom : skin::CaptionInactiveBottom);
    {
        Buffer b(dc, g.width, g.client.top);
        fill(b.dc, 0, 0, g.width, g.client.top, frame);
        RECT band = {0, 0, g.width, g.client.top};
        gradient(b.dc, band, top, bottom, g_settings.gloss);
        int textLeft = g.border + 6;
        HICON icon = reinterpret_cast<HICON>(SendMessageW(h, WM_GETICON, ICON_SMALL, 0));
        if (!icon) icon = reinterpret_cast<HICON>(GetClassLongPtrW(h, GCLP_HICONSM));
        int iconTop = g.border + (g.client.top - g.border - 16) / 2;
        if (icon) {
            DrawIconEx(b.dc, textLeft, iconTop, icon, 16, 16, 0, nullptr, DI_NORMAL);
        } else {
            RECT badge = {textLeft + 2, iconTop + 2, textLeft + 14, iconTop + 14};
            roundRect(b.dc, badge, 3, colour(skin::CaptionButtonHot), colour(skin::CaptionGlyph));
        }
        textLeft += 22;
        int textRight = g.width - g.border - 4;
        for (const RECT& r : g.button)
            if (!IsRectEmpty(&r) && r.left - 6 < textRight) textRight = r.left - 6;
        WCHAR text[256];
        int n = GetWindowTextW(h, text, 256);
        text[n > 0 ? n : 0] = 0;
        HGDIOBJ oldFont = SelectObject(b.dc, g_captionFont);
        SetBkMode(b.dc, TRANSPARENT);
        RECT textRect = {textLeft, g.border, textRight, g.client.top};
        glowText(b.dc, text, textRect,
                 colour(active ? skin::CaptionText : skin::CaptionTextInactive),
                 mix(top, bottom, 128),
                 DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
        SelectObject(b.dc, oldFont);
        int radius = g_skin.metric[skin::CaptionButtonRadius];
        for (int which = CloseButton; which <= MinButton; ++which) {
            const RECT& r = g.button[which];
            if (IsRectEmpty(&r)) continue;
            if (which == pressed) {
                roundRect(b.dc, r, radius, colour(skin::CaptionButtonPressed),
                          colour(skin::FrameEdge));
            } else if (which == hover) {
                COLORREF hot =
                    colour(which == CloseButton ? skin::CaptionCloseHot : skin::CaptionButtonHot);
                roundGradient(b.dc, r, radius, mix(hot, RGB(255, 255, 255), 60), hot, 0);
                roundBorder(b.dc, r, radius, colour(skin::FrameEdge));
            } else {
                roundBorder(b.dc, r, radius, mix(top, colour(skin::CaptionGlyph), 90));
            }
            drawGlyph(b.dc, r, which, colour(skin::CaptionGlyph));
        }
        b.copyTo(0, 0);
    }
    fill(dc, 0, g.client.top, g.client.left, g.height, frame);
    fill(dc, g.client.right, g.client.top, g.width, g.height, frame);
    fill(dc, 0, g.client.bottom, g.width, g.height, frame);
    frameRect(dc, 0, 0, g.width, g.height, colour(skin::FrameEdge));
    frameRect(dc, g.client.left - 1, g.client.top - 1, g.client.right + 1, g.client.bottom + 1,
              colour(skin::FrameEdge));
    ReleaseDC(h, dc);
}

// Rounded top corners. A window with its own shape is also one whose frame Wine draws
// itself rather than leaving it to the X window manager.
void applyFrameShape(HWND h) {
    if (IsIconic(h) || IsZoomed(h)) return;
    RECT wr;
    GetWindowRect(h, &wr);
    int w = wr.right - wr.left, ht = wr.bottom - wr.top;
    if (w <= 0 || ht <= 0) return;
    int r = g_skin.metric[skin::FrameRadius];
    HRGN shape = CreateRectRgn(0, r, w, ht);
    if (r > 0) {
        HRGN round = CreateRoundRectRgn(0, 0, w + 1, ht + 1, r * 2, r * 2);
        CombineRgn(shape, shape, round, RGN_OR);
        DeleteObject(round);
    }
    if (!SetWindowRgn(h, shape, TRUE)) DeleteObject(shape);  // the window owns it on success
}

void setCaptionState(HWND h, int shift, int value) {
    UINT_PTR s = state(h);
    UINT_PTR next =
        (s & ~(static_cast<UINT_PTR>(0xF) << shift)) | (static_cast<UINT_PTR>(value) << shift);
    if (next != s) {
        setState(h, next);
        paintFrame(h);
    }
}

const int kHitCode[4] = {HTNOWHERE, HTCLOSE, HTMAXBUTTON, HTMINBUTTON};

int buttonOfHit(WPARAM hit) {
    for (int b = CloseButton; b <= MinButton; ++b)
        if (static_cast<int>(hit) == kHitCode[b]) return b;
    return NoButton;
}

bool frameMessage(HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC old, LRESULT& result) {
    switch (m) {
        case WM_NCPAINT:
            if (GetWindowLongW(h, GWL_STYLE) & (WS_VSCROLL | WS_HSCROLL))
                CallWindowProcW(old, h, m, w, l);
            paintFrame(h);
            result = 0;
            return true;
        case WM_NCACTIVATE:
            // -1 keeps the default handler from painting its own caption first.
            result = CallWindowProcW(old, h, m, w, -1);
            setState(h, w ? (state(h) | kActive) : (state(h) & ~kActive));
            paintFrame(h);
            return true;
        case WM_SETTEXT:
        case WM_SETICON:
        case WM_ENABLE:
            result = CallWindowProcW(old, h, m, w, l);
            paintFrame(h);
            return true;
        case WM_SIZE:
            result = CallWindowProcW(old, h, m, w, l);
            if (w != SIZE_MINIMIZED) applyFrameShape(h);
            return true;
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(h, &r);
            FillRect(reinterpret_cast<HDC>(w), &r, g_brush[skin::WindowBackground]);
            result = 1;
            return true;
        }
        case WM_NCHITTEST: {
            result = CallWindowProcW(old, h, m, w, l);
            if (IsIconic(h)) return true;
            FrameGeometry g;
            frameGeometry(h, g);
            POINT p = toWindow(h, {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))});
            int b = buttonAt(g, p);
            if (b != NoButton)
                result = kHitCode[b];
            else if (result == HTCLOSE || result == HTMAXBUTTON || result == HTMINBUTTON ||
                     result == HTHELP)
                result = HTCAPTION;  // where the system would have put its own buttons
            return true;
        }
        case WM_NCMOUSEMOVE: {
            setCaptionState(h, kHoverShift, buttonOfHit(w));
            if (!(state(h) & kTrackingLeave)) {
                TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE | TME_NONCLIENT, h, 0};
                if (TrackMouseEvent(&t)) setState(h, state(h) | kTrackingLeave);
            }
            return false;
        }
        case WM_NCMOUSELEAVE:
            setState(h, state(h) & ~kTrackingLeave);
            setCaptionState(h, kHoverShift, NoButton);
            return false;
        case WM_NCLBUTTONDOWN:
        case WM_NCLBUTTONDBLCLK: {
            int b = buttonOfHit(w);
            if (b == NoButton || IsIconic(h)) return false;
            if (m == WM_NCLBUTTONDOWN) {
                setState(h, state(h) | kPressedInside);
                setCaptionState(h, kPressedShift, b);
                SetCapture(h);
            }
            result = 0;
            return true;
        }
        case WM_MOUSEMOVE:
        case WM_LBUTTONUP: {
            int pressed = static_cast<int>((state(h) >> kPressedShift) & 0xF);
            if (pressed == NoButton) return false;
            FrameGeometry g;
            frameGeometry(h, g);
            POINT p = {static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
            ClientToScreen(h, &p);
            bool inside = buttonAt(g, toWindow(h, p)) == pressed;
            if (m == WM_MOUSEMOVE) {
                UINT_PTR s = state(h);
                UINT_PTR next = inside ? (s | kPressedInside) : (s & ~kPressedInside);
                if (next != s) {
                    setState(h, next);
                    paintFrame(h);
                }
            } else {
                ReleaseCapture();
                setCaptionState(h, kPressedShift, NoButton);
                if (inside) {
                    WPARAM command = pressed == CloseButton ? SC_CLOSE
                                     : pressed == MinButton ? SC_MINIMIZE
                                     : IsZoomed(h)          ? SC_RESTORE
                                                            : SC_MAXIMIZE;
                    SendMessageW(h, WM_SYSCOMMAND, command, 0);
                }
            }
            result = 0;
            return true;
        }
        case WM_CAPTURECHANGED:
            if ((state(h) >> kPressedShift) & 0xF) setCaptionState(h, kPressedShift, NoButton);
            return false;
    }
    return false;
}

// ---------------------------------------------------------------- controls

void paintPushButton(HWND h, HDC target) {
    RECT rc;
    GetClientRect(h, &rc);
    Buffer b(target, rc.right, rc.bottom);
    LONG style = GetWindowLongW(h, GWL_STYLE);
    LRESULT buttonState = SendMessageW(h, BM_GETSTATE, 0, 0);
    bool pressed = (buttonState & BST_PUSHED) != 0;
    bool hot = (state(h) & kHot) != 0;
    bool focused = GetFocus() == h;
    bool enabled = IsWindowEnabled(h) != 0;
    bool isDefault = (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    fill(b.dc, 0, 0, rc.right, rc.bottom, backOf(h));
    int radius = g_skin.metric[skin::ButtonRadius];
    RECT face = {0, 0, rc.right - 1, rc.bottom - 1};
    if (pressed)
        roundGradient(b.dc, face, radius, colour(skin::ButtonPressedTop),
                      colour(skin::ButtonPressedBottom), 0);
    else if (hot && enabled)
        roundGradient(b.dc, face, radius, colour(skin::ButtonHotTop), colour(skin::ButtonHotBottom),
                      g_settings.gloss);
    else
        roundGradient(b.dc, face, radius, colour(skin::ButtonTop), colour(skin::ButtonBottom),
                      g_settings.gloss);
    roundBorder(b.dc, face, radius,
                colour(isDefault || focused ? skin::ButtonDefaultBorder : skin::ButtonBorder));
    if (focused) {
        RECT inner = {1, 1, rc.right - 2, rc.bottom - 2};
        roundBorder(b.dc, inner, radius > 1 ? radius - 1 : radius,
                    mix(colour(skin::ButtonDefaultBorder), RGB(255, 255, 255), 140));
    }
    WCHAR text[256];
    int n = GetWindowTextW(h, text, 256);
    text[n > 0 ? n : 0] = 0;
    HGDIOBJ oldFont = SelectObject(b.dc, windowFont(h));
    SetBkMode(b.dc, TRANSPARENT);
    SetTextColor(b.dc, colour(enabled ? skin::ButtonText : skin::ButtonDisabledText));
    RECT textRect = rc;
    if (pressed) OffsetRect(&textRect, 1, 1);
    DrawTextW(b.dc, text, -1, &textRect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(b.dc, oldFont);
    b.copyTo(0, 0);
}

void paintGroupBox(HWND h, HDC dc) {
    RECT rc;
    GetClientRect(h, &rc);
    for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        RECT cr;
        GetWindowRect(c, &cr);
        MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&cr), 2);
        ExcludeClipRect(dc, cr.left, cr.top, cr.right, cr.bottom);
    }
    fill(dc, 0, 0, rc.right, rc.bottom, backOf(h));
    WCHAR text[256];
    int n = GetWindowTextW(h, text, 256);
    text[n > 0 ? n : 0] = 0;
    HGDIOBJ oldFont = SelectObject(dc, g_groupFont);
    SIZE extent = {0, 0};
    GetTextExtentPoint32W(dc, text, n > 0 ? n : 0, &extent);
    int lineTop = extent.cy / 2;
    int radius = g_skin.metric[skin::GroupRadius];
    RECT frame = {0, lineTop, rc.right, rc.bottom};
    roundRect(dc, frame, radius, colour(skin::GroupFill), colour(skin::GroupFrame));
    if (n > 0) {
        RECT tag = {8, 0, 8 + extent.cx + 14, extent.cy + 1};
        if (tag.right > rc.right - 4) tag.right = rc.right - 4;
        roundGradient(dc, tag, 4, mix(colour(skin::GroupCaptionFill), RGB(255, 255, 255), 50),
                      colour(skin::GroupCaptionFill), 0);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, colour(skin::GroupCaptionText));
        DrawTextW(dc, text, -1, &tag, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
    SelectObject(dc, oldFont);
}

void paintStatusBar(HWND h, HDC target) {
    RECT rc;
    GetClientRect(h, &rc);
    Buffer b(target, rc.right, rc.bottom);
    gradient(b.dc, rc, colour(skin::StatusTop), colour(skin::StatusBottom), g_settings.gloss / 2);
    fill(b.dc, 0, 0, rc.right, 1, colour(skin::StatusSeparator));
    HGDIOBJ oldFont = SelectObject(b.dc, windowFont(h));
    SetBkMode(b.dc, TRANSPARENT);
    SetTextColor(b.dc, colour(skin::StatusText));
    int edges[32];
    int parts = 1;
    bool simple = SendMessageW(h, SB_ISSIMPLE, 0, 0) != 0;
    if (simple) {
        edges[0] = -1;
    } else {
        parts = clamp(static_cast<int>(SendMessageW(h, SB_GETPARTS, 0, 0)), 0, 32);
        SendMessageW(h, SB_GETPARTS, parts, reinterpret_cast<LPARAM>(edges));
    }
    int left = 0;
    for (int i = 0; i < parts; ++i) {
        int right = edges[i] < 0 || edges[i] > rc.right ? rc.right : edges[i];
        WPARAM part = simple ? SB_SIMPLEID : static_cast<WPARAM>(i);
        LRESULT info = SendMessageW(h, SB_GETTEXTLENGTHW, part, 0);
        int length = LOWORD(info);
        if (!(HIWORD(info) & SBT_OWNERDRAW) && length > 0) {
            // SB_GETTEXT has no buffer size: make room for the whole text.
            WCHAR small[256];
            WCHAR* text = small;
            if (length >= 256)
                text = static_cast<WCHAR*>(
                    HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(WCHAR)));
            if (text) {
                text[0] = 0;
                SendMessageW(h, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
                text[length] = 0;
                RECT r = {left + 6, 1, right - 4, rc.bottom};
                DrawTextW(b.dc, text, -1, &r,
                          DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_END_ELLIPSIS | DT_NOPREFIX);
                if (text != small) HeapFree(GetProcessHeap(), 0, text);
            }
        }
        if (i + 1 < parts) {
            fill(b.dc, right - 2, 4, right - 1, rc.bottom - 3,
                 mix(colour(skin::StatusBottom), RGB(0, 0, 0), 80));
            fill(b.dc, right - 1, 4, right, rc.bottom - 3, colour(skin::StatusSeparator));
        }
        left = right;
    }
    SelectObject(b.dc, oldFont);
    b.copyTo(0, 0);
}

void paintHeader(HWND h, HDC target) {
    RECT rc;
    GetClientRect(h, &rc);
    Buffer b(target, rc.right, rc.bottom);
    gradient(b.dc, rc, colour(skin::HeaderTop), colour(skin::HeaderBottom), g_settings.gloss / 2);
    fill(b.dc, 0, rc.bottom - 2, rc.right, rc.bottom, colour(skin::HeaderLine));
    HGDIOBJ oldFont = SelectObject(b.dc, windowFont(h));
    SetBkMode(b.dc, TRANSPARENT);
    SetTextColor(b.dc, colour(skin::HeaderText));
    int count = clamp(static_cast<int>(SendMessageW(h, HDM_GETITEMCOUNT, 0, 0)), 0, 64);
    for (int i = 0; i < count; ++i) {
        RECT item;
        if (!SendMessageW(h, HDM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item))) continue;
        WCHAR text[256];
        text[0] = 0;
        HDITEMW hd = {};
        hd.mask = HDI_TEXT | HDI_FORMAT;
        hd.pszText = text;
        hd.cchTextMax = 256;
        SendMessageW(h, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&hd));
        text[255] = 0;
        UINT align = (hd.fmt & HDF_JUSTIFYMASK) == HDF_CENTER  ? DT_CENTER
                     : (hd.fmt & HDF_JUSTIFYMASK) == HDF_RIGHT ? DT_RIGHT
                                                               : DT_LEFT;
        RECT r = {item.left + 7, item.top, item.right - 6, item.bottom - 2};
        DrawTextW(b.dc, text, -1, &r,
                  align | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        fill(b.dc, item.right - 1, 4, item.right, rc.bottom - 6, colour(skin::HeaderSeparator));
    }
    SelectObject(b.dc, oldFont);
    b.copyTo(0, 0);
}

// A flat border in place of the sunken 3D edge of edit boxes and lists.
void paintFlatBorder(HWND h) {
    if (!(GetWindowLongW(h, GWL_EXSTYLE) & WS_EX_CLIENTEDGE)) return;
    HDC dc = GetWindowDC(h);
    if (!dc) return;
    RECT wr;
    GetWindowRect(h, &wr);
    int w = wr.right - wr.left, ht = wr.bottom - wr.top;
    bool focused = GetFocus() == h;
    frameRect(dc, 0, 0, w, ht, colour(focused ? skin::EditBorderFocus : skin::EditBorder));
    frameRect(dc, 1, 1, w - 1, ht - 1,
              colour(kindOf(h) == KindList ? skin::ListBackground : skin::EditBackground));
    ReleaseDC(h, dc);
}

// The toolbar's own painting is steered through custom draw at its parent.
LRESULT toolbarCustomDraw(NMTBCUSTOMDRAW* cd) {
    HWND toolbar = cd->nmcd.hdr.hwndFrom;
    RECT rc;
    GetClientRect(toolbar, &rc);
    switch (cd->nmcd.dwDrawStage) {
        case CDDS_PREERASE:
            gradient(cd->nmcd.hdc, rc, colour(skin::ToolbarTop), colour(skin::ToolbarBottom),
                     g_settings.gloss);
            return CDRF_SKIPDEFAULT;
        case CDDS_PREPAINT:
            return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: {
            cd->clrText = colour(skin::ToolbarText);
            cd->clrTextHighlight = colour(skin::ToolbarText);
            UINT itemState = cd->nmcd.uItemState;
            if (itemState & (CDIS_HOT | CDIS_SELECTED | CDIS_CHECKED)) {
                RECT r = cd->nmcd.rc;
                InflateRect(&r, -1, -1);
                COLORREF fillColour = (itemState & CDIS_SELECTED) ? colour(skin::ButtonPressedTop)
                                                                  : colour(skin::ToolbarHot);
                roundRect(cd->nmcd.hdc, r, 4, fillColour, colour(skin::ToolbarHotBorder));
            }
            return TBCDRF_NOEDGES | TBCDRF_NOOFFSET | TBCDRF_NOBACKGROUND;
        }
    }
    return CDRF_DODEFAULT;
}

bool commonMessage(HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC old, LRESULT& result) {
    switch (m) {
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: {
            HDC dc = reinterpret_cast<HDC>(w);
            HWND control = reinterpret_cast<HWND>(l);
            if (m == WM_CTLCOLORSTATIC && kindOf(control) == KindEdit) {  // read-only edit boxes
                SetTextColor(dc, colour(skin::EditText));
                SetBkColor(dc, colour(skin::EditBackground));
                result = reinterpret_cast<LRESULT>(g_brush[skin::EditBackground]);
                return true;
            }
            // Colours the window chose itself are kept: a label background of its own (the
            // layout's light grey), a link's text colour. Black and the system face colour
            // become the skin's.
            LRESULT own = CallWindowProcW(old, h, m, w, l);
            COLORREF chosenBack = GetBkColor(dc);
            if (m == WM_CTLCOLORSTATIC && own && chosenBack != GetSysColor(COLOR_BTNFACE) &&
                chosenBack != GetSysColor(COLOR_WINDOW) && chosenBack != backOf(control)) {
                result = own;
                return true;
            }
            COLORREF chosen = GetTextColor(dc);
            SetTextColor(dc, chosen != RGB(0, 0, 0) && chosen != GetSysColor(COLOR_WINDOWTEXT)
                                 ? chosen
                                 : colour(skin::LabelText));
            HWND of = m == WM_CTLCOLORDLG ? h : control;
            COLORREF back = m == WM_CTLCOLORDLG ? colour(skin::WindowBackground) : backOf(of);
            SetBkColor(dc, back);
            result = reinterpret_cast<LRESULT>(m == WM_CTLCOLORDLG ? g_brush[skin::WindowBackground]
                                                                   : backBrushOf(of));
            return true;
        }
        case WM_CTLCOLOREDIT:
        case WM_CTLCOLORLISTBOX: {
            HDC dc = reinterpret_cast<HDC>(w);
            SetTextColor(dc, colour(skin::EditText));
            SetBkColor(dc, colour(skin::EditBackground));
            result = reinterpret_cast<LRESULT>(g_brush[skin::EditBackground]);
            return true;
        }
        case WM_NOTIFY: {
            NMHDR* header = reinterpret_cast<NMHDR*>(l);
            if (header && header->code == static_cast<UINT>(NM_CUSTOMDRAW) &&
                kindOf(header->hwndFrom) == KindToolbar) {
                result = toolbarCustomDraw(reinterpret_cast<NMTBCUSTOMDRAW*>(l));
                return true;
            }
            return false;
        }
    }
    return false;
}

template <typename Paint>
LRESULT paintWith(HWND h, WPARAM w, Paint paint) {
    if (w) {  // WM_PRINTCLIENT, or a caller that hands its own DC
        paint(h, reinterpret_cast<HDC>(w));
        return 0;
    }
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    if (dc) paint(h, dc);
    EndPaint(h, &ps);
    return 0;
}

void trackHot(HWND h, UINT m) {
    UINT_PTR s = state(h);
    if (m == WM_MOUSEMOVE && !(s & kHot)) {
        TRACKMOUSEEVENT t = {sizeof t, TME_LEAVE, h, 0};
        TrackMouseEvent(&t);
        setState(h, s | kHot);
        InvalidateRect(h, nullptr, FALSE);
    } else if (m == WM_MOUSELEAVE && (s & kHot)) {
        setState(h, s & ~kHot);
        InvalidateRect(h, nullptr, FALSE);
    }
}

bool buttonMessage(HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC old, LRESULT& result) {
    LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    bool push = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
    bool group = type == BS_GROUPBOX;
    if (!push && !group) return false;
    switch (m) {
        case WM_PAINT:
        case WM_PRINTCLIENT:
            result =
                paintWith(h, m == WM_PRINTCLIENT ? w : 0, push ? paintPushButton : paintGroupBox);
            return true;
        case WM_ERASEBKGND:
            result = 1;
            return true;
        case WM_MOUSEMOVE:
        case WM_MOUSELEAVE:
            if (push) trackHot(h, m);
            return false;
        // The button control draws itself straight away on these; draw over it afterwards.
        case BM_SETSTATE:
        case BM_SETSTYLE:
        case BM_SETCHECK:
        case WM_SETTEXT:
        case WM_ENABLE:
        case WM_SETFOCUS:
        case WM_KILLFOCUS:
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
        case WM_LBUTTONDBLCLK:
        case WM_UPDATEUISTATE:
        case WM_KEYDOWN:
        case WM_KEYUP:
            result = CallWindowProcW(old, h, m, w, l);
            if (IsWindow(h)) RedrawWindow(h, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
            return true;
    }
    return false;
}

bool controlMessage(Kind kind, HWND h, UINT m, WPARAM w, LPARAM l, WNDPROC old, LRESULT& result) {
    switch (kind) {
        case KindFrame:
            return frameMessage(h, m, w, l, old, result);
        case KindButton:
            return buttonMessage(h, m, w, l, old, result);
        case KindStatus:
            if (m == WM_PAINT || m == WM_PRINTCLIENT) {
                result = paintWith(h, m == WM_PRINTCLIENT ? w : 0, paintStatusBar);
                return true;
            }
            if (m == WM_ERASEBKGND) {
                result = 1;
                return true;
            }
            return false;
        case KindHeader:
            if (m == WM_PAINT || m == WM_PRINTCLIENT) {
                result = paintWith(h, m == WM_PRINTCLIENT ? w : 0, paintHeader);
                return true;
            }
            if (m == WM_ERASEBKGND) {
                result = 1;
                return true;
            }
            if (m == WM_MOUSEMOVE || m == WM_LBUTTONDOWN || m == WM_LBUTTONUP ||
                m == WM_MOUSELEAVE) {
                result = CallWindowProcW(old, h, m, w, l);
                InvalidateRect(h, nullptr, FALSE);
                return true;
            }
            return false;
        case KindToolbar:
            if (m == WM_ERASEBKGND) {
                RECT rc;
                GetClientRect(h, &rc);
                gradient(reinterpret_cast<HDC>(w), rc, colour(skin::ToolbarTop),
                         colour(skin::ToolbarBottom), g_settings.gloss);
                result = 1;
                return true;
            }
            if (m == WM_NCPAINT) {
                result = CallWindowProcW(old, h, m, w, l);
                FrameGeometry g;
                frameGeometry(h, g);
                if (g.client.top > 0) {
                    HDC dc = GetWindowDC(h);
                    fill(dc, 0, 0, g.width, g.client.top, colour(skin::ToolbarTop));
                    fill(dc, 0, 0, g.width, 1, colour(skin::ToolbarLine));
                    ReleaseDC(h, dc);
                }
                return true;
            }
            return false;
        case KindEdit:
        case KindList:
            if (m == WM_NCPAINT || m == WM_SETFOCUS || m == WM_KILLFOCUS) {
                result = CallWindowProcW(old, h, m, w, l);
                if (IsWindow(h)) paintFlatBorder(h);
                return true;
            }
            return false;
        default:
            return false;
    }
}

void setUpControl(HWND h) {
    if (kindOf(h) == KindFrame) applyFrameShape(h);
    if (kindOf(h) == KindList) {
        SendMessageW(h, LVM_SETBKCOLOR, 0, colour(skin::ListBackground));
        SendMessageW(h, LVM_SETTEXTBKCOLOR, 0, colour(skin::ListBackground));
        SendMessageW(h, LVM_SETTEXTCOLOR, 0, colour(skin::ListText));
    }
}

LRESULT CALLBACK skinProc(HWND h, UINT m, WPARAM w, LPARAM l) {
    Skinned e;
    if (!skinnedWindow(h, e)) return DefWindowProcW(h, m, w, l);
    const WNDPROC old = e.old;
    if (m == WM_NCDESTROY) {
        forgetWindow(h);
        SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        RemovePropW(h, kOldProc);
        RemovePropW(h, kKind);
        RemovePropW(h, kState);
        return CallWindowProcW(old, h, m, w, l);
    }
    if (m == WM_CREATE) {
        LRESULT r = CallWindowProcW(old, h, m, w, l);
        if (r != -1) setUpControl(h);
        return r;
    }
    LRESULT result = 0;
    if (g_attached) {
        if (commonMessage(h, m, w, l, old, result)) return result;
        if (controlMessage(kindOf(h), h, m, w, l, old, result)) return result;
    }
    return CallWindowProcW(old, h, m, w, l);
}

Kind classify(HWND h, LONG style) {
    if (!(style & WS_CHILD)) return (style & WS_CAPTION) == WS_CAPTION ? KindFrame : KindNone;
    WCHAR name[64];
    if (!GetClassNameW(h, name, 64)) return KindNone;
    if (!lstrcmpiW(name, L"Button")) return KindButton;
    if (!lstrcmpiW(name, TOOLBARCLASSNAMEW)) return KindToolbar;
    if (!lstrcmpiW(name, STATUSCLASSNAMEW)) return KindStatus;
    if (!lstrcmpiW(name, WC_HEADERW)) return KindHeader;
    if (!lstrcmpiW(name, WC_LISTVIEWW)) return KindList;
    if (!lstrcmpiW(name, L"Edit")) return KindEdit;
    return KindOther;
}

bool subclass(HWND h, LONG style) {
    if (GetPropW(h, kOldProc)) return false;
    forgetWindow(h);  // a handle can come back for a new window
    Kind kind = classify(h, style);
    if (kind == KindNone) return false;
    SetPropW(h, kKind, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(kind)));
    setState(h, GetActiveWindow() == h ? kActive : 0);
    LONG_PTR old = SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(skinProc));
    if (!old) {
        RemovePropW(h, kKind);
        RemovePropW(h, kState);
        return false;
    }
    SetPropW(h, kOldProc, reinterpret_cast<HANDLE>(old));
    return true;
}

BOOL CALLBACK subclassChild(HWND h, LPARAM) {
    if (subclass(h, GetWindowLongW(h, GWL_STYLE))) setUpControl(h);
    return TRUE;
}

BOOL CALLBACK subclassTopLevel(HWND h, LPARAM) {
    if (subclass(h, GetWindowLongW(h, GWL_STYLE))) setUpControl(h);
    EnumChildWindows(h, subclassChild, 0);  // every descendant, not just direct children
    return TRUE;
}

BOOL CALLBACK redrawTopLevel(HWND h, LPARAM) {
    RedrawWindow(h, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return TRUE;
}

BOOL CALLBACK restoreChild(HWND h, LPARAM) {
    if (WNDPROC old = reinterpret_cast<WNDPROC>(GetPropW(h, kOldProc))) {
        if (kindOf(h) == KindFrame) SetWindowRgn(h, nullptr, TRUE);
        if (GetWindowLongPtrW(h, GWLP_WNDPROC) == reinterpret_cast<LONG_PTR>(skinProc))
            SetWindowLongPtrW(h, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
        forgetWindow(h);
        RemovePropW(h, kOldProc);
        RemovePropW(h, kKind);
        RemovePropW(h, kState);
    }
    return TRUE;
}

BOOL CALLBACK restoreTopLevel(HWND h, LPARAM l) {
    EnumChildWindows(h, restoreChild, l);
    restoreChild(h, l);
    return TRUE;
}

LRESULT CALLBACK cbtHook(int code, WPARAM w, LPARAM l) {
    if (code == HCBT_CREATEWND && g_attached) {
        CBT_CREATEWNDW* create = reinterpret_cast<CBT_CREATEWNDW*>(l);
        subclass(reinterpret_cast<HWND>(w), create->lpcs->style);
    }
    return CallNextHookEx(g_hook, code, w, l);
}

void redrawAll() {
    EnumThreadWindows(g_thread, redrawTopLevel, 0);
}

}  // namespace

// resource/length: the compiled skin; text: a GBK face name for captions, or null;
// saturation: percent of the skin's own (100 keeps it); gloss: percent strength of the
// glossy highlight; hue: degrees to turn the skin's hues by. Non-zero when attached.
extern "C" __declspec(dllexport) int __stdcall SkinH_AttachRes(const unsigned char* resource,
                                                               int length, const char* text,
                                                               int saturation, int gloss, int hue) {
    skin::Skin parsed;
    if (!resource || length <= 0 || !skin::parse(resource, static_cast<unsigned>(length), parsed))
        return 0;
    g_skin = parsed;
    g_settings.saturation = clamp(saturation, 0, 200);
    g_settings.gloss = clamp(gloss, 0, 100);
    g_settings.hue = hue % 360;
    g_settings.face[0] = 0;
    if (text && text[0]) {
        int n = MultiByteToWideChar(936, 0, text, -1, g_settings.face, skin::kMaxFaceChars);
        if (n <= 0) g_settings.face[0] = 0;
        g_settings.face[skin::kMaxFaceChars - 1] = 0;
    }
    rebuildPalette();
    g_thread = GetCurrentThreadId();
    g_attached = true;
    if (!g_hook) g_hook = SetWindowsHookExW(WH_CBT, cbtHook, nullptr, g_thread);
    EnumThreadWindows(g_thread, subclassTopLevel, 0);
    redrawAll();
    OutputDebugStringA("verdalo skin: attached\n");
    return 1;
}

// alpha: weight of the skin's frame and caption colours against the tint (255 = no tint);
// shadowDark: percent darkness of the glow behind caption texts; shadowSharp: percent, 0
// fades the glow out towards its edge, 100 keeps it solid; shadowSize: glow radius in
// pixels (0..12); x, y: glow offset; red, green, blue: the tint. Non-zero once attached.
extern "C" __declspec(dllexport) int __stdcall SkinH_AdjustAero(int alpha, int shadowDark,
                                                                int shadowSharp, int shadowSize,
                                                                int x, int y, int red, int green,
                                                                int blue) {
    g_settings.glassAlpha = clamp(alpha, 0, 255);
    g_settings.shadowDark = clamp(shadowDark, 0, 100);
    g_settings.shadowSharp = clamp(shadowSharp, 0, 100);
    g_settings.shadowSize = clamp(shadowSize, 0, 12);
    g_settings.shadowX = clamp(x, -8, 8);
    g_settings.shadowY = clamp(y, -8, 8);
    g_settings.tint = RGB(clamp(red, 0, 255), clamp(green, 0, 255), clamp(blue, 0, 255));
    if (!g_attached) return 0;
    rebuildPalette();
    redrawAll();
    return 1;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_DETACH) {
        // Being unloaded while windows still point into this code: hand them back.
        OutputDebugStringA("verdalo skin: detached\n");
        if (g_hook) UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
        g_attached = false;
        if (g_thread == GetCurrentThreadId()) EnumThreadWindows(g_thread, restoreTopLevel, 0);
    }
    return TRUE;
}
