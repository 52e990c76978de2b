// The main window and the confirmation window, driven from outside: a switch
// from login to the end of the process, what lands in the registry, the menu,
// the keys, the confirmation's timer and the layout of both windows.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using e2e::CheckedDpi, e2e::Pixels, e2e::Shot, e2e::TwipsRect;

constexpr wchar_t kPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
constexpr wchar_t kPolicyValue[] = L"DisableRegistryTools";

constexpr wchar_t kMainCaption[] = L"Grindvakt";
constexpr wchar_t kUnlocked[] = L"Registereditorn är upplåst";
constexpr wchar_t kLocked[] = L"Registereditorn är låst";
constexpr wchar_t kHelpText[] =
    L"Ändra åtkomst genom att markera Ja eller Nej och sedan klicka på Ändra.\r\n"
    L"Om du vill ta bort programmet, måste du först ändra till Ja, annars kommer du\r\n"
    L"inte åt Registereditorn efter avinstallationen.";

// The main window's menu item ids.
constexpr WORD kMnuLasDetta = 211;
constexpr WORD kMnuAndraLosen = 212;
constexpr WORD kMnuOm = 213;
constexpr WORD kMnuAvsluta = 214;

// The timer ends the run 3000 ms after "&Ändra"; the bounds leave room for a loaded machine.
constexpr long long kTimerLowMs = 2500;
constexpr long long kTimerHighMs = 8000;

long long MsSince(Clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
}

// --- The policy value, read and set directly: the test shares the program's prefix.

void Check(LONG rc, const char* call) {
    if (rc != ERROR_SUCCESS) {
        e2e::Fail(call, static_cast<DWORD>(rc));
    }
}

void ClearPolicy() {
    const LONG rc = ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey);
    Check(rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc, "RegDeleteTreeW");
}

bool PolicyKeyExists() {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kPolicyKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    ::RegCloseKey(key);
    return true;
}

void SetPolicy(DWORD type, const void* data, DWORD size) {
    Check(::RegSetKeyValueW(HKEY_CURRENT_USER, kPolicyKey, kPolicyValue, type, data, size),
          "RegSetKeyValueW");
}

void SetPolicyDword(DWORD value) {
    SetPolicy(REG_DWORD, &value, sizeof value);
}

// The stored value as one comparable line: "missing", "REG_DWORD 1", "REG_SZ 1", "type 3, 4 bytes".
std::string StoredPolicy() {
    wchar_t buffer[64] = {};
    DWORD type = 0;
    DWORD size = sizeof buffer - sizeof(wchar_t);
    const LONG rc = ::RegGetValueW(HKEY_CURRENT_USER, kPolicyKey, kPolicyValue,
                                   RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        return "missing";
    }
    if (rc != ERROR_SUCCESS) {
        return "unreadable (error " + std::to_string(rc) + ")";
    }
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, buffer, sizeof value);
        return "REG_DWORD " + std::to_string(value);
    }
    if (type == REG_SZ) {
        return "REG_SZ " + e2e::Utf8(buffer);
    }
    return "type " + std::to_string(type) + ", " + std::to_string(size) + " bytes";
}

bool Checked(HWND button) {
    DWORD_PTR state = 0;
    return ::SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state) &&
           state == BST_CHECKED;
}

