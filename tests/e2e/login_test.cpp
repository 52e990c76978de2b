// The login window, driven from outside: passwords, the attempt counter, keys,
// layout, and what start-up does to the password file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "store/scramble.h"
#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes;
using e2e::CheckedDpi, e2e::Pixels, e2e::Placed, e2e::Shot, e2e::StoredForm, e2e::TwipsRect;

constexpr wchar_t kLoginCaption[] = L"Logga in";
constexpr wchar_t kMainCaption[] = L"Grindvakt";
constexpr wchar_t kDefaultPassword[] = L"Vinga";

constexpr wchar_t kWrongTitle[] = L"Fel lösenord";
constexpr wchar_t kWrongText[] = L"Fel lösenord, försök igen";
constexpr wchar_t kEndTitle[] = L"Programmet avslutas";
constexpr wchar_t kEndText[] = L"Programmet avslutas efter tre felaktiga försök";
constexpr wchar_t kNoPasswordTitle[] = L"Inget lösenord";
constexpr wchar_t kNoPasswordText[] =
    L"Det finns inget lösenord angivet. Logga in med standardlösenordet och ändra sedan till ett "
    L"eget "
    L"lösenord.";
constexpr wchar_t kFileTitle[] = L"Lösenordsfilen";

std::string Hex(const Bytes& bytes) {
    std::string out;
    char digits[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(digits, sizeof digits, "%02X ", b);
        out += digits;
    }
    return out;
}

// The file after `starts` start-ups: each one reads the plain line back (with
// the three bytes the last pass reached past the end, which were zeros) and
// scrambles all of it again, three bytes longer.
Bytes GrownForm(std::string_view ansiPassword, int starts) {
    Bytes plain(ansiPassword.begin(), ansiPassword.end());
    plain.push_back('\r');
    plain.push_back('\n');
    plain.resize(plain.size() + 3 * static_cast<std::size_t>(starts), 0);
    std::int32_t word = 0;
    gv::ScramblePass(plain, gv::kScrambleKey, word);
    return plain;
}

enum class Press { Ok, Enter };

class Login : public testing::Test {
  protected:
    // Starts the run and finds the login window and its controls. Fails with
    // the box's title and text where a message box comes instead.
    void StartAndFind() {
        session.Start();
        FindLoginWindow();
    }

    void FindLoginWindow() {
        ASSERT_TRUE(e2e::WaitUntil([&] {
            return session.FindWindowNamed(kLoginCaption) || session.FindMessageBox() ||
                   !session.Running();
        })) << "neither the login window nor a message box came";
        if (auto box = session.FindMessageBox()) {
            FAIL() << "expected the login window, got a message box titled \""
                   << e2e::Utf8(box->title) << "\": " << e2e::Utf8(box->text);
        }
        window = session.FindWindowNamed(kLoginCaption);
        ASSERT_NE(nullptr, window) << "the program ended before its login window showed";
        text = e2e::FindControl(window, L"Edit");
        ok = e2e::FindControl(window, L"Button", L"&Ok");
        cancel = e2e::FindControl(window, L"Button", L"&Avbryt");
        label = e2e::FindControl(window, L"Static", L"Lösenord:");
        ASSERT_NE(nullptr, text) << "text box";
        ASSERT_NE(nullptr, ok) << "button \"&Ok\"";
        ASSERT_NE(nullptr, cancel) << "button \"&Avbryt\"";
        ASSERT_NE(nullptr, label) << "label \"Lösenord:\"";
        ASSERT_TRUE(session.WaitForFocus(text)) << "the focus should start in the text box";
    }

    void Attempt(std::wstring_view entry, Press how = Press::Ok) {
        ASSERT_TRUE(e2e::SetText(text, entry)) << "typing \"" << e2e::Utf8(entry) << "\"";
        if (how == Press::Ok) {
            ASSERT_TRUE(e2e::Click(ok));
        } else {
            ASSERT_TRUE(session.WaitForFocus(text)) << "Enter is pressed in the text box";
            ASSERT_TRUE(session.PressKey(VK_RETURN));
        }
    }

