// Each window created in this process follows its own control table at the
// window's DPI, also after a move to a monitor of another scale.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "core/platform.h"
#include "forms.h"
#include "support.h"

namespace {

using formstest::Style, formstest::kWindows;
using gv::ControlKind, gv::ControlSpec;
using gvtest::ClassOf, gvtest::RectInParent, gvtest::WindowDpi;

class Layout : public formstest::Forms {};

// The DPI the prefix was set up for (GV_EXPECT_DPI), so that one that quietly
// stayed at 96 cannot pass for another; 0 where the variable is not set.
int ExpectedDpi() {
    wchar_t value[8] = {};
    return ::GetEnvironmentVariableW(L"GV_EXPECT_DPI", value, 8) ? std::wcstol(value, nullptr, 10)
                                                                 : 0;
}

std::string Placed(RECT r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

// The control's text as DrawTextW lays it out in the control's own font.
SIZE TextExtent(HWND control, UINT format, int width = 0) {
    const std::wstring text = gv::WindowText(control);
    const gv::WindowDC dc(control);
    const gv::SelectObjectScope font(
        dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc.get(), text.c_str(), static_cast<int>(text.size()), &r,
                DT_CALCRECT | DT_EXPANDTABS | format);
    return {r.right, r.bottom};
}

std::wstring NameOf(const gv::Form& form, HWND control) {
    for (const ControlSpec& c : form.Table().controls) {
        if (form.Control(c.id) == control) {
            return c.name;
        }
    }
    return L"(not in the table)";
}

// Tab stops in tab-index order; an option group is one stop, at its checked option.
std::vector<const ControlSpec*> TabStops(const gv::Form& form) {
    std::vector<const ControlSpec*> stops;
    for (const ControlSpec& c : form.Table().controls) {
        const bool focusable = c.kind == ControlKind::TextBox || c.kind == ControlKind::Button ||
                               (c.kind == ControlKind::Option && form.IsChecked(c.id));
        if (focusable && c.tabIndex != gv::kNoTabIndex && ::IsWindowEnabled(form.Control(c.id))) {
            stops.push_back(&c);
        }
    }
    std::ranges::stable_sort(stops, {}, &ControlSpec::tabIndex);
    return stops;
}

// What Tab visits from a control until it comes back there.
std::vector<std::wstring> TabCycle(const gv::Form& form, HWND first) {
    std::vector<std::wstring> names;
    HWND h = first;
    do {
        names.push_back(NameOf(form, h));
        h = ::GetNextDlgTabItem(form.Hwnd(), h, FALSE);
    } while (h && h != first && names.size() < 10);
    return names;
}

// A control's font as the mapper made it. A line of the design's 8 pt has the
// height the DPI asks for; MS Sans Serif's bitmaps come only in the sizes of the
// files installed for the system's DPI, so only there may the face be used.
TEXTMETRICW ExpectDesignFont(HWND control, int dpi) {
    const gv::WindowDC dc(control);
    const gv::SelectObjectScope font(
        dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc.get(), LF_FACESIZE, face);
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc.get(), &tm);
    const std::wstring name = face;
    EXPECT_TRUE(name == L"MS Sans Serif" || name == L"Microsoft Sans Serif" || name == L"Tahoma")
        << gv::WindowText(control) << " is in " << name;
    EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, ::MulDiv(8, dpi, 72))
        << "em height of " << gv::WindowText(control) << " in " << name << " at " << dpi << " DPI";
    if (name == L"MS Sans Serif") {
        // No window: the system's DPI.
        EXPECT_EQ(dpi, WindowDpi(nullptr)) << "a bitmap face away from the system's DPI";
    }
    return tm;
}

