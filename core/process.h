// Starting another program.
#pragma once

#include <string>

namespace gv {

// Starts a program in a normal window and does not wait for it, as the user who
// owns the desktop's shell: this process may run elevated, and what it starts
// must not. Where no shell token can be had (no shell window, a replaced shell,
// a call that fails) nothing starts and a run-time error is raised instead. A
// value that starts with a quote is a whole command line, arguments and all: the
// system reads its quoted name as one. Any other value is the program's path,
// passed as the application name too, so a folder with spaces cannot start
// another program. Raises the system's error number when the program cannot start.
void StartProgram(const std::wstring& path);

}  // namespace gv
