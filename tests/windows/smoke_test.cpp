#include <gtest/gtest.h>
#include "core/platform.h"
TEST(Platform, ExeDirectoryHasNoTrailingSeparator) {
    const std::wstring dir = gv::ExeDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), L'\\');
}
