#include "engine/FolderExists.h"
#include "platform/AtomicFile.h"
#include "platform/FileOps.h"
#include "platform/windows/WindowsFiles.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace tandrel::platform {
namespace {

using test::TempTree;

std::size_t EntryCount(const TempTree& t)
{
    std::vector<WindowsEntry> entries;
    EXPECT_TRUE(ListFolder(t.Root(), entries).ok());
    return entries.size();
}

// A write that is committed replaces the target at once; one abandoned
// leaves it as it was. Neither leaves a temporary file behind.
TEST(AtomicFileWindows, TheTargetChangesOnlyOnCommit)
{
    for (const bool commit : {true, false}) {
        TempTree t;
        t.WriteFile("settings.ini", "old");
        {
            AtomicFile file(t.Path("settings.ini"));
            ASSERT_TRUE(file.Open().ok());
            file.Stream() << "new\r\n";
            EXPECT_EQ(t.ReadFile("settings.ini"), "old");
            EXPECT_EQ(EntryCount(t), 2u);
            if (commit) {
                ASSERT_TRUE(file.Commit().ok());
            }
        }
        EXPECT_EQ(t.ReadFile("settings.ini"), commit ? "new\r\n" : "old");
        EXPECT_EQ(EntryCount(t), 1u) << commit;
    }
}

TEST(AtomicFileWindows, ReadOnlyFilesAndFoldersAreNotReplaced)
{
    TempTree t;
    t.WriteFile("locked.txt", "old");
    ASSERT_TRUE(WriteAttributes(t.Path("locked.txt"), kAttrReadOnly).ok());
    ASSERT_TRUE(CreateFolder(t.Path("folder")).ok());
    for (const char* name : {"locked.txt", "folder"}) {
        AtomicFile file(t.Path(name));
        const FileResult result = file.Open();
        EXPECT_FALSE(result.ok()) << name;
        EXPECT_EQ(result.error.rfind("Cannot write '" + t.Path(name) + "': ", 0), 0u) << result.error;
    }
    EXPECT_EQ(t.ReadFile("locked.txt"), "old");
    EXPECT_EQ(EntryCount(t), 2u);
}

TEST(AtomicFileWindows, TheReplacementKeepsTheHiddenAttribute)
{
    TempTree t;
    if (!t.KeepsDosAttributes())
        GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden, system or archive bits";
    t.WriteFile("hidden.ini", "old");
    ASSERT_TRUE(WriteAttributes(t.Path("hidden.ini"), kAttrHidden).ok());
    AtomicFile file(t.Path("hidden.ini"));
    ASSERT_TRUE(file.Open().ok());
    file.Stream() << "new";
    ASSERT_TRUE(file.Commit().ok());
    EXPECT_EQ(t.ReadFile("hidden.ini"), "new");
    EXPECT_TRUE(t.Attributes("hidden.ini") & kAttrHidden);
}

TEST(AtomicFileWindows, WritesBeyondMaxPath)
{
    TempTree t;
    const std::string relative = test::LongRelativeFolder(t.Root());
    t.MakeDir(relative);
    AtomicFile file(t.Path(relative + "\\report.csv"));
    ASSERT_TRUE(file.Open().ok());
    file.Stream() << "a,b";
    ASSERT_TRUE(file.Commit().ok());
    EXPECT_EQ(t.ReadFile(relative + "\\report.csv"), "a,b");
}

TEST(FolderExistsWindows, FoldersRootsAndLongPathsButNotFiles)
{
    TempTree t;
    t.WriteFile("file.txt", "");
    ASSERT_TRUE(CreateFolder(t.Path("sub")).ok());
    const std::string longFolder = test::LongRelativeFolder(t.Root());
    t.MakeDir(longFolder);
    struct Case {
        std::string path;
        bool exists;
    };
    const Case cases[] = {
        {t.Path("sub"), true},           {t.Path("sub\\"), true},     {t.Path("file.txt"), false},
        {t.Path("absent"), false},       {"", false},                 {"C:\\", true},
        {t.Path(longFolder), true},      {t.Path("sub/../sub"), true}, {std::string("C:\\bad\xFF"), false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(engine::FolderExists(c.path), c.exists) << c.path;
}

} // namespace
} // namespace tandrel::platform
