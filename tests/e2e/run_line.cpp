// How one run of the program ended, for the message of a failed case.
#include <cstdio>

#include "core/app.h"
#include "tests/e2e/driver.h"

namespace e2e {
namespace {

double Seconds(const FILETIME& from, const FILETIME& to) {
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(to) - ticks(from)) / 1e7;
}

}  // namespace

std::string RunLine(HANDLE process, DWORD id) {
    FILETIME created{}, exited{}, kernel{}, user{};
    ::GetProcessTimes(process, &created, &exited, &kernel, &user);
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(process, &code);
    char line[160];
    if (::WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        FILETIME now{};
        ::GetSystemTimeAsFileTime(&now);
        std::snprintf(line, sizeof line, "pid 0x%lx: still running after %.2f s",
                      static_cast<unsigned long>(id), Seconds(created, now));
        return line;
    }
    const char* why = code == gv::app::kFatalExitCode ? " (the program's run-time error box)"
                      : code == 1                     ? " (Wine's: a failed start or a crash)"
                      : code == kKilledByDriver       ? " (ended by the driver)"
                                                      : "";
    std::snprintf(line, sizeof line, "pid 0x%lx: exit code %lu%s after %.2f s",
                  static_cast<unsigned long>(id), static_cast<unsigned long>(code), why,
                  Seconds(created, exited));
    return line;
}

}  // namespace e2e
