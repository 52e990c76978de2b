// Start-up against odd password files and policy values: the run goes on, and
// the password file is left alone wherever the program had no reason to change it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>

#include "core/errors.h"
#include "store/password_file.h"
#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes;
using e2e::StoredForm;
using e2e::Utf8;

constexpr wchar_t kDefaultPassword[] = L"Vinga";
constexpr wchar_t kPolicyKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

// What a start-up makes of stored bytes, by the program's own passes: the entry
// that logs in (none where it cannot be typed on one line) and the file after.
// Bytes that overflow a pass throw here; their box is tested with the login.
struct Outcome {
    std::optional<std::wstring> entry;
    Bytes after;
};

Outcome Predict(const Bytes& stored) {
    std::int32_t word = 0;
    gv::LoadedPassword loaded;
    try {
        loaded = gv::LoadFromStored(stored, gv::kScrambleKey, word);
    } catch (const gv::RuntimeError& e) {
        if (e.Number() != gv::err::InputPastEnd) {
            throw;
        }
        return {kDefaultPassword, stored};
    }
    Outcome o{std::nullopt, loaded.growOk ? loaded.grown : stored};
    const std::string& p = loaded.password;
    if (!p.empty() && p.find_first_of(std::string("\0\r\n", 3)) == std::string::npos) {
        const int n = static_cast<int>(p.size());
        o.entry = std::wstring(p.size(), L'\0');
        o.entry->resize(static_cast<std::size_t>(
            ::MultiByteToWideChar(CP_ACP, 0, p.data(), n, o.entry->data(), n)));
    }
    return o;
}

class Faults : public testing::Test {
  protected:
    void Start() {
        const auto started = std::chrono::steady_clock::now();
        session.Start();
        e2e::WaitUntil([&] {
            return session.FindWindowNamed(L"Logga in") || session.FindMessageBox() ||
                   !session.Running();
        });
        startMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - started)
                      .count();
        const auto box = session.FindMessageBox();
        ASSERT_FALSE(box) << "unexpected box: " << Utf8(box ? box->text : L"");
        login = session.FindWindowNamed(L"Logga in");
        ASSERT_NE(nullptr, login) << "no login window; exit code 0x" << std::hex
                                  << session.WaitForExit(0).value_or(STILL_ACTIVE);
    }

    // Types the entry and presses OK: the main window, or null once a box came.
    HWND Enter(std::wstring_view entry) {
        EXPECT_TRUE(e2e::SetText(e2e::FindControl(login, L"Edit"), entry));
        EXPECT_TRUE(e2e::Click(e2e::FindControl(login, L"Button", L"&Ok")));
        HWND main = nullptr;
        e2e::WaitUntil([&] {
            main = session.FindWindowNamed(L"Grindvakt");
            return main || session.FindMessageBox() || !session.Running();
        });
        return main;
    }

    // "&Avsluta" in the main window, or "&Avbryt" in the login window.
    void Quit(HWND main) {
        ASSERT_TRUE(main ? ::PostMessageW(main, WM_COMMAND, 214, 0)
                         : e2e::Click(e2e::FindControl(login, L"Button", L"&Avbryt")));
        const auto code = session.WaitForExit();
        ASSERT_TRUE(code) << "the run did not end";
        EXPECT_EQ(0u, *code) << "exit code";
    }

    void LogInAndQuit(std::wstring_view entry) {
        HWND main = Enter(entry);
        const auto box = session.FindMessageBox();
        ASSERT_TRUE(main && !box) << "logging in with \"" << Utf8(entry)
                                  << "\" failed: " << Utf8(box ? box->text : L"no window");
        ASSERT_NO_FATAL_FAILURE(Quit(main));
    }

    void ExpectFile(const Bytes& expected) {
        const Bytes got = session.ReadPasswordFile().value_or(Bytes{});
        EXPECT_TRUE(got == expected) << "the password file differs: expected " << expected.size()
                                     << " bytes, got " << got.size();
    }

    // One run: logs in where the stored password can be typed, else cancels.
    void RunAgainst(const Bytes& stored) {
        const Outcome expected = Predict(stored);
        session.WritePasswordFile(stored);
        ASSERT_NO_FATAL_FAILURE(Start());
        ExpectFile(expected.after);
        if (expected.entry) {
            ASSERT_NO_FATAL_FAILURE(LogInAndQuit(*expected.entry));
            ++loggedIn;
        } else {
            ASSERT_NO_FATAL_FAILURE(Quit(nullptr));
        }
        ExpectFile(expected.after);
    }

    e2e::Session session;
    HWND login = nullptr;
    long long startMs = 0;
    int loggedIn = 0;
};

class FaultsFile : public Faults {};
class FaultsPolicy : public Faults {
  protected:
    void SetUp() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey); }
    void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey); }
};

TEST_F(FaultsFile, ShortFilesAreReadAsTheirText) {
    const struct {
        Bytes stored;
        const wchar_t* entry;
        std::size_t after;
    } cases[] = {{{}, kDefaultPassword, 0}, {{'q'}, L"q", 4}, {{0xE5, 'r', '1'}, L"år1", 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored.size()) + " bytes");
        const Outcome expected = Predict(c.stored);
        ASSERT_EQ(Utf8(c.entry), Utf8(expected.entry.value_or(L"(none)")));
        ASSERT_EQ(c.after, expected.after.size());
        ASSERT_NO_FATAL_FAILURE(RunAgainst(c.stored));
    }
}

