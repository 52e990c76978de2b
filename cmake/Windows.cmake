# Windows build (MinGW-w64 or MSVC): the program, and the test programs that run under Wine.

enable_language(RC)
if(CMAKE_RC_COMPILER MATCHES "windres")
  # windres reads the system code page unless told otherwise.
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} --codepage=65001")
endif()

# Windows 7, the oldest the manifest lists: a newer API called directly does not
# compile, so it has to be looked up at run time.
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)

# Everything of the program but its entry point, so the tests can link it too.
add_library(gv_win STATIC
  core/ansi.cpp
  core/app.cpp
  core/form.cpp
  core/form_controls.cpp
  core/form_keys.cpp
  core/form_layout.cpp
  core/platform.cpp
  core/process.cpp
  core/system_dll.cpp
  registry/account.cpp
  registry/key_value.cpp
  registry/registry.cpp
  store/password_store.cpp
  store/file_access.cpp
  store/file_error.cpp
  store/file_lock.cpp
  store/store_calls.cpp
  store/store_folder.cpp
  ui/frm_andra.cpp
  ui/frm_andra_losenord.cpp
  ui/frm_andrat.cpp
  ui/frm_logga_in.cpp
  ui/frm_om.cpp)
target_link_libraries(gv_win PUBLIC gv_portable)
# Known DLLs only (scripts/check-exe.sh); comctl32 and wtsapi32 are loaded at run
# time from system32 (core/system_dll.h).
target_link_libraries(gv_win PUBLIC advapi32 user32 gdi32 kernel32)

add_executable(grindvakt WIN32 main.cpp resources/grindvakt.rc)
target_link_libraries(grindvakt PRIVATE gv_win)
set_target_properties(grindvakt PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
if(MINGW)
  # No time stamp in the header (and so a checksum of the bytes alone), no debug
  # information: two builds of one commit are the same file, wherever they are built.
  target_link_options(grindvakt PRIVATE -municode -mwindows -static -s -Wl,--gc-sections
    -Wl,--no-insert-timestamp)
  # MinGW GCC 12 can stop with an internal error (binds_to_current_def_p) when the
  # link-time optimiser splits a program into partitions; each is small enough for one.
  target_link_options(gv_win INTERFACE -flto-partition=one)
  target_compile_options(gv_portable PRIVATE -ffunction-sections -fdata-sections)
  target_compile_options(gv_win PRIVATE -ffunction-sections -fdata-sections)
endif()
if(MSVC)
  # Windows 10 1607 and later then take the static imports, too, from system32 only.
  # GNU ld 2.40 cannot set this load-configuration field.
  target_link_options(grindvakt PRIVATE /DEPENDENTLOADFLAG:0x800 /Brepro)
  foreach(target grindvakt gv_win gv_portable)
    target_compile_options(${target} PRIVATE /Brepro)
  endforeach()
endif()
# Link-time optimisation keeps the executable within its 288 KiB.
set_target_properties(grindvakt gv_win gv_portable PROPERTIES INTERPROCEDURAL_OPTIMIZATION ON)

# The installer, where wixl is at hand (scripts/build-msi.py): the tests install
# this one, and release.sh ships it unsigned (signed, it builds one again around
# the signed exe).
find_program(GV_WIXL wixl)
find_program(GV_SYSTEM_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(GV_WIXL AND GV_SYSTEM_PYTHON)
  set(GV_MSI ${CMAKE_BINARY_DIR}/${GV_MSI_NAME})
  add_custom_command(OUTPUT ${GV_MSI}
    COMMAND ${GV_SYSTEM_PYTHON} ${PROJECT_SOURCE_DIR}/scripts/build-msi.py
      --version ${PROJECT_VERSION} --exe $<TARGET_FILE:grindvakt>
      --readme ${PROJECT_BINARY_DIR}/release/LASMIG.txt
      --icon ${PROJECT_SOURCE_DIR}/resources/grindvakt.ico --out ${GV_MSI}
    DEPENDS grindvakt ${PROJECT_SOURCE_DIR}/scripts/build-msi.py
      ${PROJECT_SOURCE_DIR}/release/grindvakt.wxs.in ${PROJECT_BINARY_DIR}/release/LASMIG.txt
      ${PROJECT_SOURCE_DIR}/resources/grindvakt.ico
    VERBATIM)
  add_custom_target(grindvakt_msi ALL DEPENDS ${GV_MSI})
endif()

option(GV_BUILD_TESTS "Build the test programs that run under Wine" ON)
if(GV_BUILD_TESTS)
  set(gtest_dir /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  add_subdirectory(${gtest_dir} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  add_subdirectory(tests/windows)
  add_subdirectory(tests/e2e)
endif()

# windres reports no dependencies: rebuild the resources when what they embed changes.
set(gv_rc_dirs ${PROJECT_SOURCE_DIR})
if(GV_BUILD_TESTS)
  list(APPEND gv_rc_dirs ${PROJECT_SOURCE_DIR}/tests/windows)
endif()
set_source_files_properties(resources/grindvakt.rc DIRECTORY ${gv_rc_dirs} PROPERTIES OBJECT_DEPENDS
  "${GV_GENERATED_DIR}/gv_version.h;${GV_GENERATED_DIR}/grindvakt.manifest;${PROJECT_SOURCE_DIR}/resources/grindvakt.ico")

option(GV_BUILD_BENCH "Build the start-up benchmark (scripts/bench-startup.sh runs it)" ON)
if(GV_BUILD_BENCH)
  add_subdirectory(bench/startup)
endif()
