// Whose the password file is, judged in-process on descriptors made from SDDL:
// Wine reads every file's DACL back from Unix permission bits, without the
// inherited and protected flags, and enforces none of it.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

#include "core/ansi.h"
#include "core/errors.h"
#include "store/file_access.h"
#include "store/file_error.h"
#include "support.h"

namespace {

gv::UniqueLocal<void> Descriptor(const std::wstring& sddl) {
    gv::UniqueLocal<void> sd;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, sd.put(), nullptr))
        << gv::ToUtf8(sddl);
    return sd;
}

std::string DaclOf(PSECURITY_DESCRIPTOR sd) {
    wchar_t* text = nullptr;
    if (!sd || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                   sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "(none)";
    }
    const gv::UniqueLocal<wchar_t> owned(text);
    return gv::ToUtf8(text);
}

// A NULL DACL, made by hand: Wine's SDDL parser makes an empty DACL of
// "NO_ACCESS_CONTROL", where Windows makes a NULL one.
gv::UniqueLocal<void> NullDacl(bool protect) {
    SECURITY_DESCRIPTOR absolute{};
    EXPECT_TRUE(::InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) &&
                ::SetSecurityDescriptorDacl(&absolute, TRUE, nullptr, FALSE) &&
                ::SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED,
                                               protect ? SE_DACL_PROTECTED : 0));
    DWORD size = 0;
    ::MakeSelfRelativeSD(&absolute, nullptr, &size);
    gv::UniqueLocal<void> sd(::LocalAlloc(LMEM_FIXED, size));
    EXPECT_TRUE(sd && ::MakeSelfRelativeSD(&absolute, sd.get(), &size));
    return sd;
}

}  // namespace

// A DACL someone chose is kept by a save; one that only came from the folder (as
// older versions' files in Program Files have: Users may read), or none, or a NULL
// one (everyone may do anything), protected or not, becomes SYSTEM's and
// administrators' only.
TEST(StoreAccess, ASaveKeepsOnlyAChosenDacl) {
    const struct {
        const wchar_t* sddl;
        bool chosen;
    } cases[] = {
        {nullptr, false},  // no file yet
        {L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", false},
        {L"D:NO_ACCESS_CONTROL", false},
        {L"D:AI(A;;FR;;;BU)(A;ID;FA;;;SY)", true},
        {L"D:PAI(A;ID;FA;;;SY)(A;ID;0x1200a9;;;BU)", true},
        {L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", true},  // the store's own, at the next save
    };
    for (const auto& c : cases) {
        const std::string old = c.sddl ? gv::ToUtf8(c.sddl) : "(no file)";
        const gv::UniqueLocal<void> birth =
            gv::BirthDescriptor(c.sddl ? Descriptor(c.sddl) : gv::UniqueLocal<void>(), L"x");
        EXPECT_EQ(DaclOf(birth.get()), c.chosen ? old : "D:P(A;;FA;;;SY)(A;;FA;;;BA)") << old;
    }
    for (const bool protect : {false, true}) {
        EXPECT_EQ(DaclOf(gv::BirthDescriptor(NullDacl(protect), L"x").get()),
                  "D:P(A;;FA;;;SY)(A;;FA;;;BA)")
            << (protect ? "a protected NULL DACL" : "a NULL DACL");
    }
}

// Access denied to a file that is there: held by another program, or refused by
// its own permissions (as a run that is not elevated is), told apart by what they
// grant this run.
TEST(StoreAccess, AccessDeniedSaysWhetherThePermissionsRefuseThisRun) {
    const struct {
        const wchar_t* sddl;
        bool grants;
    } cases[] = {
        {L"O:BAG:BAD:(A;;FRFW;;;WD)", true},
        {L"O:SYG:SYD:(A;;FA;;;SY)", false},
        {L"O:BAG:BAD:(A;;FR;;;WD)", false},
        {L"O:BAG:BAD:", false},
        {L"O:BAG:BAD:(D;;FW;;;WD)(A;;FA;;;WD)", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gv::GrantsReadWrite(Descriptor(c.sddl).get()), c.grants) << gv::ToUtf8(c.sddl);
    }

    gvtest::TempFolder folder;
    const std::wstring path = folder.File(L"grindvakt.dat");
    gvtest::WriteBytes(path, {1});
    // Writable, not readable, for this run's user: Wine keeps that as the owner's
    // write bit alone, so the file is not read-only there either.
    HANDLE raw = nullptr;
    ASSERT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
    const gv::UniqueHandle token(raw);
    alignas(TOKEN_USER) unsigned char user[256];
    DWORD size = 0;
    wchar_t* sid = nullptr;
    ASSERT_TRUE(::GetTokenInformation(token.get(), TokenUser, user, sizeof user, &size) &&
                ::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid));
    const gv::UniqueLocal<wchar_t> owned(sid);
    const std::wstring writeOnly = L"D:P(A;;FA;;;SY)(A;;FW;;;" + std::wstring(sid) + L")";
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "write-only" : "the test's own file");
        ASSERT_TRUE(!refused || gvtest::SetDaclText(path, writeOnly.c_str()));
        const auto error = gvtest::Caught([&] { gv::RaiseFileError(ERROR_ACCESS_DENIED, path); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Text(), std::string(gv::ErrorText(gv::err::PermissionDenied)) + ": " +
                                     gv::ToUtf8(path) +
                                     (refused ? " (Grindvakt måste startas som administratör)"
                                              : " (filen används av ett annat program)"));
    }
}
