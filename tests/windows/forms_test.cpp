// The five windows created in this process: each follows its own control table
// at the window's DPI, frames, menu, colours, and the main window's answer to a
// failed write.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"
#include "registry/registry.h"
#include "store/password_store.h"
#include "ui/frm_andra.h"
#include "ui/frm_andra_losenord.h"
#include "ui/frm_andrat.h"
#include "ui/frm_logga_in.h"
#include "ui/frm_om.h"
#include "support.h"

namespace {

using gv::ControlKind, gv::ControlSpec;
using gv::FrmLoggaIn, gv::FrmÄndra, gv::FrmÄndrat, gv::FrmÄndraLösenord, gv::FrmOm;
using gvtest::ClassOf, gvtest::RectInParent, gvtest::WindowDpi;

// Each window loaded in a known state.
// clang-format off
gv::Form& LoadLogin() { return gv::Default<FrmLoggaIn>(); }
gv::Form& LoadMain() { auto& f = gv::Default<FrmÄndra>(); f.SetChecked(FrmÄndra::Optstat); return f; }
gv::Form& LoadMainNej() { auto& f = gv::Default<FrmÄndra>(); f.SetChecked(FrmÄndra::Optstat + 1); return f; }
gv::Form& LoadPassword() { gv::Module1::NoPassword = gv::False; return gv::Default<FrmÄndraLösenord>(); }
gv::Form& LoadAbout() { return gv::Default<FrmOm>(); }
gv::Form& LoadConfirmation() {
    auto& f = gv::Default<FrmÄndrat>();
    ::KillTimer(f.Hwnd(), FrmÄndrat::Timer1);  // it would end the test process
    return f;
}
// The main window sets the text after loading: the label sizes itself again.
gv::Form& LoadLockedConfirmation() {
    auto& f = LoadConfirmation();
    f.SetText(FrmÄndrat::LblText, L"Registereditorn \u00e4r l\u00e5st");
    return f;
}
// clang-format on

const struct {
    const char* name;
    gv::Form& (*load)();
} kWindows[] = {
    {"FrmLoggaIn", LoadLogin},
    {"FrmAndra, Ja", LoadMain},
    {"FrmAndra, Nej", LoadMainNej},
    {"FrmAndrat", LoadConfirmation},
    {"FrmAndrat, last", LoadLockedConfirmation},
    {"FrmAndraLosenord", LoadPassword},
    {"FrmOm", LoadAbout},
};

DWORD Style(HWND hwnd, int which = GWL_STYLE) {
    return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, which));
}

template <typename F>
void UnloadIfLoaded() {
    if (gv::IsLoaded<F>()) {
        gv::Default<F>().Unload();
    }
}

DWORD g_writeError = ERROR_SUCCESS;
std::optional<std::int32_t> g_written;
gv::WriteResult FailingWrite(std::int32_t value) {
    g_written = value;
    return {false, g_writeError};
}

class Forms : public testing::Test {
  protected:
    void SetUp() override {
        const DWORD attributes = ::GetFileAttributesW(gv::PasswordFilePath().c_str());
        passwordFileExisted_ = attributes != INVALID_FILE_ATTRIBUTES;
        noPassword_ = gv::Module1::NoPassword;
    }
    void TearDown() override {
        UnloadAll();
        gv::WritePolicy = &gv::WritePolicyToRegistry;
        gv::Module1::NoPassword = noPassword_;
        if (!passwordFileExisted_) {
            ::DeleteFileW(gv::PasswordFilePath().c_str());  // the login window made an empty one
        }
    }
    static void UnloadAll() {
        UnloadIfLoaded<FrmLoggaIn>();
        UnloadIfLoaded<FrmÄndra>();
        UnloadIfLoaded<FrmÄndrat>();
        UnloadIfLoaded<FrmÄndraLösenord>();
        UnloadIfLoaded<FrmOm>();
        // The last unload ends the run's loop; that quit must not reach the next window.
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        }
    }

    bool passwordFileExisted_ = false;
    gv::Bool16 noPassword_ = gv::False;
};
class Layout : public Forms {};

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

