// The password file on disk: loading at start-up and saving a new password.
// The file is never rewritten in place: each sequence builds the new stored
// bytes in memory and replaces the file in one step, under the file's lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "store/scramble.h"
#include "store/store_folder.h"

namespace gv {

// The executable's folder joined with "\grindvakt.dat".
std::wstring PasswordFilePath();

// The executable's folder, held from its first use until the run ends.
const StoreFolder& ProgramFolder();

// Reads the password with the given scramble key; the file is then written back
// three bytes longer. None when no password is stored: an empty or blank file, or
// a missing one, which is created empty. Raises an error when the file cannot be
// read or descrambled, or is refused (a link, another name, too large). A failure
// to write the grown file back is not an error: the old file stays valid.
std::optional<std::wstring> LoadPassword(const StoreFolder& folder, std::int32_t key);
std::optional<std::wstring> LoadPassword(std::int32_t key);

// Stores a new password scrambled with the given key. Raises an error, with the
// file untouched, when the password cannot be converted or stored, or the file
// cannot be replaced.
void SavePassword(const StoreFolder& folder, const std::wstring& password, std::int32_t key);
void SavePassword(const std::wstring& password, std::int32_t key);

}  // namespace gv
