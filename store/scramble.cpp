#include "store/scramble.h"

#include <cstddef>
#include <limits>

#include "core/errors.h"

namespace gv {
namespace {

std::int32_t LoadWord(const Bytes& b, std::size_t at) {
    const std::uint32_t u = std::uint32_t{b[at]} | (std::uint32_t{b[at + 1]} << 8) |
                            (std::uint32_t{b[at + 2]} << 16) | (std::uint32_t{b[at + 3]} << 24);
    return static_cast<std::int32_t>(u);
}

void StoreWord(Bytes& b, std::size_t at, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    b[at] = static_cast<std::uint8_t>(u);
    b[at + 1] = static_cast<std::uint8_t>(u >> 8);
    b[at + 2] = static_cast<std::uint8_t>(u >> 16);
    b[at + 3] = static_cast<std::uint8_t>(u >> 24);
}

// One step: word +/- key in 32-bit signed arithmetic. False on overflow.
bool Step(Bytes& b, std::size_t at, std::int32_t key, int sign, std::int32_t& word) {
    word = LoadWord(b, at);
    const std::int64_t r = std::int64_t{word} + sign * std::int64_t{key};
    if (r < std::numeric_limits<std::int32_t>::min() ||
        r > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    StoreWord(b, at, static_cast<std::int32_t>(r));
    return true;
}

bool Scramble(Bytes& file, std::int32_t key, std::int32_t& word) {
    const std::size_t length = file.size();
    if (length == 0) {
        return true;
    }
    file.resize(length + 3, 0);
    for (std::size_t i = 0; i < length; ++i) {
        if (!Step(file, i, key, +1, word)) {
            return false;
        }
    }
    return true;
}

bool Unscramble(Bytes& file, std::int32_t key, std::int32_t& word) {
    for (std::size_t i = 0; i + 3 < file.size(); ++i) {
        if (!Step(file, i, key, -1, word)) {
            return false;
        }
    }
    return true;
}

}  // namespace

void ScramblePass(Bytes& file, std::int32_t key, std::int32_t& word) {
    if (!Scramble(file, key, word)) {
        Raise(err::Overflow);
    }
}

void UnscramblePass(Bytes& file, std::int32_t key, std::int32_t& word) {
    if (!Unscramble(file, key, word)) {
        Raise(err::Overflow);
    }
}

bool TryScramblePass(Bytes& file, std::int32_t key) {
    std::int32_t word = 0;
    return Scramble(file, key, word);
}

bool TryUnscramblePass(Bytes& file, std::int32_t key) {
    std::int32_t word = 0;
    return Unscramble(file, key, word);
}

}  // namespace gv
