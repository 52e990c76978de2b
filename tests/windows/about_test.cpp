// The About window's registry lookup and its description text.
#include <windows.h>

#include <sddl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/errors.h"
#include "core/platform.h"
#include "core/process.h"
#include "registry/account.h"
#include "support.h"
#include "ui/frm_om.h"

namespace {

std::string Ansi(const std::wstring& text) {
    char buffer[256] = {};
    BOOL lossy = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                        buffer, sizeof buffer, nullptr, &lossy);
    EXPECT_FALSE(lossy) << "the ANSI code page " << ::GetACP() << " cannot hold the test text";
    return {buffer, static_cast<std::size_t>(n)};
}

std::wstring Expanded(const wchar_t* text) {
    wchar_t buffer[MAX_PATH] = {};
    ::ExpandEnvironmentStringsW(text, buffer, MAX_PATH);
    return buffer;
}

// Each case owns HKCU\Software\GrindvaktTest\About<case>, gone before and after it.
class AboutKeyValue : public testing::Test {
  protected:
    void SetUp() override {
        const char* name = testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = L"Software\\GrindvaktTest\\About" + std::wstring(name, name + std::strlen(name));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key_, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        ::RegCloseKey(key_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GrindvaktTest");  // only once it is empty
    }

    // Through the ANSI call with an explicit size, as another program might write it.
    void Store(DWORD type, const std::string& bytes) {
        ASSERT_EQ(::RegSetValueExA(key_, "V", 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                   static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    std::wstring path_;
    HKEY key_ = nullptr;
};

// Everyone may read a key, and change its permissions or delete it, but not write
// to it, for one scope; its old permissions come back after. Such a key is what
// a standard user meets under HKLM, and Wine enforces it.
class ReadOnlyKey {
  public:
    explicit ReadOnlyKey(HKEY key) : key_(key) {
        DWORD size = 0;
        ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        old_.resize(size);
        PSECURITY_DESCRIPTOR readOnly = nullptr;
        if (size == 0 ||
            ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, old_.data(), &size) !=
                ERROR_SUCCESS ||
            !::ConvertStringSecurityDescriptorToSecurityDescriptorW(
                L"D:P(A;;KRWDSD;;;WD)", SDDL_REVISION_1, &readOnly, nullptr)) {
            return;
        }
        const gv::UniqueLocal<void> owner(readOnly);
        set_ = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, readOnly) == ERROR_SUCCESS;
    }
    ReadOnlyKey(const ReadOnlyKey&) = delete;
    ReadOnlyKey& operator=(const ReadOnlyKey&) = delete;
    ~ReadOnlyKey() {
        if (set_) {
            ::RegSetKeySecurity(key_, DACL_SECURITY_INFORMATION, old_.data());
        }
    }
    bool Set() const { return set_; }

  private:
    HKEY key_;
    std::vector<BYTE> old_;
    bool set_ = false;
};

// Started again by AboutStartProgram with this variable set: a process that only
// stands in for the shell until the test ends it.
constexpr wchar_t kShellChild[] = L"GV_ABOUT_SHELL_CHILD";
class ShellChild : public testing::Environment {
  public:
    void SetUp() override {
        if (gvtest::Env(kShellChild).empty()) {
            return;
        }
        const gvtest::ShellStandIn shell;
        ::Sleep(60000);
        ::ExitProcess(0);
    }
};
[[maybe_unused]] testing::Environment* const g_shellChild =
    testing::AddGlobalTestEnvironment(new ShellChild);

std::vector<DWORD> g_tokenSources;
const gvtest::Process* g_endShell = nullptr;  // ended once its token is taken, where set

void RecordTokenSource(DWORD processId) {
    g_tokenSources.push_back(processId);
    if (g_endShell) {
        ::TerminateProcess(g_endShell->handle.get(), 1);
        ::WaitForSingleObject(g_endShell->handle.get(), 15000);
    }
}

std::wstring MissingProgram() {
    wchar_t temp[MAX_PATH + 1] = {};
    EXPECT_NE(::GetTempPathW(MAX_PATH + 1, temp), 0u);
    return std::wstring(temp) + L"gv-missing.exe";
}

}  // namespace

TEST_F(AboutKeyValue, ReadsStringsAndNumbersAsText) {
    using namespace std::string_literals;
    const std::string path = "C:\\Program Files\\msinfo32.exe", longest(1023, 'a');
    const std::wstring swedish = L"C:\\R\u00e5\u00e4\u00f6\\\u00c5\u00c4\u00d6.exe";
    const struct {
        const char* what;
        DWORD type;
        std::string bytes;
        gv::Bool16 result;
        std::wstring expected;  // "x" is what keyVal held on entry
    } cases[] = {
        {"string with its NUL", REG_SZ, path + '\0', gv::True, {path.begin(), path.end()}},
        {"string without a NUL", REG_SZ, path, gv::True, {path.begin(), path.end()}},
        {"1023 characters and a NUL", REG_SZ, longest + '\0', gv::True, std::wstring(1023, L'a')},
        {"1025 bytes", REG_SZ, longest + "a\0"s, gv::False, L""},
        {"Swedish letters in ANSI", REG_SZ, Ansi(swedish) + '\0', gv::True, swedish},
        {"REG_EXPAND_SZ", REG_EXPAND_SZ, "%SystemRoot%\\x\0"s, gv::True,
         Expanded(L"%SystemRoot%\\x")},
        {"REG_DWORD 0", REG_DWORD, "\0\0\0\0"s, gv::True, L"0"},
        {"REG_DWORD 0x01020304", REG_DWORD, "\4\3\2\1"s, gv::True, L"16909060"},
        {"REG_MULTI_SZ", REG_MULTI_SZ, "a\0b\0\0"s, gv::True, L"x"},
        {"REG_BINARY", REG_BINARY, "ABC", gv::True, L"x"},
    };
    ASSERT_EQ(Expanded(L"%SystemRoot%").find(L'%'), std::wstring::npos) << "SystemRoot is not set";
    for (const auto& c : cases) {
        Store(c.type, c.bytes);
        std::wstring keyVal = L"x";
        EXPECT_EQ(gv::FrmOm::GetKeyValue(HKEY_CURRENT_USER, path_, L"V", keyVal), c.result)
            << c.what;
        EXPECT_EQ(keyVal, c.expected) << c.what;
    }
}

TEST_F(AboutKeyValue, ReadsAKeyThatMayOnlyBeRead) {
    Store(REG_SZ, "C:\\msinfo32.exe");
    const ReadOnlyKey readOnly(key_);
    ASSERT_TRUE(readOnly.Set()) << "could not make the key read-only";
    gv::UniqueKey writable;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_SET_VALUE, writable.put()),
              ERROR_ACCESS_DENIED)
        << "the key still lets a writer in, so this case proves nothing";
    std::wstring keyVal = L"x";
    EXPECT_EQ(gv::FrmOm::GetKeyValue(HKEY_CURRENT_USER, path_, L"V", keyVal), gv::True)
        << "a key the user may only read must still be read";
    EXPECT_EQ(keyVal, L"C:\\msinfo32.exe");
}

