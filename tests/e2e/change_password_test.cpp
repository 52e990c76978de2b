// The change-password window, driven from outside: what it checks and in which
// order, what it saves, a save that cannot be written, keys and layout.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes;
using e2e::CheckedDpi, e2e::Pixels, e2e::Placed, e2e::Shot, e2e::StoredForm, e2e::TwipsRect;
using e2e::Utf8;

constexpr wchar_t kLoginCaption[] = L"Logga in";
constexpr wchar_t kMainCaption[] = L"Grindvakt";
constexpr wchar_t kCaption[] = L"Ändra lösenord";
constexpr wchar_t kDefaultPassword[] = L"Vinga";
constexpr WPARAM kMenuChangePassword = 212;

constexpr wchar_t kWrongOld[] = L"Det gamla lösenordet är felaktigt, försök igen";
constexpr wchar_t kMismatch[] =
    L"Det nya lösenordet stämer ej överens med det bekräftade, ange det igen och försök igen";
constexpr wchar_t kRefused[] = L"Lösenordet kan inte användas";

struct Entries {
    std::wstring old, fresh, confirm;
};

class ChangePassword : public testing::Test {
  protected:
    // Types into the login window of a run just started; the main window is not awaited.
    void StartAndType(std::wstring_view password) {
        ASSERT_NO_FATAL_FAILURE(e2e::StartAndType(session, password));
    }

    void StartAndLogIn(std::wstring_view password) {
        ASSERT_NO_FATAL_FAILURE(StartAndType(password));
        main = session.WaitForWindow(kMainCaption);
        ASSERT_NE(nullptr, main) << "logging in with \"" << Utf8(password) << "\" failed";
    }

    void Open() {
        ASSERT_TRUE(::PostMessageW(main, WM_COMMAND, kMenuChangePassword, 0));
        window = session.WaitForWindow(kCaption);
        ASSERT_NE(nullptr, window) << "the change-password window did not open";
        std::vector<HWND> edits = e2e::FindControls(window, L"Edit");
        ASSERT_EQ(3u, edits.size()) << "text boxes";
        std::sort(edits.begin(), edits.end(), [](HWND a, HWND b) {
            return e2e::RectInParentClient(a).top < e2e::RectInParentClient(b).top;
        });
        oldBox = edits[0];
        newBox = edits[1];
        confirmBox = edits[2];
        ok = e2e::FindControl(window, L"Button", L"&Ok");
        ASSERT_NE(nullptr, ok) << "button \"&Ok\"";
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

    // Checks the box that must come and dismisses it; `whole` false compares the
    // text's start only; `shot` names its screenshot.
    void ExpectBox(std::wstring_view title, std::wstring_view text, bool icon, bool whole = true,
                   const wchar_t* shot = nullptr) {
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "expected a box \"" << Utf8(text) << "\"; none came";
        EXPECT_EQ(Utf8(title), Utf8(box->title));
        EXPECT_EQ(Utf8(text), Utf8(whole ? box->text : box->text.substr(0, text.size())));
        EXPECT_EQ(icon, box->hasIcon) << "icon in \"" << Utf8(box->text) << "\"";
        EXPECT_EQ(std::vector<int>{IDOK}, box->buttons) << "one OK button";
        if (shot) {
            Shot(box->hwnd, shot);
        }
        ASSERT_TRUE(e2e::Dismiss(*box)) << "the box did not go away";
    }

    // After a refusal: the window still open, the entries as typed, the file as it was.
    void ExpectKept(const Entries& e, const Bytes& before) {
        EXPECT_EQ(window, session.FindWindowNamed(kCaption)) << "the window should stay open";
        if (::IsWindowEnabled(oldBox)) {
            EXPECT_EQ(Utf8(e.old), Utf8(e2e::Text(oldBox))) << "old entry";
        }
        EXPECT_EQ(Utf8(e.fresh), Utf8(e2e::Text(newBox))) << "new entry";
        EXPECT_EQ(Utf8(e.confirm), Utf8(e2e::Text(confirmBox))) << "confirmation";
        EXPECT_EQ(before, FileBytes()) << "the file must not be touched";
    }

    void ExpectSaved(std::string_view ansiPassword) {
        ASSERT_TRUE(e2e::WaitUntilGone(window)) << "the window should close after a save";
        EXPECT_EQ(StoredForm(ansiPassword), FileBytes())
            << "saved \"" << ansiPassword << "\" (ANSI)";
        EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }))
            << "the main window should be usable again";
    }

    Bytes FileBytes() const { return session.ReadPasswordFile().value_or(Bytes{}); }

    e2e::Session session;
    HWND main = nullptr;
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
// Run with LC_ALL=hi_IN.UTF-8 (see cmake/WineTests.cmake); the program inherits it.
class ChangePasswordUtf8CodePage : public ChangePassword {};

