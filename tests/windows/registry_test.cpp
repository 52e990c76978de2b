// The 32-bit value functions and the policy switch, against Wine's real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "registry/account.h"
#include "registry/registry.h"
#include "support.h"

namespace {

using Bytes = std::vector<BYTE>;

// A REG_DWORD's data is the DWORD as it lies in memory, built apart from the
// program's own byte order.
Bytes DwordData(DWORD u) {
    Bytes b(sizeof u);
    std::memcpy(b.data(), &u, sizeof u);
    return b;
}

// Straight to Win32, so the checks never go through the code under test.
struct RawValue {
    LONG rc;
    DWORD type;
    Bytes data;
};
RawValue ReadRaw(const std::wstring& path, const std::wstring& name) {
    RawValue v{ERROR_SUCCESS, REG_NONE, Bytes(64)};
    auto size = static_cast<DWORD>(v.data.size());
    v.rc = ::RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND,
                          &v.type, v.data.data(), &size);
    v.data.resize(v.rc == ERROR_SUCCESS ? size : 0);
    return v;
}
LONG WriteRaw(const std::wstring& path, const wchar_t* name, DWORD type, const Bytes& data) {
    return ::RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), name, type, data.data(),
                             static_cast<DWORD>(data.size()));
}

// Each case owns HKCU\Software\GrindvaktTest\<case>, gone before and after it.
class RegistryValue : public testing::Test {
  protected:
    void SetUp() override {
        const char* name = testing::UnitTest::GetInstance()->current_test_info()->name();
        path_ = L"Software\\GrindvaktTest\\" + std::wstring(name, name + std::strlen(name));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    void TearDown() override {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\GrindvaktTest");  // only once it is empty
    }

    std::wstring path_;
};

}  // namespace

TEST_F(RegistryValue, ReadsTheStoredDwordAndZeroForAnythingElse) {
    const struct {
        const char* what;
        const wchar_t* name;  // nullptr: the key is not created at all
        DWORD type;
        Bytes data;
        std::int32_t expected;
    } cases[] = {
        {"missing key", nullptr, REG_NONE, {}, 0},
        {"missing value", L"Annat", REG_DWORD, DwordData(1), 0},
        {"REG_SZ \"1\"", L"V", REG_SZ, {'1', 0, 0, 0}, 0},
        {"REG_BINARY 01 00 00 00", L"V", REG_BINARY, DwordData(1), 0},
        {"REG_DWORD 2", L"V", REG_DWORD, DwordData(2), 2},
        {"REG_DWORD 0xFFFFFFFF", L"V", REG_DWORD, DwordData(0xFFFFFFFFu), -1},
        {"REG_DWORD 0x80000000", L"V", REG_DWORD, DwordData(0x80000000u), INT32_MIN},
        {"REG_DWORD 0x7FFFFFFF", L"V", REG_DWORD, DwordData(0x7FFFFFFFu), INT32_MAX},
        {"REG_DWORD of two bytes", L"V", REG_DWORD, {1, 0}, 1},
        {"REG_DWORD of eight bytes", L"V", REG_DWORD, {1, 0, 0, 0, 0, 0, 0, 0}, 0},
    };
    for (const auto& c : cases) {
        ::RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        if (c.name) {
            ASSERT_EQ(WriteRaw(path_, c.name, c.type, c.data), ERROR_SUCCESS) << c.what;
        }
        EXPECT_EQ(gv::Registry::ReadDwordValue(HKEY_CURRENT_USER, path_, L"V"), c.expected)
            << c.what;
    }
}

