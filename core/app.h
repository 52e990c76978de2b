// Program-wide run-time services: the event loop, the end of a run, message
// boxes, and the handler that turns an escaped error into the end of the run.
#pragma once

#include <windows.h>

#include <functional>
#include <string_view>

#include "core/errors.h"

namespace gv {

// The one fixed title of the whole program, shown by untitled message boxes.
inline constexpr wchar_t kAppTitle[] = L"Grindvakt";

namespace app {

// Runs the start-up action, then the event loop until the run ends.
int Run(const std::function<void()>& start);

// Processes events until done() holds or the run ends.
void PumpUntil(const std::function<bool()>& done);

// Ends the run at once: no further handler runs and no unload handler is called.
[[noreturn]] void End();

// The exit code of a run ended by an escaped error: not 1, which Wine gives a
// program that it could not start or that crashed in its start-up, so that an
// early end says which it was.
inline constexpr UINT kFatalExitCode = 70;

// Shows an escaped run-time error, also to a debugger (OutputDebugStringW), and
// ends the run with kFatalExitCode.
[[noreturn]] void Fatal(const RuntimeError& error);
[[noreturn]] void FatalCurrentException();
// True from the moment an escaped error is being shown: no handler runs any more.
bool Failing();

// "Reason: <text> (error <number>)." for messages that explain a failure.
std::wstring ReasonOf(const RuntimeError& error);

// A modal message box over the program's active window. An empty title
// shows the application title.
int MsgBox(std::wstring_view text, UINT style = MB_OK, std::wstring_view title = {});

}  // namespace app
}  // namespace gv
