#include "platform/FolderListing.h"

#include "support/MountSandbox.h"
#include "support/TempTree.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

// Whether names fold is asked of the file system itself: a fresh tmpfs (no
// folder of which was asked before) matches names exactly, in every folder;
// an empty folder, which cannot ask, has the folder above it ask.
// exFAT through FUSE, which folds, is asked in the scanner's test.
TEST(FolderListing, MayFoldCaseAsksTheFileSystem)
{
    test::TempTree t;
    t.MakeDir("mnt");
    const std::string mnt = t.Path("mnt");
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        std::string error = test::MountTmpfs(mnt);
        ::mkdir((mnt + "/Sub").c_str(), 0755);
        ::mkdir((mnt + "/Empty").c_str(), 0755);
        ::close(::open((mnt + "/Sub/Readme.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        for (const char* folder : {"/Empty", "/Sub", "", "/Sub"})
            if (error.empty() && MayFoldCase(Fd(OpenFolder(mnt + folder, kOpenAsAnchor)).Get()))
                error = std::string("MayFoldCase of '") + folder + "' is true";
        return error;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

} // namespace
} // namespace tandrel::platform