TEST_F(RegistryValue, WriteThatCannotTakeEffectReportsTheSystemError) {
    // Wine grants the writes that rights or ACLs refuse on Windows (even a subkey
    // under a KEY_READ handle), so the refusals here are a volatile parent, an
    // overlong value name and a bad root.
    const std::wstring volatileKey = path_ + L"\\Flyktig";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, volatileKey.c_str(), 0, nullptr,
                                REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring longName(16384, L'n');
    const Bytes zero = DwordData(0);
    const auto longNameError =
        static_cast<DWORD>(::RegSetValueExW(key, longName.c_str(), 0, REG_DWORD, zero.data(), 4));
    ::RegCloseKey(key);
    ASSERT_NE(longNameError, DWORD{ERROR_SUCCESS}) << "the system took a 16384-character name";

    const struct {
        const char* what;
        HKEY root;
        std::wstring path, name;
        DWORD expected;
    } cases[] = {
        {"a lasting key under a volatile one", HKEY_CURRENT_USER, volatileKey + L"\\Ny", L"V",
         ERROR_CHILD_MUST_BE_VOLATILE},
        {"an overlong value name", HKEY_CURRENT_USER, volatileKey, longName, longNameError},
        {"an invalid root", reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7FFF0000)), L"Ny", L"V",
         ERROR_INVALID_HANDLE},
    };
    for (const auto& c : cases) {
        const gv::WriteResult r = gv::Registry::WriteDwordValue(c.root, c.path, c.name, 1);
        EXPECT_FALSE(r.ok) << c.what << ": reported success";
        EXPECT_EQ(r.error, c.expected) << c.what;
        EXPECT_EQ(ReadRaw(c.path, c.name).rc, ERROR_FILE_NOT_FOUND) << c.what << ": value stored";
    }
}

namespace {

// The real policy value: whatever the prefix held is put back after each case,
// and the keys the case made go again, the policy key before its parent.
class RegistryPolicy : public testing::Test {
  protected:
    void SetUp() override {
        const std::wstring policy = gv::kPolicyKey;
        for (const std::wstring& path : {policy, policy.substr(0, policy.rfind(L'\\'))}) {
            HKEY key = nullptr;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) ==
                ERROR_SUCCESS) {
                ::RegCloseKey(key);
            } else {
                made_.push_back(path);
            }
        }
        saved_ = ReadRaw(gv::kPolicyKey, gv::kPolicyValue);
    }
    void TearDown() override {
        if (saved_.rc == ERROR_SUCCESS) {
            WriteRaw(gv::kPolicyKey, gv::kPolicyValue, saved_.type, saved_.data);
        } else {
            ::RegDeleteKeyValueW(HKEY_CURRENT_USER, gv::kPolicyKey, gv::kPolicyValue);
        }
        for (const std::wstring& path : made_) {
            ::RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str());
        }
    }

    std::vector<std::wstring> made_;
    RawValue saved_{};
};

}  // namespace

TEST(PolicyAccount, TheSignedInAccountsHiveWhenTheProcessRunsAsAnother) {
    const std::wstring admin = L"S-1-5-21-100-200-300-500";
    const std::wstring user = L"S-1-5-21-100-200-300-1001";
    const std::wstring hkcu = gv::kPolicyKey;
    const std::wstring theirs = user + L"\\" + hkcu;
    const gv::AccountName pupil{L"Elev", L"PC"};
    using Ways = std::array<std::wstring, gv::kWays>;  // the shell, the hive, the name lookup
    // Elevated with an administrator's credentials while the pupil is signed in.
    const auto elevated = [&](Ways ways, gv::AccountName session = {L"Elev", L"PC"}) {
        return gv::SessionAccounts{admin, L"Admin", true, std::move(session), std::move(ways)};
    };
    const struct {
        const char* what;
        gv::SessionAccounts accounts;
        HKEY root;  // nullptr: no target, nothing may be written
        std::wstring path, title;
    } cases[] = {
        {"same account",
         {user, L"Elev", false, pupil, {user, user, user}},
         HKEY_CURRENT_USER,
         hkcu,
         L"Elev"},
        {"elevated as another", elevated({user, user, user}), HKEY_USERS, theirs, L"Elev"},
        {"only the shell answers", elevated({user, L"", L""}), HKEY_USERS, theirs, L"Elev"},
        {"no shell", elevated({L"", user, user}), HKEY_USERS, theirs, L"Elev"},
        {"no hive by that name", elevated({user, L"", user}), HKEY_USERS, theirs, L"Elev"},
        {"domain out of reach", elevated({L"", user, L""}), HKEY_USERS, theirs, L"Elev"},
        {"one SID a prefix of the other",
         {user + L"0", L"Elev", true, pupil, {L"", L"", user}},
         HKEY_USERS,
         theirs,
         L"PC\\Elev"},
        {"own account unknown",
         {L"", L"", true, pupil, {L"", L"", user}},
         HKEY_USERS,
         theirs,
         L"Elev"},
        {"the same user name in a domain", elevated({user, L"", L""}, {L"ADMIN", L"SKOLAN"}),
         HKEY_USERS, theirs, L"SKOLAN\\ADMIN"},
        {"no session names", elevated({user, L"", L""}, {}), HKEY_USERS, theirs, user},
        {"the ways disagree", elevated({user, admin, user}), nullptr, L"", L""},
        {"every way fails", elevated({}), nullptr, L"", L""},
        {"every way fails, the session's names are the process's", elevated({}, {L"Admin", L"PC"}),
         nullptr, L"", L""},
        {"every way fails, not elevated",
         {admin, L"Admin", false, {}, {}},
         HKEY_CURRENT_USER,
         hkcu,
         L"Admin"},
    };
    for (const auto& c : cases) {
        const gv::KeyLocation at = gv::PolicyLocationFor(c.accounts);
        EXPECT_EQ(at.root, c.root) << c.what;
        EXPECT_EQ(at.path, c.path) << c.what;
        EXPECT_EQ(at.account, c.title) << c.what;
    }
}

