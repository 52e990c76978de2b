// The held folder and the checked open, read and replace of its files.
#include "store/store_folder.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <utility>

#include "core/errors.h"
#include "store/file_access.h"
#include "store/store_calls.h"

namespace gv {
namespace {

constexpr int kFreshNameAttempts = 8;

// The attributes a caretaker protects the file with; the new file is born with them.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

}  // namespace

StoreFolder::StoreFolder(std::wstring path) : path_(std::move(path)) {
    // Traversal is data access, so the share mode binds: without FILE_SHARE_DELETE
    // nobody can rename or delete the folder while it is held.
    folder_.reset(calls::Open(path_, FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS));
    if (!folder_) {
        RaiseFileError(::GetLastError(), path_);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls::Made(FileCallKind::Query, path_, &::GetFileInformationByHandle, folder_.get(),
                     &info)) {
        RaiseFileError(::GetLastError(), path_);
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RaiseFileError(ERROR_DIRECTORY, path_);
    }
    final_ = calls::FinalPathOf(folder_.get(), path_);
    if (final_.empty()) {
        RaiseFileError(::GetLastError(), path_);
    }
}

std::wstring StoreFolder::PathOf(std::wstring_view name) const {
    return calls::Joined(path_, name);
}

UniqueFile StoreFolder::OpenChecked(std::wstring_view name, DWORD access, DWORD share,
                                    BY_HANDLE_FILE_INFORMATION* read) const {
    const std::wstring path = PathOf(name);
    auto open = [&](DWORD flags) {
        return calls::RetryWhileHeld(
            [&] { return UniqueFile(calls::Open(path, access, share, OPEN_EXISTING, flags)); },
            false);
    };
    UniqueFile file = open(calls::kOpenFlags);
    if (!file) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return file;
        }
        RaiseFileError(code, path);
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!calls::Made(FileCallKind::Query, path, &::GetFileInformationByHandleEx, file.get(),
                     FileAttributeTagInfo, &tag, DWORD{sizeof tag})) {
        RaiseFileError(::GetLastError(), path);
    }
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (IsReparseTagNameSurrogate(tag.ReparseTag)) {
            Refuse(err::PermissionDenied, path, " (filen är en länk till en annan plats)");
        }
        // Other reparse points, such as those OneDrive keeps its files as, are
        // opened as usual; the checks below still hold them to this folder.
        file = open(calls::kOpenFlags & ~DWORD{FILE_FLAG_OPEN_REPARSE_POINT});
        if (!file) {
            RaiseFileError(::GetLastError(), path);
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!calls::Made(FileCallKind::Query, path, &::GetFileInformationByHandle, file.get(), &info)) {
        RaiseFileError(::GetLastError(), path);
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RaiseFileError(ERROR_ACCESS_DENIED, path);
    }
    if (info.nNumberOfLinks != 1) {
        Refuse(err::PermissionDenied, path, " (filen har fler än ett namn: en hård länk)");
    }
    const std::wstring final = calls::FinalPathOf(file.get(), path);
    if (final.empty()) {
        RaiseFileError(::GetLastError(), path);
    }
    if (!calls::SameName(final, calls::Joined(final_, name))) {
        Refuse(err::PermissionDenied, path, " (filen är en länk till en annan plats)");
    }
    if (read) {
        *read = info;
    }
    return file;
}

