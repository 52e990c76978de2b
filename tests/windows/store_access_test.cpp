// Whose the password file is: which permissions a save keeps, judged in-process on
// descriptors made from SDDL, since Wine reads every file's DACL back from Unix
// permission bits, without the inherited and protected flags Windows keeps.
#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "core/ansi.h"
#include "core/platform.h"
#include "store/file_access.h"

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