TEST(PolicyAccount, UnderWineEveryWayFindsTheProcessOwnAccount) {
    // A Wine prefix has one user, who runs every process: the real ways must
    // agree with the process token, so the policy stays in HKCU.
    const gv::SessionAccounts real = gv::SessionAccountsFromSystem();
    EXPECT_EQ(real.process.rfind(L"S-1-5-", 0), 0u) << "no SID from the process token";
    EXPECT_EQ(real.desktop[gv::kShell], L"") << "Wine has no shell window";
    EXPECT_EQ(real.desktop[gv::kHive], real.process) << "the hive named by the session";
    EXPECT_EQ(real.desktop[gv::kNamed], real.process) << "the session's names looked up";
    wchar_t user[256] = {};
    DWORD size = 256;
    ASSERT_TRUE(::GetUserNameW(user, &size));
    EXPECT_EQ(real.session.user, user);
    const gv::KeyLocation at = gv::PolicyLocationFor(real);
    EXPECT_EQ(at.root, HKEY_CURRENT_USER);
    EXPECT_EQ(at.account, user);
    {
        // The shell is a window of this process now, so its user is ours.
        const gvtest::ShellStandIn shell;
        ASSERT_NE(::GetShellWindow(), nullptr) << "the stand-in did not become the shell";
        EXPECT_EQ(gv::SessionAccountsFromSystem().desktop[gv::kShell], real.process);
    }

    // A second hive with the session's names leaves neither sure; another domain's does not count.
    const std::wstring fake = L"S-1-5-21-100-200-300-1001\\Volatile Environment";
    for (const std::wstring& domain : {real.session.domain, std::wstring(L"ANNAN")}) {
        for (const auto& [name, text] :
             {std::pair{L"USERNAME", real.session.user}, std::pair{L"USERDOMAIN", domain}}) {
            ::RegSetKeyValueW(HKEY_USERS, fake.c_str(), name, REG_SZ, text.c_str(),
                              static_cast<DWORD>((text.size() + 1) * 2));
        }
        EXPECT_EQ(gv::HiveNamed(real.session), domain == L"ANNAN" ? real.process : L"")
            << "hive of " << domain;
        ::RegDeleteTreeW(HKEY_USERS, L"S-1-5-21-100-200-300-1001");
    }
}

