// The main window and the confirmation window, driven from outside: a switch
// from login to the end of the process, what lands in the registry, the focus,
// the owners, the confirmation's timer and where the windows show. The menu is
// the keyboard walk's.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using Clock = std::chrono::steady_clock;
using e2e::Shot, e2e::Utf8, e2e::kLocked, e2e::kUnlocked;

// The timer ends the run 3000 ms after "&Ändra"; the bounds leave room for a loaded machine.
constexpr long long kTimerLowMs = 2500;
constexpr long long kTimerHighMs = 8000;

long long MsSince(Clock::time_point from) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - from).count();
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
            confirm = e2e::FindConfirmation(session);
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
    e2e::Confirmation confirm;
    Clock::time_point clicked;
};

class MainRun : public MainWindowTest {};
class MainQuit : public MainWindowTest {};
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
        // Group Policy's 2 leaves silent .reg imports open: "Nej" makes it the full block.
        {[&] { policy.SetDword(2); }, "Nej", kLocked, "REG_DWORD 1"},
        {[&] { policy.SetDword(0xFFFFFFFF); }, "Nej", kLocked, "REG_DWORD 1"},
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

TEST_F(ConfirmLayout, CentredWithTheFocusOnAvsluta) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Apply());
    // All of this has to happen before the timer ends the run.
    e2e::CheckedDpi(confirm.window);
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

TEST_F(ConfirmEnd, AvslutaEndsRunAtOnceByEnterAndAltA) {
    struct Way {
        const char* name;
        std::function<bool(const e2e::Session&, HWND)> press;
    };
    const std::vector<Way> ways{
        {"Enter", [](const e2e::Session& s, HWND) { return s.PressKey(VK_RETURN); }},
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
