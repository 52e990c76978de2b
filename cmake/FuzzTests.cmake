# Runs the libFuzzer targets of ${GV_FUZZ_BUILD_DIR} for a bounded time each.
