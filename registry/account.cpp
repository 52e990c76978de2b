#include "registry/account.h"

#include <sddl.h>
#include <wtsapi32.h>

#include <vector>

#include "core/platform.h"
#include "core/system_dll.h"
#include "registry/registry.h"

namespace gv {
namespace {

// wtsapi32 is no Known DLL: it is loaded from system32 at first use.
struct WtsApi {
    decltype(&::WTSQuerySessionInformationW) query;
    decltype(&::WTSFreeMemory) free;
};

const WtsApi& Wts() {
    static const WtsApi api{
        SystemFunction<decltype(&::WTSQuerySessionInformationW)>(L"wtsapi32.dll",
                                                                 "WTSQuerySessionInformationW"),
        SystemFunction<decltype(&::WTSFreeMemory)>(L"wtsapi32.dll", "WTSFreeMemory")};
    return api;
}

struct WtsMemoryTraits {
    using Handle = wchar_t*;
    static Handle Empty() noexcept { return nullptr; }
    static void Close(Handle h) noexcept { Wts().free(h); }
};

std::optional<std::wstring> StringSid(PSID sid) {
    UniqueLocal<wchar_t> text;
    if (!::ConvertSidToStringSidW(sid, text.put())) {
        return std::nullopt;
    }
    return std::wstring(text.get());
}

std::optional<std::wstring> SessionText(WTS_INFO_CLASS what) {
    Unique<WtsMemoryTraits> text;
    DWORD bytes = 0;
    if (!Wts().query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what, text.put(), &bytes) ||
        !text) {
        return std::nullopt;
    }
    return std::wstring(text.get());
}

}  // namespace

KeyLocation PolicyLocationFor(const SessionAccounts& accounts) {
    const auto& [process, desktop] = accounts;
    if (!process || !desktop || desktop->empty() || *process == *desktop) {
        return {HKEY_CURRENT_USER, kPolicyKey};
    }
    return {HKEY_USERS, *desktop + L"\\" + kPolicyKey};
}

std::optional<std::wstring> ProcessUserSid() {
    UniqueHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        return std::nullopt;
    }
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, buffer.data(), size, &size)) {
        return std::nullopt;
    }
    return StringSid(reinterpret_cast<const TOKEN_USER*>(buffer.data())->User.Sid);
}

// The session's own record of who signed in stays right when the process is
// elevated under another account, unlike the process token.
std::optional<std::wstring> DesktopUserSid() {
    const std::optional<std::wstring> user = SessionText(WTSUserName);
    const std::optional<std::wstring> domain = SessionText(WTSDomainName);
    if (!user || user->empty() || !domain) {
        return std::nullopt;
    }
    const std::wstring account = domain->empty() ? *user : *domain + L"\\" + *user;
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use = SidTypeUnknown;
    ::LookupAccountNameW(nullptr, account.c_str(), nullptr, &sidSize, nullptr, &domainSize, &use);
    if (sidSize == 0) {
        return std::nullopt;
    }
    std::vector<BYTE> sid(sidSize);
    std::vector<wchar_t> foundDomain(domainSize + 1);
    if (!::LookupAccountNameW(nullptr, account.c_str(), sid.data(), &sidSize, foundDomain.data(),
                              &domainSize, &use) ||
        use != SidTypeUser) {
        return std::nullopt;
    }
    return StringSid(sid.data());
}

SessionAccounts SessionAccountsFromSystem() {
    return {ProcessUserSid(), DesktopUserSid()};
}

}  // namespace gv
