// Conversions at the edges where text leaves the program as bytes: the password
// file and the registry use the system ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace gv {

// Empty where a character has no exact form in the ANSI code page.
std::optional<std::string> ToAnsiExact(std::wstring_view text);
// Characters without an ANSI form become the code page's default character.
std::string ToAnsi(std::wstring_view text);
std::wstring FromAnsi(std::string_view bytes);
std::wstring FromUtf8(std::string_view text);
std::string ToUtf8(std::wstring_view text);

}  // namespace gv
