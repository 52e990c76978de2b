// What the password store never does to a file that is not its own, and what it
// survives: links under every name it uses or ever used, a second process at the
// same time, and a run killed at any moment. (A file too large is the e2e test's.)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/ansi.h"
#include "core/errors.h"
#include "store/password_store.h"
#include "store/store_folder.h"
#include "support.h"

using gvtest::Caught;
using gvtest::Env;
using gvtest::Exists;
using gvtest::Hex;
using gvtest::ReadBytes;
using gvtest::StoredForm;
using gvtest::WriteBytes;

namespace {

constexpr wchar_t kName[] = L"grindvakt.dat";
const std::vector<std::wstring> kBoth{kName, gv::kLockFileName};

std::optional<std::wstring> Load(const gv::StoreFolder& store) {
    return gv::LoadPassword(store, gv::kScrambleKey);
}

// Started again by KillPoints with these variables set: one load or save in the
// named folder, which the store ends at its file-system call number N. Runs
// before any case, once the whole program is initialised.
constexpr wchar_t kChildFolder[] = L"GV_STORE_CHILD_FOLDER";
constexpr wchar_t kChildSave[] = L"GV_STORE_CHILD_SAVE";
constexpr wchar_t kChildKillAt[] = L"GV_STORE_CHILD_KILL_AT";

class ChildRun : public testing::Environment {
  public:
    void SetUp() override {
        const std::wstring folder = Env(kChildFolder);
        if (folder.empty()) {
            return;
        }
        gv::StoreFaults.at = static_cast<unsigned>(std::stoul(Env(kChildKillAt)));
        try {
            const gv::StoreFolder store(folder);
            if (Env(kChildSave) == L"1") {
                gv::SavePassword(store, L"nytt", gv::kScrambleKey);
            } else {
                (void)Load(store);
            }
        } catch (const gv::RuntimeError&) {
            ::ExitProcess(2);
        }
        ::ExitProcess(0);
    }
};
[[maybe_unused]] testing::Environment* const g_child =
    testing::AddGlobalTestEnvironment(new ChildRun);

DWORD RunChild(const std::wstring& folder, bool save, unsigned killAt) {
    ::SetEnvironmentVariableW(kChildFolder, folder.c_str());
    ::SetEnvironmentVariableW(kChildSave, save ? L"1" : L"0");
    ::SetEnvironmentVariableW(kChildKillAt, std::to_wstring(killAt).c_str());
    const std::wstring exe = gvtest::OwnExe();
    const gvtest::Process child =
        gvtest::Start(exe, L"\"" + exe + L"\" --gtest_filter=KillPoints.*");
    ::SetEnvironmentVariableW(kChildFolder, nullptr);
    return gvtest::ExitCode(child, 30000);
}

enum class Kind { Symbolic, Hard };
enum class When { Load, Save };

}  // namespace

