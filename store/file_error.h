// The store's error numbers and texts: a Win32 error code, or a refusal of the
// store's own, as a numbered run-time error whose text says why.
#pragma once

#include <windows.h>

#include <string>

namespace gv {

// A Win32 error code as a numbered error whose text names the file and says why,
// where the code alone would not: a folder, a read-only file, a file another
// program holds, permissions that refuse this run.
[[noreturn]] void RaiseFileError(DWORD code, const std::wstring& path);

// A refusal of the store's own: the number's text, the file and the reason after it.
[[noreturn]] void Refuse(int number, const std::wstring& path, const char* reason);

bool IsSharingError(DWORD code);

}  // namespace gv
