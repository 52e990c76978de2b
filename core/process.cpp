#include "core/process.h"

#include <windows.h>
#include <sddl.h>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"

namespace gv {
namespace {

// The token of the process behind the shell window, as a primary token. An
// elevated shell (UAC off) is taken as it is: it is the user's own rights there.
UniqueHandle ShellUserToken(const std::wstring& account) {
    const UniqueHandle token = ShellProcessToken(TOKEN_DUPLICATE);
    UniqueHandle primary;
    constexpr DWORD kAccess = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY |
                              TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;
    // Better nothing than the tool with this process's rights.
    if (!token || account.empty() ||
        !::DuplicateTokenEx(token.get(), kAccess, nullptr, SecurityImpersonation, TokenPrimary,
                            primary.put()) ||
        TokenUserSid(primary.get()) != account) {
        Raise(err::PermissionDenied);
    }
    return primary;
}

}  // namespace

std::wstring TokenUserSid(HANDLE token) {
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info{};
    DWORD size = 0;
    UniqueLocal<wchar_t> text;
    return ::GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
                   ::ConvertSidToStringSidW(info.user.User.Sid, text.put())
               ? text.get()
               : L"";
}

UniqueHandle ShellProcessToken(DWORD access) {
    const HWND window = ::GetShellWindow();
    DWORD shellId = 0;
    if (::GetWindowThreadProcessId(window, &shellId) == 0) {
        return {};
    }
    const UniqueHandle shell(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellId));
    UniqueHandle token;
    if (!shell || !::OpenProcessToken(shell.get(), access, token.put())) {
        return {};
    }
    if (TokenTakenFrom) {
        TokenTakenFrom(::GetProcessId(shell.get()));
    }
    // The shell may have ended before it was opened and its id gone to another
    // process; held open, the id is no one else's. So the window must still be the
    // opened process's.
    DWORD ownerNow = 0;
    if (::GetWindowThreadProcessId(window, &ownerNow) == 0 ||
        ownerNow != ::GetProcessId(shell.get())) {
        return {};
    }
    return token;
}

void StartProgram(const std::wstring& path, const std::wstring& account) {
    if (path.empty()) {
        throw RuntimeError(ERROR_FILE_NOT_FOUND, ToUtf8(SystemMessage(ERROR_FILE_NOT_FOUND)));
    }
    const UniqueHandle token = ShellUserToken(account);
    const bool quoted = path.starts_with(L'"');
    std::wstring commandLine = quoted ? path : L"\"" + path + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    // The Secondary Logon service starts it, not this process: the tool's window
    // gets the foreground only when this process hands it on.
    if (!::CreateProcessWithTokenW(token.get(), 0, quoted ? nullptr : path.c_str(),
                                   commandLine.data(), 0, nullptr, nullptr, &si, &pi)) {
        const DWORD error = ::GetLastError();
        throw RuntimeError(static_cast<int>(error), ToUtf8(SystemMessage(error)));
    }
    UniqueHandle process(pi.hProcess);
    UniqueHandle thread(pi.hThread);
    ::AllowSetForegroundWindow(pi.dwProcessId);
}

}  // namespace gv
