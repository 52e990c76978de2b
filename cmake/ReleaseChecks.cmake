# Checks of the built executable itself (size, imports, no C++ streams), run by ctest.
add_test(NAME exe_size_and_imports
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-exe.sh "${GV_WINDOWS_BUILD_DIR}/grindvakt.exe")
set_tests_properties(exe_size_and_imports PROPERTIES LABELS release TIMEOUT 60)

# A second build of the program, from a copy of the sources in another folder, is
# byte for byte the same (scripts/check-reproducible.sh; about a minute).
add_test(NAME exe_reproducible
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-reproducible.sh "${GV_WINDOWS_BUILD_DIR}/grindvakt.exe")
set_tests_properties(exe_reproducible PROPERTIES LABELS release TIMEOUT 900)

# The installer: its name, tables and code page, two builds the same, the exe and
# the package signed with a throwaway CA, and under Wine a silent install of the
# signed package, a run from Program Files, a same-version package that replaces
# it, an upgrade, a refused downgrade and a removal (scripts/check-msi.sh,
# tests/e2e/installer_walk.cpp), in a prefix of its own.
add_test(NAME msi_install
  COMMAND bash ${PROJECT_SOURCE_DIR}/scripts/check-msi.sh "${GV_WINDOWS_BUILD_DIR}"
    "${GV_WINDOWS_BUILD_DIR}/${GV_MSI_NAME}" ${PROJECT_VERSION})
set_tests_properties(msi_install PROPERTIES LABELS install TIMEOUT 600 RESOURCE_LOCK wine_display)
