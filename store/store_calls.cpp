#include "store/store_calls.h"

#include <algorithm>
#include <cstdint>
#include <vector>

// RtlGenRandom: advapi32's random bytes, without another DLL.
extern "C" BOOLEAN WINAPI SystemFunction036(PVOID buffer, ULONG length);

namespace gv::calls {
namespace {

constexpr std::size_t kRandomDigits = 16;

}  // namespace

bool Step(FileCallKind kind, const std::wstring& path, const wchar_t* target, MadeCall made) {
    FaultPlan& plan = StoreFaults;
    if (plan.record) {
        plan.record(kind, path.c_str(), target, made);
    }
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
            SECURITY_ATTRIBUTES* security) {
    if (!Step(disposition == OPEN_EXISTING ? FileCallKind::Open : FileCallKind::Create, path)) {
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(path.c_str(), access, share, security, disposition, flags, nullptr);
}

std::wstring FinalPathOf(HANDLE handle, const std::wstring& path) {
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        if (!Step(FileCallKind::Query, path)) {
            return {};
        }
        const DWORD n =
            ::GetFinalPathNameByHandleW(handle, final.data(), static_cast<DWORD>(final.size()), 0);
        if (n == 0) {
            return {};
        }
        if (n < final.size()) {
            final.resize(n);
            return final;
        }
        final.resize(n);
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

std::wstring FreshName(const std::wstring& name) {
    unsigned char random[kRandomDigits / 2];
    if (!Made(FileCallKind::Random, name, &::SystemFunction036, random, ULONG{sizeof random})) {
        RaiseFileError(::GetLastError() ? ::GetLastError() : ERROR_GEN_FAILURE, name);
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

void DeleteThrough(HANDLE file, const std::wstring& path) {
    FILE_DISPOSITION_INFO disposition{TRUE};
    Made(FileCallKind::Delete, path, &::SetFileInformationByHandle, file, FileDispositionInfo,
         &disposition, DWORD{sizeof disposition});
}

bool RenameOver(HANDLE file, const std::wstring& path, const std::wstring& target) {
    const std::size_t bytes = sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
    std::vector<std::uint64_t> buffer(bytes / sizeof(std::uint64_t) + 1);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    std::copy(target.begin(), target.end(), info->FileName);
    return Made(FileCallKind::Rename, path, target.c_str(), &::SetFileInformationByHandle, file,
                FileRenameInfo, info, static_cast<DWORD>(bytes)) != FALSE;
}

void WriteAll(HANDLE file, const std::wstring& path, const Bytes& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const auto chunk = static_cast<DWORD>(std::min(content.size() - done, kChunk));
        DWORD wrote = 0;
        if (!Made(FileCallKind::Write, path, &::WriteFile, file, content.data() + done, chunk,
                  &wrote, nullptr) ||
            wrote != chunk) {
            RaiseFileError(::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT, path);
        }
        done += wrote;
    }
    if (!Made(FileCallKind::Flush, path, &::FlushFileBuffers, file)) {
        RaiseFileError(::GetLastError(), path);
    }
}

}  // namespace gv::calls
