// The five windows created in this process: layout in the design's twips,
// frames, menu, tab order, and the main window's answer to a failed write.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gv_version.h"
#include "registry/registry.h"
#include "store/password_store.h"
#include "ui/frm_andra.h"
#include "ui/frm_andra_losenord.h"
#include "ui/frm_andrat.h"
#include "ui/frm_logga_in.h"
#include "ui/frm_om.h"

namespace {

using gv::FrmLoggaIn, gv::FrmÄndra, gv::FrmÄndrat, gv::FrmÄndraLösenord, gv::FrmOm;

// Each window loaded in a known state.
// clang-format off
gv::Form& LoadLogin() { return gv::Default<FrmLoggaIn>(); }
gv::Form& LoadMain() { auto& f = gv::Default<FrmÄndra>(); f.SetChecked(FrmÄndra::Optstat); return f; }
gv::Form& LoadPassword() { gv::Module1::NoPassword = gv::False; return gv::Default<FrmÄndraLösenord>(); }
gv::Form& LoadAbout() { return gv::Default<FrmOm>(); }
gv::Form& LoadConfirmation() {
    auto& f = gv::Default<FrmÄndrat>();
    ::KillTimer(f.Hwnd(), FrmÄndrat::Timer1);  // it would end the test process
    return f;
}

constexpr DWORD kNotButton = ~DWORD{0};
struct ControlLayout {
    int id;
    const wchar_t* cls;
    int left, top, width, height;  // twips; width 0 for a label that sizes itself
    DWORD buttonKind = kNotButton;
};
struct FormLayout {
    const char* name;
    gv::Form& (*load)();
    int clientWidth, clientHeight;
    std::vector<ControlLayout> controls;
    std::vector<int> tabStops;  // in tab-index order
};

const FormLayout kLayouts[] = {
    {"FrmLoggaIn", LoadLogin, 3015, 825,
     {{FrmLoggaIn::TxtTest,   L"Edit",    900,   75, 2040,  315},
      {FrmLoggaIn::cmdOK,     L"Button", 1950,  450,  990,  315, BS_PUSHBUTTON},
      {FrmLoggaIn::CmdAvbryt, L"Button",  900,  450,  990,  315, BS_PUSHBUTTON},
      {FrmLoggaIn::Label2,    L"Static",   75,   75,    0,    0}},
     {FrmLoggaIn::TxtTest, FrmLoggaIn::cmdOK, FrmLoggaIn::CmdAvbryt}},
    {"FrmAndra", LoadMain, 2880, 900,
     {{FrmÄndra::Optstat,     L"Button", 1575,    0,  615,  390, BS_AUTORADIOBUTTON},
      {FrmÄndra::Optstat + 1, L"Button", 2250,    0,  615,  390, BS_AUTORADIOBUTTON},
      {FrmÄndra::Command1,    L"Button", 1725,  450,  990,  390, BS_PUSHBUTTON},
      {FrmÄndra::Label1,      L"Static",   75,   75,    0,    0}},
     {FrmÄndra::Optstat, FrmÄndra::Command1}},
    {"FrmAndrat", LoadConfirmation, 1965, 780,
     {{FrmÄndrat::LblText,    L"Static",   75,   75,    0,    0},
      {FrmÄndrat::CmdAvsluta, L"Button",  450,  375,  990,  345, BS_PUSHBUTTON}},
     {FrmÄndrat::CmdAvsluta}},
    {"FrmAndraLosenord", LoadPassword, 4500, 1875,
     {{FrmÄndraLösenord::Label1,      L"Static",   75,   75,    0,    0},
      {FrmÄndraLösenord::Label1 + 1,  L"Static",   75,  525,    0,    0},
      {FrmÄndraLösenord::Label1 + 2,  L"Static",   75,  975,    0,    0},
      {FrmÄndraLösenord::TxtGammalt,  L"Edit",   1425,   75, 3015,  285},
      {FrmÄndraLösenord::TxtNytt,     L"Edit",   1425,  525, 3015,  285},
      {FrmÄndraLösenord::TxtBekräfta, L"Edit",   1425,  975, 3015,  285},
      {FrmÄndraLösenord::cmdOK,       L"Button", 3225, 1350, 1215,  465, BS_PUSHBUTTON}},
     {FrmÄndraLösenord::TxtGammalt, FrmÄndraLösenord::TxtNytt, FrmÄndraLösenord::TxtBekräfta,
      FrmÄndraLösenord::cmdOK}},
    {"FrmOm", LoadAbout, 6375, 3120,
     {{FrmOm::cmdOK,      L"Button", 5025, 2700, 1260,  345, BS_DEFPUSHBUTTON},
      {FrmOm::cmdSysInfo, L"Button", 3675, 2700, 1245,  345, BS_PUSHBUTTON},
      {FrmOm::Image1,     L"Static",   75,   75,  480,  480},
      {FrmOm::LblBesk,    L"Static",  750,  600, 5490, 2040},
      {FrmOm::lblVersion, L"Static",  750,  225,    0,    0}},
     {FrmOm::cmdOK, FrmOm::cmdSysInfo}},
};
// clang-format on

int WindowDpi(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (const UINT dpi = fn ? fn(hwnd) : 0) {
        return static_cast<int>(dpi);
    }
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

RECT RectInParent(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t cls[64] = {};
    ::GetClassNameW(hwnd, cls, 64);
    return cls;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t text[1024] = {};
    ::GetWindowTextW(hwnd, text, 1024);
    return text;
}

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

}  // namespace

TEST_F(Forms, WindowsAndControlsFollowTheTwipsOfTheLayout) {
    for (const FormLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const HWND form = layout.load().Hwnd();
        const int dpi = WindowDpi(form);
        RECT client{};
        ::GetClientRect(form, &client);
        EXPECT_EQ(client.right, gv::TwipsToPixels(layout.clientWidth, dpi)) << "width at " << dpi;
        EXPECT_EQ(client.bottom, gv::TwipsToPixels(layout.clientHeight, dpi))
            << "height at " << dpi;
        int children = 0;
        for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            ++children;
        }
        EXPECT_EQ(children, static_cast<int>(layout.controls.size())) << "controls in the window";

        std::vector<RECT> focusable;
        for (const ControlLayout& c : layout.controls) {
            const HWND h = ::GetDlgItem(form, c.id);
            ASSERT_NE(h, nullptr) << "no control " << c.id;
            EXPECT_EQ(::lstrcmpiW(ClassOf(h).c_str(), c.cls), 0) << c.id << " is a " << ClassOf(h);
            if (c.buttonKind != kNotButton) {
                EXPECT_EQ(Style(h) & BS_TYPEMASK, c.buttonKind) << "button kind of " << c.id;
            }
            if (ClassOf(h) == L"Edit") {
                EXPECT_GT(::SendMessageW(h, EM_GETLIMITTEXT, 0, 0), 32767)
                    << "text limit of " << c.id;
            }
            const RECT r = RectInParent(h);
            EXPECT_EQ(r.left, gv::TwipsToPixels(c.left, dpi)) << "left of " << c.id;
            EXPECT_EQ(r.top, gv::TwipsToPixels(c.top, dpi)) << "top of " << c.id;
            if (c.width > 0) {
                EXPECT_EQ(r.right - r.left, gv::TwipsToPixels(c.width, dpi)) << "width of " << c.id;
                EXPECT_EQ(r.bottom - r.top, gv::TwipsToPixels(c.height, dpi))
                    << "height of " << c.id;
            } else {
                EXPECT_GT(r.right - r.left, 0) << "the self-sizing label " << c.id << " is empty";
            }
            EXPECT_TRUE(r.left >= 0 && r.top >= 0 && r.right <= client.right &&
                        r.bottom <= client.bottom)
                << c.id << " at (" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom
                << ") leaves the client area " << client.right << "x" << client.bottom;
            if (ClassOf(h) != L"Static") {
                for (const RECT& other : focusable) {
                    RECT overlap{};
                    EXPECT_FALSE(::IntersectRect(&overlap, &r, &other))
                        << c.id << " overlaps a control";
                }
                focusable.push_back(r);
            }
        }
        UnloadAll();
    }
}

