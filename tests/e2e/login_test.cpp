// The login window, driven from outside: passwords, the attempt counter, keys,
// where the window shows, and a password file that start-up cannot read.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes, e2e::GrownForm, e2e::Hex, e2e::StoredForm, e2e::Utf8;
using e2e::kDefaultPassword, e2e::kWrongText, e2e::kWrongTitle;

constexpr wchar_t kEndTitle[] = L"Programmet avslutas";
constexpr wchar_t kEndText[] = L"Programmet avslutas efter tre felaktiga försök";
constexpr wchar_t kNoPasswordTitle[] = L"Inget lösenord";
constexpr wchar_t kNoPasswordText[] =
    L"Det finns inget lösenord angivet. Logga in med standardlösenordet och ändra sedan till ett "
    L"eget lösenord.";

enum class Press { Ok, Enter };

class Login : public e2e::Run {
  protected:
    HWND Cancel() const { return e2e::FindControl(login, L"Button", L"&Avbryt"); }

    // Ok: typed at once and "&Ok" clicked; Enter: typed key by key, then Enter.
    void Attempt(std::wstring_view entry, Press how = Press::Ok) {
        ASSERT_NO_FATAL_FAILURE(EnterPassword(entry, how == Press::Enter));
    }

    // A refused entry: the box, then the focus back in the text box with the entry as typed.
    void ExpectRefused(std::wstring_view entry, std::wstring_view title, std::wstring_view message,
                       const wchar_t* shot = nullptr) {
        ASSERT_NO_FATAL_FAILURE(ExpectBox(title, message, true, shot));
        EXPECT_TRUE(session.WaitForFocus(loginText)) << "the focus should return to the text box";
        EXPECT_EQ(Utf8(entry), Utf8(e2e::Text(loginText))) << "the entry is left as typed";
    }

    void ExpectWrong(std::wstring_view entry) { ExpectRefused(entry, kWrongTitle, kWrongText); }

    void ExpectLoggedIn() {
        ASSERT_NO_FATAL_FAILURE(AwaitMain());
        EXPECT_TRUE(e2e::WaitUntilGone(login)) << "the login window should be unloaded";
    }

    // Logs in, then ends the run by closing the main window.
    void LogInAndClose(std::wstring_view password) {
        ASSERT_NO_FATAL_FAILURE(Attempt(password));
        ASSERT_NO_FATAL_FAILURE(ExpectLoggedIn());
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
        EXPECT_EQ("Lösenordsfilen", Utf8(box->title));
        EXPECT_NE(std::wstring::npos, box->text.find(session.PasswordFilePath()))
            << "the text should name " << Utf8(session.PasswordFilePath())
            << ", got: " << Utf8(box->text);
        ASSERT_TRUE(e2e::Dismiss(*box));
    }

    Bytes FileBytes() const { return session.ReadPasswordFile().value_or(Bytes{}); }
};

class LoginFirstRun : public Login {};
class LoginStored : public Login {};
class LoginKeys : public Login {};
class LoginLayout : public Login {};
class LoginFileStates : public Login {};

// --- No password file: only the default password, and only empty entries count.

TEST_F(LoginFirstRun, DefaultPasswordOpensMainWindow) {
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    auto bytes = session.ReadPasswordFile();
    ASSERT_TRUE(bytes) << "start-up should create " << Utf8(session.PasswordFilePath());
    EXPECT_EQ(0u, bytes->size()) << Hex(*bytes);
    ASSERT_NO_FATAL_FAILURE(LogInAndClose(kDefaultPassword));
    EXPECT_EQ(Bytes{}, session.ReadPasswordFile().value_or(Bytes{1}))
        << "logging in stores no password";
}

// Only an empty entry counts: other text, however close to the default, only
// hints, neither counting nor resetting the count.
TEST_F(LoginFirstRun, OnlyEmptyEntriesCountOtherTextHints) {
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    for (std::wstring_view entry : {L"", L"vinga", L"VINGA", L"", L"Vinga ", L"hemligt", L""}) {
        SCOPED_TRACE(Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(
            entry.empty() ? ExpectWrong(entry)
                          : ExpectRefused(entry, kNoPasswordTitle, kNoPasswordText,
                                          entry == L"hemligt" ? L"box-no-password.bmp" : nullptr));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(kDefaultPassword));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText, true, L"box-ending.bmp"));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- A stored password.

TEST_F(LoginStored, LogsInAndGrowsFileAtEveryStart) {
    session.WritePasswordFile(StoredForm("abc"));
    for (int run = 1; run <= 3; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        ASSERT_NO_FATAL_FAILURE(StartLogin());
        const Bytes bytes = FileBytes();
        EXPECT_EQ(8u + 3u * static_cast<unsigned>(run), bytes.size());
        EXPECT_EQ(Hex(GrownForm("abc", run)), Hex(bytes));
        ASSERT_NO_FATAL_FAILURE(LogInAndClose(L"abc"));
    }
}

