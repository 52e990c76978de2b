// The start-up load of the password file from arbitrary bytes. Every file must
// end in a password read, no password stored (62) or an overflow (6).
#include <algorithm>
#include <cstddef>
#include <cstdint>

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

    gv::LoadedPassword loaded;
    std::int32_t word = 0;
    const int error = gv::fuzz::ErrorNumberOf(
        [&] { loaded = gv::LoadFromStored(stored, gv::kScrambleKey, word); });

    switch (error) {
        case 0: {
            Check(plainOk, "a password read from a file whose descramble overflows");
            const auto field = gv::TryReadListField(plain);
            Check(field && loaded.password == *field,
                  "the password is not the first field of the descrambled file");
            // A failed scramble keeps the old file, so only a finished one must have grown.
            Check(!loaded.growOk || loaded.grown.size() == size + 3,
                  "the file grew by other than three bytes");
            break;
        }
        case gv::err::InputPastEnd:
            Check(plainOk && std::all_of(plain.begin(), plain.end(), gv::fuzz::IsBlank),
                  "no password stored, yet the file has a field");
            break;
        case gv::err::Overflow:
            Check(!plainOk, "an overflow where the descramble finishes");
            break;
        default:
            Check(false, "a run-time error other than 6 or 62");
    }
    return 0;
}