    // Waits for an information box with one OK button, checks it and dismisses
    // it; `shot` names its screenshot.
    void ExpectBox(std::wstring_view title, std::wstring_view message,
                   const wchar_t* shot = nullptr) {
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "expected a box titled \"" << e2e::Utf8(title) << "\"; none came";
        EXPECT_EQ(e2e::Utf8(title), e2e::Utf8(box->title));
        EXPECT_EQ(e2e::Utf8(message), e2e::Utf8(box->text));
        EXPECT_TRUE(box->hasIcon) << "no icon; the information icon was expected";
        EXPECT_EQ(std::vector<int>{IDOK}, box->buttons) << "one OK button";
        if (shot) {
            Shot(box->hwnd, shot);
        }
        ASSERT_TRUE(e2e::Dismiss(*box)) << "the box did not go away";
    }

    // A refused entry: the box, then the focus back in the text box with the entry as typed.
    void ExpectRefused(std::wstring_view entry, std::wstring_view title, std::wstring_view message,
                       const wchar_t* shot = nullptr) {
        ASSERT_NO_FATAL_FAILURE(ExpectBox(title, message, shot));
        EXPECT_TRUE(session.WaitForFocus(text)) << "the focus should return to the text box";
        EXPECT_EQ(e2e::Utf8(entry), e2e::Utf8(e2e::Text(text))) << "the entry is left as typed";
    }

    void ExpectWrong(std::wstring_view entry) { ExpectRefused(entry, kWrongTitle, kWrongText); }

    HWND ExpectMainWindow() {
        HWND main = session.WaitForWindow(kMainCaption);
        EXPECT_NE(nullptr, main) << "the main window \"Grindvakt\" did not open";
        EXPECT_TRUE(e2e::WaitUntilGone(window)) << "the login window should be unloaded";
        EXPECT_EQ(nullptr, session.FindWindowNamed(kLoginCaption));
        return main;
    }

    void ExpectRunEnded() {
        const auto code = session.WaitForExit();
        ASSERT_TRUE(code) << "the run did not end";
        EXPECT_EQ(0u, *code) << "exit code";
    }

    // Logs in, then ends the run by closing the main window.
    void LogInAndClose(std::wstring_view password) {
        ASSERT_NO_FATAL_FAILURE(Attempt(password));
        HWND main = ExpectMainWindow();
        ASSERT_NE(nullptr, main);
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    }

    // Three refusals, then the fourth press ends the run whatever is typed.
    void ExhaustThenPress(std::wstring_view wrong, std::wstring_view last, Press how) {
        for (int i = 1; i <= 3; ++i) {
            SCOPED_TRACE("failure " + std::to_string(i));
            ASSERT_NO_FATAL_FAILURE(Attempt(wrong, how));
            ASSERT_NO_FATAL_FAILURE(ExpectWrong(wrong));
        }
        ASSERT_NO_FATAL_FAILURE(Attempt(last, how));
        ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    }

    // A file that cannot be read at start-up: a box says so and names the file.
    void ExpectFileReported() {
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "expected a box about the password file";
        EXPECT_EQ(e2e::Utf8(kFileTitle), e2e::Utf8(box->title));
        EXPECT_NE(std::wstring::npos, box->text.find(session.PasswordFilePath()))
            << "the text should name " << e2e::Utf8(session.PasswordFilePath())
            << ", got: " << e2e::Utf8(box->text);
        ASSERT_TRUE(e2e::Dismiss(*box));
    }

    e2e::Session session;
    HWND window = nullptr;
    HWND text = nullptr;
    HWND ok = nullptr;
    HWND cancel = nullptr;
    HWND label = nullptr;
};

class LoginFirstRun : public Login {};
class LoginStored : public Login {};
class LoginKeys : public Login {};
class LoginLayout : public Login {};
class LoginFileStates : public Login {};

// --- No password file: only the default password, and only empty entries count.

TEST_F(LoginFirstRun, CreatesEmptyFile) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    auto bytes = session.ReadPasswordFile();
    ASSERT_TRUE(bytes) << "start-up should create " << e2e::Utf8(session.PasswordFilePath());
    EXPECT_EQ(0u, bytes->size()) << Hex(*bytes);
    ASSERT_TRUE(e2e::Click(cancel));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(Bytes{}, session.ReadPasswordFile().value_or(Bytes{1}))
        << "still empty after the run";
}

TEST_F(LoginFirstRun, DefaultPasswordOpensMainWindow) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(kDefaultPassword));
    EXPECT_EQ(Bytes{}, session.ReadPasswordFile().value_or(Bytes{1}))
        << "logging in stores no password";
}

TEST_F(LoginFirstRun, OtherTextOnlyHintsAndNeverCounts) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    for (std::wstring_view entry : {L"vinga", L"VINGA", L"Vinga ", L"hemligt"}) {
        SCOPED_TRACE(e2e::Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectRefused(entry, kNoPasswordTitle, kNoPasswordText));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword));
    EXPECT_NE(nullptr, ExpectMainWindow()) << "four hints must not use up the attempts";
}

