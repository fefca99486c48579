#include "sync/SyncOperations.h"

#include "engine/Scanner.h"
#include "platform/FileFaults.h"
#include "platform/FileOps.h"
#include "support/Holds.h"
#include "support/TempTree.h"
#include "sync/SyncTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tandrel::sync {
namespace {

#ifndef _WIN32
using test::RunUnprivileged;
#endif

TEST(CopyCheckedRows, EmptyListDoesNothingAndNoCheckedRowChangesNothing)
{
    SyncPair p;
    Recorder rec;
    p.runFlag.Set(false);
    SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(rec.pumps, 0);
    EXPECT_FALSE(p.runFlag.IsSet()); // not even raised
    EXPECT_EQ(out.total, 0u);

    p.t.WriteFile("s/a", "a");
    p.t.WriteFile("s/b", "b");
    p.AddFile(kMissingDest, "a", false);
    p.AddFile(kMissingDest, "b", false);
    p.progressFraction = 0.75; // left over from an earlier run
    out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.total, 0u);
    EXPECT_EQ(out.started, 0u);
    EXPECT_TRUE(rec.captions.empty());
    EXPECT_EQ(p.progressFraction, 0.0);
    EXPECT_TRUE(p.runFlag.IsSet());
    EXPECT_GE(rec.pumps, 2); // the window's events ran while the rows were gone through
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 0u);
    EXPECT_EQ(p.store.Count(kMissingDest), 2u);
    EXPECT_EQ(p.store.Row(kMissingDest, 0).icon, RowIcon::File);
    EXPECT_FALSE(p.t.Exists("d/a"));
}

