// What the Windows-side and end-to-end tests share: raw file access, throw-away
// folders and a look at windows. The checks go straight to Win32 so they never
// depend on the code under test.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/errors.h"
#include "core/platform.h"
#include "store/password_file.h"
#include "store/scramble.h"

namespace gvtest {

// Empty when unset (or longer than a path).
inline std::wstring Env(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    return ::GetEnvironmentVariableW(name, value, MAX_PATH) < MAX_PATH ? value : L"";
}

// A password as the program saves it (before any load grows it).
inline gv::Bytes StoredForm(std::string_view ansi) {
    std::int32_t word = 0;
    return gv::StoredFormOf(ansi, gv::kScrambleKey, word);
}

inline bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

template <typename Range>
std::string Hex(const Range& bytes) {
    std::string text;
    for (const auto b : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02X ", static_cast<unsigned char>(b));
        text += cell;
    }
    return text.empty() ? "(empty)" : text;
}

inline void WriteBytes(const std::wstring& path, const gv::Bytes& bytes) {
    gv::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f) << "cannot create the test file, error " << ::GetLastError();
    DWORD wrote = 0;
    ASSERT_TRUE(
        ::WriteFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
    ASSERT_EQ(wrote, bytes.size());
}

// Reads with full sharing, so it also works beside a handle the test holds.
// Nothing when the file is missing or cannot be read.
inline std::optional<gv::Bytes> TryReadBytes(const std::wstring& path) {
    gv::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!f || !::GetFileSizeEx(f.get(), &size)) {
        return std::nullopt;
    }
    gv::Bytes bytes(static_cast<std::size_t>(size.QuadPart));
    DWORD got = 0;
    if (!bytes.empty() &&
        !::ReadFile(f.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        return std::nullopt;
    }
    bytes.resize(got);
    return bytes;
}

inline gv::Bytes ReadBytes(const std::wstring& path) {
    auto bytes = TryReadBytes(path);
    EXPECT_TRUE(bytes) << "cannot read the test file to check it, error " << ::GetLastError();
    return bytes.value_or(gv::Bytes{});
}

// What another program holding the file would look like.
inline gv::UniqueFile HoldOpen(const std::wstring& path, DWORD share) {
    gv::UniqueFile f(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_TRUE(f) << "cannot hold the test file open, error " << ::GetLastError();
    return f;
}

// A file's DACL in SDDL; empty where it cannot be read.
inline std::string DaclText(const std::wstring& path) {
    DWORD size = 0;
    ::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
    std::vector<std::uint8_t> sd(size);
    wchar_t* text = nullptr;
    if (size == 0 ||
        !::GetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd.data(), size, &size) ||
        !::ConvertSecurityDescriptorToStringSecurityDescriptorW(
            sd.data(), SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        return {};
    }
    const gv::UniqueLocal<wchar_t> owned(text);
    return std::string(text, text + std::wcslen(text));
}

inline bool SetDaclText(const std::wstring& path, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd,
                                                                nullptr)) {
        return false;
    }
    const gv::UniqueLocal<void> owned(sd);
    return ::SetFileSecurityW(path.c_str(), DACL_SECURITY_INFORMATION, sd) != FALSE;
}

// Which of Everyone, Users and Authenticated Users a DACL in SDDL names; empty for none.
inline std::string OthersAllowed(const std::string& dacl) {
    std::string others = dacl.empty() ? "(no DACL)" : "";
    for (const char* sid : {";;;WD)", ";;;BU)", ";;;AU)"}) {
        others += dacl.find(sid) != std::string::npos ? sid : "";
    }
    return others;
}

template <typename F>
std::optional<gv::RuntimeError> Caught(F&& f) {
    try {
        f();
    } catch (const gv::RuntimeError& e) {
        return e;
    }
    return std::nullopt;
}

// This test program's own path, and its folder, where the build puts its helpers.
inline std::wstring OwnExe() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
}
inline std::wstring OwnFolder() {
    const std::wstring path = OwnExe();
    return path.substr(0, path.find_last_of(L'\\'));
}

// A fresh folder under the user's temp folder, removed with everything in it.
class TempFolder {
  public:
    TempFolder() {
        wchar_t base[MAX_PATH + 1];
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, base);
        static unsigned counter = 0;
        path_ = std::wstring(base, n) + L"gvtest-" + std::to_wstring(::GetCurrentProcessId()) +
                L"-" + std::to_wstring(::GetTickCount64()) + L"-" + std::to_wstring(++counter);
        EXPECT_TRUE(::CreateDirectoryW(path_.c_str(), nullptr))
            << "cannot create the temp folder, error " << ::GetLastError();
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    ~TempFolder() { Remove(path_); }

    const std::wstring& Path() const noexcept { return path_; }
    std::wstring File(std::wstring_view name) const { return path_ + L"\\" + std::wstring(name); }

    // False while something in it is still held open.
    static bool Remove(const std::wstring& dir) {
        WIN32_FIND_DATAW found{};
        gv::UniqueFind find(::FindFirstFileW((dir + L"\\*").c_str(), &found));
        for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &found)) {
            const std::wstring name = found.cFileName;
            const std::wstring full = dir + L"\\" + name;
            if (name == L"." || name == L"..") {
                continue;
            }
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                Remove(full);
            } else {
                ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(full.c_str());
            }
        }
        find.reset();
        return ::RemoveDirectoryW(dir.c_str()) != FALSE;
    }

  private:
    std::wstring path_;
};

