// The change-password window, driven from outside: what it checks and in which
// order, what it saves, a save that cannot be written, keys and layout.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes, e2e::Shot, e2e::StoredForm, e2e::Utf8;

constexpr wchar_t kCaption[] = L"Ändra lösenord";
constexpr wchar_t kWrongOld[] = L"Det gamla lösenordet är felaktigt, försök igen";
constexpr wchar_t kMismatch[] =
    L"Det nya lösenordet stämer ej överens med det bekräftade, ange det igen och försök igen";

struct Entries {
    std::wstring old, fresh, confirm;
};

class ChangePassword : public e2e::Run {
  protected:
    void Open() {
        ASSERT_TRUE(PostMenu(e2e::kMenuChangePassword));
        window = session.WaitForWindow(kCaption);
        ASSERT_NE(nullptr, window) << "the change-password window did not open";
        const std::vector<HWND> edits = e2e::EditsTopDown(window);
        ASSERT_EQ(3u, edits.size()) << "text boxes";
        oldBox = edits[0];
        newBox = edits[1];
        confirmBox = edits[2];
        ok = e2e::FindControl(window, L"Button", L"&Ok");
        ASSERT_NE(nullptr, ok) << "button \"&Ok\"";
    }

    // Logs in with this password stored and opens the window; `before` is the file then.
    void OpenWithStored(const char* password) {
        session.WritePasswordFile(StoredForm(password));
        ASSERT_NO_FATAL_FAILURE(LogIn(std::wstring(password, password + std::strlen(password))));
        ASSERT_NO_FATAL_FAILURE(Open());
        before = FileBytes();
    }

    // A disabled old box is left alone, as a user could not type in it.
    void Submit(const Entries& e) {
        if (::IsWindowEnabled(oldBox)) {
            ASSERT_TRUE(e2e::SetText(oldBox, e.old));
        }
        ASSERT_TRUE(e2e::SetText(newBox, e.fresh));
        ASSERT_TRUE(e2e::SetText(confirmBox, e.confirm));
        ASSERT_TRUE(e2e::Click(ok));
    }

    // After a refusal: the window still open, the entries as typed, the file as it was.
    void ExpectKept(const Entries& e) {
        EXPECT_EQ(window, session.FindWindowNamed(kCaption)) << "the window should stay open";
        if (::IsWindowEnabled(oldBox)) {
            EXPECT_EQ(Utf8(e.old), Utf8(e2e::Text(oldBox))) << "old entry";
        }
        EXPECT_EQ(Utf8(e.fresh), Utf8(e2e::Text(newBox))) << "new entry";
        EXPECT_EQ(Utf8(e.confirm), Utf8(e2e::Text(confirmBox))) << "confirmation";
        EXPECT_EQ(before, FileBytes()) << "the file must not be touched";
    }

    // A new password refused with its reason.
    void ExpectRefused(const Entries& e, const std::wstring& reason) {
        ASSERT_NO_FATAL_FAILURE(
            ExpectBox(L"Information", L"Lösenordet kan inte användas.\r\n\r\n" + reason));
        ExpectKept(e);
    }

    void ExpectSaved(std::string_view ansiPassword) {
        ASSERT_TRUE(e2e::WaitUntilGone(window)) << "the window should close after a save";
        EXPECT_EQ(StoredForm(ansiPassword), FileBytes())
            << "saved \"" << ansiPassword << "\" (ANSI)";
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }))
            << "the main window should be usable again";
    }

    Bytes FileBytes() const { return session.ReadPasswordFile().value_or(Bytes{}); }

    Bytes before;
    HWND window = nullptr;
    HWND oldBox = nullptr;
    HWND newBox = nullptr;
    HWND confirmBox = nullptr;
    HWND ok = nullptr;
};

class ChangePasswordFirstRun : public ChangePassword {};
class ChangePasswordChecks : public ChangePassword {};
class ChangePasswordSave : public ChangePassword {};
class ChangePasswordWindow : public ChangePassword {};
class ChangePasswordLayout : public ChangePassword {};
// Run with LC_ALL=hi_IN.UTF-8 (see cmake/WineTests.cmake); the program inherits it.
class ChangePasswordUtf8CodePage : public ChangePassword {};

// --- No password stored: no old password is asked for, in any opening.

