// Windows' own DLLs, from system32 only. The program runs elevated from wherever
// it was saved (a Downloads folder, a USB stick), and Windows looks for a DLL
// that is not a Known DLL in the executable's folder first: a DLL planted there
// would run with an administrator's rights. So the import table names Known DLLs
// only, and everything else is loaded here, by name, from system32.
#pragma once

#include <windows.h>

namespace gv {

// The first thing a run does: from here on, every load by name, the program's and
// the system's own on its behalf, searches system32 only.
void LoadDllsFromSystemOnly();

// A DLL from system32, kept loaded for the rest of the run as an import would be.
// Raises a run-time error with the system's text, naming the DLL.
HMODULE SystemDll(const wchar_t* name);

// A function of a Known DLL the program imports (so already loaded); null where
// this Windows lacks it, so that the caller can fall back.
template <typename Function>
Function OptionalFunction(const wchar_t* loadedDll, const char* function) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(loadedDll), function)));
}

// A function of such a DLL; a missing one raises a run-time error naming it.
FARPROC SystemFunctionAddress(const wchar_t* dll, const char* function);

template <typename Function>
Function SystemFunction(const wchar_t* dll, const char* function) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(SystemFunctionAddress(dll, function)));
}

}  // namespace gv
