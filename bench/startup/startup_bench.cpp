// Start-up time of grindvakt.exe against a minimal one-window program, once plain
// and once carrying grindvakt's manifest (Common Controls 6, per-monitor DPI), which
// costs start-up time of its own. Every start copies the program into a fresh
// folder (so grindvakt finds no password file, as on a first run), starts it and
// times it until its window is visible. The programs take turns, so drift in the
// machine's load hits all alike.
//
// Usage: gv_startup_bench GRINDVAKT_EXE MINIMAL_EXE MINIMAL_MANIFEST_EXE [RUNS]
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <vector>

#include "core/platform.h"

namespace {

constexpr int kDefaultRuns = 21;
constexpr int kMaxRuns = 1000;
// Short against start-up times, so the poll itself hardly rounds the figures.
constexpr DWORD kPollMs = 1;
constexpr double kGiveUpMs = 30000;
constexpr DWORD kExitWaitMs = 10000;
constexpr double kTargetRatio = 1.15;

struct Subject {
    std::wstring exe;
    const wchar_t* caption;  // the window whose showing ends the start-up
    std::vector<double> ms;
};

class Clock {
  public:
    Clock() {
        ::QueryPerformanceFrequency(&frequency_);
        ::QueryPerformanceCounter(&start_);
    }
    double ElapsedMs() const {
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        return static_cast<double>(now.QuadPart - start_.QuadPart) * 1000.0 /
               static_cast<double>(frequency_.QuadPart);
    }

