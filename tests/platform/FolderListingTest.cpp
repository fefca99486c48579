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

// Whether names fold is asked of the file system itself, FUSE ones too: a
// fresh tmpfs matches names exactly, exFAT through exfat-fuse folds them.
TEST(FolderListing, MayFoldCaseAsksTheFileSystem)
{
    test::TempTree t;
    t.MakeDir("mnt");
    const std::string mnt = t.Path("mnt");
    const std::string exfatMissing = test::ExfatUnavailable();
    const struct {
        bool exfat;
        bool folds;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        if (c.exfat && !exfatMissing.empty())
            GTEST_SKIP() << "exFAT not tried: " << exfatMissing;
        const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
            std::string error = c.exfat ? test::MountExfat(t.Path("exfat.img"), mnt) : test::MountTmpfs(mnt);
            ::mkdir((mnt + "/Sub").c_str(), 0755);
            ::close(::open((mnt + "/Sub/Readme.txt").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
            // Asked once for the file system, then remembered for its other folders.
            for (const char* folder : {"/Sub", "", "/Sub"}) {
                const Fd fd(OpenFolder(mnt + folder, kOpenAsAnchor));
                if (error.empty() && MayFoldCase(fd.Get()) != c.folds)
                    error = std::string("MayFoldCase of '") + folder + "' is " + (c.folds ? "false" : "true");
            }
            if (c.exfat)
                test::UnmountExfat(mnt);
            return error;
        });
        if (outcome.skipped)
            GTEST_SKIP() << outcome.text;
        EXPECT_EQ(outcome.text, "") << (c.exfat ? "exFAT" : "tmpfs");
    }
}

} // namespace
} // namespace tandrel::platform
