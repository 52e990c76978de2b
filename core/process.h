// Starting another program.
#pragma once

#include <windows.h>

#include <string>

#include "core/platform.h"

namespace gv {

// Starts a program in a normal window and does not wait for it, as the user who
// owns the desktop's shell: this process may run elevated, and what it starts
// must not. Where no shell token can be had (no shell window, a shell that ended
// meanwhile, a call that fails) or the token is not `account`'s (the signed-in
// account's SID) nothing starts and a run-time error is raised instead. A
// value that starts with a quote is a whole command line, arguments and all: the
// system reads its quoted name as one. Any other value is the program's path,
// passed as the application name too, so a folder with spaces cannot start
// another program. Raises the system's error number when the program cannot start.
void StartProgram(const std::wstring& path, const std::wstring& account);

// The user of a token (TOKEN_QUERY) as a string SID; empty where it cannot be read.
std::wstring TokenUserSid(HANDLE token);

// A token of the process behind the desktop's shell window, opened with `access`;
// empty without a shell, or where the window is no longer the opened process's
// (the shell ended and its id went to another process).
UniqueHandle ShellProcessToken(DWORD access);

// Told, for a test, the id of each process whose token ShellProcessToken takes, as read
// from the very handle the token is taken through.
using TokenSourceRecorder = void (*)(DWORD processId);
inline TokenSourceRecorder TokenTakenFrom = nullptr;

}  // namespace gv
