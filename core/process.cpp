#include "core/process.h"

#include <windows.h>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"

namespace gv {

void StartProgram(const std::wstring& path) {
    if (path.empty()) {
        throw RuntimeError(ERROR_FILE_NOT_FOUND, ToUtf8(SystemMessage(ERROR_FILE_NOT_FOUND)));
    }
    const bool quoted = path.starts_with(L'"');
    std::wstring commandLine = quoted ? path : L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(quoted ? nullptr : path.c_str(), commandLine.data(), nullptr, nullptr,
                          FALSE, 0, nullptr, nullptr, &si, &pi)) {
        const DWORD error = ::GetLastError();
        throw RuntimeError(static_cast<int>(error), ToUtf8(SystemMessage(error)));
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
}

}  // namespace gv
