// The whole program by keyboard alone: every key goes to the control that has
// the focus, and the focus is checked before each one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/password_file.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;

constexpr wchar_t kPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

std::string Describe(HWND control) {
    return control ? "\"" + Utf8(e2e::Text(control)) + "\" (" + Utf8(e2e::ClassOf(control)) + ")"
                   : "nothing";
}

bool Checked(HWND button) {
    DWORD_PTR state = 0;
    return ::SendMessageTimeoutW(button, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, e2e::kTimeoutMs,
                                 &state) &&
           state == BST_CHECKED;
}

// The policy value as a REG_DWORD; -1 when there is none.
long long Policy() {
    DWORD value = 0;
    DWORD size = sizeof value;
    return ::RegGetValueW(HKEY_CURRENT_USER, kPolicyKey, L"DisableRegistryTools", RRF_RT_REG_DWORD,
                          nullptr, &value, &size) == ERROR_SUCCESS
               ? static_cast<long long>(value)
               : -1;
}

class Keyboard : public testing::Test {
  protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey); }

    void ExpectFocus(HWND control) {
        ASSERT_TRUE(session.WaitForFocus(control)) << "expected the focus on " << Describe(control)
                                                   << ", got it on " << Describe(session.Focus());
    }

    void Press(WORD vk) { ASSERT_TRUE(session.PressKey(vk)) << "key 0x" << std::hex << vk; }

    // The characters as the keyboard's translation hands them to the focused box.
    void Type(HWND box, std::wstring_view text) {
        ASSERT_NO_FATAL_FAILURE(ExpectFocus(box));
        for (const wchar_t c : text) {
            ASSERT_TRUE(::PostMessageW(box, WM_CHAR, c, 1));
        }
        ASSERT_TRUE(e2e::WaitUntil([&] { return e2e::Text(box) == text; }))
            << "typed \"" << Utf8(text) << "\", the box holds \"" << Utf8(e2e::Text(box)) << "\"";
    }

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
        ASSERT_TRUE(e2e::WaitUntil([&] {
            return ::GetForegroundWindow() == main && ::IsWindowEnabled(main);
        })) << "the main window should be active again";
        // Without a window manager Wine takes X focus events late under load, and
        // one that comes just after Alt+M closes the menu again: press it anew.
        bool open = false;
        for (int attempt = 0; attempt < 3 && !open; ++attempt) {
            ASSERT_TRUE(session.PressAltKey(L'm'));
            open = e2e::WaitUntil(
                [&] {
                    const std::vector<HWND> windows = session.Windows();
                    return std::any_of(windows.begin(), windows.end(),
                                       [](HWND w) { return e2e::ClassOf(w) == L"#32768"; });
                },
                3000);
        }
        ASSERT_TRUE(open) << "Alt+M did not open the menu";
        ASSERT_TRUE(::PostMessageW(session.Focus(), WM_CHAR, accessKey, 1));
    }

    void LogIn(std::wstring_view password) {
        session.Start();
        HWND login = session.WaitForWindow(L"Logga in");
        ASSERT_NE(nullptr, login) << "the login window did not open";
        ASSERT_NO_FATAL_FAILURE(Type(e2e::FindControl(login, L"Edit"), password));
        ASSERT_NO_FATAL_FAILURE(Press(VK_RETURN));
        main = session.WaitForWindow(L"Grindvakt");
        ASSERT_NE(nullptr, main) << "logging in with \"" << Utf8(password) << "\" failed";
        ja = e2e::FindControl(main, L"Button", L"Ja");
        nej = e2e::FindControl(main, L"Button", L"Nej");
        // The option group is entered at its checked button.
        ASSERT_NO_FATAL_FAILURE(ExpectFocus(Checked(nej) ? nej : ja));
    }

    void ExpectEndedWithZero() {
        const auto code = session.WaitForExit();
        ASSERT_TRUE(code) << "the run did not end";
        EXPECT_EQ(0u, *code) << "exit code";
    }

    e2e::Session session;
    HWND main = nullptr;
    HWND ja = nullptr;
    HWND nej = nullptr;
};

TEST_F(Keyboard, WholeProgramThenNextRunWithTheNewPassword) {
    ASSERT_NO_FATAL_FAILURE(LogIn(L"Vinga"));

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
    ASSERT_NO_FATAL_FAILURE(Type(boxes[1], L"Mås7"));
    ASSERT_NO_FATAL_FAILURE(Press(VK_TAB));
    ASSERT_NO_FATAL_FAILURE(Type(boxes[2], L"Mås7"));
    ASSERT_NO_FATAL_FAILURE(Press(VK_TAB));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(e2e::FindControl(change, L"Button", L"&Ok")));
    ASSERT_NO_FATAL_FAILURE(Press(VK_SPACE));
    ASSERT_TRUE(e2e::WaitUntilGone(change)) << "Space on \"&Ok\" should save and close";
    std::int32_t word = 0;
    EXPECT_EQ(gv::StoredFormOf("M\xE5s7", gv::kScrambleKey, word),
              session.ReadPasswordFile().value_or(e2e::Bytes{}));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(ja));

    ASSERT_NO_FATAL_FAILURE(Press(VK_RIGHT));
    ASSERT_NO_FATAL_FAILURE(ExpectFocus(nej));
    EXPECT_TRUE(e2e::WaitUntil([&] { return Checked(nej) && !Checked(ja); }))
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
    EXPECT_EQ(1, Policy());
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, confirmation));
    ASSERT_NO_FATAL_FAILURE(Press(VK_SPACE));
    ASSERT_NO_FATAL_FAILURE(ExpectEndedWithZero());

    ASSERT_NO_FATAL_FAILURE(LogIn(L"Mås7"));
    EXPECT_TRUE(Checked(nej)) << "the next run should open with \"Nej\"";
    ASSERT_NO_FATAL_FAILURE(PressIgnored(VK_ESCAPE, main));
    ASSERT_NO_FATAL_FAILURE(MenuItem(L'a'));
    ASSERT_NO_FATAL_FAILURE(ExpectEndedWithZero());
    EXPECT_EQ(1, Policy()) << "\"&Avsluta\" writes nothing";
}

}  // namespace
