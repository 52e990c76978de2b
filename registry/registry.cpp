#include "registry/registry.h"

#include "core/ansi.h"
#include "core/platform.h"

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
    return Registry::ReadDwordValue(HKEY_CURRENT_USER, kPolicyKey, kPolicyValue);
}

WriteResult WritePolicyToRegistry(std::int32_t value) {
    return Registry::WriteDwordValue(HKEY_CURRENT_USER, kPolicyKey, kPolicyValue, value);
}

}  // namespace gv