TEST_F(Forms, TabVisitsTheControlsInTabIndexOrder) {
    for (const FormLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const HWND form = layout.load().Hwnd();
        const HWND first = ::GetDlgItem(form, layout.tabStops.front());
        std::vector<int> visited;
        for (HWND h = first; h && (visited.empty() || h != first) && visited.size() < 10;
             h = ::GetNextDlgTabItem(form, h, FALSE)) {
            visited.push_back(::GetDlgCtrlID(h));
        }
        EXPECT_EQ(visited, layout.tabStops);
        UnloadAll();
    }
}

TEST_F(Forms, OptionButtonsFormOneGroupAndOldPasswordFollowsNoPassword) {
    const auto& main = gv::Default<FrmÄndra>();
    EXPECT_NE(Style(main.Control(FrmÄndra::Optstat)) & WS_GROUP, 0u) << "\"Ja\" starts the group";
    EXPECT_EQ(Style(main.Control(FrmÄndra::Optstat + 1)) & WS_GROUP, 0u) << "\"Nej\" is in it";
    EXPECT_NE(Style(main.Control(FrmÄndra::Command1)) & WS_GROUP, 0u) << "the group ends there";
    for (const gv::Bool16 noPassword : {gv::True, gv::False}) {
        UnloadAll();
        gv::Module1::NoPassword = noPassword;
        const auto& password = gv::Default<FrmÄndraLösenord>();
        EXPECT_EQ(::IsWindowEnabled(password.Control(FrmÄndraLösenord::TxtGammalt)) != FALSE,
                  noPassword == gv::False)
            << "TxtGammalt with NoPassword " << noPassword;
        EXPECT_TRUE(::IsWindowEnabled(password.Control(FrmÄndraLösenord::TxtNytt)));
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
        const std::wstring caption = TextOf(form);
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
    EXPECT_EQ(about.Text(FrmOm::lblVersion), L"Version: " GV_VERSION_SHORT_W);
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

double Luminance(COLORREF c) {
    auto channel = [](BYTE v) {
        const double x = v / 255.0;
        return x <= 0.03928 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) +
           0.0722 * channel(GetBValue(c));
}

// The contrast ratio of two colours, from 1 (none) to 21 (black on white).
double Contrast(COLORREF a, COLORREF b) {
    const double la = Luminance(a), lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

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
    for (const FormLayout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        const HWND form = layout.load().Hwnd();
        for (HWND h = ::GetWindow(form, GW_CHILD); h; h = ::GetWindow(h, GW_HWNDNEXT)) {
            const bool label = ClassOf(h) == L"Static" && (Style(h) & SS_TYPEMASK) != SS_ICON;
            const bool option =
                ClassOf(h) == L"Button" && (Style(h) & BS_TYPEMASK) == BS_AUTORADIOBUTTON;
            if (label || option) {
                const auto [text, background] = LabelColours(form, h);
                EXPECT_GE(Contrast(text, background), 4.5)
                    << "\"" << TextOf(h) << "\": text " << std::hex << text << " on " << background;
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

// Answers the first message box of this process, and closes a confirmation
// window if one shows up, so that a fault cannot hang or end the test.
struct Watch {
    std::atomic<bool> done{false};
    bool box = false, confirmation = false;
    std::wstring title, text;

    static BOOL CALLBACK Look(HWND w, LPARAM self) {
        auto& s = *reinterpret_cast<Watch*>(self);
        DWORD pid = 0;
        ::GetWindowThreadProcessId(w, &pid);
        if (pid != ::GetCurrentProcessId() || !::IsWindowVisible(w)) {
            return TRUE;
        }
        if (ClassOf(w) == L"#32770" && !s.box) {
            s.box = true;
            s.title = TextOf(w);
            s.text = TextOf(::GetDlgItem(w, 0xFFFF));
            ::PostMessageW(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        } else if (ClassOf(w) == L"GrindvaktForm" && TextOf(w).empty()) {
            s.confirmation = true;
            ::PostMessageW(w, WM_CLOSE, 0, 0);
        }
        return TRUE;
    }
    void Run() {
        for (const DWORD end = ::GetTickCount() + 15000; !done && ::GetTickCount() < end;
             ::Sleep(20)) {
            ::EnumWindows(&Look, reinterpret_cast<LPARAM>(this));
        }
    }
};

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

        Watch watch;
        std::thread helper(&Watch::Run, &watch);
        main.Command1_Click();
        watch.done = true;
        helper.join();

        EXPECT_EQ(g_written, std::optional<std::int32_t>{1}) << "\"Nej\" writes 1";
        ASSERT_TRUE(watch.box) << "no message box was shown";
        EXPECT_EQ(watch.title, L"Grindvakt");
        EXPECT_NE(watch.text.find(L"kunde inte sparas"), std::wstring::npos) << watch.text;
        EXPECT_EQ(watch.text.find(L"administrat\u00f6r") != std::wstring::npos,
                  c.mentionsAdministrator)
            << watch.text;
        EXPECT_FALSE(watch.confirmation)
            << "the confirmation window was shown after a failed write";
        EXPECT_FALSE(gv::IsLoaded<FrmÄndrat>()) << "the confirmation window was loaded";
        EXPECT_TRUE(gv::IsLoaded<FrmÄndra>()) << "the main window must stay";
        UnloadAll();
    }
}
