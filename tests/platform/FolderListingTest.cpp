#include "platform/FolderListing.h"

#include "support/TempTree.h"

#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>

namespace tandrel::platform {
namespace {

TEST(FolderListing, OpenFolderOpensFoldersOnly)
{
    test::TempTree t;
    t.MakeDir("sub");
    t.WriteFile("file", "x");
    struct Case {
        std::string path;
        int error; // 0: opens
    };
    const Case cases[] = {{t.Path("sub"), 0}, {t.Path("file"), ENOTDIR}, {t.Path("absent"), ENOENT}};
    for (const Case& c : cases) {
        errno = 0;
        const Fd fd(OpenFolder(c.path, kOpenAsAnchor));
        EXPECT_EQ(fd.Valid(), c.error == 0) << c.path;
        if (c.error != 0) {
            EXPECT_EQ(errno, c.error) << c.path;
        }
    }
    const Fd root(OpenFolder(t.Root(), kOpenToList));
    std::vector<ListedEntry> entries;
    std::uint32_t count = 0;
    ASSERT_TRUE(ReadListing(Fd(OpenBelow(root.Get(), "", kOpenToList)).Get(), entries, count));
    EXPECT_EQ(entries.size(), 2u);
}

} // namespace
} // namespace tandrel::platform