// Only the exact first field of what is stored logs in; the file grows once.
TEST_F(LoginStored, OnlyTheExactFirstFieldLogsIn) {
    ASSERT_EQ(1252u, ::GetACP()) << "the stored bytes below are Windows-1252";
    const struct {
        const char* stored;
        std::vector<std::wstring_view> refused;
        std::wstring_view accepted;
    } cases[] = {
        {"Hemlig", {L"hemlig", kDefaultPassword}, L"Hemlig"},  // letter case matters
        {"H\xE4lsa", {L"Halsa"}, L"Hälsa"},                    // read in the ANSI code page
        {"ab,cd", {L"ab,cd"}, L"ab"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored);
        session.WritePasswordFile(StoredForm(c.stored));
        ASSERT_NO_FATAL_FAILURE(StartLogin());
        for (const std::wstring_view entry : c.refused) {
            ASSERT_NO_FATAL_FAILURE(Attempt(entry));
            ASSERT_NO_FATAL_FAILURE(
                ExpectRefused(entry, kWrongTitle, kWrongText,
                              entry == kDefaultPassword ? L"box-wrong-password.bmp" : nullptr));
        }
        ASSERT_NO_FATAL_FAILURE(LogInAndClose(c.accepted));
        EXPECT_EQ(Hex(GrownForm(c.stored, 1)), Hex(FileBytes()));
    }
}

TEST_F(LoginStored, EmptyStoredPasswordRefusesEverything) {
    session.WritePasswordFile(StoredForm(""));
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    EXPECT_EQ(Hex(GrownForm("", 1)), Hex(FileBytes()));
    for (std::wstring_view entry : {kDefaultPassword, L"", L" "}) {
        SCOPED_TRACE(Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(L""));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- Keys, focus and the ways a run ends.

TEST_F(LoginKeys, EnterInTextBoxCountsOnceAndEndsOnFourthPress) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    ASSERT_NO_FATAL_FAILURE(ExhaustThenPress(L"xyz", L"abc", Press::Enter));
}

// The right password typed, and none of these logs in.
TEST_F(LoginKeys, EscAvbrytAndCloseBoxEndTheRun) {
    const std::pair<const char*, std::function<bool()>> ways[] = {
        {"Esc", [&] { return session.PressKey(VK_ESCAPE); }},
        {"Avbryt", [&] { return e2e::Click(Cancel()); }},
        {"close box", [&] { return e2e::CloseBox(login); }},
        {"Enter on the focused Avbryt",
         [&] {
             return session.PressKey(VK_TAB) && session.PressKey(VK_TAB) &&
                    session.WaitForFocus(Cancel()) && session.PressKey(VK_RETURN);
         }},
    };
    for (const auto& [name, press] : ways) {
        SCOPED_TRACE(name);
        ASSERT_NO_FATAL_FAILURE(StartLogin());
        ASSERT_TRUE(e2e::SetText(loginText, kDefaultPassword));
        ASSERT_TRUE(press());
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(nullptr, session.FindWindowNamed(e2e::MainCaption()));
    }
}

TEST_F(LoginKeys, EscAfterThreeFailuresEndsRunWithoutMessage) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    for (int i = 1; i <= 3; ++i) {
        ASSERT_NO_FATAL_FAILURE(Attempt(L""));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(L""));
    }
    ASSERT_TRUE(session.PressKey(VK_ESCAPE));
    // A box would hold the run open, so the run ending in time says no box came.
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
}

// --- On screen (the controls are the layout tests' of the windows tier).

TEST_F(LoginLayout, CentredWithAnEmptyTextBox) {
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    e2e::CheckedDpi(login);
    e2e::ExpectCentred(login);
    EXPECT_EQ(L"", e2e::Text(loginText)) << "the text box starts empty";
    e2e::Shot(login, L"login.bmp");
}

// --- A password file start-up cannot read (its states are the store's tests').

TEST_F(LoginFileStates, LockedFileIsReportedAndNothingPasses) {
    const Bytes stored = StoredForm("abc");
    session.WritePasswordFile(stored);
    session.HoldPasswordFile();
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectFileReported());
    // Read only at start-up: releasing the file now changes nothing.
    session.ReleasePasswordFile();
    ASSERT_NO_FATAL_FAILURE(AwaitLogin());
    for (std::wstring_view entry : {L"abc", kDefaultPassword, L""}) {
        SCOPED_TRACE(Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_NO_FATAL_FAILURE(Attempt(L"abc"));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kEndTitle, kEndText));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ(Hex(stored), Hex(FileBytes())) << "left as it was";
}

TEST_F(LoginFileStates, DirectoryInPlaceOfFileIsReported) {
    session.MakeDirectoryAtPasswordFile();
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectFileReported());
    ASSERT_NO_FATAL_FAILURE(AwaitLogin());
    for (std::wstring_view entry : {kDefaultPassword, L""}) {
        SCOPED_TRACE(Utf8(entry));
        ASSERT_NO_FATAL_FAILURE(Attempt(entry));
        ASSERT_NO_FATAL_FAILURE(ExpectWrong(entry));
    }
    ASSERT_TRUE(e2e::Click(Cancel()));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    const DWORD attributes = ::GetFileAttributesW(session.PasswordFilePath().c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << "the directory should still be there";
}

}  // namespace
