// Whose policy value the program switches: the account signed in to this desktop,
// also when an administrator's credentials started the program for a standard user.
#pragma once

#include <windows.h>

#include <array>
#include <optional>
#include <string>

namespace gv {

struct AccountName {
    std::wstring user, domain;  // an empty user: not known
};

// The ways of finding the signed-in account's SID: the user of the desktop
// shell's process, the one loaded hive whose logon names are the session's, and a
// lookup of the session's names (which a domain account may fail offline).
enum Way { kShell, kHive, kNamed, kWays };

// What the system says about this process's account and the one signed in to the
// session. SIDs as strings, as ConvertSidToStringSidW spells them; empty where a
// way failed.
struct SessionAccounts {
    std::wstring process;                     // the account this process runs under
    std::wstring processUser;                 // its user name
    bool elevated = false;                    // the process has an administrator's full rights
    AccountName session;                      // the signed-in user as the session records it
    std::array<std::wstring, kWays> desktop;  // the signed-in account's SID by each way
};

// The SID on which the ways that answered agree: empty where none answered, none
// where they disagree.
std::optional<std::wstring> AgreedSid(const std::array<std::wstring, kWays>& ways);

// No root: nowhere, since it cannot be told whose key it would be.
struct KeyLocation {
    HKEY root = nullptr;
    std::wstring path;
    std::wstring account;  // the account's user name, DOMAIN\user where two share it
};

// The policy key of the signed-in account: HKCU when the process runs as that
// account, else that account's hive under HKEY_USERS. None when the ways found
// disagree, or find nothing while the process is elevated and so may run as
// another account: then nothing may be written.
KeyLocation PolicyLocationFor(const SessionAccounts& accounts);

SessionAccounts SessionAccountsFromSystem();

// The SID of the one hive under HKEY_USERS whose logon names are these; empty
// when no hive or more than one has them.
std::wstring HiveNamed(const AccountName& name);

// A variable so tests can stand in a session where the accounts differ or the
// ways fail, which a Wine prefix, with its one user, never shows.
using AccountsLookup = SessionAccounts (*)();
inline AccountsLookup LookUpAccounts = &SessionAccountsFromSystem;

}  // namespace gv
