// A new password as arbitrary bytes: the check before saving it must let through
// only passwords that every later start reads back, and refuse only real losses.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "fuzz/check.h"
#include "store/list_input.h"
#include "store/password_file.h"
#include "store/scramble.h"

using gv::fuzz::Check;

namespace {

enum class Life { Survives, SaveFails, LockedOut, StopsGrowing };

// Saves the password and runs the next starts the way the program does. A start
// whose scramble overflows keeps the old file, so every later start is the same.
Life LiveThrough(std::string_view password, int starts) {
    std::int32_t word = 0;
    gv::Bytes file;
    const int saveError =
        gv::fuzz::ErrorNumberOf([&] { file = gv::StoredFormOf(password, gv::kScrambleKey, word); });
    if (saveError != 0) {
        Check(saveError == gv::err::Overflow, "a save fails with an error other than 6");
        return Life::SaveFails;
    }
    for (int start = 0; start < starts; ++start) {
        std::optional<gv::LoadedPassword> loaded;
        const int error = gv::fuzz::ErrorNumberOf(
            [&] { loaded = gv::TryLoadFromStored(file, gv::kScrambleKey, word); });
        Check(error == 0 || error == gv::err::Overflow, "a start fails with an error other than 6");
        if (!loaded || loaded->password != password) {
            return Life::LockedOut;
        }
        if (!loaded->growOk) {
            return Life::StopsGrowing;
        }
        file = std::move(loaded->grown);
    }
    return Life::Survives;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view password(reinterpret_cast<const char*>(data), size);
    const gv::PasswordProblem problem = gv::CheckNewPassword(password, gv::kScrambleKey);
    if (password.empty()) {
        return 0;
    }

    // The refusals for the text itself are exactly the lines that read back as
    // something else.
    gv::Bytes line(password.begin(), password.end());
    line.insert(line.end(), {'\r', '\n'});
    const auto field = gv::TryReadListField(line);
    const bool readsBack = field && *field == password;
    Check(readsBack ==
              (problem == gv::PasswordProblem::None || problem == gv::PasswordProblem::Unstorable),
          "the text refusals do not match what the line reads back as");

    // The check promises three starts; the file keeps growing after that, so
    // look further for a start that loses the password.
    constexpr int kPromised = 3;
    constexpr int kFurther = 16;
    if (problem == gv::PasswordProblem::None) {
        Check(LiveThrough(password, kPromised) == Life::Survives,
              "an accepted password is lost within the starts the check covers");
        const Life later = LiveThrough(password, kFurther);
        Check(later == Life::Survives || later == Life::StopsGrowing,
              "an accepted password is lost at a later start");
    } else if (problem == gv::PasswordProblem::Unstorable) {
        Check(LiveThrough(password, kPromised) != Life::Survives,
              "a password refused as unstorable survives the save and the starts");
    }
    return 0;
}
