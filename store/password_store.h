// The password file on disk: loading at start-up and saving a new password.
// The file is never rewritten in place: each sequence builds the new stored
// bytes in memory and replaces the file in one step.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/scramble.h"

namespace gv {

// The executable's folder joined with "\grindvakt.dat".
std::wstring PasswordFilePath();

// Reads the password with the given scramble key; the file is then written back
// three bytes longer. None when no password is stored: an empty or blank file, or
// a missing one, which is created empty. Raises an error when the file cannot be
// read or descrambled. A failure to write the grown file back is not an error:
// the old file stays valid.
std::optional<std::wstring> LoadPassword(std::int32_t key);

// Stores a new password scrambled with the given key. Raises an error, with the
// file untouched, when the password cannot be converted or stored, or the file
// cannot be replaced.
void SavePassword(const std::wstring& password, std::int32_t key);

// File primitives, each raising a numbered error that names the reason.
Bytes ReadWholeFile(const std::wstring& path);
// Writes path + ".ny", then puts it in the place of an existing file with its
// security, hidden and system attributes and streams kept (the old file is
// path + ".gammal" for a moment), or moves it into place where there is none.
void ReplaceFileContents(const std::wstring& path, const Bytes& content);

// The two steps that put the written file in place, each answering like its Win32
// call: false with the reason in GetLastError. Variables so tests can stand in a
// file system without ReplaceFileW, or a replace that stops half-way, which a
// local disk under Wine never shows.
using FileReplacer = bool (*)(const std::wstring& replaced, const std::wstring& replacement,
                              const std::wstring& backup);
using FileMover = bool (*)(const std::wstring& from, const std::wstring& to);
bool ReplaceKeepingIdentity(const std::wstring& replaced, const std::wstring& replacement,
                            const std::wstring& backup);
bool MoveOverWithWriteThrough(const std::wstring& from, const std::wstring& to);
inline FileReplacer ReplaceExistingFile = &ReplaceKeepingIdentity;
inline FileMover MoveIntoPlace = &MoveOverWithWriteThrough;

}  // namespace gv
