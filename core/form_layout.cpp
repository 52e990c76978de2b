// A window's geometry: twips to pixels at the window's DPI, the font, and the icons.
#include "core/form.h"
#include "core/system_dll.h"

#include <algorithm>
#include <climits>
#include <string>

namespace gv {
namespace {

constexpr int kIconResource = 1;

// Per-monitor DPI functions exist from Windows 10 on; older systems have one DPI.
template <typename Fn>
Fn User32Function(const char* name) {
    return OptionalFunction<Fn>(L"user32.dll", name);
}

void AdjustForDpi(RECT& rc, DWORD style, bool menu, DWORD exStyle, int dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto fn = User32Function<AdjustFn>("AdjustWindowRectExForDpi")) {
        fn(&rc, style, menu, exStyle, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&rc, style, menu, exStyle);
    }
}

UniqueFont CreateFace(const wchar_t* face, int dpi, int width = 0) {
    return UniqueFont(::CreateFontW(-::MulDiv(8, dpi, 72), width, 0, 0, FW_NORMAL, FALSE, FALSE,
                                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face));
}

// The DPI the system's bitmap fonts were installed for.
int SystemDpi() {
    using GetDpiForSystemFn = UINT(WINAPI*)();
    if (auto fn = User32Function<GetDpiForSystemFn>("GetDpiForSystem")) {
        return static_cast<int>(fn());
    }
    WindowDC dc(nullptr);
    return ::GetDeviceCaps(dc.get(), LOGPIXELSY);
}

// A face narrowed below its natural width draws a few pixels wider than it
// measures: an autosized label in one keeps this much room (twips) beyond its text.
constexpr int kNarrowedMargin = 90;

int MarginFor(HFONT font, int dpi) {
    LOGFONTW lf{};
    ::GetObjectW(font, sizeof lf, &lf);
    return lf.lfWidth != 0 ? TwipsToPixels(kNarrowedMargin, dpi) : 0;
}

// The room a one-line label that sizes itself has: up to the nearest control
// beside it on its right, or the window's edge.
int RoomBeside(const ControlSpec& label, const FormSpec& form) {
    int right = form.clientWidth;
    for (const ControlSpec& o : form.controls) {
        if (o.left > label.left && o.top < label.top + label.height &&
            label.top < o.top + o.height) {
            right = std::min(right, o.left);
        }
    }
    return right - label.left;
}

// Whether a control's text fits its place in the font: a label's in its rectangle
// (a word-wrapping one may take more lines, as long as they fit its height), a
// label that sizes itself in the room beside it, a caption inside its button's frame.
bool TextFits(HDC dc, HFONT font, HWND hwnd, const ControlSpec& c, const FormSpec& form, int dpi) {
    if (c.kind == ControlKind::TextBox || c.kind == ControlKind::Image) {
        return true;
    }
    const std::wstring text = WindowText(hwnd);
    const bool autoSize = (c.flags & ctl::AutoSize) != 0;
    const bool wrap = (c.flags & ctl::WordWrap) != 0;
    int width = TwipsToPixels(c.width, dpi);
    int height = TwipsToPixels(c.height, dpi);
    if (c.kind != ControlKind::Label) {
        // A button's frame and focus rectangle, an option's round mark and its gap.
        width -= TwipsToPixels(2 * 45 + (c.kind == ControlKind::Option ? 255 : 0), dpi);
        height -= TwipsToPixels(2 * 45, dpi);
    } else if (autoSize) {
        width = TwipsToPixels(RoomBeside(c, form), dpi) - MarginFor(font, dpi);
        height = INT_MAX;
    }
    RECT need{0, 0, wrap ? width : 0, 0};
    SelectObjectScope select(dc, font);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
                DT_CALCRECT | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : 0));
    return need.right <= width && need.bottom <= height;
}

// What the font mapper made of a request: the face it chose and its metrics.
struct Mapped {
    bool named;  // the face asked for, not a stand-in
    TEXTMETRICW metrics;
};

Mapped MapFont(HDC dc, HFONT font, const wchar_t* face) {
    SelectObjectScope select(dc, font);
    wchar_t chosen[LF_FACESIZE] = {};
    ::GetTextFaceW(dc, LF_FACESIZE, chosen);
    Mapped m{lstrcmpiW(chosen, face) == 0, {}};
    ::GetTextMetricsW(dc, &m.metrics);
    return m;
}

