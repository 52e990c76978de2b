# Adds one ctest entry per GoogleTest case of a Windows test program, run under
# Wine. The cases are read from the sources, so nothing runs at configure time.
# The environment (WINEPREFIX, GV_WINEPREFIX_120, GV_WINEPREFIX_144, DISPLAY) comes
# from scripts/test.sh.


function(gv_to_windows_path out unix_path)
  string(REPLACE "/" "\\" p "${unix_path}")
  set(${out} "Z:${p}" PARENT_SCOPE)
endfunction()

# One ctest entry running one case; options before the program go to wine-run.sh.
function(gv_add_wine_test test label exe filter)
  gv_to_windows_path(gv_exe_win "${GV_WINDOWS_BUILD_DIR}/grindvakt.exe")
  add_test(NAME "${test}"
    COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/wine-run.sh ${ARGN} "${exe}" "--gtest_filter=${filter}")
  set_tests_properties("${test}" PROPERTIES
    LABELS ${label}
    TIMEOUT 120
    RESOURCE_LOCK wine_display
    ENVIRONMENT "GV_EXE=${gv_exe_win};GV_EXPECT_DPI=96")
endfunction()

function(gv_add_wine_gtests label exe)
  foreach(src IN LISTS ARGN)
    file(READ "${src}" text)
    string(REGEX MATCHALL "\n[ \t]*TEST(_F)?\\([ \t\r\n]*[A-Za-z0-9_]+[ \t\r\n]*,[ \t\r\n]*[A-Za-z0-9_]+" hits "${text}")
    foreach(hit IN LISTS hits)
      string(REGEX REPLACE ".*\\([ \t\r\n]*([A-Za-z0-9_]+)[ \t\r\n]*,[ \t\r\n]*([A-Za-z0-9_]+)$" "\\1.\\2" name "${hit}")
      gv_add_wine_test("${label}.${name}" ${label} "${exe}" "${name}")
      # Wine takes the ANSI code page from the Unix locale of each process; this one
      # makes it UTF-8 (65001). The cases check GetACP(), so a fallback cannot pass.
      if(name MATCHES "Utf8CodePage")
        set_property(TEST "${label}.${name}" APPEND PROPERTY ENVIRONMENT "LC_ALL=hi_IN.UTF-8")
      endif()
      # The layout cases again at 144 DPI (labels e2e144, windows144) and at 120 DPI
      # (e2e120, windows120), in prefixes of their own from scripts/test.sh.
      if(name MATCHES "Layout")
        gv_add_wine_test("${label}144.${name}" ${label}144 "${exe}" "${name}" --dpi144)
        gv_add_wine_test("${label}120.${name}" ${label}120 "${exe}" "${name}" --dpi120)
      endif()
    endforeach()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${src}")
  endforeach()
endfunction()

file(GLOB gv_windows_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/windows/*_test.cpp)
file(GLOB gv_e2e_test_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/e2e/*_test.cpp)
gv_add_wine_gtests(windows "${GV_WINDOWS_BUILD_DIR}/tests/windows/gv_windows_tests.exe" ${gv_windows_test_sources})
gv_add_wine_gtests(e2e "${GV_WINDOWS_BUILD_DIR}/tests/e2e/gv_e2e_tests.exe" ${gv_e2e_test_sources})

# clang-tidy reads the Windows tree's compile commands.
add_test(NAME lint COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/lint.sh)
set_tests_properties(lint PROPERTIES LABELS lint TIMEOUT 600
  ENVIRONMENT "GV_WINDOWS_BUILD_DIR=${GV_WINDOWS_BUILD_DIR}")