TEST_F(AboutKeyValue, ZeroSizeRaisesFiveAndClosesTheKey) {
    Store(REG_SZ, "");
    // A freed handle slot is handed out again, so a key left open shows up as
    // a probe that no longer gets the slot it had before.
    const auto probe = [this] {
        HKEY h = nullptr;
        ::RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &h);
        ::RegCloseKey(h);
        return h;
    };
    const HKEY before = probe();
    std::optional<int> raised;
    std::wstring keyVal = L"x";
    try {
        gv::FrmOm::GetKeyValue(HKEY_CURRENT_USER, path_, L"V", keyVal);
    } catch (const gv::RuntimeError& e) {
        raised = e.Number();
    }
    EXPECT_EQ(probe(), before) << "the key was left open";
    ASSERT_TRUE(raised.has_value()) << "expected run-time error 5 for zero-size data, got none";
    EXPECT_EQ(*raised, gv::err::InvalidCall);
    ::RegCloseKey(std::exchange(key_, nullptr));
    EXPECT_EQ(::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()), ERROR_SUCCESS);
}

// The system's reason, not one fixed number, so the cause is not lost on the way.
TEST(AboutStartProgram, RaisesTheSystemsErrorNumber) {
    const gvtest::ShellStandIn shell;  // without a shell nothing is tried
    const std::wstring missing = MissingProgram();
    const struct {
        std::wstring path;
        DWORD error;
    } cases[] = {
        {missing, ERROR_FILE_NOT_FOUND},
        {L"\"" + missing + L"\" /a", ERROR_FILE_NOT_FOUND},
    };
    for (const auto& c : cases) {
        std::optional<int> raised;
        try {
            gv::StartProgram(c.path, gv::SessionAccountsFromSystem().process);
        } catch (const gv::RuntimeError& e) {
            raised = e.Number();
        }
        EXPECT_EQ(raised, std::optional<int>(static_cast<int>(c.error)))
            << testing::PrintToString(c.path);
    }
}

