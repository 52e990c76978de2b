# Native (Linux) build: unit tests of the portable code under ASan and UBSan,
# the benchmark, and the ctest entries of the tests that run under Wine.

option(GV_SANITIZE "Build with AddressSanitizer and UBSan" ON)
if(GV_SANITIZE)
  set(gv_san -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(gv_portable PUBLIC ${gv_san})
  target_link_options(gv_portable PUBLIC ${gv_san})
endif()

find_package(GTest REQUIRED)
include(GoogleTest)
add_subdirectory(tests/native)
add_subdirectory(bench)

# Tests built by the Windows tree (cmake/Windows.cmake) and run under Wine.
set(GV_WINDOWS_BUILD_DIR "" CACHE PATH "Build folder of the Windows tree, whose tests run under Wine")
if(GV_WINDOWS_BUILD_DIR)
  include(cmake/WineTests.cmake)
  include(cmake/ReleaseChecks.cmake)
endif()

# libFuzzer targets, built by clang in their own tree (scripts/test.sh).
set(GV_FUZZ_BUILD_DIR "" CACHE PATH "Build folder of the fuzz targets")
if(GV_FUZZ_BUILD_DIR)
  include(cmake/FuzzTests.cmake)
endif()

# The CPU-heavy checks (clang-tidy, a second build, the fuzzers) start only once the
# cases under Wine have ended: Wine's start-up and the program's own timer need the
# cores. One ctest run still, with one summary.
get_property(gv_tests DIRECTORY PROPERTY TESTS)
set(gv_wine_tests ${gv_tests})
list(FILTER gv_wine_tests INCLUDE REGEX "^(e2e|windows)[0-9]*\\.|^msi_install$")
foreach(test IN LISTS gv_tests)
  get_test_property(${test} LABELS labels)
  if(labels MATCHES "^(lint|release|fuzz)$")
    set_property(TEST ${test} APPEND PROPERTY DEPENDS ${gv_wine_tests})
  endif()
endforeach()
