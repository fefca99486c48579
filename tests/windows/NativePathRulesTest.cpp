#include "engine/PathRules.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

TEST(NativePathRules, BackslashAndDriveRoot)
{
    constexpr PathRules rules = PathRules::Native();
    EXPECT_EQ(rules.separator, '\\');
    EXPECT_EQ(rules.rootLength, 3u);
    EXPECT_EQ(rules.WithTrailingSeparator("C:\\data"), "C:\\data\\");
    EXPECT_EQ(rules.ParentFolder("C:\\data\\a.txt"), "C:\\data");
    EXPECT_EQ(rules.RootLengthOf("\\\\nas\\backup\\x"), 13u);
}

} // namespace
} // namespace tandrel::engine