// The design's font is MS Sans Serif. Its TrueType twin, where the system has it,
// is taken while the window's text fits in it, since its widths differ. The bitmap
// face exists only in the sizes of the files installed for the system's DPI: at
// any other DPI, or where no file has the size asked for, the lines would be too
// high or too low, so the window takes the scalable face that Windows and Wine
// both have, narrowed where its letters are too wide for the design's places.
template <typename Fits>
UniqueFont CreateDesignFont(HWND hwnd, int dpi, Fits fits) {
    constexpr wchar_t kTrueType[] = L"Microsoft Sans Serif";
    constexpr wchar_t kBitmap[] = L"MS Sans Serif";
    constexpr wchar_t kScalable[] = L"Tahoma";
    WindowDC dc(hwnd);
    if (UniqueFont twin = CreateFace(kTrueType, dpi);
        MapFont(dc.get(), twin.get(), kTrueType).named && fits(dc.get(), twin.get())) {
        return twin;
    }
    if (dpi == SystemDpi()) {
        UniqueFont bitmap = CreateFace(kBitmap, dpi);
        const Mapped m = MapFont(dc.get(), bitmap.get(), kBitmap);
        const int em = m.metrics.tmHeight - m.metrics.tmInternalLeading;
        if (m.named && em == ::MulDiv(8, dpi, 72) && fits(dc.get(), bitmap.get())) {
            return bitmap;
        }
    }
    UniqueFont font = CreateFace(kScalable, dpi);
    const int natural = MapFont(dc.get(), font.get(), kScalable).metrics.tmAveCharWidth;
    for (int width = natural - 1; width >= natural * 3 / 4 && !fits(dc.get(), font.get());
         --width) {
        font = CreateFace(kScalable, dpi, width);
    }
    return font;
}

UniqueIcon LoadIconAt(HINSTANCE instance, int size) {
    return UniqueIcon(static_cast<HICON>(
        ::LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, size, size, 0)));
}

}  // namespace

int TwipsToPixels(int twips, int dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

int Form::WindowDpi() const {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (auto fn = User32Function<GetDpiForWindowFn>("GetDpiForWindow")) {
        if (const UINT dpi = fn(hwnd_)) {
            return static_cast<int>(dpi);
        }
    }
    return SystemDpi();
}

void Form::Layout(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    UniqueFont font = CreateDesignFont(hwnd_, dpi, [&](HDC dc, HFONT candidate) {
        return std::ranges::all_of(controls_, [&](const Created& c) {
            return TextFits(dc, candidate, c.hwnd, *c.def, layout_, dpi);
        });
    });
    const int clientW = TwipsToPixels(layout_.clientWidth, dpi);
    const int clientH = TwipsToPixels(layout_.clientHeight, dpi);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
    RECT rc{0, 0, clientW, clientH};
    AdjustForDpi(rc, style, ::GetMenu(hwnd_) != nullptr, exStyle, dpi);
    int w = rc.right - rc.left;
    int h = rc.bottom - rc.top;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (suggested ? 0 : SWP_NOMOVE);
    const int x = suggested ? suggested->left : 0;
    const int y = suggested ? suggested->top : 0;
    ::SetWindowPos(hwnd_, nullptr, x, y, w, h, flags);
    // A wrapped menu bar or an unusual frame: correct by what the client area became.
    RECT client{};
    ::GetClientRect(hwnd_, &client);
    if (client.right != clientW || client.bottom != clientH) {
        w += clientW - client.right;
        h += clientH - client.bottom;
        ::SetWindowPos(hwnd_, nullptr, x, y, w, h, flags);
    }

    for (const Created& c : controls_) {
        ::SendMessageW(c.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    font_ = std::move(font);
    for (const Created& c : controls_) {
        const ControlSpec& s = *c.def;
        int cw = TwipsToPixels(s.width, dpi);
        int ch = TwipsToPixels(s.height, dpi);
        if (s.flags & ctl::AutoSize) {
            WindowDC dc(hwnd_);
            SelectObjectScope select(dc.get(), font_.get());
            const std::wstring text = WindowText(c.hwnd);
            RECT extent{0, 0, 0, 0};
            ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent,
                        DT_CALCRECT | DT_SINGLELINE | DT_LEFT);
            cw = std::min<int>(extent.right + MarginFor(font_.get(), dpi),
                               TwipsToPixels(RoomBeside(s, layout_), dpi));
            ch = extent.bottom;
        }
        ::MoveWindow(c.hwnd, TwipsToPixels(s.left, dpi), TwipsToPixels(s.top, dpi), cw, ch, TRUE);
    }
    if (layout_.icon) {
        LoadIcons(dpi);
    }
}

void Form::LoadIcons(int dpi) {
    UniqueIcon bigIcon = LoadIconAt(Instance(), ::MulDiv(32, dpi, 96));
    UniqueIcon smallIcon = LoadIconAt(Instance(), ::MulDiv(16, dpi, 96));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
    ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    for (const Created& c : controls_) {
        if (c.def->kind == ControlKind::Image) {
            ::SendMessageW(c.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(bigIcon.get()), 0);
            ::MoveWindow(c.hwnd, TwipsToPixels(c.def->left, dpi), TwipsToPixels(c.def->top, dpi),
                         TwipsToPixels(c.def->width, dpi), TwipsToPixels(c.def->height, dpi), TRUE);
        }
    }
    // The window and its images hold the new icons now: the old ones may go.
    bigIcon_ = std::move(bigIcon);
    smallIcon_ = std::move(smallIcon);
}

void Form::Centre() {
    RECT wr{};
    ::GetWindowRect(hwnd_, &wr);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    ::GetMonitorInfoW(::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    const RECT& work = mi.rcWork;
    const int w = wr.right - wr.left;
    const int h = wr.bottom - wr.top;
    const int x = work.left + (work.right - work.left - w) / 2;
    const int y = work.top + (work.bottom - work.top - h) / 2;
    ::SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace gv