// --- No password stored: no old password is asked for, in any opening.

TEST_F(ChangePasswordFirstRun, OldBoxDisabledInEveryOpeningThenNextRunNeedsTheNewPassword) {
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(kDefaultPassword));
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
    ASSERT_TRUE(session.WaitForExit()) << "the run did not end";

    ASSERT_NO_FATAL_FAILURE(StartAndType(kDefaultPassword));
    auto box = session.WaitForMessageBox();
    ASSERT_TRUE(box) << "the default password should be refused once one is stored";
    EXPECT_EQ(nullptr, session.FindWindowNamed(kMainCaption));
    ASSERT_TRUE(e2e::Dismiss(*box));
    HWND login = session.WaitForWindow(kLoginCaption);
    ASSERT_TRUE(e2e::SetText(e2e::FindControl(login, L"Edit"), L"två"));
    ASSERT_TRUE(e2e::Click(e2e::FindControl(login, L"Button", L"&Ok")));
    EXPECT_NE(nullptr, session.WaitForWindow(kMainCaption)) << "the new password should log in";
}

// --- A stored password: the old entry first, then the confirmation, then the new password.

TEST_F(ChangePasswordChecks, OldPasswordFirstThenConfirmation) {
    session.WritePasswordFile(StoredForm("Hemlig"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"Hemlig"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
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
            ASSERT_NO_FATAL_FAILURE(ExpectBox(kMainCaption, kWrongOld, false));
        } else {
            ASSERT_NO_FATAL_FAILURE(
                ExpectBox(L"Information", kMismatch, true, true, L"box-mismatch.bmp"));
        }
        ExpectKept(e, before);
    }
}

TEST_F(ChangePasswordChecks, RefusesWhatCannotBeReadBackAndSavesWhatCan) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
    for (std::wstring_view entry : {L"", L",", L"ab,cd", L" ab", L"ab ", L"\"ab", L"Жук"}) {
        SCOPED_TRACE("new \"" + Utf8(entry) + "\"");
        const Entries e{L"abc", std::wstring(entry), std::wstring(entry)};
        ASSERT_NO_FATAL_FAILURE(Submit(e));
        ASSERT_NO_FATAL_FAILURE(ExpectBox(L"Information", kRefused, true, false));
        ExpectKept(e, before);
    }
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"Hälsa", L"Hälsa"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("H\xE4lsa"));
}

// --- Saving.

TEST_F(ChangePasswordSave, ReopeningAsksForTheStartUpPassword) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"a b!?", L"a b!?"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("a b!?"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
    const Entries justSaved{L"a b!?", L"x1", L"x1"};
    ASSERT_NO_FATAL_FAILURE(Submit(justSaved));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(kMainCaption, kWrongOld, false));
    ExpectKept(justSaved, before);
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"x1", L"x1"}));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("x1"));
}

TEST_F(ChangePasswordSave, LockedFileIsReportedAndKeptThenSavedOnceFree) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
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
    ExpectKept(e, before);
    ASSERT_TRUE(e2e::Click(ok));
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("nytt"));
}

// --- UTF-8 as the ANSI code page: the file holds UTF-8.

TEST_F(ChangePasswordUtf8CodePage, SwedishLettersSavedAsUtf8LogInNextRun) {
    ASSERT_EQ(65001u, ::GetACP()) << "this case needs UTF-8 as the ANSI code page";
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
    const Entries unpaired{L"abc", L"a\xD800", L"a\xD800"};
    ASSERT_NO_FATAL_FAILURE(Submit(unpaired));
    ASSERT_NO_FATAL_FAILURE(ExpectBox(L"Information", kRefused, true, false));
    ExpectKept(unpaired, before);
    ASSERT_NO_FATAL_FAILURE(Submit({L"abc", L"Grönå", L"Grönå"}));
    // C3 B6 for "ö": the program's own code page is UTF-8 too.
    ASSERT_NO_FATAL_FAILURE(ExpectSaved("Gr\xC3\xB6n\xC3\xA5"));
    ASSERT_TRUE(e2e::CloseBox(main));
    ASSERT_TRUE(session.WaitForExit()) << "the run did not end";
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"Grönå"));
}