std::string Describe(RECT r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " size " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

void ExpectRect(HWND control, RECT expected) {
    EXPECT_EQ(Describe(expected), Describe(e2e::RectInParentClient(control)))
        << "\"" << e2e::Utf8(e2e::Text(control)) << "\"";
}

std::string Describe(SIZE s) {
    return std::to_string(s.cx) + "x" + std::to_string(s.cy);
}

// A one-line label at 75,75 twips sized to its text in the windows' font; its right edge.
LONG ExpectAutoSizedLabel(HWND label, int dpi) {
    const SIZE extent = e2e::TextExtent(e2e::Text(label), e2e::DesignFontFace(), 8, dpi);
    const int edge = Pixels(75, dpi);
    ExpectRect(label, {edge, edge, edge + extent.cx, edge + extent.cy});
    return edge + extent.cx;
}

// The caption clears what the button draws around it: frame and focus
// rectangle (3 px a side at 96 DPI), and an option's round mark with its gap
// (`lead`, in twips) before the text.
void ExpectCaptionFits(HWND button, int dpi, int lead = 0) {
    const SIZE text = e2e::TextExtent(e2e::Text(button), e2e::DesignFontFace(), 8, dpi);
    const RECT r = e2e::RectInParentClient(button);
    const int margins = 2 * Pixels(45, dpi);
    EXPECT_TRUE(text.cx + Pixels(lead, dpi) + margins <= r.right - r.left &&
                text.cy + margins <= r.bottom - r.top)
        << "\"" << e2e::Utf8(e2e::Text(button)) << "\" needs " << text.cx << "x" << text.cy
        << " px in " << Describe(r);
}

// An option's round mark and the gap after it: 17 px at 96 DPI.
constexpr int kOptionMarkTwips = 255;

void ExpectCentredOnWorkArea(HWND window) {
    const RECT frame = e2e::ScreenRect(window);
    const RECT work = e2e::WorkArea();
    EXPECT_NEAR((work.left + work.right) / 2, (frame.left + frame.right) / 2, 2) << "horizontal";
    EXPECT_NEAR((work.top + work.bottom) / 2, (frame.top + frame.bottom) / 2, 2) << "vertical";
}

// The screen under a rectangle: a window of ours placed there but never shown.
void ShotOfScreen(RECT area, const wchar_t* name) {
    if (!e2e::ShotsFolder()) {
        return;
    }
    HWND frame = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, area.left, area.top,
                                   area.right - area.left, area.bottom - area.top, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, frame) << "CreateWindowExW error " << ::GetLastError();
    Shot(frame, name);
    ::DestroyWindow(frame);
}

struct Confirmation {
    HWND window = nullptr;
    HWND label = nullptr;
    HWND button = nullptr;
};

// It has no caption: the run's window that holds the confirmation label and "&Avsluta".
Confirmation FindConfirmation(const e2e::Session& session) {
    for (HWND window : session.Windows()) {
        HWND button = e2e::FindControl(window, L"Button", L"&Avsluta");
        HWND label = e2e::FindControl(window, L"Static", kUnlocked);
        if (!label) {
            label = e2e::FindControl(window, L"Static", kLocked);
        }
        if (button && label) {
            return {window, label, button};
        }
    }
    return {};
}

class MainWindowTest : public testing::Test {
  protected:
    void SetUp() override { ClearPolicy(); }
    void TearDown() override { ClearPolicy(); }

    // Starts a run and logs in with the default password (there is no password file).
    // The option buttons behave as on Windows: they check themselves on focus.
    void LogIn() {
        session.Start();
        HWND login = session.WaitForWindow(L"Logga in");
        ASSERT_NE(nullptr, login) << "the login window did not open";
        session.EmulateWindowsOptionButtons();
        HWND text = e2e::FindControl(login, L"Edit");
        HWND ok = e2e::FindControl(login, L"Button", L"&Ok");
        ASSERT_TRUE(text && ok) << "the login window's text box and \"&Ok\"";
        ASSERT_TRUE(e2e::SetText(text, L"Vinga"));
        ASSERT_TRUE(e2e::Click(ok));
        main = session.WaitForWindow(kMainCaption);
        if (auto box = session.FindMessageBox()) {
            FAIL() << "a box came: \"" << e2e::Utf8(box->title) << "\": " << e2e::Utf8(box->text);
        }
        ASSERT_NE(nullptr, main) << "the main window did not open after logging in";
        ja = e2e::FindControl(main, L"Button", L"Ja");
        nej = e2e::FindControl(main, L"Button", L"Nej");
        andra = e2e::FindControl(main, L"Button", L"&Ändra");
        label = e2e::FindControl(main, L"Static", L"Åtkomst av registret:");
        ASSERT_NE(nullptr, ja) << "option \"Ja\"";
        ASSERT_NE(nullptr, nej) << "option \"Nej\"";
        ASSERT_NE(nullptr, andra) << "button \"&Ändra\"";
        ASSERT_NE(nullptr, label) << "label \"Åtkomst av registret:\"";
    }

