// Whose the password file is: which permissions a save keeps, judged in-process on
// descriptors made from SDDL, since Wine reads every file's DACL back from Unix
// permission bits, without the inherited and protected flags Windows keeps.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"
#include "store/file_access.h"
#include "store/file_error.h"
#include "support.h"

namespace {

gv::UniqueLocal<void> Descriptor(const wchar_t* sddl) {
    gv::UniqueLocal<void> sd;
    EXPECT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1,
                                                                       sd.put(), nullptr))
        << gv::ToUtf8(sddl) << ": error " << ::GetLastError();
    return sd;
}

// A descriptor's DACL in SDDL.
std::string DaclOf(PSECURITY_DESCRIPTOR sd) {
    wchar_t* text = nullptr;
    if (!sd || !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
                   sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return "(none)";
    }
    const gv::UniqueLocal<wchar_t> owned(text);
    return gv::ToUtf8(text);
}

// This run's user, as an SDDL SID string.
std::wstring UserSid() {
    HANDLE raw = nullptr;
    EXPECT_TRUE(::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw));
    const gv::UniqueHandle token(raw);
    alignas(TOKEN_USER) unsigned char buffer[256];
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size) ||
        !::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text)) {
        ADD_FAILURE() << "cannot read this run's user, error " << ::GetLastError();
        return L"WD";
    }
    const gv::UniqueLocal<wchar_t> owned(text);
    return text;
}

}  // namespace

// A DACL someone chose is kept by a save; one that only came from the folder (as
// older versions' files in Program Files have: Users may read) is replaced, as is
// none at all, by SYSTEM's and administrators' only.
TEST(StoreAccess, ASaveKeepsOnlyAChosenDacl) {
    const std::string adminOnly = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";
    const struct {
        const wchar_t* sddl;
        bool chosen;
    } cases[] = {
        {nullptr, false},  // no file yet
        {L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", false},
        {L"D:AI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1301bf;;;AU)(A;ID;0x1200a9;;;BU)", false},
        {L"D:NO_ACCESS_CONTROL", false},
        {L"D:AI(A;;FR;;;BU)(A;ID;FA;;;SY)", true},
        {L"D:PAI(A;ID;FA;;;SY)(A;ID;FA;;;BA)(A;ID;0x1200a9;;;BU)", true},
        {L"D:(A;;FA;;;BA)", true},
        {L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", true},  // the store's own, at the next save
    };
    for (const auto& c : cases) {
        const std::string old = c.sddl ? gv::ToUtf8(c.sddl) : "(no file)";
        gv::UniqueLocal<void> sd = c.sddl ? Descriptor(c.sddl) : gv::UniqueLocal<void>();
        const gv::UniqueLocal<void> birth = gv::BirthDescriptor(std::move(sd));
        EXPECT_EQ(DaclOf(birth.get()), c.chosen ? old : adminOnly) << "old: " << old;
    }
}

// Access denied to a file that is there: held by another program, or refused by
// the file's own permissions, as a run that is not elevated is refused. Told apart
// by what the permissions grant this run. (Wine enforces no file permissions, so
// the refused file below still opens; the check reads them as Windows would.)
TEST(StoreAccess, AccessDeniedSaysWhetherThePermissionsRefuseThisRun) {
    const struct {
        const wchar_t* sddl;
        bool grants;
    } cases[] = {
        {L"O:BAG:BAD:(A;;FA;;;WD)", true},
        {L"O:BAG:BAD:(A;;FRFW;;;WD)", true},
        {L"O:SYG:SYD:(A;;FA;;;SY)", false},
        {L"O:BAG:BAD:(A;;FR;;;WD)", false},
        {L"O:BAG:BAD:(D;;FW;;;WD)(A;;FA;;;WD)", false},
        {L"O:BAG:BAD:", false},
    };
    for (const auto& c : cases) {
        const gv::UniqueLocal<void> sd = Descriptor(c.sddl);
        EXPECT_EQ(gv::GrantsReadWrite(sd.get()), c.grants) << gv::ToUtf8(c.sddl);
    }

    // Writable but not readable by this run's user: Wine keeps it as the owner's
    // Unix write bit alone, so the file is not read-only there either.
    const std::wstring writeOnly = L"D:P(A;;FA;;;SY)(A;;FW;;;" + UserSid() + L")";
    gvtest::TempFolder folder;
    const std::wstring path = folder.File(L"grindvakt.dat");
    gvtest::WriteBytes(path, {1});
    for (const bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "write-only" : "the test's own file");
        ASSERT_TRUE(!refused || gvtest::SetDaclText(path, writeOnly.c_str()));
        const auto error = gvtest::Caught([&] { gv::RaiseFileError(ERROR_ACCESS_DENIED, path); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->Number(), gv::err::PermissionDenied);
        EXPECT_EQ(error->Text(), std::string(gv::ErrorText(gv::err::PermissionDenied)) +
                                     (refused ? " (Grindvakt måste startas som administratör)"
                                              : " (filen används av ett annat program)"));
    }
}
