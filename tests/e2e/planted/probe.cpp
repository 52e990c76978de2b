// Loads each DLL named on its command line by its bare name, as any program may.
// Started beside planted copies, it shows that the run's settings make Wine take
// a DLL from the program's folder first, as Windows does. The exit code counts
// the names that did not load.
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        failed += ::LoadLibraryW(argv[i]) ? 0 : 1;
    }
    return failed;
}
