// Four bytes as one little-endian 32-bit word, the way the password file's
// scramble steps and a REG_DWORD value both hold it, whatever the host's order.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace gv {

constexpr std::uint32_t ReadLe32(std::span<const std::uint8_t, 4> bytes) noexcept {
    return std::uint32_t{bytes[0]} | (std::uint32_t{bytes[1]} << 8) |
           (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[3]} << 24);
}

constexpr std::array<std::uint8_t, 4> Le32Bytes(std::uint32_t value) noexcept {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
            static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

}  // namespace gv