TEST_F(Forms, FramesIconsAndTaskbarPerWindow) {
    const struct {
        gv::Form& (*load)();
        const wchar_t* caption;
        bool titleBar, icon, taskbar;
    } cases[] = {
        {LoadLogin, L"Logga in", true, true, true},
        {LoadMain, L"Grindvakt", true, true, true},
        {LoadConfirmation, L"", false, false, false},
        {LoadPassword, L"\u00c4ndra l\u00f6senord", true, true, true},
        {LoadAbout, L"Om Grindvakt", true, true, false},
    };
    for (const auto& c : cases) {
        const HWND form = c.load().Hwnd();
        const std::wstring caption = gv::WindowText(form);
        SCOPED_TRACE(testing::Message() << "window \"" << caption << "\"");
        EXPECT_EQ(caption, c.caption);
        const DWORD style = Style(form);
        EXPECT_EQ((style & WS_CAPTION) == WS_CAPTION, c.titleBar) << "title bar";
        EXPECT_EQ((style & WS_SYSMENU) != 0, c.titleBar) << "close box";
        EXPECT_EQ(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u) << "a fixed frame";
        EXPECT_EQ(::SendMessageW(form, WM_GETICON, ICON_BIG, 0) != 0, c.icon) << "big icon";
        EXPECT_EQ(::SendMessageW(form, WM_GETICON, ICON_SMALL, 0) != 0, c.icon) << "small icon";
        EXPECT_EQ((Style(form, GWL_EXSTYLE) & WS_EX_APPWINDOW) != 0, c.taskbar) << "APPWINDOW";
        const HWND owner = ::GetWindow(form, GW_OWNER);
        EXPECT_EQ(owner != nullptr, !c.taskbar) << "owner window";
        EXPECT_FALSE(owner && ::IsWindowVisible(owner)) << "the owner must stay hidden";
        UnloadAll();
    }
    const auto& about = gv::Default<FrmOm>();
    EXPECT_NE(::SendMessageW(about.Control(FrmOm::Image1), STM_GETICON, 0, 0), 0) << "Image1";
    EXPECT_EQ(about.Text(FrmOm::LblBesk), FrmOm::Description());
}

namespace {

// A white-on-black scheme for one scope: the colours are the session's, so the
// old ones come back whatever the test found.
class WhiteOnBlackScheme {
  public:
    WhiteOnBlackScheme() {
        for (int i = 0; i < kCount; ++i) {
            old_[i] = ::GetSysColor(kElements[i]);
            scheme_[i] = kWhite[i] ? RGB(255, 255, 255) : RGB(0, 0, 0);
        }
        ::SetSysColors(kCount, kElements, scheme_);
    }
    ~WhiteOnBlackScheme() { ::SetSysColors(kCount, kElements, old_); }
    WhiteOnBlackScheme(const WhiteOnBlackScheme&) = delete;
    WhiteOnBlackScheme& operator=(const WhiteOnBlackScheme&) = delete;

  private:
    static constexpr int kCount = 6;
    static constexpr int kElements[kCount] = {COLOR_BTNFACE,    COLOR_BTNTEXT,  COLOR_WINDOW,
                                              COLOR_WINDOWTEXT, COLOR_3DSHADOW, COLOR_3DHILIGHT};
    static constexpr bool kWhite[kCount] = {false, true, false, true, true, true};
    COLORREF old_[kCount] = {};
    COLORREF scheme_[kCount] = {};
};

// The colours a label is drawn in: what its window answers WM_CTLCOLORSTATIC.
std::pair<COLORREF, COLORREF> LabelColours(HWND form, HWND label) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(
        form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
    const COLORREF text = ::GetTextColor(dc);
    ::DeleteDC(dc);
    LOGBRUSH lb{};
    ::GetObjectW(brush, sizeof lb, &lb);
    return {text, lb.lbColor};
}

}  // namespace

TEST_F(Forms, LabelTextKeepsToTheColourScheme) {
    const HWND about = gv::Default<FrmOm>().Hwnd();
    EXPECT_EQ(LabelColours(about, ::GetDlgItem(about, FrmOm::LblBesk)).first, RGB(0, 0, 0))
        << "the description is black in the standard scheme";
    UnloadAll();
    const WhiteOnBlackScheme scheme;
    for (const auto& [name, load] : kWindows) {
        SCOPED_TRACE(name);
        const HWND form = load().Hwnd();
        for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            const bool label = ClassOf(h) == L"Static" && (Style(h) & SS_TYPEMASK) != SS_ICON;
            const bool option =
                ClassOf(h) == L"Button" && (Style(h) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
            if (label || option) {
                const auto [text, background] = LabelColours(form, h);
                EXPECT_TRUE(text == ::GetSysColor(COLOR_BTNTEXT) &&
                            background == ::GetSysColor(COLOR_BTNFACE))
                    << "\"" << gv::WindowText(h) << "\": text " << std::hex << text << " on "
                    << background;
            }
        }
        UnloadAll();
    }
}