TEST(CopyCheckedRows, TenRowsThreeCheckedCountsAndCopies)
{
    SyncPair p;
    for (int i = 1; i <= 10; ++i) {
        const std::string name = "f" + std::to_string(i);
        p.t.WriteFile("s/" + name, "content " + name, 1'600'000'000 + i, 500);
        p.AddFile(kMissingDest, name, i == 2 || i == 5 || i == 9);
    }
    Recorder rec;
    rec.fraction = &p.progressFraction;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(rec.captions, (std::vector<std::string>{"1 of 3", "2 of 3", "3 of 3"}));
    EXPECT_EQ(rec.paths, (std::vector<std::string>{p.t.Path("d/f2"), p.t.Path("d/f5"), p.t.Path("d/f9")}));
    // The bar grows with every row started and is full when the last starts.
    ASSERT_EQ(rec.fractions.size(), 3u);
    EXPECT_GT(rec.fractions[0], 0.0);
    EXPECT_LT(rec.fractions[0], rec.fractions[1]);
    EXPECT_LT(rec.fractions[1], rec.fractions[2]);
    EXPECT_DOUBLE_EQ(rec.fractions[2], 1.0);
    EXPECT_EQ(out.succeeded, 3u);
    EXPECT_EQ(out.failed, 0u);
    EXPECT_FALSE(out.cancelled);
    EXPECT_TRUE(p.runFlag.IsSet()); // not cleared at the end

    // Each processed row went Started, then tagged.
    EXPECT_EQ(p.store.Row(kMissingDest, 1).icon, RowIcon::Started);
    EXPECT_EQ(p.store.Row(kMissingDest, 1).Tag(), "d");
    EXPECT_EQ(p.store.Row(kMissingDest, 0).Tag(), "");
    EXPECT_EQ(p.store.Row(kMissingDest, 0).icon, RowIcon::File);
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 3u);
    EXPECT_EQ(p.store.Count(kMissingDest), 7u);

    EXPECT_EQ(p.t.ReadFile("d/f5"), "content f5");
    EXPECT_EQ(p.t.Mtime("d/f5"), (std::pair<std::int64_t, long>{1'600'000'005, 500}));
    EXPECT_FALSE(p.t.Exists("d/f1"));
    EXPECT_FALSE(p.t.Exists("d/f10"));
}

TEST(CopyCheckedRows, DirectionsFollowTheListsColumns)
{
    SyncPair p;
    p.t.WriteFile("s/pair", "source side");
    p.t.WriteFile("d/pair", "destination side");
    p.t.WriteFile("d/only-dest", "from the destination");
    p.t.WriteFile("s/only-source", "from the source");

    // Destination to source on list 1 reads the target column as the origin.
    p.AddFile(kNewer, "pair");
    Recorder rec;
    p.Copy(kNewer, D2S, rec);
    EXPECT_EQ(rec.paths, (std::vector<std::string>{p.t.Path("s/pair")}));
    EXPECT_EQ(p.t.ReadFile("s/pair"), "destination side");

    // Source to destination on list 1.
    p.t.WriteFile("s/pair", "source again");
    p.store.List(kNewer).clear();
    p.AddFile(kNewer, "pair");
    p.Copy(kNewer, S2D, rec);
    EXPECT_EQ(p.t.ReadFile("d/pair"), "source again");

    // List 4 walks the destination: column 0 is the origin, going to the source.
    p.AddFile(kMissingSource, "only-dest");
    const SyncOutcome toSource = p.Copy(kMissingSource, D2S, rec);
    EXPECT_EQ(toSource.succeeded, 1u);
    EXPECT_EQ(p.t.ReadFile("s/only-dest"), "from the destination");

    // The directions a list does not offer are refused without touching anything.
    p.AddFile(kMissingSource, "only-dest");
    p.AddFile(kMissingDest, "only-source");
    Recorder untouched;
    EXPECT_TRUE(p.Copy(kMissingSource, S2D, untouched).refused);
    EXPECT_TRUE(p.Copy(kMissingDest, D2S, untouched).refused);
    EXPECT_EQ(untouched.pumps, 0);
    EXPECT_FALSE(p.t.Exists("d/only-source"));
    EXPECT_EQ(p.store.Row(kMissingDest, 0).icon, RowIcon::File);
    EXPECT_FALSE(DirectionOffered(kMissingSource, S2D));
    EXPECT_FALSE(DirectionOffered(kMissingDest, D2S));
    EXPECT_TRUE(DirectionOffered(ResultCategory::OnlySizeChanged, D2S));
    EXPECT_TRUE(DirectionOffered(ResultCategory::OlderThanDestination, S2D));
}

TEST(CopyCheckedRows, ReadOnlyTargetsFollowOverwriting)
{
    SyncPair p;
    p.t.WriteFile("s/a", "new source");
    p.t.WriteFile("d/a", "old destination");
    p.t.MakeReadOnly("d/a");
    p.t.WriteFile("d/b", "new destination");
    p.t.WriteFile("s/b", "old source");
    p.t.MakeReadOnly("s/b");

    // Overwriting off: the read-only target is kept, the row fails, even though
    // the rename would have been allowed.
    p.options.Overwriting = false;
    p.AddFile(kNewer, "a");
    Recorder rec;
    SyncOutcome out = p.Copy(kNewer, S2D, rec);
    EXPECT_EQ(out.failed, 1u);
    EXPECT_EQ(p.t.ReadFile("d/a"), "old destination");
    const auto& failed = p.store.Row(kNewer, 0);
    EXPECT_EQ(failed.icon, RowIcon::Failed);
    EXPECT_TRUE(failed.checked);
    EXPECT_EQ(failed.Tag(), "");
    EXPECT_TRUE(test::Holds(failed.StatusText(), "read-only"));
    EXPECT_TRUE(test::Holds(failed.StatusText(), p.t.Path("d/a")));
    EXPECT_TRUE(test::SaysReason(failed.StatusText(), EACCES)) << failed.StatusText();
    EXPECT_EQ(rec.failures.size(), 1u);

    // Overwriting on: the target is made writable and is replaced, in both directions.
    p.options.Overwriting = true;
    out = p.Copy(kNewer, S2D, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(p.t.ReadFile("d/a"), "new source");
    p.store.RemoveProcessedRows(kNewer);
    p.AddFile(kNewer, "b");
    out = p.Copy(kNewer, D2S, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(p.t.ReadFile("s/b"), "new destination");

    // A file that has come where the comparison saw none is kept, also with
    // Overwriting on: the user never saw it.
    p.t.WriteFile("s/c", "new source");
    p.AddFile(kMissingDest, "c");
    p.ListAsCompared(kMissingDest);
    p.t.WriteFile("d/c", "came since");
    p.t.MakeReadOnly("d/c");
    for (const bool overwriting : {false, true}) {
        p.options.Overwriting = overwriting;
        EXPECT_EQ(p.Copy(kMissingDest, S2D, rec).failed, 1u);
        EXPECT_EQ(p.t.ReadFile("d/c"), "came since");
        EXPECT_EQ(p.store.Row(kMissingDest, 0).StatusText(),
                  "'" + p.t.Path("d/c") + "' has changed since the comparison");
        EXPECT_EQ(test::FolderEntries(p.t.Path("d")), (std::vector<std::string>{"a", "b", "c"}));
    }
}

TEST(CopyCheckedRows, IgnoreErrorOnGoesOnPastFailures)
{
    SyncPair p;
    p.options.IgnoreError = true;
    for (const char* name : {"a", "c", "e"})
        p.t.WriteFile(std::string("s/") + name, name);
    // "b" has no source any more; "d" has a folder in the target's place.
    p.t.MakeDir("d/d/inner");
    for (const char* name : {"a", "b", "c", "d", "e"})
        p.AddFile(kMissingDest, name);
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 3u);
    EXPECT_EQ(out.failed, 2u);
    EXPECT_TRUE(rec.shown.empty());
    EXPECT_EQ(rec.failures.size(), 2u);
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 3u);
    ASSERT_EQ(p.store.Count(kMissingDest), 2u);
    for (const auto& row : p.store.List(kMissingDest)) {
        EXPECT_EQ(row.icon, RowIcon::Failed);
        EXPECT_TRUE(row.checked);
        EXPECT_FALSE(row.StatusText().empty());
    }
    EXPECT_TRUE(test::SaysReason(p.store.Row(kMissingDest, 0).StatusText(), ENOENT));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 0).StatusText(), p.t.Path("s/b")));
    EXPECT_TRUE(p.t.Exists("d/d/inner"));
    EXPECT_EQ(p.t.ReadFile("d/e"), "e");
}

