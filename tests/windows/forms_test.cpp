// The windows created in this process: frames, icons, taskbar buttons, colours,
// the main window's menu and its answer to a failed write.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <optional>
#include <string>

#include "core/platform.h"
#include "forms.h"
#include "registry/registry.h"
#include "support.h"

namespace {

using formstest::Forms, formstest::Style, formstest::kWindows;
using formstest::LoadAbout, formstest::LoadConfirmation, formstest::LoadLogin, formstest::LoadMain,
    formstest::LoadPassword;
using gv::FrmÄndra, gv::FrmÄndrat, gv::FrmOm;
using gvtest::ClassOf;

DWORD g_writeError = ERROR_SUCCESS;
std::optional<std::int32_t> g_written;
// Writes nothing: fails as told, or, where no account is known, as the real write.
gv::WriteResult FailingWrite(const gv::KeyLocation& at, std::int32_t value) {
    g_written = value;
    return at.root ? gv::WriteResult{false, g_writeError} : gv::WritePolicyToRegistry(at, value);
}

// An administrator's elevated run while a pupil is signed in, and no way finds the pupil.
gv::SessionAccounts ElevatedAndLost() {
    return {L"S-1-5-21-100-200-300-500", L"Admin", true, {L"Elev", L"PC"}, {}};
}

// The title of the main window where the account is this process's own.
std::wstring OwnTitle() {
    wchar_t user[256] = {};
    DWORD size = 256;
    ::GetUserNameW(user, &size);
    return L"Grindvakt \u2013 " + std::wstring(user);
}

}  // namespace

TEST_F(Forms, FramesIconsAndTaskbarPerWindow) {
    const struct {
        gv::Form& (*load)();
        std::wstring caption;
        bool titleBar, icon, taskbar;
    } cases[] = {
        {LoadLogin, L"Logga in", true, true, true},
        {LoadMain, OwnTitle(), true, true, true},
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
        DWORD error;  // 0: no way finds the signed-in account
        const wchar_t* why;
    } cases[] = {{ERROR_ACCESS_DENIED, L"startas som administrat\u00f6r"},
                 {ERROR_INVALID_HANDLE, L"Orsak: "},
                 {0, L"kan inte avg\u00f6ra vilket konto som \u00e4r inloggat"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "error " << c.error);
        g_writeError = c.error;
        g_written.reset();
        gv::WritePolicy = &FailingWrite;
        gv::LookUpAccounts = c.error ? &gv::SessionAccountsFromSystem : &ElevatedAndLost;
        auto& main = gv::Default<FrmÄndra>();
        EXPECT_EQ(gv::WindowText(main.Hwnd()), c.error ? OwnTitle() : L"Grindvakt")
            << "the title names no account it does not know";
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
        EXPECT_EQ(g_seen.text.rfind(L"\u00c4ndringen kunde inte sparas.", 0), 0u) << g_seen.text;
        EXPECT_NE(g_seen.text.find(c.why), std::wstring::npos) << g_seen.text;
        EXPECT_FALSE(g_seen.confirmation)
            << "the confirmation window was shown after a failed write";
        EXPECT_FALSE(gv::IsLoaded<FrmÄndrat>()) << "the confirmation window was loaded";
        EXPECT_TRUE(gv::IsLoaded<FrmÄndra>()) << "the main window must stay";
        UnloadAll();
    }
}
