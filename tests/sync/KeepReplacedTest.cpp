// Copies that keep each replaced file in the user's trash.

#include "support/Holds.h"
#include "sync/SyncTestSupport.h"
#include "support/MountSandbox.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tandrel::sync {
namespace {

// A run with its own trash below the temporary tree, never the user's.
struct KeepPair : SyncPair {
    KeepPair() { ::setenv("XDG_DATA_HOME", t.Path("data").c_str(), 1); }
    ~KeepPair() { ::unsetenv("XDG_DATA_HOME"); }
    SyncOutcome CopyKeeping(engine::ResultCategory category, SyncObserver& observer)
    {
        CopyChoices choices;
        choices.keepReplaced = true;
        ListAsCompared(category);
        return CopyCheckedRows(store, category, S2D, options, runFlag, progressFraction, observer, nullptr, choices);
    }
};

TEST(KeepReplaced, OldVersionGoesToTheTrashAndNewFilesNeedNone)
{
    KeepPair p;
    p.t.WriteFile("s/a.txt", "new version");
    p.t.WriteFile("d/a.txt", "old version");
    p.t.WriteFile("s/fresh.txt", "fresh");
    p.AddFile(kNewer, "a.txt");
    p.AddFile(kMissingDest, "fresh.txt");
    Recorder rec;
    EXPECT_EQ(p.CopyKeeping(kNewer, rec).succeeded, 1u);
    EXPECT_EQ(p.CopyKeeping(kMissingDest, rec).succeeded, 1u);
    EXPECT_EQ(p.t.ReadFile("d/a.txt"), "new version");
    EXPECT_EQ(p.t.ReadFile("data/Trash/files/a.txt"), "old version");
    const std::string info = p.t.ReadFile("data/Trash/info/a.txt.trashinfo");
    EXPECT_TRUE(test::Holds(info, "/d/a.txt\n"));
    EXPECT_EQ(test::FolderEntries(p.t.Path("data/Trash/files")), (std::vector<std::string>{"a.txt"}));
}

TEST(KeepReplaced, TrashThatCannotTakeItFailsTheRowAndKeepsBothFiles)
{
    KeepPair p;
    p.t.WriteFile("data/Trash", "a file where the trash folder should be");
    p.t.WriteFile("s/a.txt", "new version");
    p.t.WriteFile("d/a.txt", "old version");
    p.AddFile(kNewer, "a.txt");
    Recorder rec;
    const SyncOutcome out = p.CopyKeeping(kNewer, rec);
    EXPECT_EQ(out.failed, 1u);
    EXPECT_EQ(p.t.ReadFile("d/a.txt"), "old version");
    EXPECT_EQ(p.t.ReadFile("s/a.txt"), "new version");
    EXPECT_TRUE(test::Holds(p.store.Row(kNewer, 0).StatusText(), p.t.Path("data/Trash")));
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
}

// A FUSE file system (exFAT through exfat-fuse) is one this program treats as
// network storage, whose trash the desktop does not restore from.
TEST(KeepReplaced, SideWithoutRestorableTrashFailsRowsThatReplace)
{
    if (const std::string missing = test::ExfatUnavailable(); !missing.empty())
        GTEST_SKIP() << "exFAT not tried: " << missing;
    KeepPair p;
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        std::string error = test::MountExfat(p.t.Path("image"), p.t.Path("d"));
        if (!error.empty())
            return error;
        p.t.WriteFile("s/a.txt", "new version");
        p.t.WriteFile("d/a.txt", "old version");
        p.t.WriteFile("s/fresh.txt", "fresh");
        p.AddFile(kNewer, "a.txt");
        p.AddFile(kMissingDest, "fresh.txt");
        Recorder rec;
        const SyncOutcome replaced = p.CopyKeeping(kNewer, rec);
        const SyncOutcome fresh = p.CopyKeeping(kMissingDest, rec);
        const std::string text = p.store.Row(kNewer, 0).StatusText();
        if (replaced.failed != 1 || p.t.ReadFile("d/a.txt") != "old version")
            error += "the replacing row did not fail; ";
        if (text.find("no trash this desktop can restore") == std::string::npos)
            error += "text: " + text + "; ";
        if (fresh.succeeded != 1 || p.t.ReadFile("d/fresh.txt") != "fresh")
            error += "a new file was not copied; ";
        // With the choice off the same row copies.
        Recorder plain;
        if (p.Copy(kNewer, S2D, plain).succeeded != 1 || p.t.ReadFile("d/a.txt") != "new version")
            error += "the plain copy failed; ";
        test::UnmountExfat(p.t.Path("d"));
        return error;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

} // namespace
} // namespace tandrel::sync
