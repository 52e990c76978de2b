// A window's lifetime and its window procedure.
#include "core/form.h"

#include <utility>

#include "core/app.h"

namespace gv {
namespace {

constexpr wchar_t kFormClass[] = L"GrindvaktForm";

// Loaded windows; the run ends when the last one is unloaded.
int g_loadedForms = 0;
HWND g_hiddenOwner = nullptr;

void RegisterFormClass(HINSTANCE instance, WNDPROC proc) {
    WNDCLASSEXW wc{};
    if (::GetClassInfoExW(instance, kFormClass, &wc)) {
        return;
    }
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    if (!::RegisterClassExW(&wc)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_CLASS_ALREADY_EXISTS) {
            RaiseSystemError(error, kFormClass);
        }
    }
}

// An invisible owner that keeps windows out of the taskbar.
HWND HiddenOwner(HINSTANCE instance) {
    if (!g_hiddenOwner) {
        g_hiddenOwner = ::CreateWindowExW(0, L"STATIC", kAppTitle, WS_POPUP, 0, 0, 0, 0, nullptr,
                                          nullptr, instance, nullptr);
        if (!g_hiddenOwner) {
            RaiseSystemError(::GetLastError());
        }
    }
    return g_hiddenOwner;
}

// A window without a taskbar button is owned by the program's window it opens
// over, so that window can never be raised above it (a click on its taskbar
// button would otherwise hide the modal window and the program would look hung).
HWND OwnerForUnlisted(HINSTANCE instance) {
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
    return found ? found : HiddenOwner(instance);
}

}  // namespace

Form::Form(const FormSpec& layout) : layout_(layout) {}

Form::~Form() {
    if (hwnd_) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

HINSTANCE Form::Instance() {
    return ::GetModuleHandleW(nullptr);
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

void Form::LoadInto(Owner& slot, const Owner& form) {
    // The slot holds the instance while Form_Load runs, so that it can reach its own window.
    slot = form;
    form->slot_ = &slot;
    form->self_ = form;
    try {
        form->Load();
    } catch (...) {
        form->Close(false);
        throw;
    }
    if (!slot) {
        Raise(err::InvalidCall);  // Form_Load unloaded its own window
    }
}

void Form::Load() {
    RegisterFormClass(Instance(), &Form::WndProc);
    DWORD style =
        layout_.titleBar ? (WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU) : (WS_POPUP | WS_DLGFRAME);
    style |= WS_CLIPCHILDREN;
    DWORD exStyle = WS_EX_CONTROLPARENT | (layout_.taskbar ? WS_EX_APPWINDOW : 0);
    HWND owner = layout_.taskbar ? nullptr : OwnerForUnlisted(Instance());
    UniqueMenu menu = BuildMenuBar(layout_.menu);
    if (!::CreateWindowExW(exStyle, kFormClass, layout_.caption, style, 0, 0, 100, 100, owner,
                           menu.get(), Instance(), this)) {
        const DWORD error = ::GetLastError();
        hwnd_ = nullptr;
        RaiseSystemError(error, layout_.caption);
    }
    menu.release();  // the window destroys its menu bar with itself
    ++g_loadedForms;
    CreateControls();
    Layout(WindowDpi(), nullptr);
    Centre();
    StartTimers();
    Form_Load();
}

void Form::Unload() {
    Close(true);
}

void Form::Close(bool endRunIfLast) {
    if (!slot_) {
        return;
    }
    // Frees the instance at the end of this call unless a running handler still holds it.
    const Owner self = std::exchange(*slot_, nullptr);
    slot_ = nullptr;
    if (hwnd_) {
        // The windows below first, so the activation goes back to one of them and
        // not to another program's window.
        EnableWindowsBelow();
        HWND h = std::exchange(hwnd_, nullptr);
        ::ShowWindow(h, SW_HIDE);
        ::SetWindowLongPtrW(h, GWLP_USERDATA, 0);
        ::DestroyWindow(h);
        // A window that never finished loading does not end the run.
        if (--g_loadedForms == 0 && endRunIfLast) {
            ::PostQuitMessage(0);
        }
    }
    controls_.clear();
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
    {
        const Owner scope = self_.lock();  // the window may be unloaded while it shows
        Show();
        app::PumpUntil([this] { return !hwnd_ || !::IsWindowVisible(hwnd_); });
    }
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
    // A handler may unload this window: the instance lives until the handler returns.
    const Owner scope = form->self_.lock();
    // No exception may cross into user32: an escaped error ends the run here.
    try {
        return form->Handle(msg, wp, lp);
    } catch (...) {
        app::FatalCurrentException();
    }
}

LRESULT Form::Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (const ControlSpec* s = Find(LOWORD(wp)); s && s->kind == ControlKind::Option) {
                FollowCheckedOption();
            }
            // A menu item sends 0, the same code as a button's click.
            if (HIWORD(wp) == BN_CLICKED) {
                RunCommand(LOWORD(wp));
            }
            return 0;
        case WM_TIMER:
            RunTimer(wp);
            return 0;
        case WM_CLOSE:
            Unload();
            return 0;
        case WM_ACTIVATE:
            OnActivate(wp);
            return 0;
        case WM_NEXTDLGCTL:
            NextControl(wp, lp);
            return 0;
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