TEST_F(FaultsFile, RandomBytesLogInWithWhatIsReadOrCancelAndNeverCrash) {
    std::mt19937 random(20240611);  // fixed, so that a failure comes back
    for (const std::size_t length : {4u, 5u, 9u, 16u, 64u, 300u, 4096u}) {
        SCOPED_TRACE(std::to_string(length) + " random bytes");
        Bytes stored(length);
        for (auto& b : stored) {
            b = static_cast<std::uint8_t>(random() & 0xFF);
        }
        ASSERT_NO_FATAL_FAILURE(RunAgainst(stored));
    }
    EXPECT_GT(loggedIn, 0) << "no case logged in: the seed no longer covers a login";
}

TEST_F(FaultsFile, OneMebibyteFileLogsInAndGrowsByThree) {
    constexpr std::size_t kSize = std::size_t{1} << 20;
    const std::string_view filler = "Stor1\r\nfyllnad\r\n";
    Bytes stored;
    while (stored.size() < kSize - 3) {
        stored.push_back(static_cast<std::uint8_t>(filler[stored.size() % filler.size()]));
    }
    ASSERT_TRUE(gv::TryScramblePass(stored, gv::kScrambleKey));
    ASSERT_EQ(kSize, stored.size());
    ASSERT_EQ(L"Stor1", Predict(stored).entry.value_or(L""));
    ASSERT_EQ(kSize + 3, Predict(stored).after.size());
    ASSERT_NO_FATAL_FAILURE(RunAgainst(stored));
    EXPECT_LT(startMs, 10000) << "ms from the start to the login window";
}

// A replace writes grindvakt.dat.ny, then moves it over the file: a run cut short
// between the two leaves the .ny behind, whole or not.
TEST_F(FaultsFile, LeftoverTemporaryFileIsIgnoredAndRemoved) {
    const std::wstring temp = session.PasswordFilePath() + L".ny";
    const struct {
        Bytes stored, leftover;
        const wchar_t* entry;
        const char* refusal;
    } cases[] = {
        {StoredForm("abc"), {0x00, 0x80, 0xFF, 'x', '\r'}, L"abc", "Fel lösenord"},
        {StoredForm("abc"), StoredForm("nytt"), L"abc", "Fel lösenord"},
        // A first save cut short: this start replaces nothing that would clear the .ny.
        {{}, StoredForm("nytt"), kDefaultPassword, "Inget lösenord"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.stored.size()) + " bytes stored");
        session.WritePasswordFile(c.leftover);
        ASSERT_TRUE(::MoveFileExW(session.PasswordFilePath().c_str(), temp.c_str(),
                                  MOVEFILE_REPLACE_EXISTING));
        session.WritePasswordFile(c.stored);
        ASSERT_NO_FATAL_FAILURE(Start());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesW(temp.c_str()))
            << Utf8(temp) << " should be gone once the login window shows";
        ExpectFile(Predict(c.stored).after);
        EXPECT_EQ(nullptr, Enter(L"nytt")) << "the leftover's password logged in";
        auto box = session.WaitForMessageBox();
        ASSERT_TRUE(box) << "expected \"" << c.refusal << "\"; no box came";
        EXPECT_EQ(c.refusal, Utf8(box->title));
        ASSERT_TRUE(e2e::Dismiss(*box));
        ASSERT_NO_FATAL_FAILURE(LogInAndQuit(c.entry));
        ExpectFile(Predict(c.stored).after);
    }
}

// Only a REG_DWORD that fits four bytes is read; anything else reads as 0.
TEST_F(FaultsPolicy, OtherTypesAndSizesShowTheirOptionAndAreLeftAlone) {
    const struct {
        DWORD type;
        Bytes data;
        const wchar_t* shows;
    } cases[] = {
        {REG_BINARY, {1, 0, 0, 0}, L"Ja"},
        {REG_BINARY, {0xFF}, L"Ja"},
        {REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L"Ja"},
        {REG_QWORD, {0, 0, 0, 0, 1, 0, 0, 0}, L"Ja"},
        {REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, L"Ja"},  // too long for the four-byte read
        {REG_DWORD, {1, 0}, L"Nej"},                   // the two bytes there are read
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + ", " + std::to_string(c.data.size()) +
                     " bytes");
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kPolicyKey);
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetKeyValueW(HKEY_CURRENT_USER, kPolicyKey, L"DisableRegistryTools", c.type,
                                    c.data.data(), static_cast<DWORD>(c.data.size())));
        ASSERT_NO_FATAL_FAILURE(Start());
        HWND main = Enter(kDefaultPassword);
        ASSERT_NE(nullptr, main) << "the main window did not open";
        DWORD_PTR state = 0;
        ::SendMessageTimeoutW(e2e::FindControl(main, L"Button", c.shows), BM_GETCHECK, 0, 0,
                              SMTO_ABORTIFHUNG, e2e::kTimeoutMs, &state);
        EXPECT_EQ(DWORD_PTR{BST_CHECKED}, state)
            << "\"" << Utf8(c.shows) << "\" should be selected";
        ASSERT_NO_FATAL_FAILURE(Quit(main));
        Bytes after(16);
        DWORD type = 0;
        DWORD size = 16;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegGetValueW(HKEY_CURRENT_USER, kPolicyKey, L"DisableRegistryTools", RRF_RT_ANY,
                                 &type, after.data(), &size));
        after.resize(size);
        EXPECT_TRUE(type == c.type && after == c.data)
            << "\"&Avsluta\" changed the value: now type " << type << ", " << size << " bytes";
    }
}

}  // namespace
