// The password file's content: one line of ANSI text, kept in scrambled form.
// Everything here works on bytes in memory; reading and replacing the file on
// disk is the platform side's job.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "store/scramble.h"

namespace gv {

inline constexpr wchar_t kPasswordFileName[] = L"grindvakt.dat";

// The stored form of a password just saved: its line plus CR LF, scrambled.
// Raises error 6 when a step overflows.
Bytes StoredFormOf(std::string_view ansiPassword, std::int32_t key, std::int32_t& word);

struct LoadedPassword {
    std::string password;  // ANSI bytes of the first field
    Bytes grown;           // what the file becomes: the plain content scrambled again
    bool growOk = false;   // false when scrambling again overflowed; keep the old file then
};

// Descrambles the stored bytes and reads the password field; none where there is
// no field (an empty or blank file). Raises error 6 when descrambling overflows.
std::optional<LoadedPassword> TryLoadFromStored(Bytes stored, std::int32_t key, std::int32_t& word);

// True when a password saved now reads back unchanged at each of the next starts.
bool SurvivesStorage(std::string_view ansiPassword, std::int32_t key);

// Why a new password could not be entered again after it is saved.
enum class PasswordProblem { None, Empty, Comma, OuterBlanks, LeadingQuote, LineBreak, Unstorable };

// An empty password would be saved but no entry could ever match it; the others
// are changed by the read at the next start, or by the scramble arithmetic.
PasswordProblem CheckNewPassword(std::string_view ansiPassword, std::int32_t key);

}  // namespace gv
