#include "store/password_store.h"

#include <windows.h>

#include "core/ansi.h"
#include "core/checked.h"
#include "core/errors.h"
#include "core/modules.h"
#include "core/platform.h"
#include "store/password_file.h"

namespace gv {
namespace {

constexpr int kSharingRetries = 5;
constexpr DWORD kSharingRetryDelayMs = 40;

bool IsSharingError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

int ErrorNumberOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return err::FileNotFound;
        case ERROR_PATH_NOT_FOUND:
            return err::PathNotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return err::PermissionDenied;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return err::DiskFull;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return err::OutOfMemory;
        default:
            return err::PathFileAccess;
    }
}

// An error whose text says what the system said. A replace that is refused
// (error 5) says why: a folder, a read-only file, or a file another program holds.
[[noreturn]] void RaiseWin32(DWORD code, const std::wstring& path = {}) {
    const int number = ErrorNumberOf(code);
    std::string text(ErrorText(number));
    if (IsSharingError(code)) {
        text += " (filen används av ett annat program)";
    } else if (code == ERROR_ACCESS_DENIED) {
        const DWORD attributes =
            path.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            const auto slash = path.find_last_of(L'\\');
            text += " (det finns en mapp som heter " + ToUtf8(path.substr(slash + 1)) + ")";
        } else if (attributes != INVALID_FILE_ATTRIBUTES &&
                   (attributes & FILE_ATTRIBUTE_READONLY)) {
            text += " (filen är skrivskyddad)";
        } else if (attributes != INVALID_FILE_ATTRIBUTES) {
            text += " (filen används av ett annat program)";
        } else {
            text += " (mappen är skrivskyddad)";
        }
    }
    throw RuntimeError(number, text);
}

// Virus scanners and indexers hold files for a moment; try again briefly.
// Replacing a file that is held open fails with error 5 rather than a sharing error.
template <typename Op>
auto RetryWhileHeld(Op op, bool accessDeniedToo) {
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

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void CreateEmptyFileIfMissing(const std::wstring& path) {
    UniqueFile created(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::wstring TempPathFor(const std::wstring& path) {
    return path + L".ny";
}

}  // namespace

std::wstring PasswordFilePath() {
    return ExeDirectory() + L"\\" + kPasswordFileName;
}

Bytes ReadWholeFile(const std::wstring& path) {
    UniqueFile file(RetryWhileHeld(
        [&] {
            UniqueFile f(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            return f;
        },
        false));
    if (!file) {
        RaiseWin32(::GetLastError(), path);
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
        RaiseWin32(::GetLastError());
    }
    Bytes content(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < content.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
        DWORD got = 0;
        if (!::ReadFile(file.get(), content.data() + done, chunk, &got, nullptr)) {
            RaiseWin32(::GetLastError());
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    content.resize(done);
    return content;
}

void ReplaceFileContents(const std::wstring& path, const Bytes& content) {
    const std::wstring temp = TempPathFor(path);
    {
        UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr));
        if (!file) {
            RaiseWin32(::GetLastError(), temp);
        }
        std::size_t done = 0;
        bool ok = true;
        while (ok && done < content.size()) {
            const DWORD chunk =
                static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1 << 20));
            DWORD wrote = 0;
            ok = ::WriteFile(file.get(), content.data() + done, chunk, &wrote, nullptr) &&
                 wrote == chunk;
            done += wrote;
        }
        if (!ok || !::FlushFileBuffers(file.get())) {
            const DWORD code = ::GetLastError();
            file.reset();
            ::DeleteFileW(temp.c_str());
            RaiseWin32(code ? code : ERROR_WRITE_FAULT);
        }
    }
    // A folder at the path is refused at once; anything else refused may be held for a moment.
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    const BOOL moved = RetryWhileHeld(
        [&] {
            return ::MoveFileExW(temp.c_str(), path.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        },
        !folder);
    if (!moved) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        RaiseWin32(code, path);
    }
}

void LoadPassword(std::wstring& filePassword) {
    const std::wstring path = PasswordFilePath();
    // A replace that was cut short leaves its temporary file; it was never the password.
    ::DeleteFileW(TempPathFor(path).c_str());
    if (!FileExists(path)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            // No file means no password, also where the empty file cannot be made.
            CreateEmptyFileIfMissing(path);
            Raise(err::InputPastEnd);
        }
        RaiseWin32(code);
    }
    LoadedPassword loaded =
        LoadFromStored(ReadWholeFile(path), Module2::ScrambleKey, Module2::ScrambleWord);
    filePassword = FromAnsi(loaded.password);
    Module1::StoredPassword = filePassword;
    if (loaded.growOk) {
        try {
            ReplaceFileContents(path, loaded.grown);
        } catch (const RuntimeError&) {
            // The password is read and the old file is still valid: log in as usual.
        }
    }
}

void SavePassword(const std::wstring& password) {
    const std::string ansi = ToAnsi(password);
    ReplaceFileContents(PasswordFilePath(),
                        StoredFormOf(ansi, Module2::ScrambleKey, Module2::ScrambleWord));
}

}  // namespace gv
