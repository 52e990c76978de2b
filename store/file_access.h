// Who may read and change the password file: anyone who can read it has the
// password, so a file the store makes is for SYSTEM and administrators only.
#pragma once

#include <windows.h>

#include <string>

#include "core/platform.h"

namespace gv {

// The security descriptor a file the store writes is born with: the old file's
// (`old`, empty where there is none) where someone chose its permissions, that is
// its DACL is marked protected or holds an entry of its own; else full control for
// SYSTEM and Administrators, nothing inherited from the folder. Entries that only
// came from the folder (what older versions left in Program Files, readable by
// Users) are nobody's choice, and neither is a NULL DACL, which lets in everyone.
// Raises, naming the file at `path`, where the new one cannot be made.
UniqueLocal<void> BirthDescriptor(UniqueLocal<void> old, const std::wstring& path);

// Whether a file's security descriptor (owner, group and DACL) lets this run read
// and write the file. Where the check itself cannot be made, true: nothing is
// known against it.
bool GrantsReadWrite(PSECURITY_DESCRIPTOR descriptor);

}  // namespace gv
