// The store's file-system calls, each behind the fault seam (StoreFaults), and the
// names they work with. For store/ only.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <string_view>

#include "store/file_error.h"
#include "store/scramble.h"
#include "store/store_folder.h"

namespace gv::calls {

// Links are never followed into: the link itself is opened. A handle that leads
// to a pipe server must not let it act as this (elevated) process.
inline constexpr DWORD kOpenFlags =
    FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

inline constexpr wchar_t kLeftoverSuffix[] = L".tmp";
// Reads and writes go in pieces of this size.
inline constexpr std::size_t kChunk = std::size_t{1} << 20;

// Every file-system call passes here first, so a test can fail it or end the run at
// it, or see what it does to which file (and which function, where `made` says).
bool Step(FileCallKind kind, const std::wstring& path, const wchar_t* target = L"",
          MadeCall made = nullptr);

// Makes one call that answers with a BOOL (or BOOLEAN) after its step, and tells the
// recorder the very function it calls: a record never stands in for a call not made.
template <typename R, typename... Params, typename... Args>
R Made(FileCallKind kind, const std::wstring& path, const wchar_t* target,
       R(WINAPI* call)(Params...), Args... args) {
    return Step(kind, path, target, reinterpret_cast<MadeCall>(call)) ? call(args...) : R{};
}
template <typename R, typename... Params, typename... Args>
R Made(FileCallKind kind, const std::wstring& path, R(WINAPI* call)(Params...), Args... args) {
    return Made(kind, path, L"", call, args...);
}

HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
            SECURITY_ATTRIBUTES* security = nullptr);

// Empty, with the error set, where it cannot be read.
std::wstring FinalPathOf(HANDLE handle, const std::wstring& path);

std::wstring Joined(const std::wstring& folder, std::wstring_view name);
bool SameName(const std::wstring& a, const std::wstring& b);

// name.<16 random lower-case hex digits>.tmp (of a name or a full path), and
// whether a name is of that form.
std::wstring FreshName(const std::wstring& name);
bool IsFreshNameOf(std::wstring_view candidate, std::wstring_view name);

// Marks a file this run made for deletion through its own handle; it goes with the handle.
// `path` names the file the handle is open on.
void DeleteThrough(HANDLE file, const std::wstring& path);
bool RenameOver(HANDLE file, const std::wstring& path, const std::wstring& target);
// Writes all of it and flushes it to the disk; raises on any failure.
void WriteAll(HANDLE file, const std::wstring& path, const Bytes& content);

// Virus scanners and indexers hold files for a moment; try again briefly.
// Replacing a file that is held open fails with error 5 rather than a sharing error.
template <typename Op>
auto RetryWhileHeld(Op op, bool accessDeniedToo) {
    constexpr int kSharingRetries = 5;
    constexpr DWORD kSharingRetryDelayMs = 40;
    for (int attempt = 0;; ++attempt) {
        auto result = op();
        const DWORD code = ::GetLastError();
        const bool held = IsSharingError(code) || (accessDeniedToo && code == ERROR_ACCESS_DENIED);
        if (result || !held || attempt == kSharingRetries) {
            ::SetLastError(code);
            return result;
        }
        ::Sleep(kSharingRetryDelayMs);
    }
}

}  // namespace gv::calls
