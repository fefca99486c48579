#include "sync/SyncOperations.h"

#include "engine/Scanner.h"
#include "platform/FileOps.h"
#include "support/Holds.h"
#include "sync/SyncTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace tandrel::sync {
namespace {

TEST(DeleteCheckedRows, EmptyListDoesNothing)
{
    SyncPair p;
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(rec.pumps, 0);
    EXPECT_FALSE(p.runFlag.IsSet());
    EXPECT_EQ(out.total, 0u);
}

TEST(DeleteCheckedRows, WholeFolderGoesContentFirst)
{
    SyncPair p;
    p.t.WriteFile("s/F/one", "1");
    p.t.WriteFile("s/F/two", "2");
    p.t.WriteFile("s/keep", "k");
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    ASSERT_EQ(p.store.Count(kMissingDest), 4u);
    // Everything of F is checked; "keep" is not.
    for (auto& row : p.store.List(kMissingDest))
        row.checked = row.relativePath != "keep";
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 3u);
    ASSERT_EQ(rec.paths.size(), 3u);
    EXPECT_EQ(test::Slashed(rec.paths.back()), p.t.Path("s/F")); // the folder last
    EXPECT_EQ(rec.captions, (std::vector<std::string>{"1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_FALSE(p.t.Exists("s/F"));
    EXPECT_TRUE(p.t.Exists("s/keep"));
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 3u);
    EXPECT_EQ(p.store.Count(kMissingDest), 1u);
}

TEST(DeleteCheckedRows, FolderThatIsNotEmptyFails)
{
    SyncPair p;
    p.t.WriteFile("s/F/one", "1");
    p.t.WriteFile("s/F/two", "2");
    p.AddFolder(kMissingDest, "F");
    p.AddFile(kMissingDest, "F/one", false);
    p.AddFile(kMissingDest, "F/two", false);
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.failed, 1u);
    const auto& row = p.store.Row(kMissingDest, 0);
    EXPECT_EQ(row.icon, RowIcon::Failed);
    EXPECT_TRUE(test::SaysReason(row.StatusText(), ENOTEMPTY)) << row.StatusText();
    EXPECT_TRUE(test::Holds(row.StatusText(), p.t.Path("s/F")));
    EXPECT_EQ(p.store.Row(kMissingDest, 1).icon, RowIcon::File);
    EXPECT_EQ(p.t.ReadFile("s/F/one"), "1");

    // The failed row is still a folder: once emptied, the next delete removes it.
    p.t.Remove("s/F/one");
    p.t.Remove("s/F/two");
    const SyncOutcome again = p.Delete(kMissingDest, rec);
    EXPECT_EQ(again.succeeded, 1u);
    EXPECT_FALSE(p.t.Exists("s/F"));
}

TEST(DeleteCheckedRows, ColumnZeroSideOnly)
{
    SyncPair p;
    p.t.WriteFile("s/pair", "source");
    p.t.WriteFile("d/pair", "destination");
    p.t.WriteFile("d/only", "destination only");
    p.AddFile(kNewer, "pair");
    p.AddFile(kMissingSource, "only");
    Recorder rec;
    EXPECT_EQ(p.Delete(kNewer, rec).succeeded, 1u);
    EXPECT_FALSE(p.t.Exists("s/pair"));
    EXPECT_EQ(p.t.ReadFile("d/pair"), "destination");
    EXPECT_EQ(p.Delete(kMissingSource, rec).succeeded, 1u);
    EXPECT_FALSE(p.t.Exists("d/only"));
    EXPECT_EQ(rec.paths, (std::vector<std::string>{p.t.Path("s/pair"), p.t.Path("d/only")}));
}

TEST(DeleteCheckedRows, ReadOnlyFilesFollowOverwriting)
{
    SyncPair p;
    p.t.WriteFile("s/ro", "read-only");
    p.t.MakeReadOnly("s/ro");
    p.AddFile(kMissingDest, "ro");
    p.options.Overwriting = false;
    Recorder rec;
    SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.failed, 1u);
    EXPECT_TRUE(p.t.Exists("s/ro"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 0).StatusText(), "read-only"));
    EXPECT_TRUE(test::SaysReason(p.store.Row(kMissingDest, 0).StatusText(), EACCES));

    p.options.Overwriting = true;
    out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_FALSE(p.t.Exists("s/ro"));

    // Gone since the comparison, whatever Overwriting says.
    p.store.RemoveProcessedRows(kMissingDest);
    p.AddFile(kMissingDest, "ro");
    for (const bool overwriting : {true, false}) {
        p.options.Overwriting = overwriting;
        out = p.Delete(kMissingDest, rec);
        EXPECT_EQ(out.failed, 1u);
        EXPECT_EQ(p.store.Row(kMissingDest, 0).StatusText(),
                  "'" + p.t.Path("s/ro") + "' has changed since the comparison");
    }
}

