#include "registry/registry.h"

#include <array>

#include "core/ansi.h"
#include "core/le_word.h"
#include "core/platform.h"
#include "registry/account.h"

namespace gv {
namespace Registry {

std::int32_t ReadDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName) {
    UniqueKey key;
    ::RegOpenKeyA(root, ToAnsi(keyPath).c_str(), key.put());
    DWORD type = 0;
    std::array<std::uint8_t, 4> data{};
    auto size = static_cast<DWORD>(data.size());
    const LONG rc = ::RegQueryValueExA(key.get(), ToAnsi(valueName).c_str(), nullptr, &type,
                                       data.data(), &size);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) {
        return 0;
    }
    return static_cast<std::int32_t>(ReadLe32(data));
}

WriteResult WriteDwordValue(HKEY root, const std::wstring& keyPath, const std::wstring& valueName,
                            std::int32_t value) {
    UniqueKey key;
    LONG rc = ::RegCreateKeyA(root, ToAnsi(keyPath).c_str(), key.put());
    if (rc != ERROR_SUCCESS) {
        return {false, static_cast<DWORD>(rc)};
    }
    const auto data = Le32Bytes(static_cast<std::uint32_t>(value));
    rc = ::RegSetValueExA(key.get(), ToAnsi(valueName).c_str(), 0, REG_DWORD, data.data(),
                          static_cast<DWORD>(data.size()));
    if (rc != ERROR_SUCCESS) {
        return {false, static_cast<DWORD>(rc)};
    }
    return {true, ERROR_SUCCESS};
}

}  // namespace Registry

KeyLocation FindPolicyTarget() {
    return PolicyLocationFor(LookUpAccounts());
}

std::int32_t ReadPolicy(const KeyLocation& at) {
    return at.root ? Registry::ReadDwordValue(at.root, at.path, kPolicyValue) : 0;
}

WriteResult WritePolicyToRegistry(const KeyLocation& at, std::int32_t value) {
    if (!at.root) {
        return {false, kAccountUnknown};
    }
    UniqueKey hive;
    if (at.root == HKEY_USERS) {
        // A signed-in account's hive is always loaded. When it is not there, fail
        // with that reason rather than make a key that only looks like a hive.
        const std::wstring sid(at.path, 0, at.path.find(L'\\'));
        const LONG rc = ::RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, KEY_READ, hive.put());
        if (rc != ERROR_SUCCESS) {
            return {false, static_cast<DWORD>(rc)};
        }
    }
    return Registry::WriteDwordValue(at.root, at.path, kPolicyValue, value);
}

}  // namespace gv
