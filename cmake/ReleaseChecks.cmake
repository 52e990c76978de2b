# Checks of the built executable itself (size, imports), run by ctest.
