// The start-up load of the password file from arbitrary bytes. Every file must
// end in a password read, no password stored or an overflow (error 6).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "fuzz/check.h"
#include "store/list_input.h"
#include "store/password_file.h"
#include "store/scramble.h"

using gv::fuzz::Check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const gv::Bytes stored(data, data + size);
    // The descrambled content, by the pass that does not raise.
    gv::Bytes plain = stored;
    const bool plainOk = gv::TryUnscramblePass(plain, gv::kScrambleKey);

    std::optional<gv::LoadedPassword> loaded;
    std::int32_t word = 0;
    const int error = gv::fuzz::ErrorNumberOf(
        [&] { loaded = gv::TryLoadFromStored(stored, gv::kScrambleKey, word); });

    if (error == gv::err::Overflow) {
        Check(!plainOk, "an overflow where the descramble finishes");
        return 0;
    }
    Check(error == 0, "a run-time error other than 6");
    Check(plainOk, "a load finishes where the descramble overflows");
    if (!loaded) {
        Check(std::all_of(plain.begin(), plain.end(), gv::fuzz::IsBlank),
              "no password stored, yet the file has a field");
        return 0;
    }
    const auto field = gv::TryReadListField(plain);
    Check(field && loaded->password == *field,
          "the password is not the first field of the descrambled file");
    // A failed scramble keeps the old file, so only a finished one must have grown.
    Check(!loaded->growOk || loaded->grown.size() == size + 3,
          "the file grew by other than three bytes");
    return 0;
}