TEST_F(ChangePasswordFirstRun, OldBoxDisabledInEveryOpeningThenNextRunNeedsTheNewPassword) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    const std::pair<const wchar_t*, const char*> saves[] = {{L"Ny1", "Ny1"}, {L"två", "tv\xE5"}};
    for (const auto& [password, ansi] : saves) {
        SCOPED_TRACE(Utf8(password));
        ASSERT_NO_FATAL_FAILURE(Open());
        EXPECT_FALSE(::IsWindowEnabled(oldBox)) << "the run started with no password";
        EXPECT_TRUE(session.WaitForFocus(newBox)) << "the focus should start in the new box";
        EXPECT_NE(nullptr, e2e::FindControl(window, L"Static", L"Gammalt lösenord:"));
        if (password == saves[0].first) {
            Shot(window, L"change-password.bmp");
        }
        ASSERT_NO_FATAL_FAILURE(Submit({L"", password, password}));
        ASSERT_NO_FATAL_FAILURE(ExpectSaved(ansi));
    }
    ASSERT_TRUE(e2e::CloseBox(main));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());

    ASSERT_NO_FATAL_FAILURE(StartLogin());
    ASSERT_NO_FATAL_FAILURE(EnterPassword(e2e::kDefaultPassword));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(e2e::kWrongTitle, e2e::kWrongText))
        << "the default password should be refused once one is stored";
    ASSERT_NO_FATAL_FAILURE(EnterPassword(L"två"));
    ASSERT_NO_FATAL_FAILURE(AwaitMain()) << "the new password should log in";
}

// --- A stored password: the old entry first, then the confirmation, then the new password.

TEST_F(ChangePasswordChecks, OldPasswordFirstThenConfirmation) {
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("Hemlig"));
    const struct {
        Entries entries;
        bool wrongOld;
    } cases[] = {
        {{L"fel", L"nytt", L"nytt"}, true},
        {{L"fel", L"ett", L"två"}, true},  // the mismatch is not reported as well
        {{L"hemlig", L"nytt", L"nytt"}, true},
        {{L"", L"", L""}, true},
        {{L"Hemlig", L"ett", L"två"}, false},
        {{L"Hemlig", L"abc", L"Abc"}, false},
        {{L"Hemlig", L"abc", L""}, false},
    };
    for (const auto& [e, wrongOld] : cases) {
        SCOPED_TRACE("old \"" + Utf8(e.old) + "\", new \"" + Utf8(e.fresh) + "\", confirmed \"" +
                     Utf8(e.confirm) + "\"");
        ASSERT_NO_FATAL_FAILURE(Submit(e));
        if (wrongOld) {
            ASSERT_NO_FATAL_FAILURE(ExpectBox(e2e::kAppTitle, kWrongOld, false));
        } else {
            ASSERT_NO_FATAL_FAILURE(
                ExpectBox(L"Information", kMismatch, true, L"box-mismatch.bmp"));
        }
        ExpectKept(e);
    }
}

TEST_F(ChangePasswordChecks, RefusesWhatCannotBeReadBackAndSavesWhatCan) {
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("abc"));
    const std::wstring blanks = L"Lösenordet får inte börja eller sluta med mellanslag eller tabb.";
    const std::wstring comma = L"Lösenordet får inte innehålla kommatecken.";
    const struct {
        const wchar_t* entry;
        std::wstring reason;
    } cases[] = {
        {L"", L"Lösenordet får inte vara tomt."},
        {L",", comma},
        {L"ab,cd", comma},
        {L" ab", blanks},
        {L"ab\t", blanks},
        {L"\"ab", L"Lösenordet får inte börja med citattecken."},
        {L"a\r\nb", L"Lösenordet får inte innehålla radbrytningar."},
        {L"Жук", L"Lösenordet innehåller tecken som inte kan sparas i lösenordsfilen."},
        // The first scramble step overflows.
        {L"x\u00ff\u00ff\u007f",
         L"Lösenordet kan inte sparas så att det går att läsa tillbaka. "
         L"Välj ett annat lösenord."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("new \"" + Utf8(c.entry) + "\"");
        const Entries e{L"abc", c.entry, c.entry};
        ASSERT_NO_FATAL_FAILURE(Submit(e));
        ASSERT_NO_FATAL_FAILURE(ExpectRefused(e, c.reason));
    }
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"Hälsa", L"Hälsa"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("H\xE4lsa"));
}

// --- Saving.

TEST_F(ChangePasswordSave, ReopeningAsksForTheStartUpPassword) {
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("abc"));
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"a b!?", L"a b!?"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("a b!?"));
    ASSERT_NO_FATAL_FAILURE(Open());
    before = FileBytes();
    const Entries justSaved{L"a b!?", L"x1", L"x1"};
    ASSERT_NO_FATAL_FAILURE(Submit(justSaved));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(e2e::kAppTitle, kWrongOld, false));
    ExpectKept(justSaved);
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"x1", L"x1"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("x1"));
}

