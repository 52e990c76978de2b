// Whose policy value the program switches: the account signed in to this desktop,
// also when an administrator's credentials started the program for a standard user.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace gv {

// SIDs as strings, as ConvertSidToStringSidW spells them; empty where a lookup failed.
struct SessionAccounts {
    std::optional<std::wstring> process;  // the account this process runs under
    std::optional<std::wstring> desktop;  // the account signed in to this session's desktop
};

struct KeyLocation {
    HKEY root = nullptr;
    std::wstring path;
};

// The policy key of the desktop's account: HKCU when the process runs as that
// account or when either account is unknown, else that account's hive under HKEY_USERS.
KeyLocation PolicyLocationFor(const SessionAccounts& accounts);

std::optional<std::wstring> ProcessUserSid();
std::optional<std::wstring> DesktopUserSid();
SessionAccounts SessionAccountsFromSystem();

// A variable so tests can stand in a session where the accounts differ, which a
// Wine prefix, with its one user, never shows.
using AccountsLookup = SessionAccounts (*)();
inline AccountsLookup LookUpAccounts = &SessionAccountsFromSystem;

}  // namespace gv