TEST_F(LoginFirstRun, EmptyEntryCountsAsFailure) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(L""));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));
    // A hint between failures neither counts nor resets the count.
    ASSERT_NO_FATAL_FAILURE(Attempt(L"x"));
    ASSERT_NO_FATAL_FAILURE(
        ExpectRefused(L"x", kNoPasswordTitle, kNoPasswordText, L"box-no-password.bmp"));
    for (int i = 2; i <= 3; ++i) {
        ASSERT_NO_FATAL_FAILURE(Attempt(L""));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText, L"box-ending.bmp"));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- A stored password.

TEST_F(LoginStored, LogsInAndGrowsFileAtEveryStart) {
    session.WritePasswordFile(StoredForm("abc"));
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_NO_FATAL_FAILURE(StartAndFind());
        const Bytes bytes = session.ReadPasswordFile().value_or(Bytes{});
        EXPECT_EQ(8u + 3u * static_cast<unsigned>(run), bytes.size());
        EXPECT_EQ(Hex(GrownForm("abc", run)), Hex(bytes));
        ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"abc"));
    }
}

TEST_F(LoginStored, SwedishLettersAreReadInTheAnsiCodePage) {
    ASSERT_EQ(1252u, ::GetACP()) << "the stored bytes below are Windows-1252";
    session.WritePasswordFile(StoredForm("H\xE4lsa"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(L"Halsa"));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L"Halsa"));
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"Hälsa"));
    EXPECT_EQ(Hex(GrownForm("H\xE4lsa", 1)), Hex(session.ReadPasswordFile().value_or(Bytes{})));
}

TEST_F(LoginStored, LetterCaseMatters) {
    session.WritePasswordFile(StoredForm("Hemlig"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    for (std::wstring_view entry : {L"hemlig", L"HEMLIG"}) {
        SCOPED_TRACE(e2e::Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"Hemlig"));
}

TEST_F(LoginStored, DefaultPasswordIsRefused) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword));
    ASSERT_NO_FATAL_FAILURE(
        ExpectRefused(kDefaultPassword, kWrongTitle, kWrongText, L"box-wrong-password.bmp"));
}

TEST_F(LoginStored, FourthPressEndsRunEvenWithRightPassword) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(ExhaustThenPress(L"abd", L"abc", Press::Ok));
}

TEST_F(LoginStored, FailedRunLeavesGrownFile) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(L"fel"));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L"fel"));
    ASSERT_TRUE(e2e::Click(cancel));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(Hex(GrownForm("abc", 1)), Hex(session.ReadPasswordFile().value_or(Bytes{})));
}

TEST_F(LoginStored, OnlyTheFirstFieldIsThePassword) {
    session.WritePasswordFile(StoredForm("ab,cd"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(L"ab,cd"));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L"ab,cd"));
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"ab"));
}

TEST_F(LoginStored, EmptyStoredPasswordRefusesEverything) {
    session.WritePasswordFile(StoredForm(""));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    EXPECT_EQ(Hex(GrownForm("", 1)), Hex(session.ReadPasswordFile().value_or(Bytes{})));
    for (std::wstring_view entry : {kDefaultPassword, L"", L" "}) {
        SCOPED_TRACE(e2e::Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(L""));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Keys, focus and the ways a run ends.

TEST_F(LoginKeys, EnterInTextBoxLogsIn) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword, Press::Enter));
    EXPECT_NE(nullptr, ExpectMainWindow());
}

TEST_F(LoginKeys, EnterInTextBoxCountsOnceAndEndsOnFourthPress) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_NO_FATAL_FAILURE(ExhaustThenPress(L"xyz", L"abc", Press::Enter));
}

TEST_F(LoginKeys, EscEndsRun) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(e2e::SetText(text, kDefaultPassword));
    ASSERT_TRUE(session.PressKey(VK_ESCAPE));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(LoginKeys, EscAfterThreeFailuresEndsRunWithoutMessage) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    for (int i = 1; i <= 3; ++i) {
        ASSERT_NO_FATAL_FAILURE(Attempt(L""));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));
    }
    ASSERT_TRUE(session.PressKey(VK_ESCAPE));
    // A box would hold the run open, so the run ending in time says no box came.
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(LoginKeys, AvbrytEndsRun) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(e2e::SetText(text, L"abc"));
    ASSERT_TRUE(e2e::Click(cancel));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(nullptr, session.FindWindowNamed(kMainCaption));
}