// --- The window itself.

TEST_F(ChangePasswordWindow, EnterAndEscInTextBoxesDoNothingAndCloseBoxDoesNotSave) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const Bytes before = FileBytes();
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
    ExpectKept(e, before);

    ASSERT_TRUE(e2e::CloseBox(window));
    EXPECT_TRUE(e2e::WaitUntilGone(window)) << "the close box should close the window";
    EXPECT_EQ(before, FileBytes()) << "closing must not save";
    EXPECT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }));
}

TEST_F(ChangePasswordWindow, LayoutAndTabOrder) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(StartAndLogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(Open());
    const int dpi = CheckedDpi(window);
    const SIZE client{Pixels(4500, dpi), Pixels(1875, dpi)};
    const std::pair<HWND, RECT> placed[] = {
        {oldBox, TwipsRect(1425, 75, 3015, 285, dpi)},
        {newBox, TwipsRect(1425, 525, 3015, 285, dpi)},
        {confirmBox, TwipsRect(1425, 975, 3015, 285, dpi)},
        {ok, TwipsRect(3225, 1350, 1215, 465, dpi)},
    };
    std::string expected = std::to_string(client.cx) + "x" + std::to_string(client.cy);
    for (const auto& entry : placed) {
        expected += "; " + Placed(entry.second);
    }
    if (dpi == 96) {
        EXPECT_EQ("300x125; 95,5 201x19; 95,35 201x19; 95,65 201x19; 215,90 81x31", expected)
            << "the twips at 96 DPI";
    }
    const SIZE got = e2e::ClientSize(window);
    std::string actual = std::to_string(got.cx) + "x" + std::to_string(got.cy);
    for (const auto& entry : placed) {
        actual += "; " + Placed(e2e::RectInParentClient(entry.first));
    }
    EXPECT_EQ(expected, actual) << "client area; old, new and confirmation boxes; &Ok";

    // "&Ok" clears its frame and focus rectangle, 3 px a side at 96 DPI.
    const SIZE okText = e2e::TextExtent(L"&Ok", e2e::DesignFontFace(), 8, dpi);
    const RECT okAt = e2e::RectInParentClient(ok);
    EXPECT_LE(okText.cx + 2 * Pixels(45, dpi), okAt.right - okAt.left) << "&Ok";
    EXPECT_LE(okText.cy + 2 * Pixels(45, dpi), okAt.bottom - okAt.top) << "&Ok";

    // Each label sizes itself to its text and ends before its text box.
    const std::pair<const wchar_t*, int> labels[] = {
        {L"Gammalt lösenord:", 75}, {L"Nytt lösenord:", 525}, {L"Bekräfta lösenord:", 975}};
    for (const auto& [caption, top] : labels) {
        HWND label = e2e::FindControl(window, L"Static", caption);
        ASSERT_NE(nullptr, label) << Utf8(caption);
        const SIZE extent = e2e::TextExtent(caption, e2e::DesignFontFace(), 8, dpi);
        const int left = Pixels(75, dpi);
        const int y = Pixels(top, dpi);
        EXPECT_EQ(Placed({left, y, left + extent.cx, y + extent.cy}),
                  Placed(e2e::RectInParentClient(label)))
            << Utf8(caption);
        EXPECT_LE(left + extent.cx, Pixels(1425, dpi)) << Utf8(caption) << " runs into its box";
    }

    ASSERT_TRUE(session.WaitForFocus(oldBox)) << "the focus should start in the old box";
    for (HWND next : {newBox, confirmBox, ok, oldBox}) {
        ASSERT_TRUE(session.PressKey(VK_TAB));
        ASSERT_TRUE(session.WaitForFocus(next))
            << "expected the focus on " << Utf8(e2e::ClassOf(next)) << " at y "
            << e2e::RectInParentClient(next).top << ", got it on "
            << Utf8(e2e::ClassOf(session.Focus())) << " at y "
            << e2e::RectInParentClient(session.Focus()).top;
    }
}

}  // namespace
