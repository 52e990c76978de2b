// A window's keyboard and focus: Enter and Esc, the tab order, and option groups.
#include "core/form.h"

namespace gv {
namespace {

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

// The focus comes back where it was when the window was last deactivated.
void Form::OnActivate(WPARAM wp) {
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
}

// WM_NEXTDLGCTL: the next or previous tab stop, or the control in wp when lp says so.
void Form::NextControl(WPARAM wp, LPARAM lp) {
    HWND next = lp ? reinterpret_cast<HWND>(wp) : ::GetNextDlgTabItem(hwnd_, ::GetFocus(), wp != 0);
    next = FocusableFor(hwnd_, next);
    if (next) {
        ::SetFocus(next);
        if (::SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
            ::SendMessageW(next, EM_SETSEL, 0, -1);
        }
    }
}

void Form::Click(int id) {
    HWND h = Control(id);
    if (h && ::IsWindowEnabled(h) && ::IsWindowVisible(h)) {
        ::SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(h));
    }
}

bool Form::PreTranslate(MSG& msg) {
    // A key's handler may unload this window: the instance lives until this returns.
    const Owner scope = self_.lock();
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
        if (focused && focused->kind == ControlKind::TextBox && OnEnterIn(focused->id)) {
            return true;
        }
        if (const ControlSpec* def = FindByFlag(ctl::Default)) {
            Click(def->id);
        }
        return true;
    }
    return ::IsDialogMessageW(hwnd_, &msg) != FALSE;
}

}  // namespace gv
