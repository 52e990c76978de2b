// The main window and the confirmation window, driven from outside: a switch
// from login to the end of the process, what lands in the registry, the menu,
// the keys, the owners, the confirmation's timer and where the windows show.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using e2e::Bytes, e2e::Shot, e2e::Utf8;

constexpr wchar_t kUnlocked[] = L"Registereditorn är upplåst";
constexpr wchar_t kLocked[] = L"Registereditorn är låst";
constexpr wchar_t kHelpText[] =
    L"Ändra åtkomst genom att markera Ja eller Nej och sedan klicka på Ändra.\r\n"
    L"Om du vill ta bort programmet, måste du först ändra till Ja, annars kommer du\r\n"
    L"inte åt Registereditorn efter avinstallationen.";

// The timer ends the run 3000 ms after "&Ändra"; the bounds leave room for a loaded machine.
constexpr long long kTimerLowMs = 2500;
constexpr long long kTimerHighMs = 8000;

long long MsSince(Clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
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

class MainWindowTest : public e2e::Run {
  protected:
    void SetUp() override { policy.RemoveKey(); }

    // What the access switch shows; "both" or "neither" for a broken group.
    std::string Choice() const {
        const bool j = e2e::Checked(ja);
        const bool n = e2e::Checked(nej);
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
            FAIL() << "expected the confirmation, got a box \"" << Utf8(box->title)
                   << "\": " << Utf8(box->text);
        }
        ASSERT_NE(nullptr, confirm.window) << "no confirmation window came";
    }

    // A whole switch ended with "&Avsluta": the text shown and the value stored.
    void SwitchAndQuit(const std::string& option, const wchar_t* text, const char* stored) {
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Choose(option));
        ASSERT_NO_FATAL_FAILURE(Apply());
        EXPECT_EQ(Utf8(text), Utf8(e2e::Text(confirm.label)));
        EXPECT_EQ(stored, policy.Stored()) << "written before the confirmation shows";
        ASSERT_TRUE(e2e::Click(confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(stored, policy.Stored()) << "after the run";
    }

    e2e::PolicyValue policy;
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
        {[&] { policy.SetDword(1); }, "Nej", kLocked, "REG_DWORD 1"},
        {[] {}, "Ja", kUnlocked, "REG_DWORD 0"},  // written even though nothing changes
        {[&] { policy.SetDword(2); }, "Nej", kLocked, "REG_DWORD 2"},  // a stronger block is kept
        {[&] { policy.SetText(L"1"); }, "Ja", kUnlocked, "REG_DWORD 0"},
    };
    for (const Case& c : cases) {
        policy.RemoveKey();
        c.preset();
        SCOPED_TRACE("stored before: " + policy.Stored());
        ASSERT_NO_FATAL_FAILURE(LogIn());
        EXPECT_EQ(c.shows, Choice());
        ASSERT_NO_FATAL_FAILURE(Apply());
        EXPECT_EQ(Utf8(c.text), Utf8(e2e::Text(confirm.label)));
        ASSERT_TRUE(e2e::Click(confirm.button));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(c.stored, policy.Stored());
    }
}

// --- Looking and quitting writes nothing, even after changing the choice.

TEST_F(MainQuit, MenuAvslutaAndCloseBoxWriteNothing) {
    for (const bool menu : {true, false}) {
        SCOPED_TRACE(menu ? "menu \"&Avsluta\"" : "close box");
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_NO_FATAL_FAILURE(Choose("Nej"));
        ASSERT_TRUE(menu ? PostMenu(e2e::kMenuQuit) : e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ("no key", policy.Stored()) << "no key may be created";
    }
}

// --- Whatever another tool stored: 0 shows "Ja", any other number "Nej", and
// closing leaves the value as it was. The registry tests read each type and size;
// these are the ones whose reading shows in the window.

TEST_F(MainValues, AnyNonZeroShowsNejAndNothingCrashes) {
    const struct {
        DWORD type;  // REG_NONE: the key without the value
        Bytes data;
        const char* shows;
    } cases[] = {
        {REG_DWORD, {0xFF, 0xFF, 0xFF, 0xFF}, "Nej"},
        {REG_DWORD, {0, 0, 1, 0}, "Nej"},             // the low 16 bits are 0
        {REG_DWORD, {1, 0}, "Nej"},                   // the two bytes there are read
        {REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, "Ja"},  // too long for the four-byte read
        {REG_SZ, {'1', 0, 0, 0}, "Ja"},
        {REG_NONE, {}, "Ja"},
    };
    for (const auto& c : cases) {
        policy.RemoveKey();
        policy.Set(c.type == REG_NONE ? REG_DWORD : c.type, c.data.data(),
                   static_cast<DWORD>(c.data.size()));
        if (c.type == REG_NONE) {
            policy.Remove();
        }
        const std::string stored = policy.Stored();
        SCOPED_TRACE(stored);
        ASSERT_NO_FATAL_FAILURE(LogIn());
        EXPECT_EQ(c.shows, Choice());
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(stored, policy.Stored()) << "closing must leave the value as it was";
    }
}

// --- The menu.

// Alt+M, then L: the help text; Alt+M, then A ends the run.
TEST_F(MainMenu, LasDettaShowsHelpText) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(session.WaitForFocus(ja));
    const HWND popup = OpenMenu();
    ASSERT_NE(nullptr, popup);
    RECT area = e2e::ScreenRect(main);
    const RECT menu = e2e::ScreenRect(popup);
    ::UnionRect(&area, &area, &menu);
    ShotOfScreen(area, L"main-menu.bmp");
    ASSERT_TRUE(session.PressKey('L'));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(L"Information", kHelpText, true, L"box-help.bmp"));
    EXPECT_TRUE(::IsWindowVisible(main)) << "the main window stays open";
    EXPECT_EQ("Ja", Choice());
    ASSERT_NE(nullptr, OpenMenu());
    ASSERT_TRUE(session.PressKey('A'));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ("no key", policy.Stored());
}

