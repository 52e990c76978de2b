#include "registry/registry.h"

#include "core/ansi.h"
#include "core/platform.h"
#include "registry/account.h"

namespace gv {
namespace Registry {

std::int32_t ReadDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    UniqueKey key;
    ::RegOpenKeyA(root, ToAnsi(keyPath).c_str(), key.put());
    DWORD type = 0;
    std::uint8_t data[4] = {};
    DWORD size = sizeof data;
    const LONG rc =
        ::RegQueryValueExA(key.get(), ToAnsi(valueName).c_str(), nullptr, &type, data, &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) {
        return 0;
    }
    const std::uint32_t u = std::uint32_t{data[0]} | (std::uint32_t{data[1]} << 8) |
                            (std::uint32_t{data[2]} << 16) | (std::uint32_t{data[3]} << 24);
    return static_cast<std::int32_t>(u);
}

WriteResult WriteDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                            std::int32_t value) {
    UniqueKey key;
    LONG rc = ::RegCreateKeyA(root, ToAnsi(keyPath).c_str(), key.put());
    if (rc != ERROR_SUCCESS) {
        return {false, static_cast<DWORD>(rc)};
    }
    const auto u = static_cast<std::uint32_t>(value);
    const BYTE data[4] = {static_cast<BYTE>(u), static_cast<BYTE>(u >> 8),
                          static_cast<BYTE>(u >> 16), static_cast<BYTE>(u >> 24)};
    rc = ::RegSetValueExA(key.get(), ToAnsi(valueName).c_str(), 0, REG_DWORD, data, sizeof data);
    if (rc != ERROR_SUCCESS) {
        return {false, static_cast<DWORD>(rc)};
    }
    return {true, ERROR_SUCCESS};
}

}  // namespace Registry

std::int32_t ReadPolicy() {
    const KeyLocation at = PolicyLocationFor(LookUpAccounts());
    return Registry::ReadDwordValue(at.root, at.path, kPolicyValue);
}

WriteResult WritePolicyToRegistry(std::int32_t value) {
    const KeyLocation at = PolicyLocationFor(LookUpAccounts());
    UniqueKey hive;
    if (at.root == HKEY_USERS) {
        // A signed-in account's hive is always loaded. When it is not there, fail
        // with that reason rather than make a key that only looks like a hive.
        const std::wstring sid = at.path.substr(0, at.path.find(L'\\'));
        const LONG rc = ::RegOpenKeyA(HKEY_USERS, ToAnsi(sid).c_str(), hive.put());
        if (rc != ERROR_SUCCESS) {
            return {false, static_cast<DWORD>(rc)};
        }
    }
    return Registry::WriteDwordValue(at.root, at.path, kPolicyValue, value);
}

}  // namespace gv