TEST(DeleteCheckedRows, CancelAtTheStartOfRowThreesTurn)
{
    SyncPair p;
    for (int i = 1; i <= 5; ++i) {
        p.t.WriteFile("s/f" + std::to_string(i), "x");
        p.AddFile(kMissingDest, "f" + std::to_string(i));
    }
    Recorder rec;
    // Pumps: 5 counting, 1 between, then rows 5, 4, 3: pump 8 starts row 3's turn.
    rec.onPump = [&](int pump) {
        if (pump == 8)
            p.runFlag.Set(false);
    };
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(rec.captions, (std::vector<std::string>{"1 of 5", "2 of 5", "3 of 5"}));
    EXPECT_TRUE(p.t.Exists("s/f1"));
    EXPECT_TRUE(p.t.Exists("s/f2"));
    EXPECT_FALSE(p.t.Exists("s/f3"));
    EXPECT_FALSE(p.t.Exists("s/f5"));
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 3u);
    EXPECT_EQ(p.store.Count(kMissingDest), 2u);
}

#ifndef _WIN32
// POSIX only: links made with symlink(2) and FIFOs.
TEST(DeleteCheckedRows, LinksAndFifosGoAsThemselves)
{
    SyncPair p;
    p.t.WriteFile("outside/target", "must stay");
    p.t.Symlink("../outside/target", "s/link");
    p.t.MakeDir("outside/folder");
    p.t.Symlink("../outside/folder", "s/folderlink");
    p.t.MakeFifo("s/pipe");
    p.AddFile(kMissingDest, "pipe");
    p.AddFile(kMissingDest, "folderlink");
    p.AddFile(kMissingDest, "link");
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 3u);
    EXPECT_FALSE(p.t.Exists("s/link"));
    EXPECT_FALSE(p.t.Exists("s/folderlink"));
    EXPECT_FALSE(p.t.Exists("s/pipe"));
    EXPECT_EQ(p.t.ReadFile("outside/target"), "must stay");
    EXPECT_TRUE(p.t.Exists("outside/folder"));
}
#endif

// IgnoreError off: the first failure (bottom-up) ends the run.
TEST(DeleteCheckedRows, StopsAtTheFirstFailure)
{
    SyncPair q;
    q.options.IgnoreError = false;
    q.t.WriteFile("s/a", "a");
    q.t.WriteFile("s/c", "c");
    q.AddFile(kMissingDest, "a");
    q.AddFile(kMissingDest, "b-gone");
    q.AddFile(kMissingDest, "c");
    Recorder rec2;
    const SyncOutcome out2 = q.Delete(kMissingDest, rec2);
    EXPECT_TRUE(out2.stoppedOnFailure);
    EXPECT_EQ(rec2.shown.size(), 1u);
    EXPECT_FALSE(q.t.Exists("s/c"));
    EXPECT_TRUE(q.t.Exists("s/a"));
    EXPECT_EQ(q.store.Row(kMissingDest, 0).icon, RowIcon::File);
    EXPECT_EQ(q.store.Row(kMissingDest, 1).icon, RowIcon::Failed);
}

#ifndef _WIN32
// POSIX only: links made with symlink(2).
TEST(DeleteCheckedRows, AFolderReplacedByALinkSinceTheComparisonIsNotFollowed)
{
    SyncPair p;
    p.t.WriteFile("s/sub/f", "f");
    p.t.WriteFile("s/sub/inner/g", "g");
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    ASSERT_EQ(p.store.Count(kMissingDest), 4u); // sub, sub/f, sub/inner, sub/inner/g
    p.store.SetAllChecked(true);

    // After the comparison the folder makes way for a link to a look-alike.
    p.t.WriteFile("outside/f", "must stay");
    p.t.WriteFile("outside/inner/g", "must stay too");
    p.t.Remove("s/sub");
    p.t.Symlink(p.t.Path("outside"), "s/sub");
    p.options.Overwriting = true;
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 0u);
    EXPECT_EQ(out.failed, 4u); // three through the link; the link itself is no folder
    EXPECT_EQ(p.t.ReadFile("outside/f"), "must stay");
    EXPECT_EQ(p.t.ReadFile("outside/inner/g"), "must stay too");
    EXPECT_TRUE(p.t.Exists("s/sub"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 3).StatusText(), "is a symbolic link"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 2).StatusText(), "Cannot remove folder"));
}
#endif

#ifndef _WIN32
// POSIX only: dot names are hidden and FIFOs are system files.
TEST(DeleteCheckedRows, HiddenAndSystemFilesFollowOverwriting)
{
    SyncPair p;
    p.t.WriteFile("s/.hidden", "dot file");
    p.t.MakeFifo("s/pipe");
    p.t.WriteFile("s/plain", "plain");
    p.AddFile(kMissingDest, ".hidden");
    p.AddFile(kMissingDest, "pipe");
    p.AddFile(kMissingDest, "plain");
    p.options.Overwriting = false;
    Recorder rec;
    SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 2u);
    EXPECT_TRUE(p.t.Exists("s/.hidden"));
    EXPECT_TRUE(p.t.Exists("s/pipe"));
    EXPECT_FALSE(p.t.Exists("s/plain"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 0).StatusText(), "Cannot delete hidden file"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 1).StatusText(), "Cannot delete system file"));

    p.store.RemoveProcessedRows(kMissingDest);
    p.options.Overwriting = true;
    out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 2u);
    EXPECT_FALSE(p.t.Exists("s/.hidden"));
    EXPECT_FALSE(p.t.Exists("s/pipe"));
}
#endif