TEST_F(LoginKeys, CloseBoxEndsRun) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(e2e::CloseBox(window));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(LoginKeys, TabVisitsTextBoxOkAvbrytInTurn) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    for (HWND next : {ok, cancel, text, ok}) {
        ASSERT_TRUE(session.PressKey(VK_TAB));
        ASSERT_TRUE(session.WaitForFocus(next))
            << "expected the focus on \"" << e2e::Utf8(e2e::Text(next)) << "\", got it on \""
            << e2e::Utf8(e2e::Text(session.Focus())) << "\" ("
            << e2e::Utf8(e2e::ClassOf(session.Focus())) << ")";
    }
}

TEST_F(LoginKeys, EnterAndSpaceClickTheFocusedButton) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(session.PressKey(VK_TAB));
    ASSERT_TRUE(session.WaitForFocus(ok));
    ASSERT_TRUE(session.PressKey(VK_RETURN));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));

    ASSERT_TRUE(e2e::SetText(text, kDefaultPassword));
    ASSERT_TRUE(session.PressKey(VK_TAB));
    ASSERT_TRUE(session.WaitForFocus(ok));
    ASSERT_TRUE(session.PressKey(VK_SPACE));
    EXPECT_NE(nullptr, ExpectMainWindow());
}

TEST_F(LoginKeys, EnterOnFocusedAvbrytEndsRun) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(e2e::SetText(text, kDefaultPassword));
    for (int i = 0; i < 2; ++i) {
        ASSERT_TRUE(session.PressKey(VK_TAB));
    }
    ASSERT_TRUE(session.WaitForFocus(cancel));
    ASSERT_TRUE(session.PressKey(VK_RETURN));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

TEST_F(LoginKeys, AccessKeysClickTheirButtons) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    ASSERT_TRUE(session.PressAltKey(L'o'));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));
    ASSERT_TRUE(session.PressAltKey(L'a'));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Layout: the design's twips at the window's DPI (15 twips a pixel at 96 DPI).

void ExpectAt(HWND control, RECT expected) {
    EXPECT_EQ(Placed(expected), Placed(e2e::RectInParentClient(control)))
        << "\"" << e2e::Utf8(e2e::Text(control)) << "\"";
}

// A push button's caption clears its frame and focus rectangle, 3 px a side at 96 DPI.
void ExpectCaptionFits(HWND button, int dpi) {
    const SIZE text = e2e::TextExtent(e2e::Text(button), e2e::DesignFontFace(), 8, dpi);
    const RECT r = e2e::RectInParentClient(button);
    const int margins = 2 * Pixels(45, dpi);
    EXPECT_TRUE(text.cx + margins <= r.right - r.left && text.cy + margins <= r.bottom - r.top)
        << "\"" << e2e::Utf8(e2e::Text(button)) << "\" needs " << text.cx << "x" << text.cy
        << " px and margins of " << margins << " in " << Placed(r);
}

TEST_F(LoginLayout, ClientAreaAndControlsFollowTheTwips) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    const int dpi = CheckedDpi(window);
    const RECT textAt = TwipsRect(900, 75, 2040, 315, dpi);
    const RECT okAt = TwipsRect(1950, 450, 990, 315, dpi);
    const RECT cancelAt = TwipsRect(900, 450, 990, 315, dpi);
    const SIZE client{Pixels(3015, dpi), Pixels(825, dpi)};
    if (dpi == 96) {
        EXPECT_EQ("201x55; 60,5 136x21; 130,30 66x21; 60,30 66x21",
                  std::to_string(client.cx) + "x" + std::to_string(client.cy) + "; " +
                      Placed(textAt) + "; " + Placed(okAt) + "; " + Placed(cancelAt))
            << "the twips at 96 DPI";
    }
    const SIZE got = e2e::ClientSize(window);
    EXPECT_EQ(client.cx, got.cx) << "client width at " << dpi << " DPI";
    EXPECT_EQ(client.cy, got.cy) << "client height at " << dpi << " DPI";
    ExpectAt(text, textAt);
    ExpectAt(ok, okAt);
    ExpectAt(cancel, cancelAt);
    ExpectCaptionFits(ok, dpi);
    ExpectCaptionFits(cancel, dpi);

    // The label sizes itself to its text in the windows' 8 pt font, and ends
    // before the text box it names.
    const SIZE extent = e2e::TextExtent(L"Lösenord:", e2e::DesignFontFace(), 8, dpi);
    const int edge = Pixels(75, dpi);
    ExpectAt(label, {edge, edge, edge + extent.cx, edge + extent.cy});
    EXPECT_LE(edge + extent.cx, textAt.left) << "the label runs into the text box";

    Shot(window, L"login.bmp");
}