// Every control where its table puts it at the window's DPI, of its kind, inside
// the client area, clear of the others, its text shown whole; each label just
// before the control it names; Tab in tab-index order. At the DPI the window
// was last moved to, where one is given.
void ExpectFollowsItsTable(const gv::Form& form, int movedTo = 0) {
    const gv::FormSpec& table = form.Table();
    const HWND window = form.Hwnd();
    const int dpi = movedTo ? movedTo : WindowDpi(window);
    if (const int expected = ExpectedDpi(); expected && !movedTo) {
        ASSERT_EQ(dpi, expected) << "the DPI of the prefix";
    }
    const auto px = [dpi](int twips) { return ::MulDiv(twips, dpi, 1440); };  // 15 at 96 DPI
    const RECT client{0, 0, px(table.clientWidth), px(table.clientHeight)};
    RECT got{};
    ::GetClientRect(window, &got);
    EXPECT_EQ(Placed(got), Placed(client)) << "the client area at " << dpi << " DPI";
    std::size_t children = 0;
    for (HWND h = ::GetWindow(window, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
        ++children;
    }
    EXPECT_EQ(children, table.controls.size()) << "controls in the window";

    std::vector<std::pair<const ControlSpec*, RECT>> placed;
    for (const ControlSpec& c : table.controls) {
        const HWND h = form.Control(c.id);
        ASSERT_NE(h, nullptr) << "no control " << c.name;
        const wchar_t* cls = c.kind == ControlKind::TextBox ? L"Edit"
                             : c.kind == ControlKind::Button || c.kind == ControlKind::Option
                                 ? L"Button"
                                 : L"Static";
        EXPECT_EQ(::lstrcmpiW(ClassOf(h).c_str(), cls), 0) << c.name << " is a " << ClassOf(h);
        const DWORD buttonType = c.kind == ControlKind::Option       ? BS_AUTORADIOBUTTON
                                 : (c.flags & gv::ctl::Default) != 0 ? BS_DEFPUSHBUTTON
                                                                     : BS_PUSHBUTTON;
        if (ClassOf(h) == L"Button") {
            EXPECT_EQ(Style(h) & BS_TYPEMASK, buttonType) << "button type of " << c.name;
        }
        if (c.kind == ControlKind::TextBox) {
            EXPECT_GT(::SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 32767)
                << "text limit of " << c.name;
        }
        if (c.kind != ControlKind::Image) {
            ExpectDesignFont(h, dpi);
        }
        const bool autoSize = (c.flags & gv::ctl::AutoSize) != 0;
        const SIZE line = TextExtent(h, DT_SINGLELINE);
        const int left = px(c.left), top = px(c.top);
        const RECT r = RectInParent(h);
        if (autoSize) {
            // Sized to its text, with a small margin in a narrowed face, which draws wider.
            EXPECT_TRUE(r.right - r.left >= line.cx && r.right - r.left <= line.cx + px(90))
                << c.name << " is " << r.right - r.left << " px for a text of " << line.cx;
        }
        const RECT expected{left, top, autoSize ? r.right : left + px(c.width),
                            top + (autoSize ? line.cy : px(c.height))};
        EXPECT_EQ(Placed(r), Placed(expected)) << "where " << c.name << " is";
        EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                    r.bottom <= client.bottom)
            << c.name << " at " << Placed(r) << " leaves the client area " << Placed(client);
        for (const auto& [other, at] : placed) {
            RECT overlap{};
            EXPECT_FALSE(::IntersectRect(&overlap, &r, &at))
                << c.name << " overlaps " << other->name;
        }
        placed.emplace_back(&c, r);

        // A push button's caption clears its frame and focus rectangle (3 px a side at
        // 96 DPI), an option's also its round mark and the gap after it (17 px).
        const int width = r.right - r.left, height = r.bottom - r.top;
        if (ClassOf(h) == L"Button") {
            const int margins = 2 * px(45) + (c.kind == ControlKind::Option ? px(255) : 0);
            EXPECT_TRUE(line.cx + margins <= width && line.cy + 2 * px(45) <= height)
                << c.name << " needs " << line.cx << "x" << line.cy << " px in " << Placed(r);
        } else if (c.kind == ControlKind::Label && !autoSize) {
            // Every line is whole: none wraps, and all of them fit the height.
            const SIZE lines = TextExtent(h, 0);
            const SIZE wrapped = TextExtent(h, DT_WORDBREAK, width);
            EXPECT_TRUE(lines.cx <= width && lines.cy <= height && wrapped.cy == lines.cy)
                << c.name << " needs " << lines.cx << "x" << lines.cy << " px in " << Placed(r);
        }
        if (c.labelFor) {
            EXPECT_EQ(::GetWindow(h, GW_HWNDNEXT), form.Control(c.labelFor))
                << c.name << " must come just before the control it names";
        }
    }
    const std::vector<const ControlSpec*> stops = TabStops(form);
    ASSERT_FALSE(stops.empty()) << "no tab stop";
    std::vector<std::wstring> order;
    for (const ControlSpec* c : stops) {
        order.emplace_back(c->name);
    }
    EXPECT_EQ(TabCycle(form, form.Control(stops.front()->id)), order) << "Tab from the first stop";
}

}  // namespace

TEST_F(Layout, EveryWindowFollowsItsControlTable) {
    for (const auto& [name, load] : kWindows) {
        SCOPED_TRACE(name);
        ExpectFollowsItsTable(load());
        UnloadAll();
    }
}

// Windows moves a window to a monitor of another scale: it follows its table
// there, its lines get shorter on the way down, and the way back restores them.
TEST_F(Layout, EveryWindowFollowsMonitorChanges) {
    const struct { int from, to; } moves[] = {{120, 96}, {96, 144}, {192, 96}};
    const auto moveTo = [](const gv::Form& form, int dpi) {
        RECT suggested{};
        ::GetWindowRect(form.Hwnd(), &suggested);
        ::SendMessageW(form.Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        ExpectFollowsItsTable(form, dpi);
        return ExpectDesignFont(form.Control(form.Table().controls.front().id), dpi).tmHeight;
    };
    for (const auto& [name, load] : kWindows) {
        for (const auto& [from, to] : moves) {
            SCOPED_TRACE(testing::Message() << name << ", " << from << " to " << to << " DPI");
            const gv::Form& form = load();
            const LONG line = moveTo(form, from);
            const LONG moved = moveTo(form, to);
            EXPECT_EQ(moved < line, to < from) << "lines of " << line << " px became " << moved;
            EXPECT_EQ(moveTo(form, from), line) << "back at " << from << " DPI";
            UnloadAll();
        }
    }
}
