// The small window layer: a window described by tables (its controls in twips,
// and which handler each command and timer runs), one default instance per
// window class, modeless and modal showing, and unloading.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"

namespace gv {

class Form;

enum class ControlKind { Label, TextBox, Button, Option, Image };

namespace ctl {
inline constexpr unsigned AutoSize = 1;  // a one-line label that sizes itself to its text
inline constexpr unsigned Cancel = 2;    // Esc clicks it
inline constexpr unsigned Default = 4;   // Enter clicks it where no button has the focus
inline constexpr unsigned WordWrap = 8;  // a label whose long lines wrap
}  // namespace ctl

inline constexpr int kNoTabIndex = -1;

struct ControlSpec {
    ControlKind kind;
    int id;
    const wchar_t* name;  // names the control where it cannot be created
    const wchar_t* caption;
    int left, top, width, height;  // twips, within the client area
    int tabIndex;                  // kNoTabIndex for controls outside the tab order
    unsigned flags = 0;
    int labelFor = 0;  // a label is placed just before this control, so it names it
};

// A handler of the window a table belongs to.
using HandlerFn = void (*)(Form&);

namespace detail {
template <typename>
struct OwnerOf;
template <typename C>
struct OwnerOf<void (C::*)()> {
    using Type = C;
};
}  // namespace detail

// A window class's member function as a table entry: Handler<&FrmOm::cmdOK_Click>.
template <auto Method>
void Handler(Form& form) {
    using Owner = typename detail::OwnerOf<decltype(Method)>::Type;
    (static_cast<Owner&>(form).*Method)();
}

// A click on a button or a chosen menu item.
struct CommandSpec {
    int id;
    HandlerFn run;
};

struct TimerSpec {
    UINT_PTR id;
    UINT interval;  // milliseconds; the timer runs from the moment the window is created
    HandlerFn run;
};

struct MenuItemSpec {
    int id;  // 0 for a separator line
    const wchar_t* caption;
};

// A menu bar with one menu; the window destroys it with itself.
struct MenuSpec {
    const wchar_t* title = nullptr;  // none: the window has no menu bar
    std::span<const MenuItemSpec> items = {};
};

struct FormSpec {
    const wchar_t* caption;
    int clientWidth, clientHeight;  // twips
    bool titleBar = true;           // false: a dialog frame with no caption and no close box
    bool icon = true;
    bool taskbar = true;
    std::span<const ControlSpec> controls;
    std::span<const CommandSpec> commands = {};
    std::span<const TimerSpec> timers = {};
    MenuSpec menu = {};
};

int TwipsToPixels(int twips, int dpi);

template <typename F>
F& Default();

class Form {
  public:
    explicit Form(const FormSpec& layout);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    // The table the window is built from.
    const FormSpec& Table() const noexcept { return layout_; }
    HWND Hwnd() const noexcept { return hwnd_; }
    HWND Control(int id) const;
    int Dpi() const noexcept { return dpi_; }

    std::wstring Text(int id) const;
    void SetText(int id, std::wstring_view text);
    void SetFocusTo(int id);
    void SetEnabled(int id, bool enabled);
    bool IsChecked(int id) const;
    void SetChecked(int id);

    void Show();       // modeless: returns at once
    void ShowModal();  // returns when the window is unloaded or hidden
    // Destroys the window and empties its class's slot. A handler that unloads
    // its own window returns safely: the instance goes when the handler ends.
    void Unload();

    static Form* FromHwnd(HWND hwnd);
    // Keyboard handling of the active window: Enter, Esc, then the dialog manager.
    bool PreTranslate(MSG& msg);

  protected:
    virtual void Form_Load() {}
    // Enter in a text box: true when the form handled it.
    virtual bool OnEnterIn(int /*textBoxId*/) { return false; }

  private:
    template <typename F>
    friend F& Default();

    using Owner = std::shared_ptr<Form>;
    struct Created {
        const ControlSpec* def;
        HWND hwnd;
    };

    // Puts the instance in the slot and loads it; a failure leaves the slot empty.
    static void LoadInto(Owner& slot, const Owner& form);
    void Load();
    void Close(bool endRunIfLast);

    static HINSTANCE Instance();
    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

    // Controls, commands and the menu bar (form_controls.cpp).
    static UniqueMenu BuildMenuBar(const MenuSpec& menu);
    void CreateControls();
    void StartTimers();
    void RunCommand(int id);
    void RunTimer(UINT_PTR id);
    const ControlSpec* Find(int id) const;
    const ControlSpec* FindByFlag(unsigned flag) const;

    // Geometry, DPI, font and icons (form_layout.cpp).
    int WindowDpi() const;
    void Layout(int dpi, const RECT* suggested);
    void LoadIcons(int dpi);
    void Centre();

    // Keyboard and focus (form_keys.cpp).
    void FocusFirst();
    void FocusOn(HWND control);
    void EnableWindowsBelow();
    void FollowCheckedOption();
    void OnActivate(WPARAM wp);
    void NextControl(WPARAM wp, LPARAM lp);
    void Click(int id);

    const FormSpec& layout_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    UniqueFont font_;
    UniqueIcon bigIcon_, smallIcon_;
    std::vector<Created> controls_;
    HWND lastFocus_ = nullptr;
    std::vector<HWND> disabledWhileModal_;  // what ShowModal disabled, enabled again at the end
    // While loaded, the class's slot owns the instance; a running handler holds
    // it too, through self_.
    Owner* slot_ = nullptr;
    std::weak_ptr<Form> self_;
};

namespace detail {
template <typename F>
std::shared_ptr<Form>& Slot() {
    static std::shared_ptr<Form> slot;
    return slot;
}
}  // namespace detail

// The default instance of a window class: created, and its Form_Load run, on
// first reference, and again on the first reference after an unload.
template <typename F>
F& Default() {
    auto& slot = detail::Slot<F>();
    if (!slot) {
        Form::LoadInto(slot, std::make_shared<F>());
    }
    return static_cast<F&>(*slot);
}

template <typename F>
bool IsLoaded() {
    return detail::Slot<F>() != nullptr;
}

}  // namespace gv
