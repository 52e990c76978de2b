// One registry value read as text, the way the About window finds the System
// Information tool.
#pragma once

#include <windows.h>

#include <string>

namespace gv::Registry {

// Reads a REG_SZ, REG_EXPAND_SZ (expanded) or REG_DWORD (as decimal digits)
// through the ANSI calls, asking for read rights only. False, with text emptied,
// when the key or value cannot be read or holds over 1024 bytes; true, with text
// untouched, for a value of another type. Zero-size data raises error 5.
bool ReadValueText(HKEY root, const std::wstring& keyName, const std::wstring& valueName,
                   std::wstring& text);

}  // namespace gv::Registry
