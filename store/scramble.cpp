#include "store/scramble.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <span>

#include "core/errors.h"
#include "core/le_word.h"

namespace gv {
namespace {

// One step: word +/- key in 32-bit signed arithmetic. False on overflow.
bool Step(Bytes& b, std::size_t at, std::int32_t key, int sign, std::int32_t& word) {
    word = static_cast<std::int32_t>(ReadLe32(std::span(b).subspan(at).first<4>()));
    const std::int64_t r = std::int64_t{word} + sign * std::int64_t{key};
    if (r < std::numeric_limits<std::int32_t>::min() ||
        r > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    const auto bytes = Le32Bytes(static_cast<std::uint32_t>(r));
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
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