TEST_F(ChangePasswordSave, LockedFileIsReportedAndKeptThenSavedOnceFree) {
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("abc"));
    const Entries e{L"abc", L"nytt", L"nytt"};
    session.HoldPasswordFile();
    ASSERT_NO_FATAL_FAILURE(Submit(e));
    auto box = session.WaitForMessageBox();
    ASSERT_TRUE(box) << "a save onto a held file should be reported";
    const std::string text = Utf8(box->text);
    EXPECT_NE(std::string::npos, text.find(Utf8(session.PasswordFilePath())))
        << "the text should name " << Utf8(session.PasswordFilePath()) << ", got: " << text;
    EXPECT_NE(std::string::npos, text.find("används av ett annat program"))
        << "the text should say the file is held, got: " << text;
    ASSERT_TRUE(e2e::Dismiss(*box));
    session.ReleasePasswordFile();
    ExpectKept(e);
    ASSERT_TRUE(e2e::Click(ok));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("nytt"));
}

// --- UTF-8 as the ANSI code page: the file holds UTF-8.

TEST_F(ChangePasswordUtf8CodePage, SwedishLettersSavedAsUtf8LogInNextRun) {
    ASSERT_EQ(65001u, ::GetACP()) << "this case needs UTF-8 as the ANSI code page";
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("abc"));
    const Entries unpaired{L"abc", L"a\xD800", L"a\xD800"};
    ASSERT_NO_FATAL_FAILURE(Submit(unpaired));
    ASSERT_NO_FATAL_FAILURE(ExpectRefused(
        unpaired, L"Lösenordet innehåller tecken som inte kan sparas i lösenordsfilen."));
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"Grönå", L"Grönå"}));
    // C3 B6 for "ö": the program's own code page is UTF-8 too.
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("Gr\xC3\xB6n\xC3\xA5"));
    ASSERT_TRUE(e2e::CloseBox(main));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    ASSERT_NO_FATAL_FAILURE(LogIn(L"Grönå"));
}

// --- The window itself.

TEST_F(ChangePasswordWindow, EnterAndEscInTextBoxesDoNothingAndCloseBoxDoesNotSave) {
    ASSERT_NO_FATAL_FAILURE(OpenWithStored("abc"));
    // Entries that would be saved, had a key clicked OK.
    const Entries e{L"abc", L"nytt", L"nytt"};
    ASSERT_TRUE(e2e::SetText(oldBox, e.old));
    ASSERT_TRUE(e2e::SetText(newBox, e.fresh));
    ASSERT_TRUE(e2e::SetText(confirmBox, e.confirm));
    for (HWND box : {oldBox, newBox, confirmBox}) {
        ASSERT_TRUE(session.WaitForFocus(box));
        ASSERT_TRUE(session.PressKey(VK_RETURN));
        ASSERT_TRUE(session.PressKey(VK_ESCAPE));
        // Keys are handled in turn: once Tab has moved the focus, Enter and Esc are done.
        ASSERT_TRUE(session.PressKey(VK_TAB));
    }
    ASSERT_TRUE(session.WaitForFocus(ok)) << "Tab after the last text box";
    EXPECT_FALSE(session.FindMessageBox()) << "no message for Enter or Esc";
    ExpectKept(e);

    ASSERT_TRUE(e2e::CloseBox(window));
    EXPECT_TRUE(e2e::WaitUntilGone(window)) << "the close box should close the window";
    EXPECT_EQ(before, FileBytes()) << "closing must not save";
    EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }));
}

// --- On another monitor: a laptop's screen beside a 100 % one.

TEST_F(ChangePasswordLayout, LabelsClearTheirTextBoxesAfterAMoveToAnotherScale) {
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_NO_FATAL_FAILURE(Open());
    const int dpi = e2e::CheckedDpi(window) == 96 ? 144 : 96;
    // Windows also suggests a place; a pointer from this process would not reach the
    // program, so the window keeps its own.
    DWORD_PTR result = 0;
    ASSERT_TRUE(::SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), 0,
                                      SMTO_ABORTIFHUNG, e2e::kTimeoutMs, &result));
    // Where each control goes is the form test's; here each label is clear of its
    // text box and drawn whole: no ink in its last column, where a face that draws
    // wider than it measures would be cut off.
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    const gv::WindowDC screen(nullptr);
    for (HWND label : e2e::FindControls(window, L"Static")) {
        EXPECT_LE(e2e::RectInParent(label).right, e2e::RectInParent(oldBox).left)
            << "\"" << Utf8(e2e::Text(label)) << "\" runs under its text box at " << dpi;
        const RECT s = e2e::ScreenRect(label);
        for (int y = s.top; y < s.bottom; ++y) {
            EXPECT_EQ(::GetPixel(screen.get(), s.right - 1, y), ::GetSysColor(COLOR_BTNFACE))
                << "\"" << Utf8(e2e::Text(label)) << "\" is cut off at " << dpi << " DPI";
        }
    }
    if (dpi == 96) {
        Shot(window, L"change-password-to-96.bmp");
    }
}

}  // namespace
