#include "store/file_error.h"

#include <aclapi.h>

#include "core/ansi.h"
#include "core/errors.h"
#include "core/platform.h"
#include "store/file_access.h"
#include "store/store_calls.h"

namespace gv {
namespace {

int ErrorNumberOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            return err::FileNotFound;
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DIRECTORY:
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

// Whether the file's own permissions refuse this run, as they refuse a run that is
// not elevated. Not even its permissions may be read by such a run, where only
// SYSTEM and administrators may use the file.
bool RefusedToThisRun(const std::wstring& path) {
    const UniqueFile file(::CreateFileW(path.c_str(), READ_CONTROL,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, calls::kOpenFlags, nullptr));
    if (!file) {
        return ::GetLastError() == ERROR_ACCESS_DENIED;
    }
    UniqueLocal<void> descriptor;
    return ::GetSecurityInfo(
               file.get(), SE_FILE_OBJECT,
               OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
               nullptr, nullptr, nullptr, nullptr, descriptor.put()) == ERROR_SUCCESS &&
           !GrantsReadWrite(descriptor.get());
}

}  // namespace

bool IsSharingError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
}

void Refuse(int number, const std::wstring& path, const char* reason) {
    throw RuntimeError(number, std::string(ErrorText(number)) + ": " + ToUtf8(path) + reason);
}

void RaiseFileError(DWORD code, const std::wstring& path) {
    const int number = ErrorNumberOf(code);
    std::string text = std::string(ErrorText(number)) + ": " + ToUtf8(path);
    if (IsSharingError(code)) {
        text += " (filen används av ett annat program)";
    } else if (code == ERROR_ACCESS_DENIED) {
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            const auto slash = path.find_last_of(L'\\');
            text += " (det finns en mapp som heter " + ToUtf8(path.substr(slash + 1)) + ")";
        } else if (attributes != INVALID_FILE_ATTRIBUTES &&
                   (attributes & FILE_ATTRIBUTE_READONLY)) {
            text += " (filen är skrivskyddad)";
        } else if (attributes != INVALID_FILE_ATTRIBUTES) {
            text += RefusedToThisRun(path) ? " (Grindvakt måste startas som administratör)"
                                           : " (filen används av ett annat program)";
        } else {
            text += " (mappen är skrivskyddad)";
        }
    }
    throw RuntimeError(number, text);
}

}  // namespace gv
