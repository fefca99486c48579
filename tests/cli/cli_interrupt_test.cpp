// Ctrl-C (SIGINT) and SIGTERM: in the process, and sent to the real program.

#include "cli/CliProcess.h"
#include "cli/CliSync.h"
#include "platform/FileOps.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::cli {
namespace {

using engine::ResultCategory;
using test::CliRun;
using test::TempTree;

// A store holding `names` in list 3 (missing in the destination), all checked.
struct ListThree {
    TempTree tree;
    engine::ResultStore store;
    Interrupts interrupts;
    StatusLine status{STDERR_FILENO, false};

    explicit ListThree(const std::vector<std::string>& names)
    {
        tree.MakeDir("dst");
        store.Reset(tree.Path("src/"), tree.Path("dst/"), 0);
        for (const auto& name : names) {
            tree.WriteFile("src/" + name, name + " content");
            engine::CompareItem item;
            item.relativePath = name;
            item.size = static_cast<std::int64_t>(name.size() + 8);
            item.checked = true;
            store.AddResultRow(ResultCategory::NotInDestination, std::move(item));
        }
    }
};

TEST(CliSyncObserverTest, AnInterruptBeforeTheListBeganStartsNoRow)
{
    ListThree list({"a", "b", "c"});
    CliSyncObserver observer(Command::Copy, list.store, list.interrupts, list.status, 3);
    observer.StartList(ResultCategory::NotInDestination, false);
    list.interrupts.Note(); // lands after the last check, before the copy raises the flag again
    double fraction = 0;
    const sync::SyncOutcome outcome =
        sync::CopyCheckedRows(list.store, ResultCategory::NotInDestination, sync::CopyDirection::SourceToDestination,
                              settings::CompareOptions::Defaults(), list.interrupts.Flag(), fraction, observer);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_EQ(outcome.started, 0u);
    EXPECT_EQ(test::FolderEntries(list.tree.Path("dst")), std::vector<std::string>{});
}

TEST(CliSyncObserverTest, TheSecondInterruptAbandonsTheFileInHand)
{
    ListThree list({"a"});
    CliSyncObserver observer(Command::Copy, list.store, list.interrupts, list.status, 1);
    observer.StartList(ResultCategory::NotInDestination, false);
    observer.RowStarted(1, 1, list.tree.Path("dst/a"));
    EXPECT_TRUE(observer.FileCopyStep(4, 9));
    list.interrupts.Note();
    EXPECT_TRUE(observer.FileCopyStep(6, 9)); // the first only stops after this file
    list.interrupts.Note();
    EXPECT_FALSE(observer.FileCopyStep(8, 9));
}

// Rows in flight start ahead of those finishing: the status counts rows
// finished (done or failed, each once) and their bytes, with the file in hand's.
TEST(CliSyncObserverTest, CountsTheRowsFinishedAndTheirBytesWithRowsInFlight)
{
    ListThree list({"one", "two"}); // 11 bytes each, as the rows say
    CliSyncObserver observer(Command::Copy, list.store, list.interrupts, list.status, 2);
    observer.StartList(ResultCategory::NotInDestination, false);
    observer.RowStarted(1, 2, "one");
    observer.RowStarted(2, 2, "two");
    observer.FileCopyStep(5, 11);
    EXPECT_EQ(observer.Bytes(), 5u);
    EXPECT_EQ(observer.Done(), 0u);
    auto& one = list.store.Row(ResultCategory::NotInDestination, 0);
    auto& two = list.store.Row(ResultCategory::NotInDestination, 1);
    one.processed = true;
    observer.RowChanged(ResultCategory::NotInDestination, 0);
    EXPECT_EQ(observer.Bytes(), 11u);
    EXPECT_EQ(observer.Done(), 1u);
    two.icon = engine::RowIcon::Failed;
    observer.RowChanged(ResultCategory::NotInDestination, 1);
    observer.RowFailed(ResultCategory::NotInDestination, 1, "failed"); // failed rows add no bytes
    EXPECT_EQ(observer.Bytes(), 11u);
    EXPECT_EQ(observer.Done(), 2u);
    one.processed = false; // its flush failed after the run
    one.icon = engine::RowIcon::Failed;
    observer.RowChanged(ResultCategory::NotInDestination, 0);
    EXPECT_EQ(observer.Done(), 2u);
}

TEST(CliSignals, AnInterruptBeforeTheWorkBeganIsKept)
{
    TempTree t;
    t.WriteFile("src/a", "a");
    t.WriteFile("dst/b", "b");
    const std::string s = t.Path("src"), d = t.Path("dst");
    const struct {
        std::vector<std::string> args;
        int signal;
        int status;
    } cases[] = {
        {{"compare", s, d}, SIGINT, 2},
        {{"copy", "--to", "destination", "--lists", "3", s, d}, SIGINT, 1},
        {{"delete", "--lists", "4", s, d}, SIGTERM, 1},
    };
    for (const auto& c : cases) {
        test::CliStart start;
        start.pendingSignals = {c.signal};
        const CliRun r = test::RunCli(c.args, start);
        EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << r.err;
        EXPECT_TRUE(test::Holds(r.err, "cancelled"));
    }
    EXPECT_FALSE(t.Exists("dst/a"));
    EXPECT_TRUE(t.Exists("dst/b"));
}

TEST(CliSignals, AnIgnoredInterruptStaysIgnored)
{
    TempTree t;
    for (int i = 0; i < 2000; ++i)
        t.WriteFile("src/f" + std::to_string(i), "content");
    t.MakeDir("dst");
    test::CliStart start;
    start.ignoredSignals = {SIGINT};
    test::CliProcess cli({"copy", "--to", "destination", "--lists", "3", t.Path("src"), t.Path("dst")}, start);
    cli.WaitForEntry(t.Path("dst"), [](const std::string&) { return true; });
    cli.Signal(SIGINT);
    const CliRun r = cli.Finish();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(test::FolderEntries(t.Path("dst")).size(), 2000u);
}

TEST(CliSignals, TwoInterruptsDuringABigFileLeaveNoHalfFile)
{
    TempTree t;
    constexpr off_t kSize = 256 << 20;
    t.WriteFile("src/big", "");
    ASSERT_EQ(::truncate(t.Path("src/big").c_str(), kSize), 0);
    t.WriteFile("dst/big", "the old target", 1'000'000'000);
    test::CliProcess cli({"copy", "--to", "destination", "--lists", "1", t.Path("src"), t.Path("dst")});
    cli.WaitForEntry(t.Path("dst"),
                     [](const std::string& name) { return name.rfind(platform::kTempFilePrefix, 0) == 0; });
    cli.Signal(SIGINT);
    ::usleep(100'000); // two signals sent at once would arrive as one
    cli.Signal(SIGINT);
    const CliRun r = cli.Finish();
    EXPECT_TRUE(r.status == 1 || r.status == 0) << r.status << r.err;
    if (r.status == 1) {
        EXPECT_TRUE(test::Holds(r.err, "cancelled"));
    }
    EXPECT_EQ(test::FolderEntries(t.Path("dst")), std::vector<std::string>{"big"});
    struct stat st {};
    ASSERT_EQ(::stat(t.Path("dst/big").c_str(), &st), 0);
    if (st.st_size != kSize) {
        EXPECT_EQ(t.ReadFile("dst/big"), "the old target");
    }
}

} // namespace
} // namespace tandrel::cli
