// The password file on disk: loading at start-up and saving a new password.
// The file is never rewritten in place: each sequence builds the new stored
// bytes in memory and replaces the file in one step.
#pragma once

#include <string>

#include "store/scramble.h"

namespace gv {

// The executable's folder joined with "\grindvakt.dat".
std::wstring PasswordFilePath();

// Reads the file and sets StoredPassword (and filePassword); the file is then
// written back three bytes longer. Raises error 62 when no password is stored
// (an empty or missing file) and another error when the file cannot be read.
// A failure to write the grown file back is not an error: the old file stays valid.
void LoadPassword(std::wstring& filePassword);

// Stores a new password. Raises an error, with the file untouched, when the
// password cannot be converted or stored, or the file cannot be replaced.
void SavePassword(const std::wstring& password);

// File primitives, each raising a numbered error that names the reason.
Bytes ReadWholeFile(const std::wstring& path);
void ReplaceFileContents(const std::wstring& path, const Bytes& content);

}  // namespace gv
