#include "tests/e2e/common.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <utility>

#include "core/platform.h"
#include "store/password_file.h"

namespace e2e {

Run::~Run() {
    if (HasFailure()) {
        std::printf("The program's runs in this case:\n%s", session.Story().c_str());
        std::fflush(stdout);
    }
}

void Run::StartLogin() {
    session.Start();
    ASSERT_NO_FATAL_FAILURE(AwaitLogin());
}

HWND Run::AwaitWindow(std::wstring_view caption) {
    WaitUntil([&] {
        return session.FindWindowNamed(caption) || session.FindMessageBox() || !session.Running();
    });
    if (auto box = session.FindMessageBox()) {
        ADD_FAILURE() << "expected the window \"" << Utf8(caption) << "\", got a box \""
                      << Utf8(box->title) << "\": " << Utf8(box->text);
        return nullptr;
    }
    const HWND window = session.FindWindowNamed(caption);
    EXPECT_NE(nullptr, window) << "no window \"" << Utf8(caption) << "\"; " << session.Story();
    return window;
}

std::wstring MainCaption() {
    wchar_t user[256] = {};
    DWORD size = 256;
    EXPECT_TRUE(::GetUserNameW(user, &size)) << "GetUserNameW";
    return std::wstring(kAppTitle) + L" \u2013 " + user;
}

void Run::AwaitLogin() {
    login = AwaitWindow(kLoginCaption);
    ASSERT_NE(nullptr, login);
    loginText = FindControl(login, L"Edit");
    loginOk = FindControl(login, L"Button", L"&Ok");
    ASSERT_TRUE(loginText && loginOk) << "the login window's text box and \"&Ok\"";
    ASSERT_TRUE(session.WaitForFocus(loginText)) << "the focus should start in the text box";
}

void Run::EnterPassword(std::wstring_view password, bool keys) {
    if (keys) {
        ASSERT_TRUE(SetText(loginText, L""));
        ASSERT_NO_FATAL_FAILURE(TypeKeys(loginText, password));
        ASSERT_TRUE(session.PressKey(VK_RETURN));
    } else {
        ASSERT_TRUE(SetText(loginText, password)) << "typing \"" << Utf8(password) << "\"";
        ASSERT_TRUE(Click(loginOk));
    }
}

void Run::AwaitMain() {
    main = AwaitWindow(MainCaption());
    ASSERT_NE(nullptr, main);
    ja = FindControl(main, L"Button", L"Ja");
    nej = FindControl(main, L"Button", L"Nej");
    andra = FindControl(main, L"Button", L"&Ändra");
    ASSERT_TRUE(ja && nej && andra) << "the main window's \"Ja\", \"Nej\" and \"&Ändra\"";
}

void Run::LogIn(std::wstring_view password, bool keys) {
    ASSERT_NO_FATAL_FAILURE(StartLogin());
    session.EmulateWindowsOptionButtons();
    ASSERT_NO_FATAL_FAILURE(EnterPassword(password, keys));
    ASSERT_NO_FATAL_FAILURE(AwaitMain());
}

void Run::ChangePasswordTo(std::wstring_view password, std::wstring_view old) {
    ASSERT_TRUE(PostMenu(kMenuChangePassword));
    const HWND window = AwaitWindow(L"Ändra lösenord");
    ASSERT_NE(nullptr, window);
    const std::vector<HWND> edits = EditsTopDown(window);
    ASSERT_EQ(3u, edits.size()) << "text boxes";
    ASSERT_TRUE(old.empty() || SetText(edits[0], old));
    ASSERT_TRUE(SetText(edits[1], password) && SetText(edits[2], password));
    ASSERT_TRUE(Click(FindControl(window, L"Button", L"&Ok")));
    ASSERT_TRUE(WaitUntilGone(window)) << "the new password was not saved";
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }));
}

void Run::TypeKeys(HWND box, std::wstring_view text) {
    ASSERT_TRUE(session.WaitForFocus(box))
        << "expected the focus on the box to type in, got it on \"" << Utf8(Text(session.Focus()))
        << "\"";
    for (const wchar_t c : text) {
        ASSERT_TRUE(::PostMessageW(box, WM_CHAR, c, 1));
    }
    ASSERT_TRUE(WaitUntil([&] { return Text(box) == text; }))
        << "typed \"" << Utf8(text) << "\", the box holds \"" << Utf8(Text(box)) << "\"";
}