TEST(CopyCheckedRows, IgnoreErrorOffStopsAtTheFirstFailure)
{
    SyncPair p;
    p.options.IgnoreError = false;
    for (const char* name : {"a", "c", "d", "e"})
        p.t.WriteFile(std::string("s/") + name, name);
    for (const char* name : {"a", "b", "c", "d", "e"})
        p.AddFile(kMissingDest, name);
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_TRUE(out.stoppedOnFailure);
    ASSERT_EQ(rec.shown.size(), 1u);
    EXPECT_EQ(rec.shown[0], p.store.Row(kMissingDest, 1).StatusText());
    EXPECT_EQ(rec.captions, (std::vector<std::string>{"1 of 5", "2 of 5"}));
    EXPECT_EQ(p.store.Row(kMissingDest, 1).icon, RowIcon::Failed);
    for (std::size_t k = 2; k < 5; ++k) {
        EXPECT_EQ(p.store.Row(kMissingDest, k).icon, RowIcon::File);
        EXPECT_EQ(p.store.Row(kMissingDest, k).Tag(), "");
    }
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 1u);
    EXPECT_TRUE(p.t.Exists("d/a"));
    EXPECT_FALSE(p.t.Exists("d/c"));
}

TEST(CopyCheckedRows, CancelTakesEffectAfterTheRowInHand)
{
    SyncPair p;
    for (int i = 1; i <= 10; ++i) {
        p.t.WriteFile("s/f" + std::to_string(i), "x");
        p.AddFile(kMissingDest, "f" + std::to_string(i));
    }
    Recorder rec;
    // Pumps: 10 in the counting pass, 1 between, then one at the start of each
    // row's turn: number 11 + 3 is the start of row 4's turn.
    rec.onPump = [&](int pump) {
        if (pump == 14)
            p.runFlag.Set(false);
    };
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_TRUE(out.cancelled);
    EXPECT_EQ(out.succeeded, 4u);
    EXPECT_EQ(rec.captions.back(), "4 of 10");
    EXPECT_FALSE(p.runFlag.IsSet());
    EXPECT_TRUE(p.t.Exists("d/f4"));
    EXPECT_FALSE(p.t.Exists("d/f5"));
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 4u);
    ASSERT_EQ(p.store.Count(kMissingDest), 6u);
    EXPECT_EQ(p.store.Row(kMissingDest, 0).relativePath, "f5");
    EXPECT_EQ(p.store.Row(kMissingDest, 0).icon, RowIcon::File);

    // A cancel during a failing row also stops the run after that row.
    SyncPair q;
    q.options.IgnoreError = true;
    q.t.WriteFile("s/ok", "x");
    q.AddFile(kMissingDest, "gone");
    q.AddFile(kMissingDest, "ok");
    Recorder rec2;
    rec2.onPump = [&](int pump) {
        if (pump == 3)
            q.runFlag.Set(false);
    };
    const SyncOutcome out2 = q.Copy(kMissingDest, S2D, rec2);
    EXPECT_TRUE(out2.cancelled);
    EXPECT_EQ(out2.failed, 1u);
    EXPECT_FALSE(q.t.Exists("d/ok"));
}

// A cancel while the checked rows are counted starts no row at all, with
// one row at a time as with several in flight.
TEST(CopyCheckedRows, CancelWhileCountingStartsNoRow)
{
    for (const char* inFlight : {"1", "4"}) {
        test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", inFlight);
        SyncPair p;
        for (int i = 1; i <= 3; ++i) {
            p.t.WriteFile("s/f" + std::to_string(i), "x");
            p.AddFile(kMissingDest, "f" + std::to_string(i));
        }
        Recorder rec;
        rec.onPump = [&](int pump) {
            if (pump == 1) // the second row of the counting pass
                p.runFlag.Set(false);
        };
        const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
        test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", nullptr);
        SCOPED_TRACE(inFlight);
        EXPECT_TRUE(out.cancelled);
        EXPECT_EQ(out.started, 0u);
        EXPECT_TRUE(rec.captions.empty());
        EXPECT_TRUE(test::FolderEntries(p.t.Path("d")).empty());
    }
}

TEST(CopyCheckedRows, ChecksChangedDuringThePassCountForRowsNotReached)
{
    SyncPair p;
    for (int i = 1; i <= 6; ++i) {
        p.t.WriteFile("s/f" + std::to_string(i), "x");
        p.AddFile(kMissingDest, "f" + std::to_string(i), i != 6);
    }
    Recorder rec;
    // At the start of row 3's turn (pump 6 + 1 + 2) the user unchecks row 5
    // and checks row 6; row 1 is unchecked too, but it is done already.
    rec.onPump = [&](int pump) {
        if (pump == 9) {
            p.store.Row(kMissingDest, 4).checked = false;
            p.store.Row(kMissingDest, 5).checked = true;
            p.store.Row(kMissingDest, 0).checked = false;
        }
    };
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.total, 5u);
    EXPECT_EQ(out.succeeded, 5u);
    EXPECT_TRUE(p.t.Exists("d/f1"));
    EXPECT_FALSE(p.t.Exists("d/f5"));
    EXPECT_TRUE(p.t.Exists("d/f6"));
    EXPECT_EQ(rec.captions.back(), "5 of 5");

    // Rows checked after the counting pass: the total stays as counted.
    SyncPair q;
    for (int i = 1; i <= 3; ++i) {
        q.t.WriteFile("s/f" + std::to_string(i), "x");
        q.AddFile(kMissingDest, "f" + std::to_string(i), i == 1);
    }
    Recorder rec2;
    rec2.fraction = &q.progressFraction;
    rec2.onPump = [&](int pump) {
        if (pump == 4) // the start of row 1's turn
            q.store.SetAllChecked(true);
    };
    const SyncOutcome out2 = q.Copy(kMissingDest, S2D, rec2);
    EXPECT_EQ(out2.total, 1u);
    EXPECT_EQ(out2.succeeded, 3u);
    EXPECT_EQ(rec2.captions, (std::vector<std::string>{"1 of 1", "2 of 1", "3 of 1"}));
    ASSERT_EQ(rec2.fractions.size(), 3u);
    for (const double fraction : rec2.fractions)
        EXPECT_GE(fraction, 1.0) << "the bar is full from the counted row on";

    // None counted at all: the fraction is a full bar, not a division by zero.
    SyncPair z;
    z.t.WriteFile("s/f", "x");
    z.AddFile(kMissingDest, "f", false);
    Recorder rec3;
    rec3.fraction = &z.progressFraction;
    rec3.onPump = [&](int pump) {
        if (pump == 1)
            z.store.SetAllChecked(true);
    };
    EXPECT_EQ(z.Copy(kMissingDest, S2D, rec3).succeeded, 1u);
    EXPECT_EQ(rec3.captions, (std::vector<std::string>{"1 of 0"}));
    EXPECT_EQ(rec3.fractions, (std::vector<double>{1.0}));
}

