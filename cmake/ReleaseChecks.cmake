# Checks of the built executable itself (size, imports, no C++ streams), run by ctest.
add_test(NAME exe_size_and_imports
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-exe.sh "${GV_WINDOWS_BUILD_DIR}/grindvakt.exe")
set_tests_properties(exe_size_and_imports PROPERTIES LABELS release TIMEOUT 60)