    // What the access switch shows; "both" or "neither" for a broken group.
    std::string Choice() const {
        const bool j = Checked(ja);
        const bool n = Checked(nej);
        return j != n ? (j ? "Ja" : "Nej") : (j ? "both" : "neither");
    }

    void Choose(const std::string& option) {
        ASSERT_TRUE(e2e::Click(option == "Ja" ? ja : nej));
        ASSERT_TRUE(e2e::WaitUntil([&] { return Choice() == option; }))
            << "clicked \"" << option << "\", the switch shows " << Choice();
    }

    // Clicks "&Ändra" and waits for the confirmation window.
    void Apply() {
        clicked = Clock::now();
        ASSERT_TRUE(e2e::Click(andra));
        ASSERT_NO_FATAL_FAILURE(AwaitConfirmation());
    }

    void AwaitConfirmation() {
        e2e::WaitUntil([&] {
            confirm = FindConfirmation(session);
            return confirm.window || session.FindMessageBox() || !session.Running();
        });
        if (auto box = session.FindMessageBox()) {
            FAIL() << "expected the confirmation, got a box \"" << e2e::Utf8(box->title)
                   << "\": " << e2e::Utf8(box->text);
        }
        ASSERT_NE(nullptr, confirm.window) << "no confirmation window came";
    }

    void ExpectRunEnded() {
        const auto code = session.WaitForExit();
        ASSERT_TRUE(code) << "the run did not end";
        EXPECT_EQ(0u, *code) << "exit code";
    }

