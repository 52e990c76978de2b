// The whole program by keyboard alone: every key goes to the control that has
// the focus, and the focus is checked before each one.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;

std::string Describe(HWND control) {
    return control ? "\"" + Utf8(e2e::Text(control)) + "\" (" + Utf8(e2e::ClassOf(control)) + ")"
                   : "nothing";
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

    // Alt+M, then an access key in the open menu.
    void MenuItem(wchar_t accessKey) {
        ASSERT_NE(nullptr, OpenMenu());
        ASSERT_TRUE(::PostMessageW(session.Focus(), WM_CHAR, accessKey, 1));
    }

    e2e::PolicyValue policy;
};

TEST_F(Keyboard, WholeProgramThenNextRunWithTheNewPassword) {
    ASSERT_NO_FATAL_FAILURE(LogIn(e2e::kDefaultPassword, true));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(MenuItem(L'l'));
    auto help = session.WaitForMessageBox();
    ASSERT_TRUE(help) << "L in the menu should show the help text";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(::GetDlgItem(help->hwnd, IDOK)));
    ASSERT_NO_FATAL_FAILURE(Press(VK_RETURN));
    ASSERT_TRUE(e2e::WaitUntilGone(help->hwnd)) << "Enter should dismiss the help text";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(MenuItem(L'o'));
    HWND about = session.WaitForWindow(L"Om Grindvakt");
    ASSERT_NE(nullptr, about) << "O in the menu should open the About window";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(about, L"Button", L"OK")));
    ASSERT_NO_FATAL_FAILURE(Press(VK_ESCAPE));
    ASSERT_TRUE(e2e::WaitUntilGone(about)) << "Esc should close the About window";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(MenuItem(L'ä'));
    HWND change = session.WaitForWindow(L"Ändra lösenord");
    ASSERT_NE(nullptr, change) << "Ä in the menu should open the change-password window";
    std::vector<HWND> boxes = e2e::FindControls(change, L"Edit");
    ASSERT_EQ(3u, boxes.size());
    std::sort(boxes.begin(), boxes.end(), [](HWND a, HWND b) {
        return e2e::RectInParentClient(a).top < e2e::RectInParentClient(b).top;
    });
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
    ASSERT_NO_FATAL_FAILURE(Press(VK_TAB));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(main, L"Button", L"&Ändra")));
    ASSERT_NO_FATAL_FAILURE(Press(VK_RETURN));
    // The confirmation ends the run by itself 3 s after it shows: no dawdling.
    HWND confirmation = nullptr;
    ASSERT_TRUE(e2e::WaitUntil([&] {
        for (HWND w : session.Windows()) {
            if (e2e::FindControl(w, L"Button", L"&Avsluta")) {
                confirmation = w;
            }
        }
        return confirmation != nullptr;
    })) << "Enter on \"&Ändra\" should show the confirmation";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(confirmation, L"Button", L"&Avsluta")));
    EXPECT_EQ("REG_DWORD 1", policy.Stored());
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, confirmation));
    ASSERT_NO_FATAL_FAILURE(Press(VK_SPACE));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());

    ASSERT_NO_FATAL_FAILURE(LogIn(L"Mås7", true));
    EXPECT_TRUE(e2e::Checked(nej)) << "the next run should open with \"Nej\"";
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(nej)) << "an option group is entered at its checked option";
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, main));
    ASSERT_NO_FATAL_FAILURE(MenuItem(L'a'));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    EXPECT_EQ("REG_DWORD 1", policy.Stored()) << "\"&Avsluta\" writes nothing";
}

}  // namespace