namespace {

// The program elevated under an administrator's account while another account is
// signed in, whose hive (when the case makes it) stands under HKEY_USERS.
constexpr wchar_t kTheirSid[] = L"S-1-5-21-100-200-300-1001";
gv::SessionAccounts ElevatedAsAnother() {
    return {L"S-1-5-21-100-200-300-500", L"Admin", true, {L"Elev", L"PC"}, {L"", kTheirSid}};
}
// ... and no way finds who is signed in.
gv::SessionAccounts ElevatedAndLost() {
    return {L"S-1-5-21-100-200-300-500", L"Admin", true, {L"Elev", L"PC"}, {}};
}

class RegistryPolicyOfAnother : public RegistryPolicy {
  protected:
    void SetUp() override {
        RegistryPolicy::SetUp();
        ::RegDeleteTreeW(HKEY_USERS, kTheirSid);
        ASSERT_EQ(WriteRaw(gv::kPolicyKey, gv::kPolicyValue, REG_DWORD, DwordData(7)),
                  ERROR_SUCCESS);
        gv::LookUpAccounts = &ElevatedAsAnother;
    }
    void TearDown() override {
        gv::LookUpAccounts = &gv::SessionAccountsFromSystem;
        ::RegDeleteTreeW(HKEY_USERS, kTheirSid);
        RegistryPolicy::TearDown();
    }
};

}  // namespace

TEST_F(RegistryPolicyOfAnother, SwitchesTheSignedInAccountsValueNeverTheProcessOwn) {
    const std::wstring theirs = std::wstring(kTheirSid) + L"\\" + gv::kPolicyKey;
    const Bytes seven = DwordData(7);
    // No way finds who is signed in: the process's own value is neither read nor written.
    gv::LookUpAccounts = &ElevatedAndLost;
    EXPECT_EQ(gv::ReadPolicy(gv::FindPolicyTarget()), 0) << "read the process's own 7";
    gv::WriteResult r = gv::WritePolicyToRegistry(gv::FindPolicyTarget(), 1);
    EXPECT_FALSE(r.ok) << "reported a write without knowing whose";
    EXPECT_EQ(r.error, gv::kAccountUnknown);
    EXPECT_EQ(ReadRaw(gv::kPolicyKey, gv::kPolicyValue).data, seven) << "wrote the process's own";

    gv::LookUpAccounts = &ElevatedAsAnother;
    EXPECT_EQ(gv::ReadPolicy(gv::FindPolicyTarget()), 0)
        << "their hive is not loaded: read the process's own 7";
    r = gv::WritePolicyToRegistry(gv::FindPolicyTarget(), 1);
    EXPECT_FALSE(r.ok) << "reported a write to a hive that is not loaded";
    EXPECT_EQ(r.error, DWORD{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(::RegDeleteKeyW(HKEY_USERS, kTheirSid), ERROR_FILE_NOT_FOUND)
        << "made a key where their hive would be";
    EXPECT_EQ(ReadRaw(gv::kPolicyKey, gv::kPolicyValue).data, seven);

    // Stands in for their loaded hive; on Windows only loaded hives stand there.
    HKEY hive = nullptr;
    ASSERT_EQ(::RegCreateKeyW(HKEY_USERS, kTheirSid, &hive), ERROR_SUCCESS);
    ::RegCloseKey(hive);
    for (const std::int32_t value : {1, 0}) {
        r = gv::WritePolicyToRegistry(gv::FindPolicyTarget(), value);
        EXPECT_TRUE(r.ok) << "writing " << value << " failed with error " << r.error;
        DWORD stored = 0xDEAD;
        DWORD size = sizeof stored;
        EXPECT_EQ(::RegGetValueW(HKEY_USERS, theirs.c_str(), gv::kPolicyValue, RRF_RT_REG_DWORD,
                                 nullptr, &stored, &size),
                  ERROR_SUCCESS)
            << "writing " << value << " missed their hive";
        EXPECT_EQ(stored, static_cast<DWORD>(value));
        EXPECT_EQ(gv::ReadPolicy(gv::FindPolicyTarget()), value);
        EXPECT_EQ(ReadRaw(gv::kPolicyKey, gv::kPolicyValue).data, seven)
            << "the process's own value changed";
    }
}
