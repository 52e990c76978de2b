// A window's controls from its table, their accessors, its menu bar, and the
// tables that say which handler a command or a timer runs.
#include "core/form.h"

#include <algorithm>
#include <tuple>

namespace gv {
namespace {

// A control's window class and styles, by kind. Option buttons in a row form
// one group and one tab stop.
struct ControlStyle {
    const wchar_t* cls = L"STATIC";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD exStyle = 0;
};

ControlStyle StyleOf(const ControlSpec& c, ControlKind previous) {
    ControlStyle s;
    switch (c.kind) {
        case ControlKind::Label:
            s.style |= (c.flags & ctl::WordWrap) ? SS_LEFT : SS_LEFTNOWORDWRAP;
            break;
        case ControlKind::Image:
            s.style |= SS_ICON | SS_REALSIZEIMAGE;
            break;
        case ControlKind::TextBox:
            s.cls = L"EDIT";
            s.style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
            s.exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Button:
            s.cls = L"BUTTON";
            s.style |= WS_TABSTOP | ((c.flags & ctl::Default) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::Option:
            s.cls = L"BUTTON";
            s.style |= BS_AUTORADIOBUTTON;
            break;
    }
    if (c.kind != ControlKind::Option || previous != ControlKind::Option) {
        s.style |= WS_GROUP;
        if (c.kind == ControlKind::Option) {
            s.style |= WS_TABSTOP;
        }
    }
    return s;
}

void Append(HMENU menu, UINT flags, UINT_PTR id, const wchar_t* caption) {
    if (!::AppendMenuW(menu, flags, id, caption)) {
        RaiseSystemError(::GetLastError(), caption ? caption : L"");
    }
}

}  // namespace

UniqueMenu Form::BuildMenuBar(const MenuSpec& menu) {
    if (!menu.title) {
        return {};
    }
    UniqueMenu popup(::CreatePopupMenu());
    if (!popup) {
        RaiseSystemError(::GetLastError(), menu.title);
    }
    for (const MenuItemSpec& item : menu.items) {
        if (item.id == 0) {
            Append(popup.get(), MF_SEPARATOR, 0, nullptr);
        } else {
            Append(popup.get(), MF_STRING, static_cast<UINT_PTR>(item.id), item.caption);
        }
    }
    UniqueMenu bar(::CreateMenu());
    if (!bar) {
        RaiseSystemError(::GetLastError(), menu.title);
    }
    Append(bar.get(), MF_POPUP, reinterpret_cast<UINT_PTR>(popup.get()), menu.title);
    popup.release();  // the bar destroys its menu with itself
    return bar;
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
        const ControlStyle s = StyleOf(*c, previous);
        previous = c->kind;
        HWND h = ::CreateWindowExW(s.exStyle, s.cls, c->caption, s.style, 0, 0, 0, 0, hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(c->id)), Instance(),
                                   nullptr);
        if (!h) {
            RaiseSystemError(::GetLastError(), c->name);
        }
        if (c->kind == ControlKind::TextBox) {
            ::SendMessageW(h, EM_SETLIMITTEXT, 0, 0);  // no length limit, not 32,767
        }
        controls_.push_back({c, h});
    }
}

void Form::StartTimers() {
    for (const TimerSpec& t : layout_.timers) {
        if (!::SetTimer(hwnd_, t.id, t.interval, nullptr)) {
            RaiseSystemError(::GetLastError());
        }
    }
}

void Form::RunCommand(int id) {
    for (const CommandSpec& c : layout_.commands) {
        if (c.id == id) {
            c.run(*this);
            return;
        }
    }
}

void Form::RunTimer(UINT_PTR id) {
    for (const TimerSpec& t : layout_.timers) {
        if (t.id == id) {
            t.run(*this);
            return;
        }
    }
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

}  // namespace gv
