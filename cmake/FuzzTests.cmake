# Runs the libFuzzer targets of ${GV_FUZZ_BUILD_DIR} for a bounded time each.
# Findings are kept in ${GV_FUZZ_BUILD_DIR}/findings for a rerun with the binary.
foreach(name load list_input new_password)
  add_test(NAME fuzz.${name}
    COMMAND sh ${PROJECT_SOURCE_DIR}/fuzz/run.sh
      ${GV_FUZZ_BUILD_DIR}/gv_fuzz_${name}
      ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}
      20
      ${GV_FUZZ_BUILD_DIR}/findings/${name}-)
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 120)
endforeach()