  private:
    LARGE_INTEGER frequency_{};
    LARGE_INTEGER start_{};
};

std::wstring FileName(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::optional<std::wstring> FullPath(const wchar_t* path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = ::GetFullPathNameW(path, MAX_PATH, buffer, nullptr);
    if (length == 0 || length >= MAX_PATH ||
        ::GetFileAttributesW(buffer) == INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    return std::wstring(buffer);
}

std::optional<std::wstring> NewFolder() {
    wchar_t temp[MAX_PATH + 1] = {};
    if (!::GetTempPathW(MAX_PATH + 1, temp)) {
        return std::nullopt;
    }
    static unsigned next = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        std::wstring folder = std::wstring(temp) + L"gv-startup-" +
                              std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(next++);
        if (::CreateDirectoryW(folder.c_str(), nullptr)) {
            return folder;
        }
        if (::GetLastError() != ERROR_ALREADY_EXISTS) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

// The folder holds only files: the copy and what the program wrote beside it.
void DeleteFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW data{};
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                ::DeleteFileW((folder + L"\\" + data.cFileName).c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(folder.c_str());
}

bool HasVisibleWindow(DWORD processId, const wchar_t* caption) {
    HWND hwnd = nullptr;
    while ((hwnd = ::FindWindowExW(nullptr, hwnd, nullptr, caption)) != nullptr) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(hwnd, &owner);
        if (owner == processId && ::IsWindowVisible(hwnd)) {
            return true;
        }
    }
    return false;
}

// Milliseconds from CreateProcessW until the window is visible; the process is
// ended either way. Nothing when the window never came (the reason is printed).
std::optional<double> TimeStart(const std::wstring& exe, const std::wstring& folder,
                                const wchar_t* caption) {
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const Clock clock;
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.c_str(), &startup, &info)) {
        std::fprintf(stderr, "CreateProcessW %ls failed: error %lu\n", exe.c_str(),
                     ::GetLastError());
        return std::nullopt;
    }
    const gv::UniqueHandle process(info.hProcess);
    const gv::UniqueHandle thread(info.hThread);
    std::optional<double> elapsed;
    for (;;) {
        if (HasVisibleWindow(info.dwProcessId, caption)) {
            elapsed = clock.ElapsedMs();
            break;
        }
        if (::WaitForSingleObject(process.get(), kPollMs) != WAIT_TIMEOUT) {
            std::fprintf(stderr, "%ls ended before showing \"%ls\"\n", exe.c_str(), caption);
            break;
        }
        if (clock.ElapsedMs() > kGiveUpMs) {
            std::fprintf(stderr, "%ls showed no \"%ls\" within %.0f ms\n", exe.c_str(), caption,
                         kGiveUpMs);
            break;
        }
    }
    ::TerminateProcess(process.get(), 0);
    ::WaitForSingleObject(process.get(), kExitWaitMs);
    return elapsed;
}

std::optional<double> TimeFreshCopy(const Subject& subject) {
    const auto folder = NewFolder();
    if (!folder) {
        std::fprintf(stderr, "cannot create a temporary folder: error %lu\n", ::GetLastError());
        return std::nullopt;
    }
    const std::wstring copy = *folder + L"\\" + FileName(subject.exe);
    std::optional<double> ms;
    if (::CopyFileW(subject.exe.c_str(), copy.c_str(), TRUE)) {
        ms = TimeStart(copy, *folder, subject.caption);
    } else {
        std::fprintf(stderr, "cannot copy %ls: error %lu\n", subject.exe.c_str(), ::GetLastError());
    }
    DeleteFolder(*folder);
    return ms;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void PrintRow(const Subject& subject) {
    const auto [low, high] = std::minmax_element(subject.ms.begin(), subject.ms.end());
    std::printf(
        "  %-22ls %-12ls median %7.1f   min %7.1f   max %7.1f\n", FileName(subject.exe).c_str(),
        (L"\"" + std::wstring(subject.caption) + L"\"").c_str(), Median(subject.ms), *low, *high);
}

void PrintRatio(const Subject& program, const Subject& yardstick, const char* against) {
    const double ratio = Median(program.ms) / Median(yardstick.ms);
    std::printf("Ratio of the medians, grindvakt / %s: %.3f (target: at most %.2f, %s)\n", against,
                ratio, kTargetRatio, ratio <= kTargetRatio ? "met" : "missed");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4 || argc > 5) {
        std::fprintf(stderr,
                     "usage: gv_startup_bench GRINDVAKT_EXE MINIMAL_EXE MINIMAL_MANIFEST_EXE "
                     "[RUNS]\n");
        return 2;
    }
    std::optional<std::wstring> exes[3];
    for (int i = 0; i < 3; ++i) {
        exes[i] = FullPath(argv[i + 1]);
        if (!exes[i]) {
            std::fprintf(stderr, "no such program: %ls\n", argv[i + 1]);
            return 2;
        }
    }
    int runs = kDefaultRuns;
    if (argc == 5) {
        wchar_t* end = nullptr;
        const long value = std::wcstol(argv[4], &end, 10);
        if (*end != L'\0' || value < 1 || value > kMaxRuns) {
            std::fprintf(stderr, "RUNS must be a number from 1 to %d\n", kMaxRuns);
            return 2;
        }
        runs = static_cast<int>(value);
    }

    Subject subjects[] = {
        {*exes[0], L"Logga in", {}}, {*exes[1], L"Minimal", {}}, {*exes[2], L"Minimal", {}}};
    constexpr int kSubjects = 3;
    // The first start of each reads Wine's and the program's files from disk: not counted.
    for (const Subject& subject : subjects) {
        if (!TimeFreshCopy(subject)) {
            return 1;
        }
    }
    for (int round = 0; round < runs; ++round) {
        // Every six rounds go through all six orders, so no program always starts
        // right after the same other one.
        const int shift = round % kSubjects;
        const bool backwards = (round / kSubjects) % 2 == 1;
        for (int k = 0; k < kSubjects; ++k) {
            const int i = (shift + (backwards ? kSubjects - 1 - k : k)) % kSubjects;
            const auto ms = TimeFreshCopy(subjects[i]);
            if (!ms) {
                return 1;
            }
            subjects[i].ms.push_back(*ms);
        }
    }

    std::printf("Start-up until the window is visible, %d runs each (ms):\n", runs);
    for (const Subject& subject : subjects) {
        PrintRow(subject);
    }
    PrintRatio(subjects[0], subjects[1], "minimal");
    PrintRatio(subjects[0], subjects[2], "minimal with the same manifest");
    return 0;
}