TEST_F(Forms, MainWindowHasTheOneMenuOfTheDesign) {
    const HMENU bar = ::GetMenu(gv::Default<FrmÄndra>().Hwnd());
    wchar_t text[64] = {};
    ASSERT_EQ(::GetMenuItemCount(bar), 1) << "one menu on the bar";
    ::GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
    EXPECT_STREQ(text, L"&Meny");
    const HMENU menu = ::GetSubMenu(bar, 0);
    const struct {
        int id;  // 0 for the separator
        const wchar_t* caption;
    } items[] = {{FrmÄndra::MnuLäsDetta, L"&L\u00e4s detta"},
                 {FrmÄndra::MnuÄndraLösen, L"&\u00c4ndra l\u00f6senord"},
                 {FrmÄndra::MnuOm, L"&Om"},
                 {0, L""},
                 {FrmÄndra::MnuAvsluta, L"&Avsluta"}};
    ASSERT_EQ(::GetMenuItemCount(menu), static_cast<int>(std::size(items)));
    for (int i = 0; i < static_cast<int>(std::size(items)); ++i) {
        text[0] = L'\0';
        ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        EXPECT_STREQ(text, items[i].caption) << "item " << i << ", with no shortcut text";
        EXPECT_EQ(static_cast<int>(::GetMenuItemID(menu, i)), items[i].id) << "item " << i;
        const bool separator =
            (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0;
        EXPECT_EQ(separator, items[i].id == 0) << "item " << i;
    }
}

namespace {

// Answers the first message box that opens in this thread, and closes a
// confirmation window if one shows up, so that a fault cannot hang or end the test.
struct Seen {
    bool box = false, confirmation = false;
    std::wstring title, text;
} g_seen;

LRESULT CALLBACK AnswerBoxes(int code, WPARAM wp, LPARAM lp) {
    const auto w = reinterpret_cast<HWND>(wp);
    if (code == HCBT_ACTIVATE && ClassOf(w) == L"#32770" && !g_seen.box) {
        g_seen.box = true;
        g_seen.title = gv::WindowText(w);
        g_seen.text = gv::WindowText(::GetDlgItem(w, 0xFFFF));
        ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    } else if (code == HCBT_ACTIVATE && ClassOf(w) == L"GrindvaktForm" &&
               gv::WindowText(w).empty()) {
        g_seen.confirmation = true;
        ::PostMessageW(w, WM_CLOSE, 0, 0);
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

TEST_F(Forms, FailedWriteShowsWhyAndKeepsTheMainWindow) {
    const struct {
        DWORD error;
        bool mentionsAdministrator;
    } cases[] = {{ERROR_ACCESS_DENIED, true}, {ERROR_INVALID_HANDLE, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "error " << c.error);
        g_writeError = c.error;
        g_written.reset();
        gv::WritePolicy = &FailingWrite;
        auto& main = gv::Default<FrmÄndra>();
        main.SetChecked(FrmÄndra::Optstat + 1);

        g_seen = {};
        const HHOOK hook =
            ::SetWindowsHookExW(WH_CBT, &AnswerBoxes, nullptr, ::GetCurrentThreadId());
        ASSERT_NE(hook, nullptr);
        main.Command1_Click();
        ::UnhookWindowsHookEx(hook);

        EXPECT_EQ(g_written, std::optional<std::int32_t>{1}) << "\"Nej\" writes 1";
        ASSERT_TRUE(g_seen.box) << "no message box was shown";
        EXPECT_EQ(g_seen.title, L"Grindvakt");
        EXPECT_NE(g_seen.text.find(L"kunde inte sparas"), std::wstring::npos) << g_seen.text;
        EXPECT_EQ(g_seen.text.find(L"administrat\u00f6r") != std::wstring::npos,
                  c.mentionsAdministrator)
            << g_seen.text;
        EXPECT_FALSE(g_seen.confirmation)
            << "the confirmation window was shown after a failed write";
        EXPECT_FALSE(gv::IsLoaded<FrmÄndrat>()) << "the confirmation window was loaded";
        EXPECT_TRUE(gv::IsLoaded<FrmÄndra>()) << "the main window must stay";
        UnloadAll();
    }
}
