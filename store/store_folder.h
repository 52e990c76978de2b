// The program's own folder and the files in it: the one way the password store
// touches the disk. The folder is held open while the object lives, so nobody can
// rename or swap it meanwhile. Each file is opened by name once and checked on its
// handle (a plain file, one name, its final path in this folder) before a byte is
// read or written. A new file gets a fresh random name, is written through the
// handle that made it, and that handle is renamed over the old name. Nothing is
// deleted or moved by a name that was not made that way.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "store/file_error.h"
#include "store/scramble.h"

namespace gv {

// The password file grows by three bytes a start: 16 MiB is more than five
// million starts, and still a moment's work to read.
inline constexpr std::int64_t kMaxStoredFileSize = std::int64_t{16} << 20;

class StoreFolder {
  public:
    // Opens and holds the folder; raises a numbered error that names the reason.
    explicit StoreFolder(std::wstring path);

    const std::wstring& Path() const noexcept { return path_; }
    std::wstring PathOf(std::wstring_view name) const;

    // The whole file, after the checks and the size limit; none when it is missing.
    std::optional<Bytes> Read(std::wstring_view name) const;
    // An empty file where there is nothing of that name; never through a link.
    void CreateEmpty(std::wstring_view name) const;
    // Puts the content in the place of name, in one step that acts on the name and
    // never through it. The new file is born with the old one's DACL and its hidden
    // and system attributes; a read-only file is refused.
    void Replace(std::wstring_view name, const Bytes& content) const;
    // Deletes, through their own handles, the new files of runs that were ended
    // before they could put them in place. Only under the folder's lock.
    void RemoveLeftovers(std::wstring_view name) const;
    // The file the folder's lock is taken on, made where there is none, with the
    // DACL a new password file gets; never through a link, never deleted.
    UniqueFile OpenLockFile() const;

  private:
    // An empty file of that name with the birth DACL; the error where none was made.
    DWORD MakeNew(std::wstring_view name) const;
    // Also hands back what the checks read of the file, where asked.
    UniqueFile OpenChecked(std::wstring_view name, DWORD access, DWORD share,
                           BY_HANDLE_FILE_INFORMATION* read = nullptr) const;

    std::wstring path_;
    std::wstring final_;
    UniqueFile folder_;
};

inline constexpr wchar_t kLockFileName[] = L"grindvakt.lock";

// Orders every pass over the folder's files among all processes of the machine,
// in every session: a byte-range lock on the folder's lock file. Only those who
// may open that file (SYSTEM and administrators) can take or hold the lock, and a
// holder that ends lets go with its handle. A named object would be open to anyone
// who can work out its name and get there first.
class FileLock {
  public:
    explicit FileLock(const StoreFolder& folder);
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    ~FileLock();

  private:
    UniqueFile file_;
};
inline DWORD FileLockWaitMs = 10000;

// What a file-system call of the store does, for a test that records the calls.
enum class FileCallKind {
    Open,
    Create,
    Query,
    Random,
    Read,
    Write,
    Flush,
    Rename,
    Delete,
    Find,
    Lock
};
// The function a call made, for the calls the store makes through calls::Made;
// null for the others.
using MadeCall = void (*)();
// Is told each call: its kind, the file it acts on, a rename's new name and the
// function called. The test keeps what it records; the program pays only for the pointer.
using FileCallRecorder = void (*)(FileCallKind kind, const wchar_t* path, const wchar_t* target,
                                  MadeCall made);

// Stands in, for tests, for a disk that fails or a process that is killed: the
// file-system call number `at` (counted in `calls` while `at` is set) fails with
// `error`, or ends the process with kKilledExitCode where `error` is 0. Each call
// goes to `record` where a test set it.
struct FaultPlan {
    unsigned calls = 0;
    unsigned at = 0;
    DWORD error = ERROR_SUCCESS;
    FileCallRecorder record = nullptr;
};
inline FaultPlan StoreFaults;
inline constexpr UINT kKilledExitCode = 86;

}  // namespace gv
