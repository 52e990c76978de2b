#include "core/ansi.h"

#include <windows.h>

#include "core/checked.h"

namespace gv {
namespace {

int Length(std::size_t n) {
    return CheckedNarrow<int>(static_cast<std::int64_t>(n));
}

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

}  // namespace

std::optional<std::string> ToAnsiExact(std::wstring_view text) {
    if (text.empty()) {
        return std::string();
    }
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                        Length(text.size()), nullptr, 0, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) {
        return std::nullopt;
    }
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), Length(text.size()),
                          bytes.data(), n, nullptr, nullptr);
    // A round trip catches what the flag misses (unpaired surrogates, for one).
    if (FromAnsi(bytes) != text) {
        return std::nullopt;
    }
    return bytes;
}

std::string ToAnsi(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), Length(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), Length(text.size()), bytes.data(), n, nullptr,
                          nullptr);
    return bytes;
}

std::wstring FromAnsi(std::string_view bytes) {
    return FromCodePage(CP_ACP, bytes);
}

std::wstring FromUtf8(std::string_view text) {
    return FromCodePage(CP_UTF8, text);
}

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), Length(text.size()), nullptr, 0,
                                        nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), Length(text.size()), bytes.data(), n, nullptr,
                          nullptr);
    return bytes;
}

}  // namespace gv
