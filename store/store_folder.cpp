#include "store/store_folder.h"

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <vector>

#include "core/ansi.h"
#include "core/errors.h"

// RtlGenRandom: advapi32's random bytes, without another DLL.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace gv {
namespace {

constexpr int kSharingRetries = 5;
constexpr DWORD kSharingRetryDelayMs = 40;
constexpr int kFreshNameAttempts = 8;
constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr wchar_t kLeftoverSuffix[] = L".tmp";
constexpr std::size_t kRandomDigits = 16;

// Links are never followed into: the link itself is opened. A handle that leads
// to a pipe server must not let it act as this (elevated) process.
constexpr DWORD kOpenFlags =
    FILE_FLAG_OPEN_REPARSE_POINT | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

// The attributes a caretaker protects the file with; the new file is born with them.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Every file-system call passes here first, so a test can fail it or end the run at it.
bool Step() {
    FaultPlan& plan = StoreFaults;
    if (plan.at == 0 || ++plan.calls != plan.at) {
        return true;
    }
    if (plan.error == ERROR_SUCCESS) {
        ::TerminateProcess(::GetCurrentProcess(), kKilledExitCode);
    }
    ::SetLastError(plan.error);
    return false;
}

HANDLE Open(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags,
            SECURITY_ATTRIBUTES* security = nullptr) {
    if (!Step()) {
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(path.c_str(), access, share, security, disposition, flags, nullptr);
}

bool IsSharingError(DWORD code) {
    return code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION;
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

[[noreturn]] void Refuse(int number, const char* reason) {
    throw RuntimeError(number, std::string(ErrorText(number)) + reason);
}

std::wstring FinalPathOf(HANDLE handle) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        if (!Step()) {
            return {};
        }
        const DWORD n =
            ::GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), 0);
        if (n == 0) {
            return {};
        }
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(n);
    }
}

std::wstring Joined(const std::wstring& folder, std::wstring_view name) {
    std::wstring path = folder;
    if (!path.empty() && path.back() != L'\\') {
        path += L'\\';
    }
    return path + std::wstring(name);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(),
                                  static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FreshName(std::wstring_view name) {
    unsigned char random[kRandomDigits / 2];
    if (!Step() || !::SystemFunction036(random, sizeof random)) {
        RaiseFileError(::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE);
    }
    constexpr wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring fresh(name);
    fresh += L'.';
    for (const unsigned char b : random) {
        fresh += kDigits[b >> 4];
        fresh += kDigits[b & 15];
    }
    return fresh + kLeftoverSuffix;
}

bool IsFreshNameOf(std::wstring_view candidate, std::wstring_view name) {
    const std::wstring_view suffix = kLeftoverSuffix;
    if (candidate.size() != name.size() + 1 + kRandomDigits + suffix.size() ||
        candidate.substr(0, name.size()) != name || candidate[name.size()] != L'.' ||
        candidate.substr(candidate.size() - suffix.size()) != suffix) {
        return false;
    }
    const std::wstring_view digits = candidate.substr(name.size() + 1, kRandomDigits);
    return std::all_of(digits.begin(), digits.end(), [](wchar_t c) {
        return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f');
    });
}

// Marks a file this run made for deletion through its own handle; it goes with the handle.
void DeleteThrough(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (Step()) {
        ::SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition);
    }
}

bool RenameOver(HANDLE file, const std::wstring& target) {
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::vector<std::uint64_t> buffer(bytes / sizeof(std::uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    return Step() && ::SetFileInformationByHandle(file, FileRenameInfo, info,
                                                  static_cast<DWORD>(bytes)) != FALSE;
}

void WriteAll(HANDLE file, const Bytes& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const auto chunk = static_cast<DWORD>(std::min(content.size() - done, kChunk));
        DWORD wrote = 0;
        if (!Step() || !::WriteFile(file, content.data() + done, chunk, &wrote, nullptr) ||
            wrote != chunk) {
            RaiseFileError(::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT);
        }
        done += wrote;
    }
    if (!Step() || !::FlushFileBuffers(file)) {
        RaiseFileError(::GetLastError());
    }
}

}  // namespace

void RaiseFileError(DWORD code, const std::wstring& path) {
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

StoreFolder::StoreFolder(std::wstring path) : path_(std::move(path)) {
    // Traversal is data access, so the share mode binds: without FILE_SHARE_DELETE
    // nobody can rename or delete the folder while it is held.
    folder_.reset(Open(path_, FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS));
    if (!folder_) {
        RaiseFileError(::GetLastError(), path_);
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Step() || !::GetFileInformationByHandle(folder_.get(), &info)) {
        RaiseFileError(::GetLastError(), path_);
    }
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RaiseFileError(ERROR_DIRECTORY, path_);
    }
    final_ = FinalPathOf(folder_.get());
    if (final_.empty()) {
        RaiseFileError(::GetLastError(), path_);
    }
}

std::wstring StoreFolder::PathOf(std::wstring_view name) const {
    return Joined(path_, name);
}

