// The password file as a user meets it, driven from outside: a link planted in its
// place before a start and at a password change, a giant sparse file, and four
// starts at the same moment, also while another program holds the name of the lock
// older versions used. (Every name and moment is the store's own test's.)
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "tests/e2e/common.h"
#include "tests/e2e/driver.h"

namespace {

using e2e::Bytes, e2e::GrownForm, e2e::Hex, e2e::StoredForm, e2e::Utf8;

constexpr wchar_t kFile[] = L"grindvakt.dat";
constexpr wchar_t kExe[] = L"grindvakt.exe";
constexpr wchar_t kLock[] = L"grindvakt.lock";

// The box that says the file cannot be used, naming it and the reason.
void ExpectRefusal(const e2e::Session& s, std::string_view reason, const wchar_t* shot = nullptr) {
    auto box = s.WaitForMessageBox();
    ASSERT_TRUE(box) << "expected a box about the password file";
    if (shot) {
        e2e::Shot(box->hwnd, shot);
    }
    EXPECT_NE(std::wstring::npos, box->text.find(s.PasswordFilePath()))
        << "the text should name the file, got: " << Utf8(box->text);
    EXPECT_NE(std::string::npos, Utf8(box->text).find(reason))
        << "the text should say \"" << reason << "\", got: " << Utf8(box->text);
    ASSERT_TRUE(e2e::Dismiss(*box));
}

class StoreFiles : public e2e::Run {};

// A link under the file's name is refused at start with a box that says so, and
// the login follows; the file outside keeps its bytes. (Links under the other
// names, and at a save, are the store's own test's.)
TEST_F(StoreFiles, LinksPlantedBeforeAStart) {
    const Bytes secret = StoredForm("hemlig");
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "link");
        gvtest::TempFolder outside;
        const std::wstring victim = outside.File(L"offer.dat"), link = session.PasswordFilePath();
        gvtest::WriteBytes(victim, secret);
        ::DeleteFileW(link.c_str());
        ASSERT_TRUE(hard ? ::CreateHardLinkW(link.c_str(), victim.c_str(), nullptr) != FALSE
                         : gvtest::UnixLink(victim, link));
        session.Start();
        ASSERT_NO_FATAL_FAILURE(ExpectRefusal(session, hard ? "hård länk" : "länk",
                                              hard ? nullptr : L"box-file-link.bmp"));
        ASSERT_NO_FATAL_FAILURE(AwaitLogin());
        ASSERT_TRUE(e2e::CloseBox(login));
        ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());
        EXPECT_EQ(Hex(secret), Hex(gvtest::ReadBytes(victim))) << "the file outside";
        ASSERT_TRUE(hard ? ::DeleteFileW(link.c_str()) != FALSE : gvtest::RemoveUnixLink(link));
    }
}

// A link put in the file's place while the change-password window is open: the
// save is refused with a box, nothing is written through it, and once it is gone
// the same entries save.
TEST_F(StoreFiles, LinkPlantedBeforeAPasswordChange) {
    session.WritePasswordFile(StoredForm("abc"));
    ASSERT_NO_FATAL_FAILURE(LogIn(L"abc"));
    ASSERT_TRUE(PostMenu(e2e::kMenuChangePassword));
    const HWND window = AwaitWindow(L"Ändra lösenord");
    const std::vector<HWND> edits = e2e::EditsTopDown(window);
    ASSERT_EQ(3u, edits.size());
    ASSERT_TRUE(e2e::SetText(edits[0], L"abc") && e2e::SetText(edits[1], L"nytt") &&
                e2e::SetText(edits[2], L"nytt"));
    gvtest::TempFolder outside;
    const std::wstring victim = outside.File(L"offer.dat");
    const Bytes secret = StoredForm("hemlig");
    gvtest::WriteBytes(victim, secret);
    ASSERT_TRUE(::DeleteFileW(session.PasswordFilePath().c_str()));
    ASSERT_TRUE(gvtest::UnixLink(victim, session.PasswordFilePath()));

    const HWND ok = e2e::FindControl(window, L"Button", L"&Ok");
    ASSERT_TRUE(e2e::Click(ok));
    ASSERT_NO_FATAL_FAILURE(ExpectRefusal(session, "länk"));
    ASSERT_TRUE(gvtest::RemoveUnixLink(session.PasswordFilePath()));
    ASSERT_TRUE(e2e::Click(ok));
    ASSERT_TRUE(e2e::WaitUntilGone(window)) << "the save should go through once the link is gone";
    EXPECT_EQ(Hex(StoredForm("nytt")), Hex(session.ReadPasswordFile().value_or(Bytes{})));
    EXPECT_EQ(Hex(secret), Hex(gvtest::ReadBytes(victim))) << "nothing written through the link";
}

// The password file and the lock file are for SYSTEM's and administrators' eyes
// only from the first start on, and stay so through a password change. (Wine reads
// a DACL back as Unix permission bits: an entry for Everyone is what shows of the
// folder's.)
TEST_F(StoreFiles, OnlyAdministratorsMayReadThePasswordFile) {
    const auto expectAdministratorsOnly = [&](const char* when) {
        for (const std::wstring& path :
             {session.PasswordFilePath(), session.Folder() + L"\\" + kLock}) {
            const std::string dacl = gvtest::DaclText(path);
            EXPECT_EQ("", gvtest::OthersAllowed(dacl))
                << when << ", " << Utf8(path) << ": " << dacl;
            EXPECT_NE(std::string::npos, dacl.find(";;;SY)")) << when << ": " << dacl;
        }
    };
    ASSERT_NO_FATAL_FAILURE(LogIn());
    ASSERT_TRUE(session.ReadPasswordFile()) << "the first start makes the file";
    expectAdministratorsOnly("after the first start");

    ASSERT_NO_FATAL_FAILURE(ChangePasswordTo(L"nytt"));
    EXPECT_EQ(Hex(StoredForm("nytt")), Hex(session.ReadPasswordFile().value_or(Bytes{})));
    expectAdministratorsOnly("after a password change");
}

