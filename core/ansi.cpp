#include "core/ansi.h"

#include "core/checked.h"

namespace gv {
namespace {

int Length(std::size_t n) {
    return CheckedNarrow<int>(static_cast<std::int64_t>(n));
}

// Code pages where WideCharToMultiByte takes no flags but WC_ERR_INVALID_CHARS
// (UTF-8, GB18030) or none at all, and no default character: there the call
// fails on WC_NO_BEST_FIT_CHARS or a used-default pointer.
bool RefusesMappingFlags(UINT codePage) {
    return codePage == 42 || (codePage >= 50220 && codePage <= 50229) || codePage == 52936 ||
           codePage == 54936 || (codePage >= 57002 && codePage <= 57011) || codePage == CP_UTF7 ||
           codePage == CP_UTF8;
}

int Encode(UINT codePage, DWORD flags, std::wstring_view text, char* bytes, int size,
           BOOL* usedDefault) {
    return WideToMultiByte(codePage, flags, text.data(), Length(text.size()), bytes, size, nullptr,
                           usedDefault);
}

}  // namespace

std::wstring FromCodePage(UINT codePage, std::string_view bytes) {
    if (bytes.empty()) {
        return {};
    }
    const int n =
        ::MultiByteToWideChar(codePage, 0, bytes.data(), Length(bytes.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), Length(bytes.size()), text.data(), n);
    return text;
}

std::optional<std::string> ToCodePageExact(UINT codePage, std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    // The rules depend on the real code page, also where CP_ACP names it.
    const UINT page = codePage == CP_ACP ? ::GetACP() : codePage;
    BOOL usedDefault = FALSE;
    BOOL* reportDefault = &usedDefault;
    DWORD flags = WC_NO_BEST_FIT_CHARS;
    if (RefusesMappingFlags(page)) {
        reportDefault = nullptr;
        flags = page == CP_UTF8 || page == 54936 ? WC_ERR_INVALID_CHARS : 0;
    }
    const int n = Encode(page, flags, text, nullptr, 0, reportDefault);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(n), '\0');
    if (Encode(page, flags, text, bytes.data(), n, nullptr) != n) {
        return std::nullopt;
    }
    // A round trip catches what the flags miss: unpaired surrogates, and every
    // character without a form where no flag may report it.
    if (FromCodePage(page, bytes) != text) {
        return std::nullopt;
    }
    return bytes;
}

std::string ToCodePage(UINT codePage, std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int n = Encode(codePage, 0, text, nullptr, 0, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    Encode(codePage, 0, text, bytes.data(), n, nullptr);
    return bytes;
}

}  // namespace gv
