// The password file on a real Win32 file system: sharing locks, the replace in
// one rename, and the load and save sequences in the executable's folder.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"
#include "store/password_file.h"
#include "store/password_store.h"
#include "support.h"

using gvtest::Caught;
using gvtest::DaclText;
using gvtest::Exists;
using gvtest::Hex;
using gvtest::HoldOpen;
using gvtest::ReadBytes;
using gvtest::SetDaclText;
using gvtest::StoredForm;
using gvtest::WriteBytes;

namespace {

// Another program that lets go of the file after a moment, as a virus scanner does.
class BriefLock {
  public:
    explicit BriefLock(const std::wstring& path) : file_(HoldOpen(path, 0)) {
        releaser_ = std::thread([this] {
            ::Sleep(60);
            file_.reset();
        });
    }
    ~BriefLock() { releaser_.join(); }

  private:
    gv::UniqueFile file_;
    std::thread releaser_;
};

gv::Bytes Pattern(std::size_t size) {
    gv::Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<std::uint8_t>((i * 31 + i / 251) & 0xFF);
    }
    return bytes;
}

}  // namespace

// Each case reads and writes through its own folder object on a fresh folder.
class StoreFiles : public testing::Test {
  protected:
    std::wstring Path(std::wstring_view name) const { return folder.File(name); }
    std::optional<gv::Bytes> Read(std::wstring_view name) const { return store.Read(name); }
    void Replace(std::wstring_view name, const gv::Bytes& content) const {
        store.Replace(name, content);
    }
    // Nothing but these names in the folder: no helper file outlives a replace.
    void ExpectOnly(std::initializer_list<std::wstring_view> names) const {
        std::vector<std::wstring> found = gvtest::Names(folder.Path());
        std::vector<std::wstring> expected(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(found, expected) << "left in the folder: " << gvtest::NamesText(found);
    }

    gvtest::TempFolder folder;
    gv::StoreFolder store{folder.Path()};
};

using ReadWholeFile = StoreFiles;
// Not "ReplaceFile": <windows.h> would rename the suite to ReplaceFileW, and a
// filter by the written name would then run nothing and pass.
using FileReplace = StoreFiles;

TEST_F(ReadWholeFile, ReturnsExactBytesAndReleasesTheFile) {
    const gv::Bytes content{0x00, 0xFF, 0x0D, 0x0A, 0x1A, 0x80};
    WriteBytes(Path(L"a.bin"), content);
    EXPECT_EQ(Read(L"a.bin"), content);
    EXPECT_TRUE(HoldOpen(Path(L"a.bin"), 0)) << "no handle may stay open after the read";

    WriteBytes(Path(L"a.bin"), {});
    EXPECT_EQ(Read(L"a.bin"), gv::Bytes{});
}

TEST_F(ReadWholeFile, MissingFileIsNoneAndNothingIsCreated) {
    EXPECT_EQ(Read(L"saknas.dat"), std::nullopt);
    ExpectOnly({});
}

TEST_F(ReadWholeFile, FileLockedByAnotherProgramRaisesAfterRetrying) {
    WriteBytes(Path(L"a.bin"), {1, 2, 3});
    gv::UniqueFile lock = HoldOpen(Path(L"a.bin"), 0);

    const auto error = Caught([&] { (void)Read(L"a.bin"); });
    ASSERT_TRUE(error) << "expected error 70 while the file is locked, got no error";
    EXPECT_EQ(error->Number(), gv::err::PermissionDenied);
    EXPECT_NE(error->Text().find("annat program"), std::string::npos)
        << "the text should say another program holds the file; got: " << error->Text();
}

TEST_F(ReadWholeFile, LockReleasedWithinTheRetriesIsWaitedFor) {
    WriteBytes(Path(L"a.bin"), {4, 5, 6});
    BriefLock lock(Path(L"a.bin"));
    std::optional<gv::Bytes> got;
    EXPECT_NO_THROW(got = Read(L"a.bin"));
    EXPECT_EQ(got, (gv::Bytes{4, 5, 6}));
}

TEST_F(FileReplace, WritesExactlyTheNewContent) {
    Replace(L"a.bin", {9, 8, 7});
    EXPECT_EQ(ReadBytes(Path(L"a.bin")), (gv::Bytes{9, 8, 7})) << "a missing target is created";

    WriteBytes(Path(L"a.bin"), Pattern(100));
    Replace(L"a.bin", {1, 2});
    EXPECT_EQ(ReadBytes(Path(L"a.bin")), (gv::Bytes{1, 2}))
        << "no tail of the longer old file may remain";

    const gv::Bytes large = Pattern((1u << 20) + 3);
    Replace(L"a.bin", large);
    const gv::Bytes got = ReadBytes(Path(L"a.bin"));
    EXPECT_EQ(got.size(), large.size());
    EXPECT_TRUE(got == large) << "1 MiB + 3 bytes did not come back unchanged";

    Replace(L"a.bin", {});
    EXPECT_TRUE(ReadBytes(Path(L"a.bin")).empty());
    ExpectOnly({L"a.bin"});
}

TEST_F(FileReplace, LockedTargetRaisesAndKeepsTheOldBytes) {
    const gv::Bytes old{0xAA, 0xBB, 0xCC, 0xDD};
    WriteBytes(Path(L"a.bin"), old);
    {
        gv::UniqueFile lock = HoldOpen(Path(L"a.bin"), 0);
        const auto error = Caught([&] { Replace(L"a.bin", {1, 2, 3}); });
        ASSERT_TRUE(error) << "expected an error while the target is locked, got none";
        EXPECT_EQ(error->Number(), gv::err::PermissionDenied) << error->Text();
        EXPECT_NE(error->Text().find("annat program"), std::string::npos)
            << "the text should say another program holds the file; got: " << error->Text();
        ExpectOnly({L"a.bin"});
    }
    EXPECT_EQ(ReadBytes(Path(L"a.bin")), old) << "got " << Hex(ReadBytes(Path(L"a.bin")));
}

TEST_F(FileReplace, FolderAtThePathRaisesAndLeavesNoTemporaryFile) {
    ASSERT_TRUE(::CreateDirectoryW(Path(L"mapp").c_str(), nullptr));
    const auto error = Caught([&] { Replace(L"mapp", {1}); });
    ASSERT_TRUE(error) << "expected an error replacing a folder, got none";
    EXPECT_NE(error->Text().find("mapp som heter mapp"), std::string::npos) << error->Text();
    EXPECT_TRUE((::GetFileAttributesW(Path(L"mapp").c_str()) & FILE_ATTRIBUTE_DIRECTORY) != 0)
        << "the folder stays";
    ExpectOnly({L"mapp"});

    const auto missing = Caught([&] { gv::StoreFolder gone(folder.File(L"saknas\\mapp")); });
    ASSERT_TRUE(missing) << "expected error 76 for a missing folder, got none";
    EXPECT_EQ(missing->Number(), gv::err::PathNotFound);
}

TEST_F(FileReplace, LockReleasedWithinTheRetriesIsWaitedFor) {
    WriteBytes(Path(L"a.bin"), {0xAA});
    {
        BriefLock lock(Path(L"a.bin"));
        EXPECT_NO_THROW(Replace(L"a.bin", {1, 2, 3}));
    }
    EXPECT_EQ(ReadBytes(Path(L"a.bin")), (gv::Bytes{1, 2, 3}));
    ExpectOnly({L"a.bin"});
}

// A caretaker's permissions come with the new file from its birth; a file the store
// makes where there was none is born for SYSTEM and administrators only, not with
// the folder's. (Old files with the folder's permissions only: StoreAccess.)
TEST_F(FileReplace, NewFileCarriesTheOldOnesPermissions) {
    WriteBytes(Path(L"a.bin"), {0xAA});
    const std::string folderDefault = DaclText(Path(L"a.bin"));
    // Only the owner's administrators, as a caretaker would protect it.
    ASSERT_TRUE(SetDaclText(Path(L"a.bin"), L"D:P(A;;FA;;;BA)(A;;FR;;;SY)"));
    const std::string protectedDacl = DaclText(Path(L"a.bin"));
    ASSERT_NE(protectedDacl, folderDefault) << "the test needs a DACL the folder would not give";
    ASSERT_NE(gvtest::OthersAllowed(folderDefault), "") << "the folder should let others read";

    Replace(L"a.bin", {1, 2});
    EXPECT_EQ(DaclText(Path(L"a.bin")), protectedDacl);
    Replace(L"b.bin", {3});
    store.CreateEmpty(L"c.bin");
    for (const wchar_t* made : {L"b.bin", L"c.bin"}) {
        const std::string dacl = DaclText(Path(made));
        EXPECT_EQ(gvtest::OthersAllowed(dacl), "") << gv::ToUtf8(made) << ": " << dacl;
        EXPECT_NE(dacl.find(";;;SY)"), std::string::npos) << gv::ToUtf8(made) << ": " << dacl;
    }
}

// Any file-system call of a replace that fails leaves the old file, raises the
// error it met, and leaves no helper file; a failure before the rename is never
// half a replace. Disk full stands in for every failure.
TEST_F(FileReplace, EachFailingCallKeepsTheOldFileAndLeavesNothingBehind) {
    const gv::Bytes old{0xAA, 0xBB, 0xCC};
    const gv::Bytes fresh{1, 2};
    unsigned at = 1;
    for (bool done = false; !done; ++at) {
        SCOPED_TRACE("call " + std::to_string(at) + " fails");
        WriteBytes(Path(L"a.bin"), old);
        gv::StoreFaults = {0, at, ERROR_DISK_FULL};
        const auto error = Caught([&] { Replace(L"a.bin", fresh); });
        done = gv::StoreFaults.calls < at;
        gv::StoreFaults = {};
        const gv::Bytes now = ReadBytes(Path(L"a.bin"));
        if (done) {
            EXPECT_FALSE(error) << "no call failed, yet: " << error->Text();
            EXPECT_EQ(now, fresh);
        } else {
            ASSERT_TRUE(error) << "a failed call must be reported";
            EXPECT_EQ(error->Number(), gv::err::DiskFull) << error->Text();
            EXPECT_EQ(now, old) << "got " << Hex(now);
        }
        ExpectOnly({L"a.bin"});
        ASSERT_LT(at, 50u) << "the replace never finished";
    }
    std::printf("a replace makes %u file-system calls\n", at - 2);
}

// Wine's own replace drops the replaced file's attributes, which Windows keeps:
// the new file must carry them itself.
TEST_F(FileReplace, HiddenSystemFileStaysSoAndReadOnlyIsRefused) {
    constexpr DWORD kHiddenSystem = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    WriteBytes(Path(L"a.bin"), {0xAA});
    ASSERT_TRUE(::SetFileAttributesW(Path(L"a.bin").c_str(), kHiddenSystem));
    ASSERT_NO_THROW(Replace(L"a.bin", {1, 2}));
    EXPECT_EQ(ReadBytes(Path(L"a.bin")), (gv::Bytes{1, 2}));
    EXPECT_EQ(::GetFileAttributesW(Path(L"a.bin").c_str()) & kHiddenSystem, kHiddenSystem);

    WriteBytes(Path(L"b.bin"), {0xAA});
    ASSERT_TRUE(::SetFileAttributesW(Path(L"b.bin").c_str(), FILE_ATTRIBUTE_READONLY));
    const auto error = Caught([&] { Replace(L"b.bin", {1, 2}); });
    ::SetFileAttributesW(Path(L"b.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(error) << "expected error 70 for a read-only file, got none";
    EXPECT_EQ(error->Number(), gv::err::PermissionDenied);
    EXPECT_NE(error->Text().find("skrivskyddad"), std::string::npos) << error->Text();
    EXPECT_EQ(ReadBytes(Path(L"b.bin")), (gv::Bytes{0xAA}));
    ExpectOnly({L"a.bin", L"b.bin"});
}

namespace {

// The real sequences write beside the test exe; each case starts and ends without a file.
class PasswordFile : public testing::Test {
  protected:
    void SetUp() override {
        // Spelled out rather than asked of the code under test.
        path_ = gvtest::OwnFolder() + L"\\grindvakt.dat";
        ASSERT_EQ(gv::PasswordFilePath(), path_);
        Clean();
    }
    void TearDown() override { Clean(); }
    void Clean() {
        ::DeleteFileW(path_.c_str());
        ::DeleteFileW(leftover().c_str());
        for (const auto& name : OtherNames()) {
            ::DeleteFileW(name.c_str());
        }
    }
    // What a run that was ended could leave; and names that are not the pattern.
    std::wstring leftover() const { return path_ + L".0123456789abcdef.tmp"; }
    std::vector<std::wstring> OtherNames() const {
        return {path_ + L".ny", path_ + L".gammal", path_ + L".0123456789abcdeg.tmp",
                path_ + L".0123456789abcdef0.tmp"};
    }

    static std::optional<std::wstring> Load() { return gv::LoadPassword(gv::kScrambleKey); }
    static void Save(const std::wstring& password) { gv::SavePassword(password, gv::kScrambleKey); }

    std::wstring path_;
};

}  // namespace

TEST_F(PasswordFile, MissingOrEmptyFileMeansNoPassword) {
    EXPECT_EQ(Load(), std::nullopt) << "a missing file holds no password";
    ASSERT_TRUE(Exists(path_)) << "the missing file is created empty";
    EXPECT_TRUE(ReadBytes(path_).empty());

    EXPECT_EQ(Load(), std::nullopt) << "an empty file holds no password";
    EXPECT_TRUE(ReadBytes(path_).empty()) << "an empty file stays empty";
}

TEST_F(PasswordFile, SavedSwedishPasswordLoadsBackAndGrows) {
    Save(L"H\u00e4lsa");
    const gv::Bytes saved = ReadBytes(path_);
    const gv::Bytes expected = StoredForm("H\xE4lsa");
    EXPECT_EQ(saved, expected) << "expected " << Hex(expected) << ", got " << Hex(saved);
    EXPECT_EQ(saved.size(), 10u) << "5 letters + CR LF + 3";

    EXPECT_EQ(Load(), L"H\u00e4lsa");
    EXPECT_EQ(ReadBytes(path_).size(), saved.size() + 3);
    EXPECT_TRUE(HoldOpen(path_, 0)) << "no handle may stay open after the load";

    EXPECT_EQ(Load(), L"H\u00e4lsa") << "the grown file reads back the same password";
    EXPECT_EQ(ReadBytes(path_).size(), saved.size() + 6);
}

TEST_F(PasswordFile, OneMebibyteFileLoadsAndGrowsByThree) {
    std::string plain = "Stor1\r\n";
    plain.resize((std::size_t{1} << 20) - 5, 'x');
    WriteBytes(path_, StoredForm(plain));
    ASSERT_EQ(ReadBytes(path_).size(), std::size_t{1} << 20);
    EXPECT_EQ(Load(), L"Stor1");
    EXPECT_EQ(ReadBytes(path_).size(), (std::size_t{1} << 20) + 3);
}

TEST_F(PasswordFile, OverflowingFileRaisesSixAndIsUnchanged) {
    // 00 00 00 80 is INT32_MIN; subtracting the key overflows at the first step.
    const gv::Bytes bad{0x00, 0x00, 0x00, 0x80};
    WriteBytes(path_, bad);
    const auto error = Caught([&] { (void)Load(); });
    ASSERT_TRUE(error) << "expected error 6, got none";
    EXPECT_EQ(error->Number(), gv::err::Overflow);
    EXPECT_EQ(ReadBytes(path_), bad) << "got " << Hex(ReadBytes(path_));
    EXPECT_TRUE(HoldOpen(path_, 0)) << "no handle may stay open after a failed load";
}

TEST_F(PasswordFile, ReadableButUnwritableFileStillLoads) {
    // A reader that shares reading but not deletion blocks only the write-back.
    Save(L"abc");
    const gv::Bytes saved = ReadBytes(path_);
    {
        gv::UniqueFile reader = HoldOpen(path_, FILE_SHARE_READ);
        std::optional<std::wstring> loaded;
        EXPECT_NO_THROW(loaded = Load());
        EXPECT_EQ(loaded, L"abc");
    }
    EXPECT_EQ(ReadBytes(path_), saved) << "the old file stays valid when it cannot grow";
}

// A run ended before its new file took the old one's place leaves that file under
// a name of the run's own pattern: the next load removes it. The names older
// versions used (".ny", ".gammal") are nobody's now: left as they are, never read.
TEST_F(PasswordFile, LeftoversOfEndedRunsGoOtherNamesStay) {
    Save(L"abc");
    const gv::Bytes intruder = StoredForm("inbrott");
    for (const auto& name : OtherNames()) {
        WriteBytes(name, intruder);
    }
    WriteBytes(leftover(), intruder);
    EXPECT_EQ(Load(), L"abc") << "the password comes from the real file only";
    EXPECT_EQ(ReadBytes(path_).size(), 11u);
    EXPECT_FALSE(Exists(leftover())) << "the leftover of an ended run must be removed";
    for (const auto& name : OtherNames()) {
        EXPECT_EQ(ReadBytes(name), intruder) << gv::ToUtf8(name) << " must be left as it is";
    }

    ::DeleteFileW(path_.c_str());
    WriteBytes(leftover(), intruder);
    EXPECT_EQ(Load(), std::nullopt) << "a leftover is never the password";
    EXPECT_FALSE(Exists(leftover()));
}
