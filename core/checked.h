// Integer arithmetic that detects overflow: a result outside its type raises error 6.
#pragma once

#include <cstdint>
#include <limits>

#include "core/errors.h"

namespace gv {

template <typename T>
T CheckedNarrow(std::int64_t value) {
    if (value < std::numeric_limits<T>::min() || value > std::numeric_limits<T>::max()) {
        Raise(err::Overflow);
    }
    return static_cast<T>(value);
}

inline std::int32_t CheckedAdd(std::int32_t a, std::int32_t b) {
    return CheckedNarrow<std::int32_t>(std::int64_t{a} + b);
}

inline std::int32_t CheckedSub(std::int32_t a, std::int32_t b) {
    return CheckedNarrow<std::int32_t>(std::int64_t{a} - b);
}

inline std::int16_t CheckedAdd(std::int16_t a, std::int16_t b) {
    return CheckedNarrow<std::int16_t>(std::int64_t{a} + b);
}

}  // namespace gv