// A link to a file outside the folder, under the file's name or any name beside it
// the program uses or once used, at a load and at a save: the file outside keeps its
// bytes and place, its content shows up nowhere in the folder, a link at the file's
// own name or the lock file's is refused with an error that names it, and once the
// link is gone the stored password logs in.
TEST(StoreLinks, NeverFollowedUnderAnyName) {
    const wchar_t* const names[] = {kName, gv::kLockFileName, L"grindvakt.dat.ny",
                                    L"grindvakt.dat.gammal", L"grindvakt.dat.0123456789abcdef.tmp"};
    const gv::Bytes secret = StoredForm("hemlig");
    for (const wchar_t* name : names) {
        for (const Kind kind : {Kind::Symbolic, Kind::Hard}) {
            for (const When when : {When::Load, When::Save}) {
                const bool own = std::wstring_view(name) == kName ||
                                 std::wstring_view(name) == gv::kLockFileName;
                SCOPED_TRACE(gv::ToUtf8(name) + (kind == Kind::Hard ? ", hard link" : ", link") +
                             (when == When::Save ? ", at a save" : ", at a load"));
                gvtest::TempFolder outside, program;
                const std::wstring victim = outside.File(L"offer.dat");
                const std::wstring link = program.File(name);
                WriteBytes(victim, secret);
                if (!own) {
                    WriteBytes(program.File(kName), StoredForm("abc"));
                }
                ASSERT_TRUE(kind == Kind::Hard
                                ? ::CreateHardLinkW(link.c_str(), victim.c_str(), nullptr) != FALSE
                                : gvtest::UnixLink(victim, link));
                ASSERT_EQ(ReadBytes(link), secret) << "the link was not made";
                {
                    const gv::StoreFolder store(program.Path());
                    const auto error = Caught([&] {
                        if (when == When::Save) {
                            gv::SavePassword(store, L"nytt", gv::kScrambleKey);
                        } else {
                            EXPECT_EQ(Load(store), L"abc");
                        }
                    });
                    if (own) {
                        ASSERT_TRUE(error) << "a link at the file's own name must be refused";
                        EXPECT_EQ(error->Number(), gv::err::PermissionDenied);
                        EXPECT_NE(error->Text().find(gv::ToUtf8(link) + " (filen"),
                                  std::string::npos)
                            << error->Text();
                        EXPECT_NE(error->Text().find("länk"), std::string::npos) << error->Text();
                    } else {
                        EXPECT_FALSE(error) << error->Text();
                    }
                }
                ASSERT_TRUE(Exists(victim)) << "the file outside must stay in its place";
                EXPECT_EQ(ReadBytes(victim), secret) << "got " << Hex(ReadBytes(victim));
                for (const std::wstring& other : gvtest::Names(program.Path())) {
                    if (other != name) {
                        EXPECT_NE(ReadBytes(program.File(other)), secret) << gv::ToUtf8(other);
                    }
                }
                ASSERT_TRUE(kind == Kind::Hard ? ::DeleteFileW(link.c_str()) != FALSE
                                               : gvtest::RemoveUnixLink(link));
                EXPECT_EQ(ReadBytes(victim), secret) << "removing the link left the file outside";
                const gv::StoreFolder store(program.Path());
                const auto expected =
                    own ? std::nullopt
                        : std::optional<std::wstring>(when == When::Save ? L"nytt" : L"abc");
                EXPECT_EQ(Load(store), expected) << "the stored password after the link is gone";
            }
        }
    }
}

// A folder its owner reaches through a link of their own is still the folder: each
// file is held to the folder's final path, not to the path it was reached by.
TEST(StoreLinks, FolderReachedThroughALinkStillWorks) {
    gvtest::TempFolder parent;
    const std::wstring real = parent.File(L"program"), linked = parent.File(L"genvag");
    ASSERT_TRUE(::CreateDirectoryW(real.c_str(), nullptr));
    ASSERT_TRUE(gvtest::UnixLink(real, linked));
    {
        const gv::StoreFolder store(linked);
        ASSERT_NO_THROW(gv::SavePassword(store, L"abc", gv::kScrambleKey));
        EXPECT_EQ(Load(store), L"abc");
    }
    EXPECT_EQ(gvtest::Names(real), kBoth) << "saved in the real folder";
    ASSERT_TRUE(gvtest::RemoveUnixLink(linked));
}

