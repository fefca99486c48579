#include "sync/PathRoutines.h"

#include "engine/FolderExists.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::sync {
namespace {

using engine::PathRules;
using Steps = std::vector<std::string>;

TEST(PathRoutines, ParentFolder)
{
    EXPECT_EQ(ParentFolder("/a/b.txt"), "/a");
    EXPECT_EQ(ParentFolder("/b.txt"), "");
    EXPECT_EQ(ParentFolder("b.txt"), "");
    EXPECT_EQ(ParentFolder("/a/b/"), "/a/b");
    EXPECT_EQ(ParentFolder(""), "");
    EXPECT_EQ(ParentFolder("C:\\a\\b.txt", PathRules::DriveLetters()), "C:\\a");
    EXPECT_EQ(ParentFolder("C:\\b.txt", PathRules::DriveLetters()), "C:");
    EXPECT_EQ(ParentFolder("b.txt", PathRules::DriveLetters()), "");
}

TEST(PathRoutines, FolderPathStepsStartAfterTheRoot)
{
    EXPECT_EQ(FolderPathSteps("/a/b/c"), (Steps{"/a", "/a/b", "/a/b/c"}));
    EXPECT_EQ(FolderPathSteps("/a/b/"), (Steps{"/a", "/a/b", "/a/b/"}));
    EXPECT_EQ(FolderPathSteps("/a"), (Steps{"/a"}));
    EXPECT_EQ(FolderPathSteps(""), Steps{});
    const PathRules drive = PathRules::DriveLetters();
    EXPECT_EQ(FolderPathSteps("C:\\a\\b", drive), (Steps{"C:\\a", "C:\\a\\b"}));
    EXPECT_EQ(FolderPathSteps("C:\\", drive), (Steps{"C:\\"}));
    EXPECT_EQ(FolderPathSteps("C:\\x\\y\\z", drive), (Steps{"C:\\x", "C:\\x\\y", "C:\\x\\y\\z"}));
    EXPECT_EQ(FolderPathSteps("\\\\nas\\share\\a\\b", drive),
              (Steps{"\\\\nas\\share\\a", "\\\\nas\\share\\a\\b"}));
    EXPECT_EQ(FolderPathSteps("\\\\nas\\share", drive), (Steps{"\\\\nas\\share"}));
}

TEST(PathRoutines, MakeFolderPathCreatesEveryMissingLevelAndAbsorbsFailures)
{
    test::TempTree t;
    MakeFolderPath(t.Path("one/two/three/four"));
    EXPECT_TRUE(engine::FolderExists(t.Path("one/two/three/four")));

    // Existing levels are passed over; a newline and non-ASCII text are just names.
    MakeFolderPath(t.Path("one/two/new\nline/h\xC3\xA9"));
    EXPECT_TRUE(engine::FolderExists(t.Path("one/two/new\nline/h\xC3\xA9")));

    // A file in the way: nothing is created below it and nothing is reported.
    t.WriteFile("file", "x");
    MakeFolderPath(t.Path("file/below/deeper"));
    EXPECT_EQ(t.ReadFile("file"), "x");
    EXPECT_FALSE(engine::FolderExists(t.Path("file/below")));
}

TEST(PathRoutines, LinkOnTheWayLooksBelowTheRootOnly)
{
    test::TempTree t;
    t.WriteFile("real/a/b/file", "x");
    t.MakeDir("elsewhere/b");
    t.Symlink(t.Path("real"), "rootlink");
    t.Symlink(t.Path("elsewhere"), "real/link");
    const std::string root = t.Path("rootlink/");

    EXPECT_EQ(LinkOnTheWay(root, root + "a/b/file"), "");
    EXPECT_EQ(LinkOnTheWay(t.Path("rootlink"), root + "a/b/file"), ""); // root without its separator
    EXPECT_EQ(LinkOnTheWay(root, root + "a"), "");
    EXPECT_EQ(LinkOnTheWay(root, root + "link"), "");        // the item itself is not looked at
    EXPECT_EQ(LinkOnTheWay(root, root + "link/b/new"), root + "link");
    EXPECT_EQ(LinkOnTheWay(root, root + "missing/link/x"), ""); // nothing exists below a missing level
    EXPECT_EQ(LinkOnTheWay(root, root + "a/b/file/x"), "");     // nor below a file

    // A path outside the root is looked at from the top.
    EXPECT_EQ(LinkOnTheWay(t.Path("other/"), root + "a/b/file"), t.Path("rootlink"));
}

} // namespace
} // namespace tandrel::sync