// 8 GiB of zeros, sparse: refused at once with a box, left as it is, and no large
// file beside it; the run's memory stays small.
TEST_F(StoreFiles, GiantSparseFileIsRefusedAtOnce) {
    constexpr LONGLONG kSize = LONGLONG{8} << 30;
    {
        gv::UniqueFile file(::CreateFileW(session.PasswordFilePath().c_str(), GENERIC_WRITE, 0,
                                          nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        LARGE_INTEGER end{};
        end.QuadPart = kSize;
        ASSERT_TRUE(::SetFilePointerEx(file.get(), end, nullptr, FILE_BEGIN) &&
                    ::SetEndOfFile(file.get()));
    }
    const ULONGLONG started = ::GetTickCount64();
    session.Start();
    ASSERT_NO_FATAL_FAILURE(ExpectRefusal(session, "16 MiB", L"box-file-too-large.bmp"));
    const ULONGLONG seconds = (::GetTickCount64() - started) / 1000;
    EXPECT_LT(seconds, 10u) << "the first window must come within the usual start time";
    ASSERT_NO_FATAL_FAILURE(AwaitLogin());
    DWORD pid = 0;
    ::GetWindowThreadProcessId(login, &pid);
    const gv::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    PROCESS_MEMORY_COUNTERS memory{};
    memory.cb = sizeof memory;
    if (process && ::K32GetProcessMemoryInfo(process.get(), &memory, sizeof memory)) {
        EXPECT_LT(memory.PeakPagefileUsage, SIZE_T{64} << 20) << "peak memory of the run";
    }
    ASSERT_TRUE(e2e::CloseBox(login));
    ASSERT_NO_FATAL_FAILURE(ExpectRunEnded());

    WIN32_FILE_ATTRIBUTE_DATA data{};
    ASSERT_TRUE(
        ::GetFileAttributesExW(session.PasswordFilePath().c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(kSize, (LONGLONG{data.nFileSizeHigh} << 32) | data.nFileSizeLow) << "left as it is";
    EXPECT_EQ(gvtest::Names(session.Folder()), (std::vector<std::wstring>{kFile, kExe, kLock}));
}

// Four starts at the same moment, three times over: each shows the normal login
// window, the file grows by three bytes a start, nothing but the lock file is left
// beside it, and the password still logs in and a new one saves. From the second
// round on another program holds the name of the lock older versions took (a
// mutex, then an event), as a user's own program could: it changes nothing.
TEST_F(StoreFiles, FourStartsAtOnceLoseNothing) {
    session.WritePasswordFile(StoredForm("abc"));
    const std::wstring exe = session.Folder() + L"\\" + kExe;
    const std::wstring oldName = e2e::OldLockName(session.Folder());
    gv::UniqueHandle squatter;
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        squatter.reset();
        squatter.reset(round == 2   ? ::CreateMutexW(nullptr, TRUE, oldName.c_str())
                       : round == 3 ? ::CreateEventW(nullptr, TRUE, FALSE, oldName.c_str())
                                    : nullptr);
        ASSERT_TRUE(round == 1 || squatter) << "error " << ::GetLastError();
        std::vector<gvtest::Process> runs;
        for (int i = 0; i < 4; ++i) {
            runs.push_back(gvtest::Start(exe, L"\"" + exe + L"\"", session.Folder().c_str(),
                                         CREATE_SUSPENDED));
            ASSERT_TRUE(runs.back().started) << "error " << ::GetLastError();
        }
        for (const auto& run : runs) {
            ::ResumeThread(run.thread.get());
        }
        for (const auto& run : runs) {
            HWND shown = nullptr;
            ASSERT_TRUE(e2e::WaitUntil([&] {
                for (HWND hwnd : e2e::TopLevelOf(run.id)) {
                    if (e2e::ClassOf(hwnd) == L"#32770") {
                        return true;
                    }
                    shown = e2e::Text(hwnd) == e2e::kLoginCaption ? hwnd : shown;
                }
                return shown != nullptr;
            }));
            ASSERT_NE(nullptr, shown) << "a box came instead of the login window: "
                                      << Utf8(e2e::Text(e2e::TopLevelOf(run.id).front()));
            ASSERT_TRUE(e2e::CloseBox(shown));
        }
        for (const auto& run : runs) {
            ASSERT_EQ(0u, gvtest::ExitCode(run, e2e::kTimeoutMs));
        }
        EXPECT_EQ(Hex(GrownForm("abc", 4 * round)),
                  Hex(session.ReadPasswordFile().value_or(Bytes{})));
        EXPECT_EQ(gvtest::Names(session.Folder()), (std::vector<std::wstring>{kFile, kExe, kLock}));
    }
    ASSERT_NO_FATAL_FAILURE(LogIn(L"abc"));
    ASSERT_NO_FATAL_FAILURE(ChangePasswordTo(L"nytt", L"abc"));
    EXPECT_EQ(Hex(StoredForm("nytt")), Hex(session.ReadPasswordFile().value_or(Bytes{})));
}

}  // namespace
