#include "tests/e2e/common.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>

#include "store/password_file.h"

namespace e2e {

int Pixels(int twips, int dpi) {
    return ::MulDiv(twips, dpi, 1440);
}

RECT TwipsRect(int left, int top, int width, int height, int dpi) {
    const int x = Pixels(left, dpi);
    const int y = Pixels(top, dpi);
    return {x, y, x + Pixels(width, dpi), y + Pixels(height, dpi)};
}

int CheckedDpi(HWND window) {
    const int dpi = WindowDpi(window);
    wchar_t expected[8] = {};
    if (::GetEnvironmentVariableW(L"GV_EXPECT_DPI", expected, 8) > 0) {
        EXPECT_EQ(std::wcstol(expected, nullptr, 10), dpi) << "the DPI of the prefix";
    }
    return dpi;
}

std::string Placed(RECT r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
           std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

void Shot(HWND window, const wchar_t* name) {
    if (auto folder = ShotsFolder()) {
        const std::wstring path = *folder + L"\\" + name;
        EXPECT_TRUE(SaveScreenshot(window, path)) << Utf8(path);
    }
}

Bytes StoredForm(std::string_view ansiPassword) {
    std::int32_t word = 0;
    return gv::StoredFormOf(ansiPassword, gv::kScrambleKey, word);
}

void StartAndType(Session& session, std::wstring_view password) {
    session.Start();
    HWND login = session.WaitForWindow(L"Logga in");
    ASSERT_NE(nullptr, login) << "the login window did not open";
    ASSERT_TRUE(SetText(FindControl(login, L"Edit"), password));
    ASSERT_TRUE(Click(FindControl(login, L"Button", L"&Ok")));
}

}  // namespace e2e
