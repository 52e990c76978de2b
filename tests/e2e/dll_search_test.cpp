// DLLs planted beside the program under the names of system DLLs that are not
// Known DLLs. Windows looks for such a name in the program's folder first, and the
// program runs elevated. Wine prefers its own builtin DLLs, which hides the hole:
// the case sets these names native-first, which is Windows' order for them, in
// Wine's settings for the program (WINEDLLOVERRIDES does not reach a program that
// a Windows process starts).
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Utf8;

// Every name the process may load that is no Known DLL. Not "version": Wine's
// user32 imports it, while Windows' user32, a Known DLL, takes it from system32.
// Not "msimg32": Wine's uxtheme delay-loads it, and Wine's delay loads ignore the
// default DLL directories, which Windows' loads by name follow.
const std::vector<std::wstring> kPlanted = {L"wtsapi32", L"comctl32", L"uxtheme", L"dwmapi"};

constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\";
constexpr const wchar_t* kPrograms[] = {L"grindvakt.exe", L"probe.exe"};

class PlantedDlls : public e2e::Run {
  protected:
    void SetUp() override {
        for (const std::wstring& name : kPlanted) {
            Plant(session.Folder() + L"\\" + name + L".dll");
        }
        for (const wchar_t* program : kPrograms) {
            const std::wstring key = kAppDefaults + std::wstring(program) + L"\\DllOverrides";
            for (const std::wstring& name : kPlanted) {
                overrides.emplace_back(HKEY_CURRENT_USER, key, name).SetText(L"native,builtin");
            }
        }
    }

    void TearDown() override {
        overrides.clear();
        for (const wchar_t* program : kPrograms) {
            // Only where it is empty: a key of the prefix's own stays.
            ::RegDeleteKeyW(HKEY_CURRENT_USER, (kAppDefaults + std::wstring(program)).c_str());
        }
    }

    static void Plant(const std::wstring& to) {
        const std::wstring from = gvtest::OwnFolder() + L"\\gv_e2e_planted.dll";
        if (!::CopyFileW(from.c_str(), to.c_str(), FALSE)) {
            e2e::Fail("CopyFileW " + Utf8(to));
        }
    }

    // The planted DLLs that wrote their marker, removing the markers.
    std::vector<std::wstring> TakeLoaded() const {
        std::vector<std::wstring> loaded;
        for (const std::wstring& name : kPlanted) {
            const std::wstring marker = session.Folder() + L"\\" + name + L".dll.loaded";
            if (::DeleteFileW(marker.c_str())) {
                loaded.push_back(name);
            }
        }
        return loaded;
    }

    // Every window: login, main, change password, About with System Info, confirmation.
    void Walk() {
        ASSERT_NO_FATAL_FAILURE(LogIn());
        ASSERT_TRUE(PostMenu(e2e::kMenuChangePassword));
        HWND window = AwaitWindow(L"Ändra lösenord");
        ASSERT_TRUE(e2e::CloseBox(window) && e2e::WaitUntilGone(window));

        const std::wstring tool = session.Folder() + L"\\Verktyg\\msinfo32.exe";
        ::CreateDirectoryW((session.Folder() + L"\\Verktyg").c_str(), nullptr);
        ASSERT_TRUE(::CopyFileW((gvtest::OwnFolder() + L"\\gv_e2e_marker.exe").c_str(),
                                tool.c_str(), FALSE));
        sysInfoPath.SetText(tool);
        const gvtest::ShellStandIn shell;  // the tool starts with the shell's token
        ASSERT_TRUE(PostMenu(e2e::kMenuAbout));
        window = AwaitWindow(L"Om Grindvakt");
        ASSERT_TRUE(e2e::Click(e2e::FindControl(window, L"Button", L"&System Info...")));
        EXPECT_TRUE(e2e::WaitUntil([&] {
            return ::GetFileAttributesW((tool + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES;
        })) << "System Info did not start";
        ASSERT_TRUE(e2e::Click(e2e::FindControl(window, L"Button", L"OK")) &&
                    e2e::WaitUntilGone(window));

        ASSERT_TRUE(e2e::WaitUntil([&] { return ::IsWindowEnabled(main) != FALSE; }));
        ASSERT_TRUE(e2e::Click(andra));
        ASSERT_TRUE(
            e2e::WaitUntil([&] { return e2e::FindConfirmation(session).button != nullptr; }));
        ASSERT_TRUE(e2e::Click(e2e::FindConfirmation(session).button));
        ExpectRunEnded();
    }

    std::deque<e2e::SavedValue> overrides;
    e2e::PolicyValue policy;
    e2e::SavedValue sysInfoPath{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Shared Tools\\MSINFO",
                                L"PATH"};
};

TEST_F(PlantedDlls, WalkThroughEveryWindowLoadsNone) {
    // The set-up works: a program that loads these names takes every planted copy.
    const std::wstring probe = session.Folder() + L"\\probe.exe";
    ASSERT_TRUE(
        ::CopyFileW((gvtest::OwnFolder() + L"\\gv_e2e_probe.exe").c_str(), probe.c_str(), FALSE));
    std::wstring commandLine = L"\"" + probe + L"\"";
    for (const std::wstring& name : kPlanted) {
        commandLine += L" " + name + L".dll";
    }
    const DWORD failed = gvtest::ExitCode(
        gvtest::Start(probe, commandLine, session.Folder().c_str()), e2e::kTimeoutMs);
    EXPECT_EQ(0u, failed) << "DLLs the probe could not load";
    EXPECT_EQ(kPlanted, TakeLoaded()) << "the probe should have loaded every planted copy";
    ::DeleteFileW(probe.c_str());

    Walk();
    EXPECT_EQ(gvtest::NamesText(TakeLoaded()), "(nothing)")
        << "planted DLLs loaded into the program";
}

}  // namespace