std::optional<Bytes> StoreFolder::Read(std::wstring_view name) const {
    const UniqueFile file = OpenChecked(name, GENERIC_READ, FILE_SHARE_READ);
    const std::wstring path = PathOf(name);
    if (!file) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!calls::Made(FileCallKind::Query, path, &::GetFileSizeEx, file.get(), &size)) {
        RaiseFileError(::GetLastError(), path);
    }
    if (size.QuadPart > kMaxStoredFileSize) {
        Refuse(err::PathFileAccess, path,
               " (filen är större än 16 MiB och kan inte vara en lösenordsfil)");
    }
    Bytes content(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < content.size()) {
        const auto chunk = static_cast<DWORD>(std::min(content.size() - done, calls::kChunk));
        DWORD got = 0;
        if (!calls::Made(FileCallKind::Read, path, &::ReadFile, file.get(), content.data() + done,
                         chunk, &got, nullptr)) {
            RaiseFileError(::GetLastError(), path);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    content.resize(done);
    return content;
}

DWORD StoreFolder::MakeNew(std::wstring_view name) const {
    const std::wstring path = PathOf(name);
    const UniqueLocal<void> descriptor = BirthDescriptor({}, path);
    SECURITY_ATTRIBUTES security{sizeof security, descriptor.get(), FALSE};
    const UniqueFile made(calls::Open(path, GENERIC_WRITE, 0, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | calls::kOpenFlags, &security));
    return made ? ERROR_SUCCESS : ::GetLastError();
}

void StoreFolder::CreateEmpty(std::wstring_view name) const {
    // Where it cannot be made, the next save makes the file.
    (void)MakeNew(name);
}

UniqueFile StoreFolder::OpenLockFile() const {
    const std::wstring path = PathOf(kLockFileName);
    // Opened by every run at once; nobody may delete or rename it meanwhile.
    constexpr DWORD kShare = FILE_SHARE_READ | FILE_SHARE_WRITE;
    UniqueFile file = OpenChecked(kLockFileName, GENERIC_READ, kShare);
    if (!file) {
        // Another run may make it first; either way it is opened as found.
        const DWORD code = MakeNew(kLockFileName);
        if (code != ERROR_SUCCESS && code != ERROR_FILE_EXISTS) {
            RaiseFileError(code, path);
        }
        file = OpenChecked(kLockFileName, GENERIC_READ, kShare);
    }
    if (!file) {
        RaiseFileError(ERROR_FILE_NOT_FOUND, path);
    }
    return file;
}

void StoreFolder::Replace(std::wstring_view name, const Bytes& content) const {
    const std::wstring path = PathOf(name);
    DWORD kept = 0;
    UniqueLocal<void> descriptor;
    {
        BY_HANDLE_FILE_INFORMATION info{};
        const UniqueFile old = OpenChecked(name, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &info);
        if (old) {
            if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                RaiseFileError(ERROR_ACCESS_DENIED, path);
            }
            kept = info.dwFileAttributes & kKeptAttributes;
            // The new file is born with the old one's chosen permissions, so a
            // protected password is never readable by others in between.
            PACL dacl = nullptr;
            const DWORD code =
                calls::Step(FileCallKind::Query, path)
                    ? ::GetSecurityInfo(old.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &dacl, nullptr, descriptor.put())
                    : ::GetLastError();
            if (code != ERROR_SUCCESS) {
                RaiseFileError(code, path);
            }
        }
    }
    const UniqueLocal<void> birth = BirthDescriptor(std::move(descriptor), path);
    SECURITY_ATTRIBUTES security{sizeof security, birth.get(), FALSE};

    UniqueFile fresh;
    std::wstring helper;
    for (int attempt = 0; !fresh && attempt < kFreshNameAttempts; ++attempt) {
        helper = calls::FreshName(path);
        fresh.reset(calls::Open(helper, GENERIC_WRITE | DELETE, 0, CREATE_NEW,
                                (kept ? kept : FILE_ATTRIBUTE_NORMAL) | calls::kOpenFlags,
                                &security));
        if (!fresh && ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (!fresh) {
        RaiseFileError(::GetLastError(), path);
    }
    try {
        calls::WriteAll(fresh.get(), helper, content);
        const std::wstring target = calls::Joined(final_, name);
        if (!calls::RetryWhileHeld([&] { return calls::RenameOver(fresh.get(), helper, target); },
                                   true)) {
            RaiseFileError(::GetLastError(), path);
        }
    } catch (const RuntimeError&) {
        calls::DeleteThrough(fresh.get(), helper);
        throw;
    }
}

void StoreFolder::RemoveLeftovers(std::wstring_view name) const {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = PathOf(std::wstring(name) + L".*" + calls::kLeftoverSuffix);
    UniqueFind find(calls::Step(FileCallKind::Find, pattern)
                        ? ::FindFirstFileW(pattern.c_str(), &found)
                        : INVALID_HANDLE_VALUE);
    for (bool more = bool(find); more;
         more = calls::Made(FileCallKind::Find, pattern, &::FindNextFileW, find.get(), &found)) {
        if (!calls::IsFreshNameOf(found.cFileName, name)) {
            continue;
        }
        try {
            const UniqueFile leftover =
                OpenChecked(found.cFileName, DELETE | FILE_READ_ATTRIBUTES, 0);
            if (leftover) {
                calls::DeleteThrough(leftover.get(), PathOf(found.cFileName));
            }
        } catch (const RuntimeError&) {
            // Not one of ours as it stands (a link, another name, held): leave it.
        }
    }
}

}  // namespace gv
