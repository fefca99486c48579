#include "sync/SyncOperations.h"

#include "sync/SyncTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace tandrel::sync {
namespace {

// Four rows in flight on the local disk, as on a network target.
struct RowsInFlight {
    RowsInFlight() { test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", "4"); }
    ~RowsInFlight() { test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", nullptr); }
};

// Folders f0..f3, each with a subfolder and files in both, listed top down
// as a comparison lists them; with `onDisk`, the items exist under `side`.
std::vector<std::string> NestedRows(SyncPair& p, ResultCategory category, const std::string& side)
{
    std::vector<std::string> files;
    for (int f = 0; f < 4; ++f) {
        const std::string folder = "f" + std::to_string(f);
        p.AddFolder(category, folder);
        for (int i = 0; i < 6; ++i) {
            const std::string name = folder + "/a" + std::to_string(i);
            p.t.WriteFile(side + "/" + name, "content of " + name);
            p.AddFile(category, name);
            files.push_back(name);
        }
        p.AddFolder(category, folder + "/sub");
        for (int i = 0; i < 6; ++i) {
            const std::string name = folder + "/sub/b" + std::to_string(i);
            p.t.WriteFile(side + "/" + name, "content of " + name);
            p.AddFile(category, name);
            files.push_back(name);
        }
    }
    return files;
}

// Every row but a failed one: done with its new content, or left as it was;
// none half-done.
void ExpectEachRowDoneOrUntouched(SyncPair& p, ResultCategory category, const std::string& oldPrefix)
{
    for (std::size_t k = 0; k < p.store.Count(category); ++k) {
        const engine::CompareItem& row = p.store.Row(category, k);
        const std::string target = "d/" + row.relativePath;
        if (row.icon == RowIcon::Failed)
            continue;
        EXPECT_EQ(p.t.ReadFile(target), row.processed ? p.t.ReadFile("s/" + row.relativePath)
                                                       : oldPrefix + row.relativePath)
            << target;
        EXPECT_EQ(row.icon, row.processed ? RowIcon::Started : RowIcon::File) << target;
    }
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
}

TEST(RowsInFlight, CopyMakesFoldersFirstAndReportsInListOrderWithAFailureAmongThem)
{
    RowsInFlight inFlight;
    SyncPair p;
    const auto files = NestedRows(p, kMissingDest, "s");
    p.t.Remove("s/f2/a3"); // one worker fails, the others go on
    p.options.IgnoreError = true;
    Recorder rec;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);

    const std::size_t rows = p.store.Count(kMissingDest);
    EXPECT_EQ(out.started, rows);
    EXPECT_EQ(out.succeeded, rows - 1);
    EXPECT_EQ(out.failed, 1u);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_NE(rec.failures[0].find(p.t.Path("s/f2/a3")), std::string::npos) << rec.failures[0];
    for (std::size_t k = 0; k < rows; ++k)
        EXPECT_EQ(rec.captions[k], std::to_string(k + 1) + " of " + std::to_string(rows));
    // Each row's changes come in list order: started, then done or failed.
    std::vector<std::size_t> ends;
    for (std::size_t i = 0; i < rec.changedRows.size(); ++i)
        if (std::count(rec.changedRows.begin(), rec.changedRows.begin() + static_cast<long>(i) + 1,
                       rec.changedRows[i]) == 2)
            ends.push_back(rec.changedRows[i]);
    EXPECT_EQ(ends.size(), rows);
    EXPECT_TRUE(std::is_sorted(ends.begin(), ends.end()));
    for (const std::string& name : files)
        EXPECT_EQ(p.t.ReadFile("d/" + name), name == "f2/a3" ? "" : "content of " + name);
    EXPECT_FALSE(p.t.Exists("d/f2/a3"));
}

TEST(RowsInFlight, DeleteRemovesEachFolderAfterItsContent)
{
    RowsInFlight inFlight;
    SyncPair p;
    NestedRows(p, kMissingSource, "d");
    Recorder rec;
    const SyncOutcome out = p.Delete(kMissingSource, rec);
    EXPECT_EQ(out.failed, 0u) << (rec.failures.empty() ? "" : rec.failures[0]);
    EXPECT_EQ(out.succeeded, p.store.Count(kMissingSource));
    EXPECT_TRUE(test::FolderEntries(p.t.Path("d")).empty());
}

// Rows are taken in list order but worked on spread over folders, so a
// stop finds many taken rows not yet worked on: they end as they were, not
// counted as started, and no folder is left behind its content.
TEST(RowsInFlight, AStopLeavesRowsTakenButNotWorkedOnAsTheyWere)
{
    for (const bool copy : {true, false}) {
        RowsInFlight inFlight;
        SyncPair p;
        const ResultCategory category = copy ? kMissingDest : kMissingSource;
        NestedRows(p, category, copy ? "s" : "d");
        const std::size_t rows = p.store.Count(category);
        Recorder rec;
        rec.onPump = [&](int pump) {
            if (pump == static_cast<int>(rows) + 3) // the second wait of the working pass
                p.runFlag.Set(false);
        };
        const SyncOutcome out = copy ? p.Copy(category, S2D, rec) : p.Delete(category, rec);

        SCOPED_TRACE(copy ? "copy" : "delete");
        EXPECT_TRUE(out.cancelled);
        EXPECT_EQ(out.failed, 0u) << (rec.failures.empty() ? "" : rec.failures[0]);
        EXPECT_GT(out.succeeded, 0u);
        EXPECT_LT(out.succeeded, rows);
        EXPECT_EQ(out.started, out.succeeded);
        for (std::size_t k = 0; k < rows; ++k) {
            const engine::CompareItem& row = p.store.Row(category, k);
            EXPECT_EQ(row.icon, row.processed ? RowIcon::Started : row.isFolder ? RowIcon::Folder : RowIcon::File)
                << row.relativePath;
            // A copied row is there, a deleted one gone; the others as they were.
            EXPECT_EQ(p.t.Exists("d/" + row.relativePath), copy == row.processed) << row.relativePath;
        }
    }
}

// Clearing the run flag, abandoning a large file, a failure with IgnoreError
// off: no row starts after it, and each row in flight ends done or as it was.
TEST(RowsInFlight, EveryWayOfStoppingLeavesRowsDoneOrAsTheyWere)
{
    enum class Stop { RunFlag, Abandon, Failure };
    // Enough small rows that the others cannot all start while the large
    // file's first step is being written.
    constexpr int kRows = 400;
    for (const Stop stop : {Stop::RunFlag, Stop::Abandon, Stop::Failure}) {
        RowsInFlight inFlight;
        SyncPair p;
        for (int i = 0; i < kRows; ++i) {
            const std::string name = "f" + std::to_string(100 + i);
            p.t.WriteFile("s/" + name, i == 5 ? std::string(2 * platform::kCopyStepBytes + 1, 'N') : "new " + name);
            p.t.WriteFile("d/" + name, "old " + name);
            p.AddFile(kNewer, name);
        }
        Recorder rec;
        if (stop == Stop::RunFlag)
            rec.onPump = [&](int pump) {
                if (pump == 45)
                    p.runFlag.Set(false);
            };
        if (stop == Stop::Abandon)
            rec.onStep = [](std::uint64_t) { return false; };
        if (stop == Stop::Failure) {
            p.t.MakeReadOnly("d/f103"); // read-only: kept while Overwriting is off
            p.options.Overwriting = false;
            p.options.IgnoreError = false;
        }
        const SyncOutcome out = p.Copy(kNewer, S2D, rec);

        SCOPED_TRACE(static_cast<int>(stop));
        EXPECT_EQ(out.cancelled, stop != Stop::Failure);
        EXPECT_EQ(out.stoppedOnFailure, stop == Stop::Failure);
        EXPECT_LT(out.started, static_cast<std::size_t>(kRows));
        EXPECT_EQ(out.succeeded + out.failed + (stop == Stop::Abandon ? 1 : 0), out.started);
        EXPECT_EQ(rec.shown.size(), stop == Stop::Failure ? 1u : 0u);
        if (stop == Stop::Failure) {
            EXPECT_EQ(p.store.Row(kNewer, 3).icon, RowIcon::Failed);
            EXPECT_EQ(p.t.ReadFile("d/f103"), "old f103");
        }
        // No row past those started is done; a row in flight when the run
        // stopped may end cancelled, as it was, instead of done.
        for (std::size_t k = 0; k < p.store.Count(kNewer); ++k)
            EXPECT_TRUE(!p.store.Row(kNewer, k).processed || k < out.started) << k;
        EXPECT_FALSE(stop == Stop::Abandon && p.store.Row(kNewer, 5).processed);
        EXPECT_FALSE(stop == Stop::Failure && p.store.Row(kNewer, 3).processed);
        ExpectEachRowDoneOrUntouched(p, kNewer, "old ");
    }
}

} // namespace
} // namespace tandrel::sync