TEST(CopyCheckedRows, FoldersAndMissingLevels)
{
    SyncPair p;
    p.t.MakeDir("s/F/G");
    p.t.WriteFile("s/F/one", "1");
    p.t.WriteFile("s/F/G/two", "2");
    p.t.WriteFile("s/deep/er/still/file", "deep");
    p.t.MakeDir("s/empty");
    // A whole missing folder, as the comparison lists it: folders before their content.
    p.AddFolder(kMissingDest, "F");
    p.AddFile(kMissingDest, "F/one");
    p.AddFolder(kMissingDest, "F/G");
    p.AddFile(kMissingDest, "F/G/two");
    // A file whose folders are all missing on the other side.
    p.AddFile(kMissingDest, "deep/er/still/file");
    // A folder row alone gives an empty folder.
    p.AddFolder(kMissingDest, "empty");
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 6u) << (rec.failures.empty() ? "" : rec.failures[0]);
    EXPECT_EQ(p.t.ReadFile("d/F/one"), "1");
    EXPECT_EQ(p.t.ReadFile("d/F/G/two"), "2");
    EXPECT_EQ(p.t.ReadFile("d/deep/er/still/file"), "deep");
    EXPECT_TRUE(p.t.Exists("d/empty"));

    // A folder row whose folder exists by now, and one whose parent is missing.
    SyncPair q;
    q.t.MakeDir("s/exists");
    q.t.MakeDir("d/exists");
    q.t.MakeDir("s/p/child");
    q.AddFolder(kMissingDest, "exists");
    q.AddFolder(kMissingDest, "p/child");
    Recorder rec2;
    const SyncOutcome out2 = q.Copy(kMissingDest, S2D, rec2);
    EXPECT_EQ(out2.failed, 2u);
    EXPECT_TRUE(test::SaysReason(q.store.Row(kMissingDest, 0).StatusText(), EEXIST));
    EXPECT_TRUE(test::SaysReason(q.store.Row(kMissingDest, 1).StatusText(), ENOENT));

    // The failed folder row is still a folder the next time: once its parent
    // exists it is created as a folder, not copied as a file.
    q.t.MakeDir("d/p");
    q.store.RemoveRow(kMissingDest, 0);
    const SyncOutcome again = q.Copy(kMissingDest, S2D, rec2);
    EXPECT_EQ(again.succeeded, 1u);
    EXPECT_EQ(platform::LookUp(q.t.Path("d/p/child")).kind, platform::EntryKind::Folder);
}

TEST(CopyCheckedRows, SourceChangedOrGoneAndTargetFolderThatIsAFile)
{
    SyncPair p;
    p.t.WriteFile("s/changed", "before");
    p.t.WriteFile("s/gone", "soon gone");
    p.t.WriteFile("s/sub/x", "x");
    p.t.WriteFile("d/sub", "a file where a folder should be");
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    // changed, gone, the folder sub (the destination has a file there) and sub/x.
    ASSERT_EQ(p.store.Count(kMissingDest), 4u);
    p.store.SetAllChecked(true);

    p.t.WriteFile("s/changed", "after the comparison");
    p.t.Remove("s/gone");
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 3u);
    EXPECT_EQ(p.t.ReadFile("d/changed"), "after the comparison");
    EXPECT_FALSE(p.t.Exists("d/gone"));
    EXPECT_EQ(p.t.ReadFile("d/sub"), "a file where a folder should be");
    auto reported = [&rec](int error) {
        for (const auto& text : rec.failures)
            if (test::SaysReason(text, error))
                return true;
        return false;
    };
    EXPECT_TRUE(reported(ENOTDIR));
    EXPECT_TRUE(reported(EEXIST));
    EXPECT_TRUE(reported(ENOENT));
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
}