#ifndef _WIN32
// POSIX only: links made with symlink(2).
TEST(DeleteCheckedRows, ALinkSwappedInForAFolderDuringTheRunIsNotFollowed)
{
    SyncPair p;
    for (const char* name : {"f1", "f2", "f3"}) {
        p.t.WriteFile(std::string("s/sub/") + name, "inside");
        p.t.Chmod(std::string("s/sub/") + name, 0444);
        p.t.WriteFile(std::string("outside/") + name, "must stay");
        p.t.Chmod(std::string("outside/") + name, 0444);
        p.AddFile(kMissingDest, std::string("sub/") + name);
    }
    p.options.IgnoreError = true;
    p.options.Overwriting = true; // each file's rights are set before it goes
    Recorder rec;
    // Pumps: 3 counting, 1 between, then rows f3, f2: pump 5 starts row f2's turn.
    rec.onPump = [&](int pump) {
        if (pump == 5)
            SwapFolderForLink(p.t, "s");
    };
    const SyncOutcome out = p.Delete(kMissingDest, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 2u);
    EXPECT_EQ(test::FolderEntries(p.t.Path("s/moved")), (std::vector<std::string>{"f1", "f2"}));
    EXPECT_EQ(p.store.Row(kMissingDest, 1).StatusText(),
              "Cannot delete '" + p.t.Path("s/sub/f2") + "': '" + p.t.Path("s/sub") +
                  "' is a symbolic link, which is not followed");
    for (const char* name : {"f1", "f2", "f3"}) {
        EXPECT_EQ(p.t.ReadFile(std::string("outside/") + name), "must stay");
        EXPECT_TRUE(platform::LookUp(p.t.Path(std::string("outside/") + name)).ReadOnly()) << name;
    }
}
#endif

#ifndef _WIN32
// POSIX only: the desktop's trash (Windows' Recycle Bin: tests/windows).
TEST(DeleteCheckedRows, ToTheTrashItemsGoThereOrStayInPlace)
{
    SyncPair p;
    ::setenv("XDG_DATA_HOME", p.t.Path("data").c_str(), 1); // never the user's own trash
    p.t.WriteFile("s/file", "file");
    p.t.WriteFile("s/F/G/two", "2");
    p.t.WriteFile("s/ro", "read-only");
    p.t.Chmod("s/ro", 0444);
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    p.store.SetAllChecked(true);
    Recorder rec;
    EXPECT_EQ(p.Delete(kMissingDest, rec, DeleteTarget::Trash).succeeded, 5u);
    EXPECT_EQ(test::FolderEntries(p.t.Path("s")), std::vector<std::string>{});
    const std::vector<std::string> trashed{"F", "G", "file", "ro", "two"}; // each folder once emptied
    EXPECT_EQ(test::FolderEntries(p.t.Path("data/Trash/files")), trashed);
    for (const std::string& name : trashed)
        EXPECT_TRUE(p.t.Exists("data/Trash/info/" + name + ".trashinfo")) << name;
    EXPECT_TRUE(platform::LookUp(p.t.Path("data/Trash/files/ro")).ReadOnly()); // restored as it was

    // A folder where the comparison saw a file, and a trash that cannot be made.
    const std::pair<const char*, const char*> failures[] = {{"s/x/inner", "has changed since the comparison"},
                                                            {"data/Trash", "Cannot open the trash folder"}};
    for (const auto& [made, reason] : failures) {
        p.store.Reset(p.t.Path("s/"), p.t.Path("d/"), 0);
        p.t.Remove("s/x");
        p.t.Remove("data/Trash");
        p.t.WriteFile("s/x", "x");
        p.AddFile(kMissingDest, "x");
        p.ListAsCompared(kMissingDest);
        if (std::string(made).rfind("s/x/", 0) == 0)
            p.t.Remove("s/x");
        p.t.WriteFile(made, "in the way");
        EXPECT_EQ(p.Delete(kMissingDest, rec, DeleteTarget::Trash).failed, 1u) << reason;
        EXPECT_TRUE(p.t.Exists("s/x")) << reason;
        const std::string text = p.store.Row(kMissingDest, 0).StatusText();
        EXPECT_TRUE(test::Holds(text, p.t.Path("s/x")));
        EXPECT_TRUE(test::Holds(text, reason));
    }
    ::unsetenv("XDG_DATA_HOME");
}
#endif

} // namespace
} // namespace tandrel::sync
