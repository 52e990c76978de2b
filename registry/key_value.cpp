#include "registry/key_value.h"

#include <cstdint>
#include <vector>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"

namespace gv::Registry {

namespace {
constexpr DWORD kValueBufferSize = 1024;
}  // namespace

bool ReadValueText(HKEY root, const std::wstring& keyName, const std::wstring& valueName,
                   std::wstring& text) {
    // Read rights are enough: a standard user may read these keys but not write them.
    UniqueKey key;
    DWORD type = 0;
    std::vector<char> buffer(kValueBufferSize, '\0');
    DWORD size = kValueBufferSize;
    if (::RegOpenKeyExA(root, ToAnsi(keyName).c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        ::RegQueryValueExA(key.get(), ToAnsi(valueName).c_str(), nullptr, &type,
                           reinterpret_cast<BYTE*>(buffer.data()), &size) != ERROR_SUCCESS) {
        text.clear();
        return false;
    }
    if (size == 0) {
        Raise(err::InvalidCall);
    }
    // Data stored with its terminating NUL loses it; data without one stays whole.
    const std::size_t n = buffer[size - 1] == '\0' ? size - 1 : size;
    const std::string data(buffer.data(), n);
    switch (type) {
        case REG_SZ:
            text = FromAnsi(data);
            break;
        case REG_EXPAND_SZ: {
            const std::wstring raw = FromAnsi(data);
            const DWORD needed = ::ExpandEnvironmentStringsW(raw.c_str(), nullptr, 0);
            std::wstring expanded(needed, L'\0');
            const DWORD got = ::ExpandEnvironmentStringsW(raw.c_str(), expanded.data(), needed);
            expanded.resize(got > 0 ? got - 1 : 0);
            text = expanded;
            break;
        }
        case REG_DWORD: {
            std::uint32_t number = 0;
            for (std::size_t i = 0; i < n && i < 4; ++i) {
                number |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i]))
                          << (8 * i);
            }
            text = NumberText(number);
            break;
        }
        default:
            break;
    }
    return true;
}

}  // namespace gv::Registry