// --- Keys on the main window.

// On Windows a focused option checks itself: showing the window, coming back to
// it after a box and Tab round it (the group, then "&Ändra") must never move the
// focus to the other option.
TEST_F(MainKeys, FocusNeverFlipsTheStoredChoice) {
    for (const DWORD value : {1u, 0u}) {
        const std::string shows = value ? "Nej" : "Ja";
        SCOPED_TRACE("stored " + std::to_string(value));
        policy.RemoveKey();
        policy.SetDword(value);
        ASSERT_NO_FATAL_FAILURE(LogIn());
        HWND chosen = value ? nej : ja;
        EXPECT_TRUE(session.WaitForFocus(chosen)) << "the focus at open";
        EXPECT_EQ(shows, Choice()) << "at open";
        ASSERT_TRUE(PostMenu(e2e::kMenuHelp));
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "no help box came";
        ASSERT_TRUE(e2e::Dismiss(*box));
        EXPECT_TRUE(session.WaitForFocus(chosen)) << "the focus after the help box";
        EXPECT_EQ(shows, Choice()) << "after the help box";
        for (HWND next : {andra, chosen, andra}) {
            ASSERT_TRUE(session.PressKey(VK_TAB));
            EXPECT_TRUE(session.WaitForFocus(next))
                << "got \"" << Utf8(e2e::Text(session.Focus())) << "\"";
        }
        EXPECT_EQ(shows, Choice()) << "after Tab went round";
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ("REG_DWORD " + std::to_string(value), policy.Stored()) << "nothing is written";
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
    EXPECT_EQ(Utf8(kLocked), Utf8(e2e::Text(confirm.label)));
    EXPECT_EQ("REG_DWORD 1", policy.Stored());
    ASSERT_TRUE(e2e::Click(confirm.button));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Windows without a taskbar button stay above the main window; the
// change-password window has its own button and no owner.

TEST_F(MainOwners, AboutAndConfirmationAreOwnedByTheMainWindow) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(PostMenu(e2e::kMenuAbout));
    HWND about = session.WaitForWindow(L"Om Grindvakt");
    ASSERT_NE(nullptr, about) << "the About window did not open";
    EXPECT_EQ(main, ::GetWindow(about, GW_OWNER)) << "the About window's owner";
    ASSERT_TRUE(e2e::CloseBox(about));
    ASSERT_TRUE(e2e::WaitUntilGone(about));
    ASSERT_TRUE(PostMenu(e2e::kMenuChangePassword));
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

// --- On screen (the controls are the layout tests' of the windows tier).

TEST_F(MainLayout, CentredOnTheWorkArea) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    e2e::CheckedDpi(main);
    e2e::ExpectCentred(main);
    Shot(main, L"main.bmp");
    ASSERT_NO_FATAL_FAILURE(Choose("Nej"));
    Shot(main, L"main-nej.bmp");
    ASSERT_TRUE(e2e::CloseBox(main));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(ConfirmLayout, NoTitleBarAndCentred) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Apply());
    // All of this has to happen before the timer ends the run.
    e2e::CheckedDpi(confirm.window);
    EXPECT_EQ(L"", e2e::Text(confirm.window)) << "no caption";
    const RECT frame = e2e::ScreenRect(confirm.window);
    POINT origin{0, 0};
    ::ClientToScreen(confirm.window, &origin);
    EXPECT_EQ(frame.left - origin.x, frame.top - origin.y)
        << "nothing above the client area but the frame";
    e2e::ExpectCentred(confirm.window);
    EXPECT_TRUE(session.WaitForFocus(confirm.button)) << "the focus is on \"&Avsluta\"";
    Shot(confirm.window, L"confirmation.bmp");
    ASSERT_TRUE(e2e::Click(confirm.button));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    ASSERT_LT(MsSince(clicked), kTimerLowMs) << "checked before the timer ended the run";
}

// --- How the confirmation ends the run.

TEST_F(ConfirmEnd, TimerEndsRunAboutThreeSecondsAfterAndra) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Apply());
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded(kTimerHighMs + e2e::kTimeoutMs));
    const long long elapsed = MsSince(clicked);
    EXPECT_GE(elapsed, kTimerLowMs) << "ended too early after \"&Ändra\"";
    EXPECT_LE(elapsed, kTimerHighMs) << "ended too late after \"&Ändra\"";
    EXPECT_EQ("REG_DWORD 0", policy.Stored());
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
        EXPECT_EQ("REG_DWORD 0", policy.Stored());
    }
}

}  // namespace