// One run at a time: a lock another run holds is waited for, within a bound that
// ends in a clear refusal naming the lock file. (A killed holder: KillPoints.)
TEST(StoreLock, HeldLockRefusesInTime) {
    gvtest::TempFolder program;
    WriteBytes(program.File(kName), StoredForm("abc"));
    const gv::StoreFolder store(program.Path());
    const gv::StoreFolder sameFolder(program.Path() + L"\\.");
    gv::FileLockWaitMs = 300;
    {
        const gv::UniqueHandle release(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
            held(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        std::thread holder([&] {
            const gv::FileLock lock(sameFolder);
            ::SetEvent(held.get());
            ::WaitForSingleObject(release.get(), INFINITE);
        });
        ::WaitForSingleObject(held.get(), INFINITE);
        const auto error = Caught([&] { (void)Load(store); });
        ::SetEvent(release.get());
        holder.join();
        ASSERT_TRUE(error) << "a held lock must be waited for, then refused";
        EXPECT_EQ(error->Number(), gv::err::PermissionDenied);
        EXPECT_NE(
            error->Text().find(gv::ToUtf8(program.File(gv::kLockFileName)) + " (en annan körning"),
            std::string::npos)
            << error->Text();
        EXPECT_EQ(ReadBytes(program.File(kName)), StoredForm("abc")) << "the file is untouched";
    }
    gv::FileLockWaitMs = 10000;
}

// The folder is held for as long as the store uses it: nobody can rename it away
// and put another in its place.
TEST(StoreLock, HeldFolderCannotBeRenamed) {
    gvtest::TempFolder parent;
    const std::wstring path = parent.File(L"program"), moved = parent.File(L"flyttad");
    ASSERT_TRUE(::CreateDirectoryW(path.c_str(), nullptr));
    {
        const gv::StoreFolder store(path);
        EXPECT_FALSE(::MoveFileExW(path.c_str(), moved.c_str(), 0)) << "renamed while held";
    }
    EXPECT_TRUE(::MoveFileExW(path.c_str(), moved.c_str(), 0)) << "error " << ::GetLastError();
}

// A run killed at each file-system call of a load or a save, in turn, until one
// is not: the next load goes on at once, also where the run was killed holding the
// lock, and finds the old or the new password; nothing on disk was ever the plain
// password, and nothing of the killed run is left.
TEST(KillPoints, EveryKillLeavesTheOldOrTheNewPassword) {
    gv::FileLockWaitMs = 1000;
    for (const bool save : {false, true}) {
        unsigned killPoints = 0;
        for (unsigned at = 1;; ++at) {
            SCOPED_TRACE((save ? "save killed at call " : "load killed at call ") +
                         std::to_string(at));
            gvtest::TempFolder program;
            WriteBytes(program.File(kName), StoredForm("abc"));
            const DWORD code = RunChild(program.Path(), save, at);
            ASSERT_TRUE(code == gv::kKilledExitCode || code == 0) << "exit code " << code;
            for (const std::wstring& name : gvtest::Names(program.Path())) {
                const gv::Bytes bytes = ReadBytes(program.File(name));
                for (const std::string plain : {"abc\r\n", "nytt\r\n"}) {
                    EXPECT_FALSE(std::string(bytes.begin(), bytes.end()).starts_with(plain))
                        << gv::ToUtf8(name) << " holds the plain password";
                }
            }
            const gv::StoreFolder store(program.Path());
            std::optional<std::wstring> loaded;
            const auto error = Caught([&] { loaded = Load(store); });
            ASSERT_FALSE(error) << "the killed run's lock still holds: " << error->Text();
            if (code == 0) {
                EXPECT_EQ(loaded, save ? L"nytt" : L"abc") << "the run that was not killed";
            } else {
                EXPECT_TRUE(loaded == L"abc" || (save && loaded == L"nytt"))
                    << "got " << gv::ToUtf8(loaded.value_or(L"(none)"));
            }
            EXPECT_EQ(gvtest::Names(program.Path()), kBoth);
            if (code == 0 || ::testing::Test::HasFatalFailure() || at > 60) {
                break;
            }
            ++killPoints;
        }
        std::printf("%s: %u kill points tried\n", save ? "save" : "load", killPoints);
        ::testing::Test::RecordProperty(save ? "kill_points_save" : "kill_points_load",
                                        static_cast<int>(killPoints));
        EXPECT_GT(killPoints, 5u) << "the seam should see every file-system call";
    }
    gv::FileLockWaitMs = 10000;
}
