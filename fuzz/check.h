// Shared by the fuzz targets: a failed check aborts, so libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "core/errors.h"

namespace gv::fuzz {

inline void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

// The number of the run-time error that op raises, 0 when none. Any other
// exception is a finding of its own.
template <typename Op>
int ErrorNumberOf(Op&& op) {
    try {
        op();
    } catch (const RuntimeError& e) {
        return e.Number();
    } catch (...) {
        Check(false, "an exception that is not a run-time error");
    }
    return 0;
}

inline bool IsBlank(unsigned char c) {
    return c == ' ' || c == '\t';
}

}  // namespace gv::fuzz