    // A whole switch ended with "&Avsluta": the text shown and the value stored.
    void SwitchAndQuit(const std::string& option, const wchar_t* text, const char* stored) {
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Choose(option));
        ASSERT_NO_FATAL_FAILURE(Apply());
        EXPECT_EQ(e2e::Utf8(text), e2e::Utf8(e2e::Text(confirm.label)));
        EXPECT_EQ(stored, StoredPolicy()) << "written before the confirmation shows";
        ASSERT_TRUE(e2e::Click(confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(stored, StoredPolicy()) << "after the run";
    }

    bool PostMenu(WORD id) const { return ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    e2e::Session session;
    HWND main = nullptr;
    HWND ja = nullptr;
    HWND nej = nullptr;
    HWND andra = nullptr;
    HWND label = nullptr;
    Confirmation confirm;
    Clock::time_point clicked;
};

class MainRun : public MainWindowTest {};
class MainQuit : public MainWindowTest {};
class MainValues : public MainWindowTest {};
class MainMenu : public MainWindowTest {};
class MainKeys : public MainWindowTest {};
class MainLayout : public MainWindowTest {};
class ConfirmEnd : public MainWindowTest {};
class ConfirmLayout : public MainWindowTest {};
class MainOwners : public MainWindowTest {};

// --- A switch from login to the end of the process.

// No key to begin with: the switch to "Nej" creates it, then back to "Ja".
TEST_F(MainRun, SwitchEachWayAndNextRunOpensWithIt) {
    for (const char* option : {"Nej", "Ja"}) {
        SCOPED_TRACE(option);
        ASSERT_NO_FATAL_FAILURE(SwitchAndQuit(option, option[0] == 'J' ? kUnlocked : kLocked,
                                              option[0] == 'J' ? "REG_DWORD 0" : "REG_DWORD 1"));
        ASSERT_NO_FATAL_FAILURE(LogIn());
        EXPECT_EQ(option, Choice()) << "the next run's switch";
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    }
}

TEST_F(MainRun, AndraWithoutTouchingWritesTheChoiceShown) {
    struct Case {
        std::function<void()> preset;
        const char* shows;
        const wchar_t* text;
        const char* stored;
    };
    const std::vector<Case> cases{
        {[] { SetPolicyDword(1); }, "Nej", kLocked, "REG_DWORD 1"},
        {[] {}, "Ja", kUnlocked, "REG_DWORD 0"},  // written even though nothing changes
        {[] { SetPolicyDword(2); }, "Nej", kLocked, "REG_DWORD 2"},  // a stronger block is kept
        {[] { SetPolicy(REG_SZ, L"1", sizeof L"1"); }, "Ja", kUnlocked, "REG_DWORD 0"},
    };
    for (const Case& c : cases) {
        ClearPolicy();
        c.preset();
        SCOPED_TRACE("stored before: " + StoredPolicy());
        ASSERT_NO_FATAL_FAILURE(LogIn());
        EXPECT_EQ(c.shows, Choice());
        ASSERT_NO_FATAL_FAILURE(Apply());
        EXPECT_EQ(e2e::Utf8(c.text), e2e::Utf8(e2e::Text(confirm.label)));
        ASSERT_TRUE(e2e::Click(confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(c.stored, StoredPolicy());
    }
}

// --- Looking and quitting writes nothing, even after changing the choice.

TEST_F(MainQuit, MenuAvslutaAndCloseBoxWriteNothing) {
    for (const bool menu : {true, false}) {
        SCOPED_TRACE(menu ? "menu \"&Avsluta\"" : "close box");
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Choose("Nej"));
        ASSERT_TRUE(menu ? PostMenu(kMnuAvsluta) : e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_FALSE(PolicyKeyExists()) << "no key may be created; the value: " << StoredPolicy();
    }
}

// --- Whatever another tool stored: 0 shows "Ja", any other number "Nej", and
// closing leaves the value as it was.

TEST_F(MainValues, AnyNonZeroShowsNejAndNothingCrashes) {
    struct Case {
        const char* stored;  // as StoredPolicy() reports it
        std::function<void()> preset;
        const char* shows;
    };
    const std::vector<Case> cases{
        {"REG_DWORD 2", [] { SetPolicyDword(2); }, "Nej"},
        {"REG_DWORD 4294967295", [] { SetPolicyDword(0xFFFFFFFF); }, "Nej"},
        {"REG_DWORD 32768", [] { SetPolicyDword(0x8000); }, "Nej"},
        {"REG_DWORD 65536", [] { SetPolicyDword(0x10000); }, "Nej"},  // low 16 bits are 0
        {"REG_SZ 1", [] { SetPolicy(REG_SZ, L"1", sizeof L"1"); }, "Ja"},
        {"missing",  // the key alone
         [] {
             SetPolicyDword(1);
             Check(::RegDeleteKeyValueW(HKEY_CURRENT_USER, kPolicyKey, kPolicyValue),
                   "RegDeleteKeyValueW");
         },
         "Ja"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        ClearPolicy();
        c.preset();
        ASSERT_EQ(c.stored, StoredPolicy()) << "preparing the case";
        ASSERT_NO_FATAL_FAILURE(LogIn());
        EXPECT_EQ(c.shows, Choice());
        EXPECT_TRUE(session.Running());
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(c.stored, StoredPolicy()) << "closing must leave the value as it was";
    }
}

// --- The menu.

TEST_F(MainMenu, LasDettaShowsHelpText) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(PostMenu(kMnuLasDetta));
    auto box = session.WaitForMessageBox();
    ASSERT_TRUE(box) << "no help box came";
    EXPECT_EQ("Information", e2e::Utf8(box->title));
    EXPECT_EQ(e2e::Utf8(kHelpText), e2e::Utf8(box->text));
    EXPECT_TRUE(box->hasIcon) << "the information icon";
    EXPECT_EQ(std::vector<int>{IDOK}, box->buttons) << "one OK button";
    Shot(box->hwnd, L"box-help.bmp");
    ASSERT_TRUE(e2e::Dismiss(*box));
    EXPECT_TRUE(::IsWindowVisible(main)) << "the main window stays open";
    EXPECT_EQ("Ja", Choice());
    ASSERT_TRUE(PostMenu(kMnuAvsluta));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_FALSE(PolicyKeyExists()) << "the value: " << StoredPolicy();
}

TEST_F(MainMenu, AccessKeysOpenHelpThenQuit) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(session.WaitForFocus(ja));
    HWND popup = nullptr;
    auto openMenu = [&] {
        ASSERT_TRUE(session.PressAltKey(L'm'));
        ASSERT_TRUE(e2e::WaitUntil([&] {
            for (HWND w : session.Windows()) {
                if (e2e::ClassOf(w) == L"#32768") {
                    popup = w;
                    return true;
                }
            }
            return false;
        })) << "Alt+M did not open the menu";
    };
    ASSERT_NO_FATAL_FAILURE(openMenu());
    RECT area = e2e::ScreenRect(main);
    const RECT menu = e2e::ScreenRect(popup);
    ::UnionRect(&area, &area, &menu);
    ShotOfScreen(area, L"main-menu.bmp");

    ASSERT_TRUE(session.PressKey('L'));
    auto box = session.WaitForMessageBox();
    ASSERT_TRUE(box) << "L in the open menu should show the help text";
    EXPECT_EQ("Information", e2e::Utf8(box->title));
    ASSERT_TRUE(e2e::Dismiss(*box));

    ASSERT_NO_FATAL_FAILURE(openMenu());
    ASSERT_TRUE(session.PressKey('A'));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_FALSE(PolicyKeyExists()) << "the value: " << StoredPolicy();
}

// --- Keys on the main window.

TEST_F(MainKeys, FocusStartsOnJaAndTabVisitsGroupThenAndra) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    EXPECT_TRUE(session.WaitForFocus(ja))
        << "expected the focus on \"Ja\", got \"" << e2e::Utf8(e2e::Text(session.Focus())) << "\"";
    for (HWND next : {andra, ja, andra}) {
        ASSERT_TRUE(session.PressKey(VK_TAB));
        EXPECT_TRUE(session.WaitForFocus(next))
            << "expected the focus on \"" << e2e::Utf8(e2e::Text(next)) << "\", got \""
            << e2e::Utf8(e2e::Text(session.Focus())) << "\"";
    }
}

// On Windows a focused option checks itself: showing the window, coming back to
// it after a box and Tab round it must never move the focus to the other option.
TEST_F(MainKeys, FocusNeverFlipsTheStoredChoice) {
    for (const DWORD value : {1u, 0u}) {
        const std::string shows = value ? "Nej" : "Ja";
        SCOPED_TRACE("stored " + std::to_string(value));
        ClearPolicy();
        SetPolicyDword(value);
        ASSERT_NO_FATAL_FAILURE(LogIn());
        HWND chosen = value ? nej : ja;
        EXPECT_TRUE(session.WaitForFocus(chosen)) << "the focus at open";
        EXPECT_EQ(shows, Choice()) << "at open";
        ASSERT_TRUE(PostMenu(kMnuLasDetta));
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "no help box came";
        ASSERT_TRUE(e2e::Dismiss(*box));
        EXPECT_TRUE(session.WaitForFocus(chosen)) << "the focus after the help box";
        EXPECT_EQ(shows, Choice()) << "after the help box";
        for (HWND next : {andra, chosen, andra}) {
            ASSERT_TRUE(session.PressKey(VK_TAB));
            EXPECT_TRUE(session.WaitForFocus(next))
                << "got \"" << e2e::Utf8(e2e::Text(session.Focus())) << "\"";
        }
        EXPECT_EQ(shows, Choice()) << "after Tab went round";
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ("REG_DWORD " + std::to_string(value), StoredPolicy()) << "nothing is written";
    }
}

TEST_F(MainKeys, ArrowSelectsNejAndAltAeClicksAndra) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(session.WaitForFocus(ja));
    ASSERT_TRUE(session.PressKey(VK_RIGHT));
    EXPECT_TRUE(session.WaitForFocus(nej)) << "an arrow moves within the option group";
    EXPECT_TRUE(e2e::WaitUntil([&] { return Choice() == "Nej"; })) << "shows " << Choice();
    ASSERT_TRUE(session.PressAltKey(L'ä'));
    ASSERT_NO_FATAL_FAILURE(AwaitConfirmation());
    EXPECT_EQ(e2e::Utf8(kLocked), e2e::Utf8(e2e::Text(confirm.label)));
    EXPECT_EQ("REG_DWORD 1", StoredPolicy());
    ASSERT_TRUE(e2e::Click(confirm.button));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Windows without a taskbar button stay above the main window; the
// change-password window has its own button and no owner.

TEST_F(MainOwners, AboutAndConfirmationAreOwnedByTheMainWindow) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(PostMenu(kMnuOm));
    HWND about = session.WaitForWindow(L"Om Grindvakt");
    ASSERT_NE(nullptr, about) << "the About window did not open";
    EXPECT_EQ(main, ::GetWindow(about, GW_OWNER)) << "the About window's owner";
    ASSERT_TRUE(e2e::CloseBox(about));
    ASSERT_TRUE(e2e::WaitUntilGone(about));
    ASSERT_TRUE(PostMenu(kMnuAndraLosen));
    HWND change = session.WaitForWindow(L"Ändra lösenord");
    ASSERT_NE(nullptr, change) << "the change-password window did not open";
    EXPECT_EQ(nullptr, ::GetWindow(change, GW_OWNER)) << "the change-password window's owner";
    ASSERT_TRUE(e2e::CloseBox(change));
    ASSERT_TRUE(e2e::WaitUntilGone(change));
    ASSERT_NO_FATAL_FAILURE(Apply());
    EXPECT_EQ(main, ::GetWindow(confirm.window, GW_OWNER)) << "the confirmation's owner";
    ASSERT_TRUE(e2e::Click(confirm.button));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Layout: the design's twips at the window's DPI (15 twips a pixel at 96 DPI).

TEST_F(MainLayout, ClientAreaControlsAndFrame) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    const int dpi = CheckedDpi(main);
    const SIZE client{Pixels(2880, dpi), Pixels(900, dpi)};
    const RECT jaAt = TwipsRect(1575, 0, 615, 390, dpi);
    const RECT nejAt = TwipsRect(2250, 0, 615, 390, dpi);
    const RECT andraAt = TwipsRect(1725, 450, 990, 390, dpi);
    if (dpi == 96) {
        EXPECT_EQ("192x60; 105,0 size 41x26; 150,0 size 41x26; 115,30 size 66x26",
                  Describe(client) + "; " + Describe(jaAt) + "; " + Describe(nejAt) + "; " +
                      Describe(andraAt))
            << "the twips at 96 DPI";
    }
    EXPECT_EQ(Describe(client), Describe(e2e::ClientSize(main)))
        << "client area below the menu bar";
    ExpectRect(ja, jaAt);
    ExpectRect(nej, nejAt);
    ExpectRect(andra, andraAt);
    EXPECT_LE(ExpectAutoSizedLabel(label, dpi), jaAt.left) << "the label runs into \"Ja\"";
    ExpectCaptionFits(ja, dpi, kOptionMarkTwips);
    ExpectCaptionFits(nej, dpi, kOptionMarkTwips);
    ExpectCaptionFits(andra, dpi);

    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(main, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), style & WS_CAPTION) << "title bar";
    EXPECT_NE(0u, style & WS_SYSMENU) << "close box";
    EXPECT_EQ(0u, style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) << "fixed size";
    ExpectCentredOnWorkArea(main);

