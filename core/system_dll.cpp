#include "core/system_dll.h"

#include <string>

#include "core/ansi.h"
#include "core/platform.h"

namespace gv {
namespace {

// Windows 7 has SetDefaultDllDirectories, and the LOAD_LIBRARY_SEARCH_* flags,
// only with its 2011 update (KB2533623).
bool searchFlagsKnown = false;

std::wstring SystemPath(const wchar_t* name) {
    std::wstring folder(MAX_PATH, L'\0');
    const UINT n = ::GetSystemDirectoryW(folder.data(), MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        RaiseSystemError(::GetLastError(), L"GetSystemDirectoryW");
    }
    folder.resize(n);
    return folder + L"\\" + name;
}

// The manifest sends this name to a side-by-side copy (Common Controls 6), which
// comes before any folder in the search.
bool RedirectedByManifest(const wchar_t* name) {
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof data;
    return ::FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name,
                                      &data) != FALSE;
}

}  // namespace

void LoadDllsFromSystemOnly() {
    const auto setDefault =
        OptionalFunction<BOOL(WINAPI*)(DWORD)>(L"kernel32.dll", "SetDefaultDllDirectories");
    searchFlagsKnown = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!searchFlagsKnown) {
        // Takes at least the current folder out of the search.
        ::SetDllDirectoryW(L"");
    }
}

HMODULE SystemDll(const wchar_t* name) {
    // Without the flags, a full path keeps the executable's folder out, except for
    // a redirected name: its full system32 path would bypass the redirection.
    HMODULE module = searchFlagsKnown
                         ? ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32)
                     : RedirectedByManifest(name) ? ::LoadLibraryW(name)
                                                  : ::LoadLibraryW(SystemPath(name).c_str());
    if (!module) {
        RaiseSystemError(::GetLastError(), name);
    }
    return module;
}

FARPROC SystemFunctionAddress(const wchar_t* dll, const char* function) {
    const FARPROC address = ::GetProcAddress(SystemDll(dll), function);
    if (!address) {
        const DWORD code = ::GetLastError();
        RaiseSystemError(code, std::wstring(dll) + L"!" + FromUtf8(function));
    }
    return address;
}

}  // namespace gv
