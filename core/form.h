// The small window layer: a window described by a table of controls in twips,
// with handlers as member functions, one default instance per window class,
// modeless and modal showing, and unloading.
#pragma once

#include <windows.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/platform.h"

namespace gv {

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
    const wchar_t* name;
    const wchar_t* caption;
    int left, top, width, height;  // twips, within the client area
    int tabIndex;                  // kNoTabIndex for controls outside the tab order
    unsigned flags = 0;
    int labelFor = 0;  // a label is placed just before this control, so it names it
};

struct TimerSpec {
    UINT_PTR id;
    const wchar_t* name;
    UINT interval;  // milliseconds; the timer runs from the moment the window is created
};

struct MenuItemSpec {
    int id;  // 0 for a separator line
    const wchar_t* name;
    const wchar_t* caption;
};

// A menu bar with one menu; the window destroys it with itself.
HMENU BuildMenuBar(const wchar_t* title, std::span<const MenuItemSpec> items);

struct FormSpec {
    const wchar_t* caption;
    int clientWidth, clientHeight;  // twips
    bool titleBar = true;           // false: a dialog frame with no caption and no close box
    bool icon = true;
    bool taskbar = true;
    std::span<const ControlSpec> controls;
    std::span<const TimerSpec> timers = {};
};

int TwipsToPixels(int twips, int dpi);

class Form {
  public:
    explicit Form(const FormSpec& layout);
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;
    virtual ~Form();

    HWND Hwnd() const noexcept { return hwnd_; }
    HWND Control(int id) const;
    int Dpi() const noexcept { return dpi_; }
    const FormSpec& Spec() const noexcept { return layout_; }

    std::wstring Text(int id) const;
    void SetText(int id, std::wstring_view text);
    void SetFocusTo(int id);
    void SetEnabled(int id, bool enabled);
    bool IsChecked(int id) const;
    void SetChecked(int id);

    void Show();       // modeless: returns at once
    void ShowModal();  // returns when the window is unloaded or hidden
    void Unload();

    // Creates the window and its controls, then runs Form_Load. Used by Default<F>().
    void Load(std::unique_ptr<Form>* slot);

    static Form* FromHwnd(HWND hwnd);
    // Keyboard handling of the active window: Enter, Esc, then the dialog manager.
    bool PreTranslate(MSG& msg);
    bool Busy() const noexcept { return busy_ > 0; }

  protected:
    virtual void Form_Load() {}
    virtual void OnCommand(int id, int notifyCode) = 0;
    virtual void OnTimer(UINT_PTR /*id*/) {}
    // Enter in a text box: true when the form handled it.
    virtual bool OnEnterIn(int /*textBoxId*/) { return false; }
    virtual HMENU CreateMenuBar() { return nullptr; }

  private:
    struct Created {
        const ControlSpec* def;
        HWND hwnd;
    };

    static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void CreateControls();
    void Layout(int dpi, const RECT* suggested);
    void Centre();
    void FocusFirst();
    void FocusOn(HWND control);
    void FollowCheckedOption();
    const ControlSpec* Find(int id) const;
    const ControlSpec* FindByFlag(unsigned flag) const;
    void Click(int id);

    const FormSpec& layout_;
    HWND hwnd_ = nullptr;
    int dpi_ = 96;
    UniqueFont font_;
    UniqueIcon bigIcon_, smallIcon_;
    std::vector<Created> controls_;
    HWND lastFocus_ = nullptr;
    int busy_ = 0;
    std::unique_ptr<Form>* slot_ = nullptr;
};

namespace detail {
template <typename F>
std::unique_ptr<Form>& Slot() {
    static std::unique_ptr<Form> slot;
    return slot;
}
}  // namespace detail

// The default instance of a window class: created, and its Form_Load run, on first reference.
template <typename F>
F& Default() {
    auto& slot = detail::Slot<F>();
    if (!slot) {
        slot = std::make_unique<F>();
        slot->Load(&slot);
    }
    return static_cast<F&>(*slot);
}

template <typename F>
bool IsLoaded() {
    return detail::Slot<F>() != nullptr;
}

}  // namespace gv