    Shot(main, L"main.bmp");
    ASSERT_NO_FATAL_FAILURE(Choose("Nej"));
    Shot(main, L"main-nej.bmp");
    ASSERT_TRUE(e2e::CloseBox(main));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(ConfirmLayout, NoTitleBarSizedLabelAndCentred) {
    LONG width[2] = {};
    for (int state = 0; state < 2; ++state) {
        SCOPED_TRACE(state == 0 ? "Ja" : "Nej");
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Choose(state == 0 ? "Ja" : "Nej"));
        ASSERT_NO_FATAL_FAILURE(Apply());
        // All of this has to happen before the timer ends the run.
        const int dpi = CheckedDpi(confirm.window);
        const SIZE client{Pixels(1965, dpi), Pixels(780, dpi)};
        const RECT buttonAt = TwipsRect(450, 375, 990, 345, dpi);
        if (dpi == 96) {
            EXPECT_EQ("131x52; 30,25 size 66x23", Describe(client) + "; " + Describe(buttonAt))
                << "the twips at 96 DPI";
        }
        EXPECT_EQ(L"", e2e::Text(confirm.window)) << "no caption";
        const auto style = static_cast<DWORD>(::GetWindowLongPtrW(confirm.window, GWL_STYLE));
        EXPECT_NE(static_cast<DWORD>(WS_CAPTION), style & WS_CAPTION) << "no title bar";
        const RECT frame = e2e::ScreenRect(confirm.window);
        POINT origin{0, 0};
        ::ClientToScreen(confirm.window, &origin);
        EXPECT_EQ(frame.left - origin.x, frame.top - origin.y)
            << "nothing above the client area but the frame";
        EXPECT_EQ(0u, style & (WS_SYSMENU | WS_THICKFRAME)) << "no close box, fixed size";
        const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(confirm.window, GWL_EXSTYLE));
        EXPECT_EQ(0u, exStyle & WS_EX_APPWINDOW) << "no taskbar button";
        EXPECT_EQ(Describe(client), Describe(e2e::ClientSize(confirm.window))) << "client area";
        EXPECT_LE(ExpectAutoSizedLabel(confirm.label, dpi), client.cx)
            << "the label runs past the window's edge";
        ExpectRect(confirm.button, buttonAt);
        ExpectCaptionFits(confirm.button, dpi);
        ExpectCentredOnWorkArea(confirm.window);
        EXPECT_TRUE(session.WaitForFocus(confirm.button)) << "the focus is on \"&Avsluta\"";
        const RECT r = e2e::RectInParentClient(confirm.label);
        width[state] = r.right - r.left;
        if (state == 0) {
            Shot(confirm.window, L"confirmation.bmp");
        }
        ASSERT_TRUE(e2e::Click(confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        ASSERT_LT(MsSince(clicked), kTimerLowMs) << "checked before the timer ended the run";
    }
    EXPECT_LT(width[1], width[0]) << "the label for \"låst\" is narrower than for \"upplåst\"";
}

// --- How the confirmation ends the run.

TEST_F(ConfirmEnd, TimerEndsRunAboutThreeSecondsAfterAndra) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Apply());
    const auto code = session.WaitForExit(kTimerHighMs + e2e::kTimeoutMs);
    const long long elapsed = MsSince(clicked);
    ASSERT_TRUE(code) << "the run did not end";
    EXPECT_EQ(0u, *code) << "exit code";
    EXPECT_GE(elapsed, kTimerLowMs) << "ended too early after \"&Ändra\"";
    EXPECT_LE(elapsed, kTimerHighMs) << "ended too late after \"&Ändra\"";
    EXPECT_EQ("REG_DWORD 0", StoredPolicy());
}

