#include "store/file_access.h"

#include <sddl.h>

#include "store/file_error.h"

namespace gv {
namespace {

bool IsChosenDacl(PSECURITY_DESCRIPTOR descriptor) {
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!descriptor || !::GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        return false;
    }
    // No DACL, or a NULL one, lets everyone do anything: nobody's choice to keep,
    // protected or not.
    if (!present || !dacl) {
        return false;
    }
    if (control & SE_DACL_PROTECTED) {
        return true;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (::GetAce(dacl, i, &ace) && !(static_cast<ACE_HEADER*>(ace)->AceFlags & INHERITED_ACE)) {
            return true;
        }
    }
    return false;
}

}  // namespace

UniqueLocal<void> BirthDescriptor(UniqueLocal<void> old, const std::wstring& path) {
    if (IsChosenDacl(old.get())) {
        return old;
    }
    UniqueLocal<void> descriptor;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1, descriptor.put(), nullptr)) {
        RaiseFileError(::GetLastError(), path);
    }
    return descriptor;
}

bool GrantsReadWrite(PSECURITY_DESCRIPTOR descriptor) {
    HANDLE raw = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY, &raw)) {
        return true;
    }
    const UniqueHandle process(raw);
    // AccessCheck asks for an impersonation token.
    if (!::DuplicateToken(process.get(), SecurityIdentification, &raw)) {
        return true;
    }
    const UniqueHandle token(raw);
    GENERIC_MAPPING mapping{FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                            FILE_ALL_ACCESS};
    DWORD wanted = GENERIC_READ | GENERIC_WRITE;
    ::MapGenericMask(&wanted, &mapping);
    PRIVILEGE_SET privileges{};
    DWORD size = sizeof privileges, granted = 0;
    BOOL status = FALSE;
    return !::AccessCheck(descriptor, token.get(), wanted, &mapping, &privileges, &size, &granted,
                          &status) ||
           status;
}

}  // namespace gv
