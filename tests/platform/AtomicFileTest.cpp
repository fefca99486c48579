#include "platform/AtomicFile.h"

#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tandrel::platform {
namespace {

using test::FolderEntries;

using test::TempTree;

TEST(AtomicFile, TheTargetChangesOnlyOnCommit)
{
    TempTree tree;
    tree.WriteFile("t.txt", "old");
    {
        AtomicFile file(tree.Path("t.txt"));
        ASSERT_TRUE(file.Open().ok());
        file.Stream() << std::string(200000, 'n'); // more than one buffer
        EXPECT_EQ(tree.ReadFile("t.txt"), "old");
        EXPECT_EQ(FolderEntries(tree.Root()).size(), 2u); // the target and the temporary file
        const auto result = file.Commit();
        ASSERT_TRUE(result.ok()) << result.error;
    }
    EXPECT_EQ(tree.ReadFile("t.txt"), std::string(200000, 'n'));
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{"t.txt"});

    // Abandoned without Commit: the old file stays and nothing is left behind.
    {
        AtomicFile file(tree.Path("t.txt"));
        ASSERT_TRUE(file.Open().ok());
        file.Stream() << "half";
    }
    EXPECT_EQ(tree.ReadFile("t.txt"), std::string(200000, 'n'));
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{"t.txt"});

    // Commit without a successful Open fails.
    AtomicFile unopened(tree.Path("u.txt"));
    EXPECT_FALSE(unopened.Commit().ok());
    AtomicFile nameless("");
    EXPECT_FALSE(nameless.Open().ok());
    EXPECT_FALSE(tree.Exists("u.txt"));
}

TEST(AtomicFile, AFailedWriteIsReportedAndTheOldFileStays)
{
    // A file size limit makes the writes themselves fail, as a full disk would.
    TempTree tree;
    tree.WriteFile("t.txt", "old");
    const std::string path = tree.Path("t.txt");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        AtomicFile file(path);
        if (!file.Open().ok())
            ::_exit(3);
        file.Stream() << std::string(300000, 'x');
        const auto result = file.Commit();
        ::_exit(!result.ok() && result.error.find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(tree.ReadFile("t.txt"), "old");
    EXPECT_EQ(FolderEntries(tree.Root()), std::vector<std::string>{"t.txt"});
}

} // namespace
} // namespace tandrel::platform