TEST_F(ConfirmEnd, AvslutaEndsRunAtOnceByClickEnterSpaceAndAltA) {
    struct Way {
        const char* name;
        std::function<bool(const e2e::Session&, HWND)> press;
    };
    const std::vector<Way> ways{
        {"click", [](const e2e::Session&, HWND button) { return e2e::Click(button); }},
        {"Enter", [](const e2e::Session& s, HWND) { return s.PressKey(VK_RETURN); }},
        {"Space", [](const e2e::Session& s, HWND) { return s.PressKey(VK_SPACE); }},
        {"Alt+A", [](const e2e::Session& s, HWND) { return s.PressAltKey(L'a'); }},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Apply());
        ASSERT_TRUE(session.WaitForFocus(confirm.button)) << "keys go to \"&Avsluta\"";
        const auto pressed = Clock::now();
        ASSERT_TRUE(way.press(session, confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        // Sooner than the timer could have fired.
        EXPECT_LT(MsSince(clicked), kTimerLowMs) << "measured from \"&Ändra\"";
        EXPECT_LT(MsSince(pressed), 1500) << "measured from the press";
        EXPECT_EQ("REG_DWORD 0", StoredPolicy());
    }
}

TEST_F(ConfirmEnd, EscDoesNothing) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Apply());
    ASSERT_TRUE(session.WaitForFocus(confirm.button));
    ASSERT_TRUE(session.PressKey(VK_ESCAPE));
    EXPECT_FALSE(e2e::WaitUntil([&] { return !session.Running(); }, 1000)) << "Esc ended the run";
    EXPECT_TRUE(::IsWindowVisible(confirm.window)) << "the confirmation stays after Esc";
    EXPECT_EQ(confirm.window, FindConfirmation(session).window);
    const auto code = session.WaitForExit(kTimerHighMs + e2e::kTimeoutMs);
    ASSERT_TRUE(code) << "the timer did not end the run";
    EXPECT_GE(MsSince(clicked), kTimerLowMs) << "the timer, not Esc, should end the run";
}

}  // namespace
