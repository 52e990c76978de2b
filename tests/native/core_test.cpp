#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <set>
#include <string>
#include <string_view>

#include "core/checked.h"
#include "core/errors.h"

namespace {

using I32 = std::numeric_limits<std::int32_t>;

int ErrorNumberOf(const std::function<void()>& op) {
    try {
        op();
    } catch (const gv::RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

TEST(Checked, OverflowRaisesErrorSixAtEachBoundary) {
    const struct {
        const char* name;
        std::function<void()> op;
    } cases[] = {
        {"int32 max + 1", [] { gv::CheckedAdd(I32::max(), 1); }},
        {"int32 min + -1", [] { gv::CheckedAdd(I32::min(), -1); }},
        {"int32 min - 1", [] { gv::CheckedSub(I32::min(), 1); }},
        {"0 - int32 min", [] { gv::CheckedSub(0, I32::min()); }},
        {"int32 max - -1", [] { gv::CheckedSub(I32::max(), -1); }},
        {"int16 32767 + 1", [] { gv::CheckedAdd(std::int16_t{32767}, std::int16_t{1}); }},
        {"int16 -32768 + -1", [] { gv::CheckedAdd(std::int16_t{-32768}, std::int16_t{-1}); }},
        {"narrow 32768 to int16", [] { gv::CheckedNarrow<std::int16_t>(32768); }},
        {"narrow 2^31 to int32", [] { gv::CheckedNarrow<std::int32_t>(std::int64_t{1} << 31); }},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ErrorNumberOf(c.op), gv::err::Overflow) << c.name;
    }
}

TEST(Checked, ResultsAtTheLimitsAreExact) {
    EXPECT_EQ(gv::CheckedAdd(I32::max() - 1, 1), I32::max());
    EXPECT_EQ(gv::CheckedAdd(I32::min(), I32::max()), -1);
    EXPECT_EQ(gv::CheckedSub(I32::min() + 1, 1), I32::min());
    EXPECT_EQ(gv::CheckedSub(-1, I32::max()), I32::min());
    EXPECT_EQ(gv::CheckedAdd(std::int16_t{32766}, std::int16_t{1}), 32767);
    EXPECT_EQ(gv::CheckedAdd(std::int16_t{-32767}, std::int16_t{-1}), -32768);
    EXPECT_EQ(gv::CheckedNarrow<std::int16_t>(-32768), -32768);
}

TEST(Errors, KnownNumbersHaveTheirOwnText) {
    namespace e = gv::err;
    const int known[] = {e::InvalidCall,      e::Overflow,       e::OutOfMemory, e::FileNotFound,
                         e::FileAlreadyOpen,  e::DeviceIo,       e::DiskFull,    e::InputPastEnd,
                         e::PermissionDenied, e::PathFileAccess, e::PathNotFound};
    std::set<std::string> texts{std::string(gv::ErrorText(9999))};
    for (const int number : known) {
        const std::string text(gv::ErrorText(number));
        EXPECT_FALSE(text.empty()) << number;
        EXPECT_TRUE(texts.insert(text).second) << number << " shares its text: " << text;
    }
    // Swedish letters must arrive as UTF-8, whatever the compiler's source charset.
    EXPECT_NE(gv::ErrorText(e::OutOfMemory).find("\xC3\xA5"), std::string_view::npos);
    EXPECT_FALSE(gv::ErrorText(-1).empty());
}

TEST(Errors, RaiseCarriesNumberAndStandardText) {
    try {
        gv::Raise(gv::err::PathNotFound);
        ADD_FAILURE() << "Raise returned";
    } catch (const gv::RuntimeError& e) {
        EXPECT_EQ(e.Number(), gv::err::PathNotFound);
        EXPECT_EQ(e.Text(), gv::ErrorText(gv::err::PathNotFound));
        EXPECT_STREQ(e.what(), e.Text().c_str());
    }
}

}  // namespace