UniqueFile StoreFolder::OpenChecked(std::wstring_view name, DWORD access, DWORD share,
                                    BY_HANDLE_FILE_INFORMATION* read) const {
    const std::wstring path = PathOf(name);
    auto open = [&](DWORD flags) {
        return RetryWhileHeld(
            [&] { return UniqueFile(Open(path, access, share, OPEN_EXISTING, flags)); }, false);
    };
    UniqueFile file = open(kOpenFlags);
    if (!file) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND) {
            return file;
        }
        RaiseFileError(code, path);
    }
    FILE_ATTRIBUTE_TAG_INFO tag{};
    if (!Step() ||
        !::GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
        RaiseFileError(::GetLastError(), path);
    }
    if (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (IsReparseTagNameSurrogate(tag.ReparseTag)) {
            Refuse(err::PermissionDenied, " (filen är en länk till en annan plats)");
        }
        // Other reparse points, such as those OneDrive keeps its files as, are
        // opened as usual; the checks below still hold them to this folder.
        file = open(kOpenFlags & ~DWORD{FILE_FLAG_OPEN_REPARSE_POINT});
        if (!file) {
            RaiseFileError(::GetLastError(), path);
        }
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!Step() || !::GetFileInformationByHandle(file.get(), &info)) {
        RaiseFileError(::GetLastError(), path);
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RaiseFileError(ERROR_ACCESS_DENIED, path);
    }
    if (info.nNumberOfLinks != 1) {
        Refuse(err::PermissionDenied, " (filen har fler än ett namn: en hård länk)");
    }
    const std::wstring final = FinalPathOf(file.get());
    if (final.empty()) {
        RaiseFileError(::GetLastError(), path);
    }
    if (!SameName(final, Joined(final_, name))) {
        Refuse(err::PermissionDenied, " (filen är en länk till en annan plats)");
    }
    if (read) {
        *read = info;
    }
    return file;
}

std::optional<Bytes> StoreFolder::Read(std::wstring_view name) const {
    const UniqueFile file = OpenChecked(name, GENERIC_READ, FILE_SHARE_READ);
    if (!file) {
        return std::nullopt;
    }
    LARGE_INTEGER size{};
    if (!Step() || !::GetFileSizeEx(file.get(), &size)) {
        RaiseFileError(::GetLastError());
    }
    if (size.QuadPart > kMaxStoredFileSize) {
        Refuse(err::PathFileAccess,
               " (filen är större än 16 MiB och kan inte vara en lösenordsfil)");
    }
    Bytes content(static_cast<std::size_t>(size.QuadPart));
    std::size_t done = 0;
    while (done < content.size()) {
        const auto chunk = static_cast<DWORD>(std::min(content.size() - done, kChunk));
        DWORD got = 0;
        if (!Step() || !::ReadFile(file.get(), content.data() + done, chunk, &got, nullptr)) {
            RaiseFileError(::GetLastError());
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    content.resize(done);
    return content;
}

void StoreFolder::CreateEmpty(std::wstring_view name) const {
    // Where it cannot be made, the next save makes the file.
    const UniqueFile created(
        Open(PathOf(name), GENERIC_WRITE, 0, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | kOpenFlags));
}

void StoreFolder::Replace(std::wstring_view name, const Bytes& content) const {
    const std::wstring path = PathOf(name);
    DWORD kept = 0;
    UniqueLocal<void> descriptor;
    SECURITY_ATTRIBUTES security{sizeof security, nullptr, FALSE};
    {
        BY_HANDLE_FILE_INFORMATION info{};
        const UniqueFile old = OpenChecked(name, READ_CONTROL | FILE_READ_ATTRIBUTES,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, &info);
        if (old) {
            if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
                RaiseFileError(ERROR_ACCESS_DENIED, path);
            }
            kept = info.dwFileAttributes & kKeptAttributes;
            // The new file is born with the old one's permissions, so a protected
            // password is never readable by others in between.
            PACL dacl = nullptr;
            const DWORD code =
                Step() ? ::GetSecurityInfo(old.get(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                           nullptr, nullptr, &dacl, nullptr, descriptor.put())
                       : ::GetLastError();
            if (code != ERROR_SUCCESS) {
                RaiseFileError(code, path);
            }
            security.lpSecurityDescriptor = descriptor.get();
        }
    }

    UniqueFile fresh;
    for (int attempt = 0; !fresh && attempt < kFreshNameAttempts; ++attempt) {
        fresh.reset(Open(PathOf(FreshName(name)), GENERIC_WRITE | DELETE, 0, CREATE_NEW,
                         (kept ? kept : FILE_ATTRIBUTE_NORMAL) | kOpenFlags, &security));
        if (!fresh && ::GetLastError() != ERROR_FILE_EXISTS) {
            break;
        }
    }
    if (!fresh) {
        RaiseFileError(::GetLastError(), path);
    }
    try {
        WriteAll(fresh.get(), content);
        if (!RetryWhileHeld([&] { return RenameOver(fresh.get(), Joined(final_, name)); }, true)) {
            RaiseFileError(::GetLastError(), path);
        }
    } catch (const RuntimeError&) {
        DeleteThrough(fresh.get());
        throw;
    }
}

void StoreFolder::RemoveLeftovers(std::wstring_view name) const {
    WIN32_FIND_DATAW found{};
    const std::wstring pattern = PathOf(std::wstring(name) + L".*" + kLeftoverSuffix);
    UniqueFind find(Step() ? ::FindFirstFileW(pattern.c_str(), &found) : INVALID_HANDLE_VALUE);
    for (bool more = bool(find); more; more = Step() && ::FindNextFileW(find.get(), &found)) {
        if (!IsFreshNameOf(found.cFileName, name)) {
            continue;
        }
        try {
            const UniqueFile leftover =
                OpenChecked(found.cFileName, DELETE | FILE_READ_ATTRIBUTES, 0);
            if (leftover) {
                DeleteThrough(leftover.get());
            }
        } catch (const RuntimeError&) {
            // Not one of ours as it stands (a link, another name, held): leave it.
        }
    }
}

std::wstring StoreFolder::LockName(std::wstring_view name) const {
    std::wstring key = Joined(final_, name);
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
