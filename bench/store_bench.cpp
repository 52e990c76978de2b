// Times loading and saving password files of growing size. Every start writes the
// file back three bytes longer, so an old installation can carry a large one.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "store/password_file.h"
#include "store/scramble.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

constexpr int kRepetitions = 9;
std::size_t sink = 0;  // keeps the work observable

// A short password whose file many starts have grown to `size` bytes.
gv::Bytes GrownFile(std::size_t size) {
    const std::string line = "hemligt\r\n";
    gv::Bytes plain(line.begin(), line.end());
    plain.resize(size - 3, 0);
    if (!gv::TryScramblePass(plain, gv::kScrambleKey)) {
        std::fprintf(stderr, "could not build a file of %zu bytes\n", size);
        std::exit(1);
    }
    return plain;
}

// A password long enough that its saved file is `size` bytes.
std::string LongPassword(std::size_t size) {
    std::string password(size - 5, 'a');
    for (std::size_t i = 0; i < password.size(); ++i) {
        password[i] = static_cast<char>('a' + i % 26);
    }
    return password;
}

template <typename Op>
double MedianMs(Op op) {
    std::vector<double> times;
    for (int r = 0; r < kRepetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        op();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::nth_element(times.begin(), times.begin() + kRepetitions / 2, times.end());
    return times[kRepetitions / 2];
}

}  // namespace

int main() {
    std::printf("gv_store_bench: build type %s%s, median of %d runs\n", GV_BUILD_TYPE,
                kSanitized ? ", sanitizer build (ASan/UBSan; times are inflated)" : "",
                kRepetitions);
    std::printf("load: grown file with a short password; save: password filling the file\n");
    std::printf("%10s %12s %12s %14s\n", "size", "load ms", "save ms", "load+save ms");
    for (const std::size_t size :
         {std::size_t{1} << 10, std::size_t{64} << 10, std::size_t{1} << 20}) {
        const gv::Bytes stored = GrownFile(size);
        const std::string password = LongPassword(size);
        std::int32_t word = 0;
        auto load = [&] {
            sink += gv::TryLoadFromStored(stored, gv::kScrambleKey, word).value().grown.size();
        };
        auto save = [&] { sink += gv::StoredFormOf(password, gv::kScrambleKey, word).size(); };
        const double loadMs = MedianMs(load);
        const double saveMs = MedianMs(save);
        const double bothMs = MedianMs([&] {
            load();
            save();
        });
        std::printf("%7zu KiB %12.3f %12.3f %14.3f\n", size >> 10, loadMs, saveMs, bothMs);
    }
    return sink == 0 ? 1 : 0;
}
