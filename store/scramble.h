// The additive scramble that disguises the password file at rest.
//
// Both passes walk the bytes in ascending order, treating the four bytes at
// each position as one little-endian signed 32-bit word. They work on the whole
// file in memory, so the file on disk is only ever replaced by a finished result.
#pragma once

#include <cstdint>
#include <vector>

namespace gv {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::int32_t kScrambleKey = 821;

// Adds the key at every position 1..L; the file grows by three bytes
// (bytes read past the end count as 0). Raises error 6 on overflow.
void ScramblePass(Bytes& file, std::int32_t key, std::int32_t& word);

// Subtracts the key at positions 1..L-3; the length never changes, and files
// of 1 to 3 bytes are left as they are. Raises error 6 on overflow.
void UnscramblePass(Bytes& file, std::int32_t key, std::int32_t& word);

// The same passes without raising: false where a step overflows.
bool TryScramblePass(Bytes& file, std::int32_t key);
bool TryUnscramblePass(Bytes& file, std::int32_t key);

}  // namespace gv