// The tool's token is taken from the process behind the shell window, here another
// process than this one, and used only while that window is still that process's
// and its user the account asked for. A missing program shows a start that was tried.
TEST(AboutStartProgram, TakesTheTokenOfTheShellsOwnProcessOnly) {
    const std::wstring exe = gvtest::OwnExe();
    ::SetEnvironmentVariableW(kShellChild, L"1");
    const gvtest::Process shell =
        gvtest::Start(exe, L"\"" + exe + L"\" --gtest_filter=AboutDescription.*");
    ::SetEnvironmentVariableW(kShellChild, nullptr);
    ASSERT_TRUE(shell.started);
    DWORD owner = 0;
    for (int i = 0; i < 1500 && owner != shell.id; ++i) {
        ::Sleep(10);
        ::GetWindowThreadProcessId(::GetShellWindow(), &owner);
    }
    ASSERT_EQ(owner, shell.id) << "the other process did not become the shell";
    const std::wstring own = gv::SessionAccountsFromSystem().process;
    const struct {
        const char* what;
        std::wstring account;
        bool endShell;
        bool tried;
    } cases[] = {
        {"the shell's account", own, false, true},
        {"another account", L"S-1-5-18", false, false},
        {"the shell ends once opened", own, true, false},  // last: the shell is gone
    };
    for (const auto& c : cases) {
        g_tokenSources.clear();
        g_endShell = c.endShell ? &shell : nullptr;
        gv::TokenTakenFrom = &RecordTokenSource;
        const auto error = gvtest::Caught([&] { gv::StartProgram(MissingProgram(), c.account); });
        gv::TokenTakenFrom = nullptr;
        EXPECT_EQ(g_tokenSources, std::vector<DWORD>{shell.id}) << c.what << ": whose token";
        ASSERT_TRUE(error) << c.what;
        EXPECT_EQ(error->Number() == ERROR_FILE_NOT_FOUND, c.tried)
            << c.what << ": error " << error->Number();
    }
    ::TerminateProcess(shell.handle.get(), 0);
}

TEST(AboutDescription, HasTheTenLinesOfTheDesign) {
    const std::wstring text = gv::FrmOm::Description();
    std::vector<std::wstring> lines;
    for (std::size_t start = 0, end = 0; end != std::wstring::npos; start = end + 2) {
        end = text.find(L"\r\n", start);
        lines.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(lines.size(), 10u) << "expected ten lines separated by CR LF, none after the last";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].find_first_of(L"\r\n"), std::wstring::npos)
            << "lone CR or LF, line " << i + 1;
    }
    EXPECT_EQ(lines[0],
              L"Med det h\u00e4r programmet kan du hindra att obeh\u00f6riga \u00f6ppnar "
              L"Registereditorn.");
    EXPECT_EQ(lines[2], L"Du kan l\u00f6senordsskydda denna begr\u00e4nsning.");
    EXPECT_EQ(lines[4],
              L"Observera att programmet inte f\u00f6rhindrar samk\u00f6rning av registerposter.");
    EXPECT_EQ(lines[9], L"Du har r\u00e4tt att sprida programmet till andra.");
    for (const std::size_t empty : {1u, 3u, 5u, 8u}) {
        EXPECT_EQ(lines[empty], L"") << "line " << empty + 1 << " must be empty";
    }
    // The credit lines are one block: text on both, a single CR LF between them.
    ASSERT_GT(lines[6].size(), 1u);
    ASSERT_GT(lines[7].size(), 1u);
    EXPECT_EQ(lines[6].back(), L',') << "line 7 must end with a comma";
    EXPECT_EQ(lines[7].back(), L'.') << "line 8 must end with a full stop";
}