bool Run::PostMenu(MenuItem item) const {
    return ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(item, 0), 0);
}

HWND Run::OpenMenu() {
    EXPECT_TRUE(WaitUntil([&] {
        return ::GetForegroundWindow() == main && ::IsWindowEnabled(main);
    })) << "the main window should be active again";
    // Without a window manager Wine takes X focus events late under load, and one
    // that comes just after Alt+M closes the menu again: press it anew.
    HWND popup = nullptr;
    for (int attempt = 0; attempt < 3 && !popup; ++attempt) {
        EXPECT_TRUE(session.PressAltKey(L'm'));
        WaitUntil(
            [&] {
                for (HWND w : session.Windows()) {
                    popup = ClassOf(w) == L"#32768" ? w : popup;
                }
                return popup != nullptr;
            },
            3000);
    }
    EXPECT_NE(nullptr, popup) << "Alt+M did not open the menu";
    return popup;
}

void Run::ExpectRunEnded(DWORD timeoutMs) {
    const auto code = session.WaitForExit(timeoutMs);
    ASSERT_TRUE(code) << "the run did not end";
    EXPECT_EQ(0u, *code) << "exit code";
}

void Run::ExpectBox(std::wstring_view title, std::wstring_view text, bool icon,
                    const wchar_t* shot) {
    auto box = session.WaitForMessageBox();
    ASSERT_TRUE(box) << "expected a box \"" << Utf8(text) << "\"; none came";
    EXPECT_EQ(Utf8(title), Utf8(box->title));
    EXPECT_EQ(Utf8(text), Utf8(box->text));
    EXPECT_EQ(icon, box->hasIcon) << "the information icon";
    EXPECT_EQ(std::vector<int>{IDOK}, box->buttons) << "one OK button";
    if (shot) {
        Shot(box->hwnd, shot);
    }
    ASSERT_TRUE(Dismiss(*box)) << "the box did not go away";
}

int CheckedDpi(HWND window) {
    const int dpi = WindowDpi(window);
    wchar_t expected[8] = {};
    if (::GetEnvironmentVariableW(L"GV_EXPECT_DPI", expected, 8) > 0) {
        EXPECT_EQ(std::wcstol(expected, nullptr, 10), dpi) << "the DPI of the prefix";
    }
    return dpi;
}

void ExpectCentred(HWND window) {
    const RECT frame = ScreenRect(window);
    const RECT work = WorkArea();
    // Twice the centres, to stay in whole pixels.
    EXPECT_LE(std::labs((frame.left + frame.right) - (work.left + work.right)), 1)
        << "horizontal centre: window " << frame.left << ".." << frame.right << ", work area "
        << work.left << ".." << work.right;
    EXPECT_LE(std::labs((frame.top + frame.bottom) - (work.top + work.bottom)), 1)
        << "vertical centre: window " << frame.top << ".." << frame.bottom << ", work area "
        << work.top << ".." << work.bottom;
}

void ExpectCaptionFits(HWND button, std::wstring_view face, int dpi) {
    const SIZE text = TextExtent(Text(button), face, 8, dpi);
    const RECT r = RectInParent(button);
    const int margins = 2 * ::MulDiv(45, dpi, 1440);
    EXPECT_TRUE(text.cx + margins <= r.right - r.left && text.cy + margins <= r.bottom - r.top)
        << "\"" << Utf8(Text(button)) << "\" needs " << text.cx << "x" << text.cy << " px in "
        << Utf8(face) << ", has " << r.right - r.left << "x" << r.bottom - r.top;
}

void Shot(HWND window, const wchar_t* name) {
    if (auto folder = ShotsFolder()) {
        const std::wstring path = *folder + L"\\" + name;
        EXPECT_TRUE(SaveScreenshot(window, path)) << Utf8(path);
    }
}

bool Checked(HWND option) {
    DWORD_PTR state = 0;
    return ::SendMessageTimeoutW(option, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kTimeoutMs, &state) &&
           state == BST_CHECKED;
}

