// Reading and writing one 32-bit registry value, and the policy value that
// decides whether the Registry Editor may be opened.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "registry/account.h"

namespace gv {

// The outcome of a write: whether it took effect, and the system's reason when not.
struct WriteResult {
    bool ok = false;
    DWORD error = ERROR_SUCCESS;
};

namespace Registry {

// The value's four bytes when it exists as a REG_DWORD; 0 for a missing key,
// a missing value or a value of another type. Never fails.
std::int32_t ReadDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName);

// Creates the key where needed and sets the value as a REG_DWORD.
WriteResult WriteDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                            std::int32_t value);

}  // namespace Registry

inline constexpr wchar_t kPolicyKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
inline constexpr wchar_t kPolicyValue[] = L"DisableRegistryTools";

// Where this run's policy value lives: the policy key of the account signed in
// to the desktop (registry/account.h); no root where that account cannot be told.
KeyLocation FindPolicyTarget();

// 0 lets the Registry Editor open; any other value blocks it. 0 without a target.
std::int32_t ReadPolicy(const KeyLocation& at);

// The error of a write that has no target: no way told which account is signed in.
inline constexpr DWORD kAccountUnknown = ERROR_NONE_MAPPED;

// The write of the policy value (0 allows, 1 blocks). A variable so tests can
// stand in a write that fails, which Wine's always-elevated processes never meet.
using PolicyWriter = WriteResult (*)(const KeyLocation& at, std::int32_t value);
WriteResult WritePolicyToRegistry(const KeyLocation& at, std::int32_t value);
inline PolicyWriter WritePolicy = &WritePolicyToRegistry;

}  // namespace gv
