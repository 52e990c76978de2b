// The installer, as an administrator of many PCs uses it: a silent install of a
// signed package into Program Files, the signed program started from there, a
// package of the same version with other content (the unsigned build) that
// replaces it, an upgrade that keeps the password, a refused downgrade and a
// silent removal that keeps the password file. scripts/check-msi.sh runs this
// case, in a prefix of its own, with the packages named in GV_MSI_SIGNED, GV_MSI
// and GV_MSI_NEWER (and their versions); it is no ctest entry of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;
using gvtest::Env;
using gvtest::Exists;

constexpr wchar_t kUninstall[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr wchar_t kChanged[] = L"Bytt-1";

std::wstring Expanded(const wchar_t* text) {
    wchar_t buffer[MAX_PATH];
    const DWORD n = ::ExpandEnvironmentStringsW(text, buffer, MAX_PATH);
    return n > 0 && n <= MAX_PATH ? std::wstring(buffer, n - 1) : std::wstring();
}

// msiexec's exit code: 0 for success, 1603 and others for a refusal.
DWORD Msiexec(const wchar_t* action, const std::wstring& package) {
    const std::wstring exe = Expanded(L"%SystemRoot%\\system32\\msiexec.exe");
    return gvtest::ExitCode(
        gvtest::Start(exe, L"\"" + exe + L"\" " + action + L" \"" + package + L"\" /qn"), 180000);
}

std::wstring Value(HKEY key, const wchar_t* name) {
    wchar_t data[512] = {};
    DWORD size = sizeof data;
    return ::RegGetValueW(key, nullptr, name, RRF_RT_REG_SZ, nullptr, data, &size) == ERROR_SUCCESS
               ? std::wstring(data)
               : std::wstring();
}

// "version, publisher" of every uninstall entry named Grindvakt.
std::vector<std::string> Entries() {
    std::vector<std::string> found;
    HKEY root = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstall, 0, KEY_READ, &root) != ERROR_SUCCESS) {
        return found;
    }
    const gv::UniqueKey owned(root);
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (::RegEnumKeyExW(root, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        HKEY entry = nullptr;
        if (::RegOpenKeyExW(root, name, 0, KEY_READ, &entry) == ERROR_SUCCESS) {
            const gv::UniqueKey entryOwned(entry);
            if (Value(entry, L"DisplayName") == L"Grindvakt") {
                found.push_back(
                    Utf8(Value(entry, L"DisplayVersion") + L", " + Value(entry, L"Publisher")));
            }
        }
    }
    return found;
}

class Installer : public e2e::Run {
  protected:
    // Logs in to the installed program with `password`, optionally changes it, quits.
    void Use(const std::wstring& password, const wchar_t* change = nullptr) {
        ASSERT_NO_FATAL_FAILURE(LogIn(password));
        if (change) {
            ASSERT_NO_FATAL_FAILURE(ChangePasswordTo(change));
        }
        ASSERT_TRUE(e2e::CloseBox(main));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
    }

    const std::wstring signedPackage = Env(L"GV_MSI_SIGNED");
    const std::wstring older = Env(L"GV_MSI"), newer = Env(L"GV_MSI_NEWER");
    const std::string olderVersion = Utf8(Env(L"GV_MSI_VERSION"));
    const std::string newerVersion = Utf8(Env(L"GV_MSI_NEWER_VERSION"));
    const std::wstring folder = Expanded(L"%ProgramFiles%\\Grindvakt");
    const std::wstring exe = folder + L"\\grindvakt.exe";
    const std::wstring readMe = folder + L"\\L\u00C4SMIG.txt";
    // Wine's msi puts the per-machine Start menu in the user's profile; Windows in all users'.
    const std::vector<std::wstring> menus = {
        Expanded(L"%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\"),
        Expanded(L"%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\")};

    // Whether the Start menu holds a shortcut of this name.
    bool InMenu(const std::wstring& name) const {
        return Exists(menus[0] + name + L".lnk") || Exists(menus[1] + name + L".lnk");
    }
    static constexpr wchar_t kReadMeLink[] = L"Grindvakt \u2013 L\u00E4s mig";
};

TEST_F(Installer, InstallUseReplaceUpgradeRefuseDowngradeRemove) {
    ASSERT_FALSE(signedPackage.empty() || older.empty() || newer.empty() || olderVersion.empty() ||
                 newerVersion.empty())
        << "scripts/check-msi.sh names the packages and their versions";
    ASSERT_FALSE(Exists(folder)) << Utf8(folder) << " is there before the install";
    const std::vector<std::string> one = {olderVersion + ", Grindvaktsgruppen"};
    const e2e::Bytes unsignedExe = gvtest::ReadBytes(Env(L"GV_EXE"));

    ASSERT_EQ(0u, Msiexec(L"/i", signedPackage)) << "silent install of the signed package";
    EXPECT_TRUE(Exists(exe) && Exists(readMe)) << "the program and its read-me in Program Files";
    EXPECT_FALSE(unsignedExe == gvtest::ReadBytes(exe)) << "the signed program is installed";
    EXPECT_TRUE(InMenu(L"Grindvakt")) << "a Start-menu shortcut to the program";
    EXPECT_TRUE(InMenu(kReadMeLink)) << "a Start-menu shortcut to the read-me";
    EXPECT_EQ(one, Entries()) << "one uninstall entry with version and publisher";
    session.UseProgram(exe);
    ASSERT_NO_FATAL_FAILURE(Use(e2e::kDefaultPassword, kChanged));
    const std::optional<e2e::Bytes> saved = session.ReadPasswordFile();
    ASSERT_TRUE(saved) << "grindvakt.dat is made beside the installed program";

    ASSERT_EQ(0u, Msiexec(L"/i", older)) << "the same version with other content, not 1638";
    EXPECT_EQ(one, Entries()) << "it replaces the installed one";
    EXPECT_TRUE(unsignedExe == gvtest::ReadBytes(exe)) << "with its own content";
    EXPECT_EQ(saved, session.ReadPasswordFile()) << "and keeps the password file";

    ASSERT_EQ(0u, Msiexec(L"/i", newer)) << "silent upgrade";
    EXPECT_EQ(std::vector<std::string>{newerVersion + ", Grindvaktsgruppen"}, Entries())
        << "the newer version replaces the older";
    EXPECT_EQ(saved, session.ReadPasswordFile()) << "the upgrade keeps the password file";
    ASSERT_NO_FATAL_FAILURE(Use(kChanged));

    EXPECT_EQ(1603u, Msiexec(L"/i", older)) << "an older version over a newer one is refused";
    EXPECT_EQ(std::vector<std::string>{newerVersion + ", Grindvaktsgruppen"}, Entries());
    EXPECT_TRUE(Exists(exe));

    const std::optional<e2e::Bytes> kept = session.ReadPasswordFile();
    ASSERT_EQ(0u, Msiexec(L"/x", newer)) << "silent removal";
    EXPECT_FALSE(Exists(exe) || Exists(readMe)) << "what the installer put there goes";
    EXPECT_FALSE(InMenu(L"Grindvakt") || InMenu(kReadMeLink)) << "the shortcuts go";
    EXPECT_EQ(std::vector<std::string>{}, Entries()) << "the uninstall entry goes";
    EXPECT_EQ(kept, session.ReadPasswordFile()) << "the password file stays";
    EXPECT_TRUE(Exists(folder + L"\\grindvakt.lock")) << "and so does the lock file";
}

}  // namespace