// The names in a folder, sorted; without "." and "..".
inline std::vector<std::wstring> Names(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found{};
    gv::UniqueFind find(::FindFirstFileW((dir + L"\\*").c_str(), &found));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &found)) {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

inline std::string NamesText(const std::vector<std::wstring>& names) {
    std::string text;
    for (const auto& name : names) {
        text += (text.empty() ? "" : ", ") + std::string(name.begin(), name.end());
    }
    return text.empty() ? "(nothing)" : text;
}

// A started program. (Wine gives a Unix program no process handle.)
struct Process {
    bool started = false;
    gv::UniqueHandle handle, thread;
    DWORD id = 0;
};
inline Process Start(const std::wstring& exe, std::wstring commandLine,
                     const wchar_t* folder = nullptr, DWORD flags = 0) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                          folder, &si, &pi)) {
        return {};
    }
    return {true, gv::UniqueHandle(pi.hProcess), gv::UniqueHandle(pi.hThread), pi.dwProcessId};
}
// Its exit code; ~0 when it did not start or end in time.
inline DWORD ExitCode(const Process& p, DWORD timeoutMs) {
    DWORD code = ~DWORD{0};
    if (p.handle && ::WaitForSingleObject(p.handle.get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(p.handle.get(), &code);
    }
    return code;
}

// Starts a program of the machine under Wine (a path such as "Z:\\bin\\ln"), then
// waits until done() holds: Wine's handle of a Unix process cannot be waited for.
template <typename Done>
bool RunUnix(const wchar_t* program, const std::wstring& arguments, Done done) {
    if (!Start(program, L"x " + arguments).started) {
        return false;
    }
    for (int i = 0; i < 500 && !done(); ++i) {
        ::Sleep(10);
    }
    return done();
}

inline std::wstring UnixPath(const std::wstring& path) {
    using Fn = char*(CDECL*)(const wchar_t*);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* converted = fn ? fn(path.c_str()) : nullptr;
    const std::string text = converted ? converted : "";
    ::HeapFree(::GetProcessHeap(), 0, converted);
    return L"\"" + std::wstring(text.begin(), text.end()) + L"\"";
}

// A Unix symbolic link, which Wine follows as Windows follows its worst kind of
// link (CreateSymbolicLinkW makes nothing under Wine). Removed the Unix way too:
// DeleteFileW on it would delete its target.
inline bool UnixLink(const std::wstring& target, const std::wstring& link) {
    return RunUnix(L"Z:\\bin\\ln", L"-s " + UnixPath(target) + L" " + UnixPath(link),
                   [&] { return Exists(link); });
}
inline bool RemoveUnixLink(const std::wstring& link) {
    return RunUnix(L"Z:\\bin\\rm", L"-f " + UnixPath(link), [&] { return !Exists(link); });
}

inline std::wstring ClassOf(HWND hwnd) {
    wchar_t cls[256] = {};
    ::GetClassNameW(hwnd, cls, 256);
    return cls;
}

// Left, top, right, bottom within the parent's client area.
inline RECT RectInParent(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

// Looked up at run time: older systems have one DPI for everything.
inline int WindowDpi(HWND hwnd) {
    using Fn = UINT(WINAPI*)(HWND);
    const auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (const UINT dpi = fn ? fn(hwnd) : 0) {
        return static_cast<int>(dpi);
    }
    const gv::WindowDC screen(nullptr);
    return ::GetDeviceCaps(screen.get(), LOGPIXELSX);
}

// Stands in for the desktop's shell, which Wine lacks: a hidden window of this
// process, on a thread of its own that answers messages, is the shell window
// until this goes. A program that looks for the shell then finds this process.
class ShellStandIn {
  public:
    ShellStandIn()
        : ready_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          thread_(::CreateThread(nullptr, 0, &Serve, this, 0, &threadId_)) {
        ::WaitForSingleObject(ready_.get(), 15000);
    }
    ~ShellStandIn() {
        ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
        ::WaitForSingleObject(thread_.get(), 15000);
    }
    ShellStandIn(const ShellStandIn&) = delete;
    ShellStandIn& operator=(const ShellStandIn&) = delete;

  private:
    static DWORD WINAPI Serve(void* self) {
        MSG msg{};
        ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // a queue for WM_QUIT
        HWND window = ::CreateWindowExW(0, L"Static", L"shell stand-in", WS_POPUP, 0, 0, 1, 1,
                                        nullptr, nullptr, nullptr, nullptr);
        using Fn = BOOL(WINAPI*)(HWND);  // user32 exports it; MinGW's headers lack it
        const auto setShell = reinterpret_cast<Fn>(reinterpret_cast<void*>(
            ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "SetShellWindow")));
        if (window && setShell) {
            setShell(window);
        }
        ::SetEvent(static_cast<ShellStandIn*>(self)->ready_.get());
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::DispatchMessageW(&msg);
        }
        if (window) {
            ::DestroyWindow(window);
        }
        return 0;
    }

    DWORD threadId_ = 0;
    gv::UniqueHandle ready_, thread_;
};

}  // namespace gvtest
