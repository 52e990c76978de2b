#include "store/password_store.h"

#include <windows.h>

#include "core/ansi.h"
#include "core/checked.h"
#include "core/errors.h"
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
    } else if (code == ERROR_UNABLE_TO_REMOVE_REPLACED ||
               code == ERROR_UNABLE_TO_MOVE_REPLACEMENT ||
               code == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        text += " (filen kunde inte bytas ut)";
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

std::wstring BackupPathFor(const std::wstring& path) {
    return path + L".gammal";
}

// The attributes a caretaker protects the file with. The new file is born with
// them, so they hold whichever way it takes the old one's place.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// ReplaceFileW answers these where the file system cannot do its job; the files
// then keep their names, and the move is all that is left.
bool CannotReplaceHere(DWORD code) {
    return code == ERROR_INVALID_FUNCTION || code == ERROR_NOT_SUPPORTED ||
           code == ERROR_INVALID_PARAMETER || code == ERROR_CALL_NOT_IMPLEMENTED;
}

// A replace that stopped half-way may leave the old file under the backup name
// only: put it back. Otherwise the backup is a spare copy of the old file.
void SettleBackup(const std::wstring& path) {
    const std::wstring backup = BackupPathFor(path);
    if (FileExists(path)) {
        ::DeleteFileW(backup.c_str());
    } else if (FileExists(backup)) {
        ::MoveFileExW(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
    }
}

// With no backup name, a replace that stops half-way leaves the old file deleted
// or under a name of the system's choosing; with one, it can always be put back.
bool ReplaceThroughBackup(const std::wstring& path, const std::wstring& temp) {
    SettleBackup(path);
    const bool replaced = ReplaceExistingFile(path, temp, BackupPathFor(path));
    const DWORD code = ::GetLastError();
    SettleBackup(path);
    ::SetLastError(code);
    return replaced;
}

void WriteTemporaryFile(const std::wstring& temp, const Bytes& content, DWORD attributes) {
    UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  attributes | FILE_FLAG_WRITE_THROUGH, nullptr));
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

bool ReplaceKeepingIdentity(const std::wstring& replaced, const std::wstring& replacement,
                            const std::wstring& backup) {
    // No REPLACEFILE_IGNORE_MERGE_ERRORS: a replace that cannot carry the old
    // file's security over fails rather than drop it.
    return ::ReplaceFileW(replaced.c_str(), replacement.c_str(), backup.c_str(), 0, nullptr,
                          nullptr) != FALSE;
}

bool MoveOverWithWriteThrough(const std::wstring& from, const std::wstring& to) {
    return ::MoveFileExW(from.c_str(), to.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

void ReplaceFileContents(const std::wstring& path, const Bytes& content) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    const bool existing =
        attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    // A read-only file is never replaced; the move refused it too.
    if (existing && (attributes & FILE_ATTRIBUTE_READONLY)) {
        RaiseWin32(ERROR_ACCESS_DENIED, path);
    }
    const std::wstring temp = TempPathFor(path);
    const DWORD kept = existing ? attributes & kKeptAttributes : 0;
    WriteTemporaryFile(temp, content, kept ? kept : FILE_ATTRIBUTE_NORMAL);

    if (existing) {
        const bool replaced =
            RetryWhileHeld([&] { return ReplaceThroughBackup(path, temp); }, true);
        const DWORD code = ::GetLastError();
        if (replaced) {
            return;
        }
        if (!CannotReplaceHere(code)) {
            ::DeleteFileW(temp.c_str());
            RaiseWin32(code, path);
        }
    }
    // A folder at the path is refused at once; anything else refused may be held for a moment.
    const bool folder =
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    const bool moved = RetryWhileHeld([&] { return MoveIntoPlace(temp, path); }, !folder);
    if (!moved) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(temp.c_str());
        RaiseWin32(code, path);
    }
}

std::optional<std::wstring> LoadPassword(std::int32_t key) {
    const std::wstring path = PasswordFilePath();
    // A replace that was cut short leaves its temporary file, which was never the
    // password, and may leave the old file under its backup name only.
    ::DeleteFileW(TempPathFor(path).c_str());
    SettleBackup(path);
    if (!FileExists(path)) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
            // No file means no password, also where the empty file cannot be made.
            CreateEmptyFileIfMissing(path);
            return std::nullopt;
        }
        RaiseWin32(code);
    }
    std::int32_t word = 0;
    const std::optional<LoadedPassword> loaded = TryLoadFromStored(ReadWholeFile(path), key, word);
    if (!loaded) {
        return std::nullopt;
    }
    std::wstring password = FromAnsi(loaded->password);
    if (loaded->growOk) {
        try {
            ReplaceFileContents(path, loaded->grown);
        } catch (const RuntimeError&) {
            // The password is read and the old file is still valid: log in as usual.
        }
    }
    return password;
}

void SavePassword(const std::wstring& password, std::int32_t key) {
    std::int32_t word = 0;
    ReplaceFileContents(PasswordFilePath(), StoredFormOf(ToAnsi(password), key, word));
}

}  // namespace gv
