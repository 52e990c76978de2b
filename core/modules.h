// The program-wide variables. Each exists once per run and starts as 0 or empty.
#pragma once

#include <cstdint>
#include <string>

namespace gv {

// A 16-bit boolean: -1 is True, 0 is False.
using Bool16 = std::int16_t;
inline constexpr Bool16 True = -1;
inline constexpr Bool16 False = 0;

namespace Module1 {
// True when the password file held no password at start-up.
inline Bool16 NoPassword = False;
// The password read at start-up; later saves leave it as it was.
inline std::wstring StoredPassword;
}  // namespace Module1

namespace Module2 {
// The key of the scramble passes, set by the login window before the first pass.
inline std::int32_t ScrambleKey = 0;
}  // namespace Module2

}  // namespace gv
