// The whole program by keyboard alone: every key goes to the control that has
// the focus, and the focus is checked before each one.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;

constexpr wchar_t kHelpText[] =
    L"Ändra åtkomst genom att markera Ja eller Nej och sedan klicka på Ändra.\r\n"
    L"Om du vill ta bort programmet, måste du först ändra till Ja, annars kommer du\r\n"
    L"inte åt Registereditorn efter avinstallationen.";

std::string Describe(HWND control) {
    return control ? "\"" + Utf8(e2e::Text(control)) + "\" (" + Utf8(e2e::ClassOf(control)) + ")"
                   : "nothing";
}

RECT UnionOf(RECT a, RECT b) {
    ::UnionRect(&a, &a, &b);
    return a;
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
    e2e::Shot(frame, name);
    ::DestroyWindow(frame);
}

class Keyboard : public e2e::Run {
  protected:
    void SetUp() override { policy.RemoveKey(); }

    void ExpectFocus(HWND control) {
        ASSERT_TRUE(session.WaitForFocus(control)) << "expected the focus on " << Describe(control)
                                                   << ", got it on " << Describe(session.Focus());
    }

    void Press(WORD vk) { ASSERT_TRUE(session.PressKey(vk)) << "key 0x" << std::hex << vk; }

    // A key that must do nothing: the window stays, no box comes, the focus stays.
    void PressIgnored(WORD vk, HWND window) {
        HWND focus = session.Focus();
        ASSERT_NO_FATAL_FAILURE(Press(vk));
        ::Sleep(500);
        ASSERT_TRUE(session.Running() && ::IsWindowVisible(window)) << "the window closed";
        EXPECT_FALSE(session.FindMessageBox()) << "a box came";
        EXPECT_EQ(focus, session.Focus()) << "the focus moved to " << Describe(session.Focus());
    }

    // Alt+M, then an access key in the open menu, until `came` sees the result.
    // Under load a late focus event can close the menu before the key reaches it:
    // then nothing happened, and the menu is opened again. `shot` names a picture
    // of the main window with its menu open.
    void MenuItem(wchar_t accessKey, const std::function<bool()>& came,
                  const wchar_t* shot = nullptr) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            const HWND popup = OpenMenu();
            ASSERT_NE(nullptr, popup);
            if (shot && attempt == 0) {
                ShotOfScreen(UnionOf(e2e::ScreenRect(main), e2e::ScreenRect(popup)), shot);
            }
            ASSERT_TRUE(::PostMessageW(session.Focus(), WM_CHAR, accessKey, 1));
            if (e2e::WaitUntil(came, 3000)) {
                return;
            }
        }
        FAIL() << "the menu item's access key did nothing";
    }

    e2e::PolicyValue policy;
};

TEST_F(Keyboard, WholeProgramThenNextRunWithTheNewPassword) {
    ASSERT_NO_FATAL_FAILURE(LogIn(e2e::kDefaultPassword, true));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(MenuItem(
        L'l', [&] { return session.FindMessageBox().has_value(); }, L"main-menu.bmp"));
    auto help = session.WaitForMessageBox();
    ASSERT_TRUE(help) << "L in the menu should show the help text";
    EXPECT_EQ("Information", Utf8(help->title));
    EXPECT_EQ(Utf8(kHelpText), Utf8(help->text));
    EXPECT_TRUE(help->hasIcon && help->buttons == std::vector<int>{IDOK}) << "an icon and OK";
    e2e::Shot(help->hwnd, L"box-help.bmp");
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(::GetDlgItem(help->hwnd, IDOK)));
    ASSERT_NO_FATAL_FAILURE(Press(VK_RETURN));
    ASSERT_TRUE(e2e::WaitUntilGone(help->hwnd)) << "Enter should dismiss the help text";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(
        MenuItem(L'o', [&] { return session.FindWindowNamed(L"Om Grindvakt") != nullptr; }));
    HWND about = session.WaitForWindow(L"Om Grindvakt");
    ASSERT_NE(nullptr, about) << "O in the menu should open the About window";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(about, L"Button", L"OK")));
    ASSERT_NO_FATAL_FAILURE(Press(VK_ESCAPE));
    ASSERT_TRUE(e2e::WaitUntilGone(about)) << "Esc should close the About window";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(
        MenuItem(L'ä', [&] { return session.FindWindowNamed(L"Ändra lösenord") != nullptr; }));
    HWND change = session.WaitForWindow(L"Ändra lösenord");
    ASSERT_NE(nullptr, change) << "Ä in the menu should open the change-password window";
    const std::vector<HWND> boxes = e2e::EditsTopDown(change);
    ASSERT_EQ(3u, boxes.size());
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(boxes[1]));  // none stored: no old password asked
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, change));
    ASSERT_NO_FATAL_FAILURE(TypeKeys(boxes[1], L"Mås7"));
    ASSERT_NO_FATAL_FAILURE(Press(VK_TAB));
    ASSERT_NO_FATAL_FAILURE(TypeKeys(boxes[2], L"Mås7"));
    ASSERT_NO_FATAL_FAILURE(Press(VK_TAB));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(change, L"Button", L"&Ok")));
    ASSERT_NO_FATAL_FAILURE(Press(VK_SPACE));
    ASSERT_TRUE(e2e::WaitUntilGone(change)) << "Space on \"&Ok\" should save and close";
    EXPECT_EQ(e2e::StoredForm("M\xE5s7"), session.ReadPasswordFile().value_or(e2e::Bytes{}));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(Press(VK_RIGHT));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(nej));
    EXPECT_TRUE(e2e::WaitUntil([&] { return e2e::Checked(nej) && !e2e::Checked(ja); }))
        << "the arrow should select \"Nej\"";
    ASSERT_TRUE(session.PressAltKey(L'ä'));
    // The confirmation ends the run by itself 3 s after it shows: no dawdling.
    e2e::Confirmation confirmation;
    ASSERT_TRUE(e2e::WaitUntil([&] {
        return (confirmation = e2e::FindConfirmation(session)).window != nullptr;
    })) << "Alt+Ä should click \"&Ändra\" and show the confirmation";
    EXPECT_EQ(Utf8(e2e::kLocked), Utf8(e2e::Text(confirmation.label)));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(confirmation.button));
    EXPECT_EQ("REG_DWORD 1", policy.Stored());
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, confirmation.window));
    ASSERT_NO_FATAL_FAILURE(Press(VK_SPACE));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());

    ASSERT_NO_FATAL_FAILURE(LogIn(L"Mås7", true));
    EXPECT_TRUE(e2e::Checked(nej)) << "the next run should open with \"Nej\"";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(nej)) << "an option group is entered at its checked option";
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, main));
    ASSERT_NO_FATAL_FAILURE(MenuItem(L'a', [&] { return !session.Running(); }));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ("REG_DWORD 1", policy.Stored()) << "\"&Avsluta\" writes nothing";
}

}  // namespace