TEST(CopyCheckedRows, FullDiskInTheMiddleOfALargeFileKeepsTheOldTarget)
{
    SyncPair p;
    const std::string big(3 * 1024 * 1024, 'N');
    p.t.WriteFile("s/big", big);
    p.t.WriteFile("d/big", "the old version");
    p.AddFile(kNewer, "big");
    Recorder rec;
    platform::SetWriteFaultForTesting(platform::WriteFault{1024 * 1024, ENOSPC});
    const SyncOutcome out = p.Copy(kNewer, S2D, rec);
    platform::SetWriteFaultForTesting(std::nullopt);
    EXPECT_EQ(out.failed, 1u);
    EXPECT_TRUE(test::Holds(p.store.Row(kNewer, 0).StatusText(), "No space left on device"));
    EXPECT_EQ(p.t.ReadFile("d/big"), "the old version");
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
}

#ifndef _WIN32
// POSIX only: modes, checked by an unprivileged child.
TEST(CopyCheckedRows, ReadOnlyTargetFolderAsAnUnprivilegedUser)
{
    SyncPair p;
    p.t.WriteFile("s/locked/a", "new");
    p.t.WriteFile("d/locked/a", "old");
    p.t.Chmod("d/locked", 0555);
    p.AddFile(kNewer, "locked/a");
    const int status = RunUnprivileged([&] {
        Recorder rec;
        const SyncOutcome out = p.Copy(kNewer, S2D, rec);
        return out.failed == 1 && rec.failures.size() == 1 &&
               rec.failures[0].find("Permission denied") != std::string::npos;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(p.t.ReadFile("d/locked/a"), "old");
    EXPECT_EQ(CountTempFiles(p.t.Path("d/locked")), 0);
}
#endif

#ifndef _WIN32
// POSIX only: links, FIFOs and a newline in a name.
TEST(CopyCheckedRows, LinksSpecialFilesAndUnusualNames)
{
    SyncPair p;
    p.t.WriteFile("s/real", "real content");
    p.t.Symlink("real", "s/link");
    p.t.MakeFifo("s/pipe");
    const std::string odd = "new\nline \xC3\xA9t\xC3\xA9 \xE2\x82\xAC.txt";
    p.t.WriteFile("s/" + odd, "odd name");
    p.AddFile(kMissingDest, "link");
    p.AddFile(kMissingDest, "pipe");
    p.AddFile(kMissingDest, odd);
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 2u);
    EXPECT_EQ(out.failed, 1u);
    EXPECT_EQ(platform::LookUp(p.t.Path("d/link")).kind, platform::EntryKind::SymbolicLink);
    char buf[64];
    const ssize_t n = ::readlink(p.t.Path("d/link").c_str(), buf, sizeof buf);
    EXPECT_EQ(std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0), "real");
    EXPECT_FALSE(p.t.Exists("d/pipe"));
    EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, 1).StatusText(), "not a regular file"));
    EXPECT_EQ(p.t.ReadFile("d/" + odd), "odd name");
}
#endif

TEST(CopyCheckedRows, TwoThousandCheckedRows)
{
    SyncPair p;
    for (int i = 0; i < 2000; ++i) {
        const std::string name = "d" + std::to_string(i % 20) + "/file" + std::to_string(i);
        p.t.WriteFile("s/" + name, name);
    }
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    ASSERT_EQ(p.store.Count(kMissingDest), 2020u); // 20 folders and their files
    p.store.SetAllChecked(true);
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 2020u);
    // Events ran before every row's start, so an uncheck or a Cancel acts at the next row.
    ASSERT_EQ(rec.pumpsAtRowStart.size(), 2020u);
    EXPECT_GT(rec.pumpsAtRowStart.front(), 0);
    for (std::size_t row = 1; row < rec.pumpsAtRowStart.size(); ++row)
        ASSERT_GT(rec.pumpsAtRowStart[row], rec.pumpsAtRowStart[row - 1]) << row;
    EXPECT_EQ(rec.captions.back(), "2020 of 2020");
    EXPECT_EQ(p.progressFraction, 1.0);
    EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 2020u);
    EXPECT_EQ(p.t.ReadFile("d/d7/file1007"), "d7/file1007");
}