TEST_F(LoginLayout, FrameTaskbarButtonAndPlaceOnScreen) {
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    CheckedDpi(window);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    EXPECT_EQ(static_cast<DWORD>(WS_CAPTION), style & WS_CAPTION) << "title bar";
    EXPECT_NE(0u, style & WS_SYSMENU) << "close box";
    EXPECT_EQ(0u, style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) << "no minimise or maximise button";
    EXPECT_EQ(0u, style & WS_THICKFRAME) << "not resizable";
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    const bool taskbarButton = (exStyle & WS_EX_APPWINDOW) ||
                               (!::GetWindow(window, GW_OWNER) && !(exStyle & WS_EX_TOOLWINDOW));
    EXPECT_TRUE(taskbarButton) << "a button in the taskbar (extended style 0x" << std::hex
                               << exStyle << ")";

    const RECT frame = e2e::ScreenRect(window);
    const RECT work = e2e::WorkArea();
    // Twice the centres, to stay in whole pixels: an odd leftover pixel may fall on either side.
    const LONG dx = (frame.left + frame.right) - (work.left + work.right);
    const LONG dy = (frame.top + frame.bottom) - (work.top + work.bottom);
    EXPECT_LE(std::labs(dx), 1) << "horizontal centre: window " << frame.left << ".." << frame.right
                                << ", work area " << work.left << ".." << work.right;
    EXPECT_LE(std::labs(dy), 1) << "vertical centre: window " << frame.top << ".." << frame.bottom
                                << ", work area " << work.top << ".." << work.bottom;
    EXPECT_EQ(L"", e2e::Text(text)) << "the text box starts empty";
}

// --- Password-file states at start-up.

TEST_F(LoginFileStates, LockedFileIsReportedAndNothingPasses) {
    const Bytes stored = StoredForm("abc");
    session.WritePasswordFile(stored);
    session.HoldPasswordFile();
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectFileReported());
    // Read only at start-up: releasing the file now changes nothing.
    session.ReleasePasswordFile();
    ASSERT_NO_FATAL_FAILURE(FindLoginWindow());
    for (std::wstring_view entry : {L"abc", kDefaultPassword, L""}) {
        SCOPED_TRACE(e2e::Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(L"abc"));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(Hex(stored), Hex(session.ReadPasswordFile().value_or(Bytes{}))) << "left as it was";
}

TEST_F(LoginFileStates, DirectoryInPlaceOfFileIsReported) {
    session.MakeDirectoryAtPasswordFile();
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectFileReported());
    ASSERT_NO_FATAL_FAILURE(FindLoginWindow());
    for (std::wstring_view entry : {kDefaultPassword, L""}) {
        SCOPED_TRACE(e2e::Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_TRUE(e2e::Click(cancel));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    const DWORD attributes = ::GetFileAttributesW(session.PasswordFilePath().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "the directory should still be there";
}

TEST_F(LoginFileStates, OverflowingFileIsReportedAndLeftUnchanged) {
    // The first descramble step subtracts the key from INT32_MIN.
    const Bytes stored{0x00, 0x00, 0x00, 0x80, 0x41, 0x42, 0x43, 0x44};
    session.WritePasswordFile(stored);
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectFileReported());
    ASSERT_NO_FATAL_FAILURE(FindLoginWindow());
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword));
    ASSERT_NO_FATAL_FAILURE(ExpectWrong(kDefaultPassword));
    ASSERT_TRUE(e2e::Click(cancel));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(Hex(stored), Hex(session.ReadPasswordFile().value_or(Bytes{})));
}

TEST_F(LoginFileStates, ShortFileIsReadWithoutDescrambling) {
    // Files of 1 to 3 bytes are too short for a descramble step: read as they are.
    session.WritePasswordFile(Bytes{'o', 'k'});
    ASSERT_NO_FATAL_FAILURE(StartAndFind());
    Bytes grown{'o', 'k'};
    std::int32_t word = 0;
    gv::ScramblePass(grown, gv::kScrambleKey, word);
    EXPECT_EQ(Hex(grown), Hex(session.ReadPasswordFile().value_or(Bytes{})));
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"ok"));
}

}  // namespace
