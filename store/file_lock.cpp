// The lock that orders every pass over the folder's files among all runs on the machine.
#include "store/store_folder.h"

#include "core/errors.h"
#include "store/store_calls.h"

namespace gv {
namespace {

// How often a held lock is tried again while the wait lasts.
constexpr DWORD kLockPollMs = 25;

}  // namespace

FileLock::FileLock(const StoreFolder& folder) : file_(folder.OpenLockFile()) {
    const std::wstring path = folder.PathOf(kLockFileName);
    const ULONGLONG deadline = ::GetTickCount64() + FileLockWaitMs;
    for (;;) {
        // One byte past the end of the empty file: the lock needs no content.
        OVERLAPPED at{};
        if (calls::Made(FileCallKind::Lock, path, &::LockFileEx, file_.get(),
                        DWORD{LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY}, DWORD{0},
                        DWORD{1}, DWORD{0}, &at)) {
            return;
        }
        const DWORD code = ::GetLastError();
        if (code != ERROR_LOCK_VIOLATION && code != ERROR_IO_PENDING) {
            RaiseFileError(code, path);
        }
        if (::GetTickCount64() >= deadline) {
            Refuse(err::PermissionDenied, path, " (en annan körning av Grindvakt använder filen)");
        }
        ::Sleep(kLockPollMs);
    }
}

FileLock::~FileLock() {
    // Closing the handle lets go too, but not always at once.
    OVERLAPPED at{};
    ::UnlockFileEx(file_.get(), 0, 1, 0, &at);
}

}  // namespace gv