TEST(CopyCheckedRows, CopiedPairsCompareEqualAfterwards)
{
    SyncPair p;
    p.t.WriteFile("s/newer", "newer text", 1'700'000'000, 999'999'999);
    p.t.WriteFile("d/newer", "older text", 1'600'000'000);
    p.t.WriteFile("s/older", "old", 1'500'000'000);
    p.t.WriteFile("d/older", "a newer one", 1'650'000'000);
    p.t.WriteFile("s/size", "same time, other size", 1'600'000'000);
    p.t.WriteFile("d/size", "same time", 1'600'000'000);
    p.t.WriteFile("s/tree/inner/leaf", "leaf", 1'400'000'000);
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    ASSERT_EQ(p.store.Count(kNewer), 1u);
    ASSERT_EQ(p.store.Count(ResultCategory::OlderThanDestination), 1u);
    ASSERT_EQ(p.store.Count(ResultCategory::OnlySizeChanged), 1u);
    p.store.SetAllChecked(true);
    Recorder rec;
    for (auto category : {kNewer, ResultCategory::OlderThanDestination, kMissingDest,
                          ResultCategory::OnlySizeChanged}) {
        EXPECT_EQ(p.Copy(category, S2D, rec).failed, 0u);
        p.store.RemoveProcessedRows(category);
    }
    EXPECT_EQ(p.store.TotalCount(), 0u);
    engine::RunScan(context);
    EXPECT_EQ(p.store.TotalCount(), 0u);
    EXPECT_EQ(p.t.ReadFile("d/older"), "old");
    EXPECT_EQ(p.t.ReadFile("d/tree/inner/leaf"), "leaf");
}

#ifndef _WIN32
// POSIX only: links made with symlink(2) (Windows' links: tests/windows).
TEST(CopyCheckedRows, NothingIsWrittenThroughALinkOnTheTargetSide)
{
    // The destination holds a link where the source has a folder: the scan
    // does not follow it, so the folder and its content are missing in the
    // destination, with expected paths that lead through the link.
    SyncPair p;
    p.t.WriteFile("s/sub/f", "new");
    p.t.WriteFile("s/sub/deeper/g", "new g");
    p.t.WriteFile("outside/f", "must stay");
    p.t.Symlink(p.t.Path("outside"), "d/sub");
    p.options.Overwriting = true;
    p.options.IgnoreError = true;
    engine::ScanContext context = p.ScanContext();
    engine::RunScan(context);
    ASSERT_EQ(p.store.Count(kMissingDest), 4u); // sub, sub/f, sub/deeper, sub/deeper/g
    p.store.SetAllChecked(true);
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 0u);
    EXPECT_EQ(out.failed, 4u);
    EXPECT_EQ(p.t.ReadFile("outside/f"), "must stay");
    EXPECT_FALSE(p.t.Exists("outside/deeper"));
    EXPECT_EQ(CountTempFiles(p.t.Path("outside")), 0);
    EXPECT_EQ(platform::LookUp(p.t.Path("d/sub")).kind, platform::EntryKind::SymbolicLink);
    for (std::size_t k = 1; k < 4; ++k) {
        EXPECT_EQ(p.store.Row(kMissingDest, k).icon, RowIcon::Failed);
        EXPECT_TRUE(test::Holds(p.store.Row(kMissingDest, k).StatusText(), "symbolic link"));
    }

    // The other way round: the source holds the link, the rows come from
    // the destination pass and are copied back towards the source.
    SyncPair q;
    q.t.WriteFile("d/sub/f", "new");
    q.t.WriteFile("outside/f", "must stay");
    q.t.Symlink(q.t.Path("outside"), "s/sub");
    q.options.Overwriting = true;
    q.options.IgnoreError = true;
    engine::ScanContext back = q.ScanContext();
    engine::RunScan(back);
    ASSERT_EQ(q.store.Count(kMissingSource), 2u);
    q.store.SetAllChecked(true);
    Recorder rec2;
    EXPECT_EQ(q.Copy(kMissingSource, D2S, rec2).succeeded, 0u);
    EXPECT_EQ(q.t.ReadFile("outside/f"), "must stay");

    // A link as the roots themselves is followed as the user chose it.
    SyncPair r;
    r.t.WriteFile("s/a", "a");
    r.t.MakeDir("real");
    r.t.Remove("d");
    r.t.Symlink(r.t.Path("real"), "d");
    r.AddFile(kMissingDest, "a");
    Recorder rec3;
    EXPECT_EQ(r.Copy(kMissingDest, S2D, rec3).succeeded, 1u);
    EXPECT_EQ(r.t.ReadFile("real/a"), "a");
}
#endif

#ifndef _WIN32
// POSIX only: dot names are hidden and FIFOs are system files.
TEST(CopyCheckedRows, HiddenAndSystemTargetsFollowOverwriting)
{
    SyncPair p;
    p.t.WriteFile("s/.profile", "new profile");
    p.t.WriteFile("d/.profile", "old profile");
    p.t.WriteFile("s/pipe", "a file where the destination has a FIFO");
    p.t.MakeFifo("d/pipe");
    p.t.WriteFile("s/.fresh", "nothing to replace");
    p.t.WriteFile("s/plain", "new plain");
    p.t.WriteFile("d/plain", "old plain");
    p.AddFile(kNewer, ".profile");
    p.AddFile(kNewer, "pipe");
    p.AddFile(kNewer, "plain");
    p.AddFile(kMissingDest, ".fresh");

    // Overwriting off: an existing hidden (dot) or system (special) target is
    // kept and its row fails; new files and ordinary targets are copied.
    p.options.Overwriting = false;
    Recorder rec;
    SyncOutcome out = p.Copy(kNewer, S2D, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 2u);
    EXPECT_EQ(p.Copy(kMissingDest, S2D, rec).succeeded, 1u);
    EXPECT_EQ(p.t.ReadFile("d/.profile"), "old profile");
    EXPECT_EQ(platform::LookUp(p.t.Path("d/pipe")).kind, platform::EntryKind::Special);
    EXPECT_EQ(p.t.ReadFile("d/.fresh"), "nothing to replace");
    EXPECT_EQ(p.t.ReadFile("d/plain"), "new plain");
    EXPECT_TRUE(test::Holds(p.store.Row(kNewer, 0).StatusText(), "Cannot replace hidden file"));
    EXPECT_TRUE(test::Holds(p.store.Row(kNewer, 1).StatusText(), "Cannot replace system file"));

    // Overwriting on: both are replaced (the FIFO is never opened, only replaced).
    p.store.RemoveProcessedRows(kNewer);
    p.options.Overwriting = true;
    out = p.Copy(kNewer, S2D, rec);
    EXPECT_EQ(out.succeeded, 2u);
    EXPECT_EQ(p.t.ReadFile("d/.profile"), "new profile");
    EXPECT_EQ(p.t.ReadFile("d/pipe"), "a file where the destination has a FIFO");
}
#endif

#ifndef _WIN32
// POSIX only: links made with symlink(2).
TEST(CopyCheckedRows, ALinkSwappedInForATargetFolderDuringTheRunIsNotFollowed)
{
    SyncPair p;
    p.t.WriteFile("s/sub/a", "a");
    p.t.WriteFile("s/sub/b", "b");
    p.t.WriteFile("s/sub/deep/c", "c");
    p.t.MakeDir("d/sub");
    p.t.WriteFile("outside/b", "must stay");
    for (const char* name : {"sub/a", "sub/b", "sub/deep/c"})
        p.AddFile(kMissingDest, name);
    p.options.IgnoreError = true;
    p.options.Overwriting = true;
    Recorder rec;
    // Pumps: 3 counting, 1 between, then rows a, b: pump 5 starts row b's turn.
    rec.onPump = [&](int pump) {
        if (pump == 5)
            SwapFolderForLink(p.t, "d");
    };
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 2u);
    EXPECT_EQ(p.t.ReadFile("d/moved/a"), "a");
    EXPECT_EQ(p.store.Row(kMissingDest, 1).StatusText(),
              "Cannot copy to '" + p.t.Path("d/sub/b") + "': '" + p.t.Path("d/sub") +
                  "' is a symbolic link, which is not followed");
    EXPECT_EQ(test::FolderEntries(p.t.Path("outside")), std::vector<std::string>{"b"});
    EXPECT_EQ(p.t.ReadFile("outside/b"), "must stay");

    // Swapped while a large file is being copied: the file lands in the
    // folder that was reached, nothing reaches the link's target.
    SyncPair q;
    const std::string big(2 * platform::kCopyStepBytes + 1, 'B');
    q.t.WriteFile("s/sub/big", big);
    q.t.MakeDir("d/sub");
    q.t.WriteFile("outside/big", "must stay");
    q.AddFile(kMissingDest, "sub/big");
    Recorder rec2;
    rec2.onStep = [&](std::uint64_t) {
        if (!q.t.Exists("d/moved"))
            SwapFolderForLink(q.t, "d");
        return true;
    };
    EXPECT_EQ(q.Copy(kMissingDest, S2D, rec2).succeeded, 1u);
    EXPECT_EQ(q.t.ReadFile("d/moved/big"), big);
    EXPECT_EQ(test::FolderEntries(q.t.Path("outside")), std::vector<std::string>{"big"});
    EXPECT_EQ(q.t.ReadFile("outside/big"), "must stay");
    EXPECT_EQ(CountTempFiles(q.t.Path("d/moved")), 0);
}
#endif

TEST(CopyCheckedRows, AnAbandonedLargeFileLeavesItsTargetAndRowAsTheyWere)
{
    SyncPair p;
    const std::string big(2 * platform::kCopyStepBytes + 1, 'N');
    p.t.WriteFile("s/before", "new before");
    p.t.WriteFile("s/big", big);
    p.t.WriteFile("s/after", "new after");
    p.t.WriteFile("d/before", "old before");
    p.t.WriteFile("d/big", "the old version", 1'500'000'000, 4200);
    p.t.WriteFile("d/after", "old after");
    for (const char* name : {"before", "big", "after"})
        p.AddFile(kNewer, name);
    for (auto& row : p.store.List(kNewer))
        row.icon = RowIcon::File;
    Recorder rec;
    rec.onStep = [](std::uint64_t) { return false; };
    const SyncOutcome out = p.Copy(kNewer, S2D, rec);

    EXPECT_TRUE(out.cancelled);
    EXPECT_FALSE(out.stoppedOnFailure);
    EXPECT_EQ(out.succeeded, 1u);
    EXPECT_EQ(out.failed, 0u);
    ASSERT_EQ(rec.steps.size(), 1u);
    EXPECT_GE(rec.steps[0], platform::kCopyStepBytes);
    EXPECT_TRUE(rec.failures.empty());
    const engine::CompareItem& row = p.store.Row(kNewer, 1);
    EXPECT_TRUE(row.checked);
    EXPECT_EQ(row.icon, RowIcon::File);
    EXPECT_EQ(row.Tag(), "");
    EXPECT_EQ(row.StatusText(), "");
    EXPECT_EQ(p.t.ReadFile("d/big"), "the old version");
    EXPECT_EQ(p.t.Mtime("d/big"), (std::pair<std::int64_t, long>{1'500'000'000, 4200}));
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
    EXPECT_EQ(p.t.ReadFile("d/after"), "old after");
    EXPECT_EQ(p.store.Row(kNewer, 2).icon, RowIcon::File);
    EXPECT_EQ(p.store.RemoveProcessedRows(kNewer), 1u);
    EXPECT_EQ(p.t.ReadFile("d/before"), "new before");
}

struct ClearFlushFault {
    ~ClearFlushFault() { platform::SetFlushFaultForTesting(std::nullopt); }
};

TEST(CopyCheckedRows, AFailedFlushFailsTheRowsWrittenToThatFileSystem)
{
    ClearFlushFault clear;
    for (const bool ignoreError : {true, false}) {
        SyncPair p;
        p.options.IgnoreError = ignoreError;
        p.t.WriteFile("s/a", "a");
        p.t.WriteFile("s/sub/b", "b");
        p.AddFile(kMissingDest, "a");
        p.AddFolder(kMissingDest, "sub");
        p.AddFile(kMissingDest, "sub/b");
        platform::SetFlushFaultForTesting(platform::FlushFault{EIO});
        Recorder rec;
        const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
        platform::SetFlushFaultForTesting(std::nullopt);

        EXPECT_EQ(out.succeeded, 0u) << ignoreError;
        EXPECT_EQ(out.failed, 3u) << ignoreError;
        EXPECT_EQ(rec.failures.size(), 3u) << ignoreError;
        EXPECT_EQ(rec.shown.size(), ignoreError ? 0u : 1u);
        EXPECT_EQ(p.store.Row(kMissingDest, 2).StatusText(),
                  "Cannot flush to disk '" + p.t.Path("d/sub/b") + "': Input/output error");
        for (const auto& row : p.store.List(kMissingDest))
            EXPECT_EQ(row.icon, RowIcon::Failed) << row.relativePath;
        EXPECT_EQ(p.store.RemoveProcessedRows(kMissingDest), 0u);
        // The files, whose content may not be on disk, are listed again.
        engine::ScanContext context = p.ScanContext();
        engine::RunScan(context);
        EXPECT_EQ(p.store.Count(kNewer), 2u) << ignoreError;
    }
}

TEST(CopyCheckedRows, ListsCopiedInOneGoAreFlushedOnceAtTheEnd)
{
    ClearFlushFault clear;
    SyncPair p;
    p.t.WriteFile("s/a", "new a");
    p.t.WriteFile("d/a", "old a", 1'500'000'000);
    p.t.WriteFile("s/b", "b");
    p.AddFile(kNewer, "a");
    p.AddFile(kMissingDest, "b");
    p.ListAsCompared(kNewer);
    platform::SetFlushFaultForTesting(platform::FlushFault{EIO});
    Recorder rec;
    PendingFlush pending;
    std::vector<std::pair<ResultCategory, SyncOutcome>> outcomes;
    for (auto category : {kNewer, kMissingDest}) {
        outcomes.emplace_back(category, CopyCheckedRows(p.store, category, S2D, p.options, p.runFlag,
                                                        p.progressFraction, rec, &pending));
        EXPECT_EQ(outcomes.back().second.succeeded, 1u); // not flushed yet
    }
    EXPECT_TRUE(rec.failures.empty());
    FlushCopiedRows(pending, p.store, p.options, rec, outcomes);
    EXPECT_EQ(rec.failures.size(), 2u);
    for (const auto& [category, outcome] : outcomes) {
        EXPECT_EQ(outcome.failed, 1u);
        EXPECT_EQ(outcome.succeeded, 0u);
        EXPECT_EQ(p.store.Row(category, 0).icon, RowIcon::Failed);
    }
}

#ifndef _WIN32
// POSIX only: Windows lets no one write to a source while it is copied.
TEST(CopyCheckedRows, ASourceChangedDuringItsCopyFailsItsRowAndKeepsTheOldTarget)
{
    SyncPair p;
    p.t.WriteFile("s/big", std::string(2 * platform::kCopyStepBytes, 'x'), 1'500'000'000);
    p.t.WriteFile("d/big", "old", 1'400'000'000);
    p.AddFile(kNewer, "big");
    Recorder rec;
    // Overwritten in place once the copy has passed its head: a torn copy.
    rec.onStep = [&](std::uint64_t) {
        p.t.WriteFile("s/big", std::string(2 * platform::kCopyStepBytes, 'y'));
        return true;
    };
    EXPECT_EQ(p.Copy(kNewer, S2D, rec).failed, 1u);
    EXPECT_EQ(p.store.Row(kNewer, 0).StatusText(),
              "Cannot copy '" + p.t.Path("s/big") + "': it changed while it was being copied");
    EXPECT_EQ(p.t.ReadFile("d/big"), "old");
    EXPECT_EQ(test::FolderEntries(p.t.Path("d")), std::vector<std::string>{"big"});
}
#endif

TEST(CopyCheckedRows, EventsKeepRunningWhileASlowFlushLasts)
{
    ClearFlushFault clear;
    SyncPair p;
    p.t.WriteFile("s/a", "a");
    p.t.WriteFile("s/b", "b");
    p.AddFile(kMissingDest, "a");
    p.AddFile(kMissingDest, "b");
    platform::SetFlushFaultForTesting(platform::FlushFault{0, std::chrono::milliseconds(300)});
    Recorder rec;
    int pumpsAfterTheCopies = 0;
    rec.onPump = [&](int) {
        if (p.t.Exists("d/a") && p.t.Exists("d/b"))
            ++pumpsAfterTheCopies;
    };
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);

    EXPECT_EQ(out.succeeded, 2u);
    // Both files were in place while the flush still took its 300 ms.
    EXPECT_GE(pumpsAfterTheCopies, 2);
    EXPECT_EQ(p.t.ReadFile("d/b"), "b");
}

} // namespace
} // namespace tandrel::sync
