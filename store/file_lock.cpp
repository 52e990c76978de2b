// The lock that orders every pass over one file among the runs of a session.
#include "store/store_folder.h"

#include "core/errors.h"
#include "store/store_calls.h"

namespace gv {

std::wstring StoreFolder::LockName(std::wstring_view name) const {
    std::wstring key = calls::Joined(final_, name);
    ::CharUpperBuffW(key.data(), static_cast<DWORD>(key.size()));
    std::uint64_t hash = 14695981039346656037ULL;  // FNV-1a
    for (const wchar_t c : key) {
        hash = (hash ^ static_cast<std::uint16_t>(c)) * 1099511628211ULL;
    }
    std::wstring text = L"Local\\grindvakt-";
    for (int shift = 60; shift >= 0; shift -= 4) {
        text += L"0123456789abcdef"[(hash >> shift) & 15];
    }
    return text;
}

FileLock::FileLock(const StoreFolder& folder, std::wstring_view name)
    : mutex_(::CreateMutexW(nullptr, FALSE, folder.LockName(name).c_str())) {
    if (!mutex_) {
        RaiseFileError(::GetLastError());
    }
    switch (::WaitForSingleObject(mutex_.get(), FileLockWaitMs)) {
        case WAIT_OBJECT_0:
        case WAIT_ABANDONED:  // its holder was ended; what it left is undone under the lock
            return;
        case WAIT_TIMEOUT:
            Refuse(err::PermissionDenied, " (en annan körning av Grindvakt använder filen)");
        default:
            RaiseFileError(::GetLastError());
    }
}

FileLock::~FileLock() {
    ::ReleaseMutex(mutex_.get());
}

}  // namespace gv