std::vector<HWND> EditsTopDown(HWND window) {
    std::vector<HWND> edits = FindControls(window, L"Edit");
    std::ranges::sort(edits, {}, [](HWND h) { return RectInParent(h).top; });
    return edits;
}

Confirmation FindConfirmation(const Session& session) {
    for (HWND window : session.Windows()) {
        HWND button = FindControl(window, L"Button", L"&Avsluta");
        HWND label = FindControl(window, L"Static", kUnlocked);
        label = label ? label : FindControl(window, L"Static", kLocked);
        if (button && label) {
            return {window, label, button};
        }
    }
    return {};
}

SavedValue::SavedValue(HKEY root, std::wstring key, std::wstring name)
    : root_(root), key_(std::move(key)), name_(std::move(name)) {
    gv::UniqueKey h;
    keyExisted_ = ::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, h.put()) == ERROR_SUCCESS;
    DWORD size = 0;
    if (keyExisted_ &&
        ::RegQueryValueExW(h.get(), name_.c_str(), nullptr, &type_, nullptr, &size) == 0) {
        old_.resize(size);
        valueExisted_ = ::RegQueryValueExW(h.get(), name_.c_str(), nullptr, &type_, old_.data(),
                                           &size) == ERROR_SUCCESS;
    }
}

SavedValue::~SavedValue() {
    if (!keyExisted_) {
        RemoveKey();
    } else if (valueExisted_) {
        Set(type_, old_.data(), static_cast<DWORD>(old_.size()));
    } else {
        Remove();
    }
}

void SavedValue::Set(DWORD type, const void* data, DWORD size) const {
    const LSTATUS status = ::RegSetKeyValueW(root_, key_.c_str(), name_.c_str(), type, data, size);
    if (status != ERROR_SUCCESS) {
        Fail("RegSetKeyValueW " + Utf8(key_) + "\\" + Utf8(name_), static_cast<DWORD>(status));
    }
}

void SavedValue::SetText(const std::wstring& text) const {
    Set(REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void SavedValue::Remove() const {
    ::RegDeleteKeyValueW(root_, key_.c_str(), name_.c_str());
}

void SavedValue::RemoveKey() const {
    ::RegDeleteTreeW(root_, key_.c_str());
}

std::string SavedValue::Stored() const {
    gv::UniqueKey key;
    if (::RegOpenKeyExW(root_, key_.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return "no key";
    }
    DWORD type = 0;
    Bytes data(64);
    auto size = static_cast<DWORD>(data.size());
    const LONG rc =
        ::RegQueryValueExW(key.get(), name_.c_str(), nullptr, &type, data.data(), &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        return "missing";
    }
    if (rc != ERROR_SUCCESS) {
        return "unreadable (error " + std::to_string(rc) + ")";
    }
    data.resize(size);
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof value);
        return "REG_DWORD " + std::to_string(value);
    }
    if (type == REG_SZ) {
        const std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), size / 2);
        return "REG_SZ " + Utf8(text.c_str());
    }
    return "type " + std::to_string(type) + ": " + Hex(data);
}

std::wstring OldLockName(const std::wstring& folder) {
    const gv::UniqueFile dir(::CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    wchar_t final[1024] = {};
    const DWORD n = dir ? ::GetFinalPathNameByHandleW(dir.get(), final, 1024, 0) : 0;
    EXPECT_TRUE(n > 0 && n < 1024) << "no final path of the folder";
    std::wstring key = std::wstring(final, n) + L"\\grindvakt.dat";
    ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const wchar_t c : key) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ULL;
    }
    std::wstring name = L"Local\\grindvakt-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        name += L"0123456789abcdef"[(hash >> shift) & 15];
    }
    return name;
}

Bytes GrownForm(std::string_view ansiPassword, int starts) {
    Bytes plain(ansiPassword.begin(), ansiPassword.end());
    plain.push_back('\r');
    plain.push_back('\n');
    // The bytes the last pass reached past the end were zeros.
    plain.resize(plain.size() + 3 * static_cast<std::size_t>(starts), 0);
    std::int32_t word = 0;
    gv::ScramblePass(plain, gv::kScrambleKey, word);
    return plain;
}

}  // namespace e2e
