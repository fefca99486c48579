#include "engine/PathRules.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

TEST(PathRules, RootLengthOfDriveUncAndPosixPaths)
{
    struct Case {
        PathRules rules;
        const char* path;
        std::size_t length;
    };
    const PathRules posix{'/', 1};
    const PathRules drive = PathRules::DriveLetters();
    const Case cases[] = {
        {posix, "/a/b", 1},
        {posix, "//server/share/a", 1},
        {drive, "C:\\a\\b", 3},
        {drive, "C:\\", 3},
        {drive, "\\\\server\\share\\a\\b", 15},
        {drive, "\\\\server\\share\\", 15},
        {drive, "\\\\server\\share", 14},
        {drive, "\\\\server", 8},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.rules.RootLengthOf(c.path), c.length) << c.path;
}

TEST(PathRules, OneTrailingSeparatorWhereSlashAndBackslashBothSeparate)
{
    const PathRules posix{'/', 1};
    const PathRules drive = PathRules::DriveLetters();
    EXPECT_EQ(drive.WithTrailingSeparator("C:\\data"), "C:\\data\\");
    EXPECT_EQ(drive.WithTrailingSeparator("C:/data/"), "C:/data/");
    EXPECT_EQ(drive.WithTrailingSeparator("C:\\data\\"), "C:\\data\\");
    EXPECT_EQ(posix.WithTrailingSeparator("/data\\"), "/data\\/");
}

// The characters before the last separator; empty text when there is none.
TEST(PathRules, ParentFolder)
{
    const PathRules posix{'/', 1};
    const PathRules drive = PathRules::DriveLetters();
    EXPECT_EQ(posix.ParentFolder("/a/b.txt"), "/a");
    EXPECT_EQ(posix.ParentFolder("/b.txt"), "");
    EXPECT_EQ(PathRules::Native().ParentFolder("b.txt"), "");
    EXPECT_EQ(posix.ParentFolder("/a/b/"), "/a/b");
    EXPECT_EQ(PathRules::Native().ParentFolder(""), "");
    EXPECT_EQ(drive.ParentFolder("C:\\a\\b.txt"), "C:\\a");
    EXPECT_EQ(drive.ParentFolder("C:\\b.txt"), "C:");
    EXPECT_EQ(drive.ParentFolder("b.txt"), "");
}

} // namespace
} // namespace tandrel::engine
