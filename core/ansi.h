// Conversions at the edges where text leaves the program as bytes: the password
// file and the registry use the system ANSI code page.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

namespace gv {

// One conversion for every code page; CP_ACP stands for the system's ANSI code page.
// Empty where a character has no exact form in the code page.
std::optional<std::string> ToCodePageExact(UINT codePage, std::wstring_view text);
// Characters without a form become the code page's default character.
std::string ToCodePage(UINT codePage, std::wstring_view text);
std::wstring FromCodePage(UINT codePage, std::string_view bytes);

inline std::optional<std::string> ToAnsiExact(std::wstring_view text) {
    return ToCodePageExact(CP_ACP, text);
}
inline std::string ToAnsi(std::wstring_view text) {
    return ToCodePage(CP_ACP, text);
}
inline std::wstring FromAnsi(std::string_view bytes) {
    return FromCodePage(CP_ACP, bytes);
}
inline std::string ToUtf8(std::wstring_view text) {
    return ToCodePage(CP_UTF8, text);
}
inline std::wstring FromUtf8(std::string_view bytes) {
    return FromCodePage(CP_UTF8, bytes);
}

// Every WideCharToMultiByte call goes through here, so tests can hold the calls to
// Windows' argument rules, which Wine does not enforce.
using WideToMultiByteCall = decltype(&::WideCharToMultiByte);
inline WideToMultiByteCall WideToMultiByte = &::WideCharToMultiByte;

}  // namespace gv
