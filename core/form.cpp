#include "core/form.h"

#include <algorithm>
#include <tuple>

#include "core/app.h"

namespace gv {
namespace {

constexpr wchar_t kFormClass[] = L"GrindvaktForm";
constexpr int kIconResource = 1;

HINSTANCE Instance() {
    return ::GetModuleHandleW(nullptr);
}

void RegisterFormClass(WNDPROC proc) {
    WNDCLASSEXW wc{};
    if (::GetClassInfoExW(Instance(), kFormClass, &wc)) {
        return;
    }
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = Instance();
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    ::RegisterClassExW(&wc);
}

// Per-monitor DPI functions exist from Windows 10 on; older systems have one DPI.
template <typename Fn>
Fn User32Function(const char* name) {
    return reinterpret_cast<Fn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

int DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    if (auto fn = User32Function<GetDpiForWindowFn>("GetDpiForWindow")) {
        if (const UINT dpi = fn(hwnd)) {
            return static_cast<int>(dpi);
        }
    }
    WindowDC dc(nullptr);
    return ::GetDeviceCaps(dc.get(), LOGPIXELSX);
}

void AdjustForDpi(RECT& rc, DWORD style, bool menu, DWORD exStyle, int dpi) {
    using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    if (auto fn = User32Function<AdjustFn>("AdjustWindowRectExForDpi")) {
        fn(&rc, style, menu, exStyle, static_cast<UINT>(dpi));
    } else {
        ::AdjustWindowRectEx(&rc, style, menu, exStyle);
    }
}

UniqueFont CreateFace(const wchar_t* face, int dpi) {
    return UniqueFont(::CreateFontW(-::MulDiv(8, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                    DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face));
}

// Whether a label's text fits its rectangle in the font: a word-wrapping label
// may take more lines, as long as they fit its height.
bool TextFits(HDC dc, HFONT font, HWND label, const ControlSpec& spec, int dpi) {
    const std::wstring text = WindowText(label);
    const int width = TwipsToPixels(spec.width, dpi);
    const bool wrap = (spec.flags & ctl::WordWrap) != 0;
    RECT need{0, 0, wrap ? width : 0, 0};
    SelectObjectScope select(dc, font);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
                DT_CALCRECT | DT_EXPANDTABS | (wrap ? DT_WORDBREAK : 0));
    return need.right <= width && need.bottom <= TwipsToPixels(spec.height, dpi);
}

// The design's font is MS Sans Serif; its TrueType twin, where the system has it,
// is taken only while the window's text fits in it, since its widths differ.
// Asking the font mapper which face it chose is cheaper than enumerating fonts.
template <typename Fits>
UniqueFont CreateDesignFont(HWND hwnd, int dpi, Fits fits) {
    constexpr wchar_t kTrueType[] = L"Microsoft Sans Serif";
    UniqueFont font = CreateFace(kTrueType, dpi);
    WindowDC dc(hwnd);
    wchar_t chosen[LF_FACESIZE] = {};
    {
        SelectObjectScope select(dc.get(), font.get());
        ::GetTextFaceW(dc.get(), LF_FACESIZE, chosen);
    }
    if (lstrcmpiW(chosen, kTrueType) == 0 && fits(dc.get(), font.get())) {
        return font;
    }
    return CreateFace(L"MS Sans Serif", dpi);
}

// A window without a taskbar button is owned by the program's window it opens
// over, so that window can never be raised above it (a click on its taskbar
// button would otherwise hide the modal window and the program would look hung).
HWND OwnerForUnlisted() {
    HWND active = ::GetActiveWindow();
    if (Form::FromHwnd(active) && ::IsWindowVisible(active)) {
        return active;
    }
    HWND found = nullptr;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND w, LPARAM out) -> BOOL {
            if (Form::FromHwnd(w) && ::IsWindowVisible(w) && ::IsWindowEnabled(w)) {
                *reinterpret_cast<HWND*>(out) = w;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found ? found : app::HiddenOwner();
}

bool IsOption(HWND h) {
    const auto type = static_cast<DWORD>(::GetWindowLongPtrW(h, GWL_STYLE)) & BS_TYPEMASK;
    return type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON;
}

bool IsChecked(HWND h) {
    return ::SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// On Windows an automatic option button that gets the focus checks itself, so
// the focus may only ever reach an option group through its checked button.
// Null when the group has none checked.
HWND FocusableFor(HWND parent, HWND h) {
    if (!h || !IsOption(h) || IsChecked(h)) {
        return h;
    }
    for (HWND o = ::GetNextDlgGroupItem(parent, h, FALSE); o && o != h;
         o = ::GetNextDlgGroupItem(parent, o, FALSE)) {
        if (IsOption(o) && IsChecked(o)) {
            return o;
        }
    }
    return nullptr;
}

bool IsTabStopKind(ControlKind kind) {
    return kind == ControlKind::TextBox || kind == ControlKind::Button ||
           kind == ControlKind::Option;
}

}  // namespace

int TwipsToPixels(int twips, int dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

Form::Form(const FormSpec& layout) : layout_(layout) {}

Form::~Form() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

Form* Form::FromHwnd(HWND hwnd) {
    if (!hwnd) {
        return nullptr;
    }
    wchar_t cls[32] = {};
    if (!::GetClassNameW(hwnd, cls, 32) || lstrcmpW(cls, kFormClass) != 0) {
        return nullptr;
    }
    return reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

void Form::Load(std::unique_ptr<Form>* slot) {
    slot_ = slot;
    RegisterFormClass(&Form::WndProc);
    DWORD style =
        layout_.titleBar ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU) : (WS_POPUP | WS_DLGFRAME);
    style |= WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT | (layout_.taskbar ? WS_EX_APPWINDOW : 0);
    HWND owner = layout_.taskbar ? nullptr : OwnerForUnlisted();
    hwnd_ = ::CreateWindowExW(exStyle, kFormClass, layout_.caption, style, 0, 0, 100, 100, owner,
                              CreateMenuBar(), Instance(), this);
    if (!hwnd_) {
        Raise(err::OutOfMemory);
    }
    app::FormLoaded();
    dpi_ = DpiOf(hwnd_);
    CreateControls();
    Layout(dpi_, nullptr);
    Centre();
    for (const TimerSpec& t : layout_.timers) {
        ::SetTimer(hwnd_, t.id, t.interval, nullptr);
    }
    Form_Load();
}

void Form::CreateControls() {
    // Creation order is the z-order: the tab order, with each label just before
    // the control it names so screen readers pair them.
    auto key = [this](const ControlSpec& c) {
        int tab = c.tabIndex == kNoTabIndex ? 1 << 20 : c.tabIndex;
        int sub = 1;
        if (c.labelFor) {
            if (const ControlSpec* target = Find(c.labelFor)) {
                tab = target->tabIndex;
                sub = 0;
            }
        }
        return std::tuple(tab, sub);
    };
    std::vector<const ControlSpec*> order;
    for (const ControlSpec& c : layout_.controls) {
        order.push_back(&c);
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](const ControlSpec* a, const ControlSpec* b) { return key(*a) < key(*b); });

    ControlKind previous = ControlKind::Label;
    for (const ControlSpec* c : order) {
        const wchar_t* cls = L"STATIC";
        DWORD style = WS_CHILD | WS_VISIBLE;
        DWORD exStyle = 0;
        switch (c->kind) {
            case ControlKind::Label:
                style |= (c->flags & ctl::WordWrap) ? SS_LEFT : SS_LEFTNOWORDWRAP;
                break;
            case ControlKind::Image:
                style |= SS_ICON | SS_REALSIZEIMAGE;
                break;
            case ControlKind::TextBox:
                cls = L"EDIT";
                style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
                exStyle = WS_EX_CLIENTEDGE;
                break;
            case ControlKind::Button:
                cls = L"BUTTON";
                style |=
                    WS_TABSTOP | ((c->flags & ctl::Default) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
                break;
            case ControlKind::Option:
                cls = L"BUTTON";
                style |= BS_AUTORADIOBUTTON;
                break;
        }
        // Option buttons in a row form one group and one tab stop.
        if (c->kind != ControlKind::Option || previous != ControlKind::Option) {
            style |= WS_GROUP;
            if (c->kind == ControlKind::Option) {
                style |= WS_TABSTOP;
            }
        }
        previous = c->kind;
        HWND h = ::CreateWindowExW(exStyle, cls, c->caption, style, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c->id)), Instance(),
                                   nullptr);
        if (!h) {
            Raise(err::OutOfMemory);
        }
        if (c->kind == ControlKind::TextBox) {
            ::SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no length limit, not 32,767
        }
        controls_.push_back({c, h});
    }
}

void Form::Layout(int dpi, const RECT* suggested) {
    dpi_ = dpi;
    // Labels that size themselves always fit; the others must hold their text.
    UniqueFont font = CreateDesignFont(hwnd_, dpi, [&](HDC dc, HFONT candidate) {
        return std::ranges::all_of(controls_, [&](const Created& c) {
            return c.def->kind != ControlKind::Label || (c.def->flags & ctl::AutoSize) ||
                   TextFits(dc, candidate, c.hwnd, *c.def, dpi);
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
            cw = extent.right;
            ch = extent.bottom;
        }
        ::MoveWindow(c.hwnd, TwipsToPixels(s.left, dpi), TwipsToPixels(s.top, dpi), cw, ch, TRUE);
    }

    if (layout_.icon) {
        const int big = ::MulDiv(32, dpi, 96);
        const int small = ::MulDiv(16, dpi, 96);
        bigIcon_.reset(static_cast<HICON>(
            ::LoadImageW(Instance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, big, big, 0)));
        smallIcon_.reset(static_cast<HICON>(::LoadImageW(
            Instance(), MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, small, small, 0)));
        ::SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
        ::SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
        for (const Created& c : controls_) {
            if (c.def->kind == ControlKind::Image) {
                ::SendMessageW(c.hwnd, STM_SETICON, reinterpret_cast<WPARAM>(bigIcon_.get()), 0);
                ::MoveWindow(c.hwnd, TwipsToPixels(c.def->left, dpi),
                             TwipsToPixels(c.def->top, dpi), TwipsToPixels(c.def->width, dpi),
                             TwipsToPixels(c.def->height, dpi), TRUE);
            }
        }
    }
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

const ControlSpec* Form::Find(int id) const {
    for (const ControlSpec& c : layout_.controls) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

const ControlSpec* Form::FindByFlag(unsigned flag) const {
    for (const ControlSpec& c : layout_.controls) {
        if (c.flags & flag) {
            return &c;
        }
    }
    return nullptr;
}

HWND Form::Control(int id) const {
    return ::GetDlgItem(hwnd_, id);
}

std::wstring Form::Text(int id) const {
    return WindowText(Control(id));
}

void Form::SetText(int id, std::wstring_view text) {
    const std::wstring t(text);
    ::SetWindowTextW(Control(id), t.c_str());
    const ControlSpec* s = Find(id);
    // A label's text may change its size or the window's font.
    if (s && s->kind == ControlKind::Label) {
        Layout(dpi_, nullptr);
    }
}

void Form::SetFocusTo(int id) {
    FocusOn(Control(id));
}

void Form::FocusOn(HWND control) {
    if (HWND target = FocusableFor(hwnd_, control)) {
        ::SetFocus(target);
    } else {
        FocusFirst();
    }
}

void Form::SetEnabled(int id, bool enabled) {
    ::EnableWindow(Control(id), enabled ? TRUE : FALSE);
}

bool Form::IsChecked(int id) const {
    return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Form::SetChecked(int id) {
    // Selecting one option clears the others of its group, as a click would.
    for (const Created& c : controls_) {
        if (c.def->kind == ControlKind::Option) {
            ::SendMessageW(c.hwnd, BM_SETCHECK, c.def->id == id ? BST_CHECKED : BST_UNCHECKED, 0);
        }
    }
    FollowCheckedOption();
}

void Form::FollowCheckedOption() {
    // Tab enters an option group at its selected button, as in any dialog.
    for (const Created& c : controls_) {
        if (c.def->kind == ControlKind::Option) {
            const bool checked = ::SendMessageW(c.hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED;
            auto style = ::GetWindowLongPtrW(c.hwnd, GWL_STYLE);
            style = checked ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
            ::SetWindowLongPtrW(c.hwnd, GWL_STYLE, style);
        }
    }
}

void Form::FocusFirst() {
    const Created* first = nullptr;
    for (const Created& c : controls_) {
        if (IsTabStopKind(c.def->kind) && c.def->tabIndex != kNoTabIndex &&
            ::IsWindowEnabled(c.hwnd) && FocusableFor(hwnd_, c.hwnd) == c.hwnd &&
            (!first || c.def->tabIndex < first->def->tabIndex)) {
            first = &c;
        }
    }
    if (first) {
        ::SetFocus(first->hwnd);
    }
}

void Form::Show() {
    ::ShowWindow(hwnd_, SW_SHOW);
    ::SetForegroundWindow(hwnd_);
    HWND focus = ::GetFocus();
    if (!focus || !::IsChild(hwnd_, focus)) {
        FocusFirst();
    }
}

void Form::ShowModal() {
    // The rest of the program waits: its windows take no input until this one is gone.
    std::vector<HWND>& disabled = disabledWhileModal_;
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND w, LPARAM out) -> BOOL {
            if (::IsWindowVisible(w) && ::IsWindowEnabled(w)) {
                reinterpret_cast<std::vector<HWND>*>(out)->push_back(w);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&disabled));
    std::erase(disabled, hwnd_);
    for (HWND w : disabled) {
        ::EnableWindow(w, FALSE);
    }
    HWND previousActive = ::GetActiveWindow();
    ++busy_;
    Show();
    app::PumpUntil([this] { return !hwnd_ || !::IsWindowVisible(hwnd_); });
    --busy_;
    EnableWindowsBelow();
    if (previousActive && ::IsWindow(previousActive)) {
        ::SetForegroundWindow(previousActive);
        ::SetActiveWindow(previousActive);
    }
}

void Form::EnableWindowsBelow() {
    for (HWND w : std::exchange(disabledWhileModal_, {})) {
        if (::IsWindow(w)) {
            ::EnableWindow(w, TRUE);
        }
    }
}

void Form::Unload() {
    if (!slot_) {
        return;
    }
    // Let another of our windows take the activation before this one goes.
    if (hwnd_) {
        // The windows below first, so the activation goes back to one of them and
        // not to another program's window.
        EnableWindowsBelow();
        HWND h = std::exchange(hwnd_, nullptr);
        ::ShowWindow(h, SW_HIDE);
        ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        ::DestroyWindow(h);
    }
    controls_.clear();
    std::unique_ptr<Form> self = std::move(*slot_);
    slot_ = nullptr;
    app::Bury(std::move(self));
    app::FormUnloaded();
}

HMENU BuildMenuBar(const wchar_t* title, std::span<const MenuItemSpec> items) {
    HMENU popup = ::CreatePopupMenu();
    for (const MenuItemSpec& item : items) {
        if (item.id == 0) {
            ::AppendMenuW(popup, MF_SEPARATOR, 0, nullptr);
        } else {
            ::AppendMenuW(popup, MF_STRING, static_cast<UINT_PTR>(item.id), item.caption);
        }
    }
    HMENU bar = ::CreateMenu();
    ::AppendMenuW(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), title);
    return bar;
}

void Form::Click(int id) {
    HWND h = Control(id);
    if (h && ::IsWindowEnabled(h) && ::IsWindowVisible(h)) {
        ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(h));
    }
}

bool Form::PreTranslate(MSG& msg) {
    if (msg.message == WM_KEYDOWN && (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE)) {
        const HWND focus = ::GetFocus();
        const ControlSpec* focused = nullptr;
        for (const Created& c : controls_) {
            if (c.hwnd == focus) {
                focused = c.def;
            }
        }
        if (msg.wParam == VK_ESCAPE) {
            if (const ControlSpec* cancel = FindByFlag(ctl::Cancel)) {
                Click(cancel->id);
            }
            return true;
        }
        if (focused && focused->kind == ControlKind::Button) {
            Click(focused->id);
            return true;
        }
        if (focused && focused->kind == ControlKind::TextBox) {
            ++busy_;
            const bool handled = OnEnterIn(focused->id);
            --busy_;
            if (handled) {
                return true;
            }
        }
        if (const ControlSpec* def = FindByFlag(ctl::Default)) {
            Click(def->id);
        }
        return true;
    }
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

LRESULT CALLBACK Form::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
        auto* form = static_cast<Form*>(cs->lpCreateParams);
        form->hwnd_ = hwnd;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    Form* form = reinterpret_cast<Form*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!form) {
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    // While the run-time error box shows, no handler runs: a timer must not end
    // the run as if it had gone well, and a close must not unload anything.
    if (app::Failing()) {
        if (msg == WM_TIMER || msg == WM_COMMAND || msg == WM_CLOSE) {
            return 0;
        }
        return ::DefWindowProcW(hwnd, msg, wp, lp);
    }
    // No exception may cross into user32: an escaped error ends the run here.
    ++form->busy_;
    LRESULT result = 0;
    try {
        result = form->Handle(msg, wp, lp);
    } catch (...) {
        app::FatalCurrentException();
    }
    --form->busy_;
    return result;
}

LRESULT Form::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (const ControlSpec* s = Find(LOWORD(wp)); s && s->kind == ControlKind::Option) {
                FollowCheckedOption();
            }
            OnCommand(LOWORD(wp), HIWORD(wp));
            return 0;
        case WM_TIMER:
            OnTimer(wp);
            return 0;
        case WM_CLOSE:
            Unload();
            return 0;
        case WM_ACTIVATE:
            if (LOWORD(wp) == WA_INACTIVE) {
                HWND focus = ::GetFocus();
                if (focus && ::IsChild(hwnd_, focus)) {
                    lastFocus_ = focus;
                }
            } else if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsChild(hwnd_, lastFocus_)) {
                FocusOn(lastFocus_);
            } else {
                FocusFirst();
            }
            return 0;
        case WM_NEXTDLGCTL: {
            HWND next =
                lp ? reinterpret_cast<HWND>(wp) : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wp != 0);
            next = FocusableFor(hwnd_, next);
            if (next) {
                ::SetFocus(next);
                if (::SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
                    ::SendMessageW(next, EM_SETSEL, 0, -1);
                }
            }
            return 0;
        }
        case DM_GETDEFID:
            if (const ControlSpec* def = FindByFlag(ctl::Default)) {
                return MAKELRESULT(def->id, DC_HASDEFID);
            }
            return 0;
        case WM_CTLCOLORSTATIC: {
            // Text on the window's button face in the colour the scheme pairs with it:
            // black in the standard scheme, and readable in a high-contrast one.
            const auto dc = reinterpret_cast<HDC>(wp);
            ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
            ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
        }
        case WM_DPICHANGED:
            Layout(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
            return 0;
        default:
            return ::DefWindowProcW(hwnd_, msg, wp, lp);
    }
}

}  // namespace gv
