#include "sync/PathRoutines.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::sync {
namespace {

// Found by the path fuzzer: a path equal to a root that is a link was looked
// at from the top, and the root itself was reported as a link on the way.
TEST(LinkOnTheWayRoot, PathThatIsTheLinkedRootItself)
{
    test::TempTree t;
    t.MakeDir("real/a");
    t.Symlink(t.Path("real"), "rootlink");
    const std::string root = t.Path("rootlink/");

    EXPECT_EQ(LinkOnTheWay(root, root), "");
    EXPECT_EQ(LinkOnTheWay(t.Path("rootlink"), root), "");
    EXPECT_EQ(LinkOnTheWay(root, root + "a/"), "");
    // Below the root links are still found.
    t.Symlink(t.Path("real/a"), "real/la");
    EXPECT_EQ(LinkOnTheWay(root, root + "la/"), root + "la");
}

} // namespace
} // namespace tandrel::sync
