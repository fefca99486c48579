#include "sync/PathRoutines.h"

#include <gtest/gtest.h>

namespace tandrel::sync {
namespace {

using engine::PathRules;

TEST(PathRoutines, ParentFolder)
{
    constexpr PathRules posix{};
    EXPECT_EQ(ParentFolder("/a/b.txt", posix), "/a");
    EXPECT_EQ(ParentFolder("/b.txt", posix), "");
    EXPECT_EQ(ParentFolder("b.txt"), "");
    EXPECT_EQ(ParentFolder("/a/b/", posix), "/a/b");
    EXPECT_EQ(ParentFolder(""), "");
    EXPECT_EQ(ParentFolder("C:\\a\\b.txt", PathRules::DriveLetters()), "C:\\a");
    EXPECT_EQ(ParentFolder("C:\\b.txt", PathRules::DriveLetters()), "C:");
    EXPECT_EQ(ParentFolder("b.txt", PathRules::DriveLetters()), "");
}

} // namespace
} // namespace tandrel::sync
