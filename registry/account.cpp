#include "registry/account.h"

#include <lmcons.h>
#include <sddl.h>
#include <wtsapi32.h>

#include "core/platform.h"
#include "core/process.h"
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

bool SameText(const wchar_t* a, const std::wstring& b) {
    return ::CompareStringOrdinal(a, -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

std::wstring StringSid(PSID sid) {
    UniqueLocal<wchar_t> text;
    return ::ConvertSidToStringSidW(sid, text.put()) ? text.get() : L"";
}

// The names Windows keeps in a loaded hive at logon; only that user and
// administrators can change them. False where the hive has none.
struct LogonBuffers {
    wchar_t user[256] = {};
    wchar_t domain[256] = {};
};
bool ReadLogonNames(const wchar_t* sid, LogonBuffers& names) {
    UniqueKey hive;
    DWORD userBytes = sizeof names.user;
    DWORD domainBytes = sizeof names.domain;
    return ::RegOpenKeyExW(HKEY_USERS, sid, 0, KEY_QUERY_VALUE, hive.put()) == ERROR_SUCCESS &&
           ::RegGetValueW(hive.get(), L"Volatile Environment", L"USERNAME", RRF_RT_REG_SZ, nullptr,
                          names.user, &userBytes) == ERROR_SUCCESS &&
           ::RegGetValueW(hive.get(), L"Volatile Environment", L"USERDOMAIN", RRF_RT_REG_SZ,
                          nullptr, names.domain, &domainBytes) == ERROR_SUCCESS;
}

std::wstring SessionText(WTS_INFO_CLASS what) {
    Unique<WtsMemoryTraits> text;
    DWORD bytes = 0;
    if (!Wts().query(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION, what, text.put(), &bytes) ||
        !text) {
        return L"";
    }
    return text.get();
}

// Asks the domain for a domain account, which it may not reach.
std::wstring SidNamed(const AccountName& name) {
    if (name.user.empty()) {
        return L"";
    }
    const std::wstring account = name.domain.empty() ? name.user : name.domain + L"\\" + name.user;
    BYTE sid[SECURITY_MAX_SID_SIZE] = {};
    wchar_t domain[256] = {};
    DWORD sidSize = sizeof sid;
    DWORD domainSize = 256;
    SID_NAME_USE use = SidTypeUnknown;
    return ::LookupAccountNameW(nullptr, account.c_str(), sid, &sidSize, domain, &domainSize,
                                &use) &&
                   use == SidTypeUser
               ? StringSid(sid)
               : L"";
}

// The user of the desktop shell's process, which is the signed-in user's; none
// without a shell or where its token is not ours to read.
std::wstring ShellUserSid(const AccountName& /*session*/) {
    const UniqueHandle token = ShellProcessToken(TOKEN_QUERY);
    return token ? TokenUserSid(token.get()) : L"";
}

}  // namespace

std::wstring HiveNamed(const AccountName& name) {
    std::wstring found;
    wchar_t key[256] = {};
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;  // a key's name has at most 255 characters
        if (::RegEnumKeyExW(HKEY_USERS, i, key, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            return found;
        }
        LogonBuffers names;  // none under ".Default" and "_Classes"
        if (!ReadLogonNames(key, names) || !SameText(names.user, name.user) ||
            !SameText(names.domain, name.domain)) {
            continue;
        }
        if (!found.empty()) {
            return L"";  // two hives with one name: neither is sure
        }
        found = key;
    }
}

std::optional<std::wstring> AgreedSid(const std::array<std::wstring, kWays>& ways) {
    std::wstring agreed;
    for (const std::wstring& way : ways) {
        if (!way.empty() && !agreed.empty() && agreed != way) {
            return std::nullopt;  // the ways disagree: guess none of them
        }
        if (!way.empty()) {
            agreed = way;
        }
    }
    return agreed;
}

KeyLocation PolicyLocationFor(const SessionAccounts& accounts) {
    const auto& [process, processUser, elevated, session, ways] = accounts;
    const std::optional<std::wstring> desktop = AgreedSid(ways);
    if (!desktop) {
        return {};
    }
    if (desktop->empty() || *desktop == process) {
        // With no way to tell, HKCU is still theirs where the process lacks the
        // rights that an administrator's credentials would have given it.
        if (desktop->empty() && elevated) {
            return {};
        }
        return {HKEY_CURRENT_USER, kPolicyKey, processUser};
    }
    // Named as the session has it, told apart from the process's own where they share a name.
    KeyLocation at{HKEY_USERS, *desktop + L'\\' + kPolicyKey,
                   session.user.empty() ? *desktop : session.user};
    if (SameText(processUser.c_str(), session.user)) {
        at.account = session.domain + L'\\' + session.user;
    }
    return at;
}

SessionAccounts SessionAccountsFromSystem() {
    SessionAccounts accounts;
    UniqueHandle token;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) {
        accounts.process = TokenUserSid(token.get());
    }
    // Rights that cannot be read count as an administrator's.
    accounts.elevated =
        !token ||
        !::GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) ||
        elevation.TokenIsElevated != 0;
    wchar_t user[UNLEN + 1] = {};
    size = UNLEN + 1;
    ::GetUserNameW(user, &size);
    accounts.processUser = user;
    // The session's own record of who signed in stays right when the process is
    // elevated under another account, unlike the process token.
    accounts.session.user = SessionText(WTSUserName);
    accounts.session.domain = SessionText(WTSDomainName);
    constexpr std::wstring (*kFind[kWays])(const AccountName&) = {ShellUserSid, HiveNamed,
                                                                  SidNamed};
    for (int way = 0; way < kWays; ++way) {
        accounts.desktop[way] = kFind[way](accounts.session);
    }
    return accounts;
}

}  // namespace gv
