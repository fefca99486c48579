#include "platform/OwnTemporaries.h"

#include "engine/ScanFixture.h"
#include "support/TempTree.h"
#include "sync/SyncTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace tandrel::platform {
namespace {

using test::TempTree;

std::string TempName(long pid, const char* rest = "-7-0a1b2c3d.tmp")
{
    return kTempFilePrefix + std::to_string(pid) + rest;
}

// The number of a process that has ended and been reaped.
long EndedProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

struct timespec Later()
{
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    t.tv_sec += 5;
    return t;
}

TEST(OwnTemporaries, OnlyTheExactFormIsRecognised)
{
    EXPECT_TRUE(IsOwnTemporaryName(".tandrel-tmp-123-0-0a1b2c3d.tmp"));
    EXPECT_TRUE(IsOwnTemporaryName(".tandrel-tmp-1-99999-ffffffff.tmp"));
    for (const char* other : {".tandrel-tmp-123-0-0a1b2c3.tmp", ".tandrel-tmp-123-0-0a1b2c3d0.tmp", ".tandrel-tmp-123-0-0A1B2C3D.tmp",
                              ".tandrel-tmp--0-0a1b2c3d.tmp", ".tandrel-tmp-12x-0-0a1b2c3d.tmp", ".tandrel-tmp-123-0-0a1b2c3d.tmp~",
                              ".tandrel-tmp-123-0-0a1b2c3d.TMP", "tandrel-tmp-123-0-0a1b2c3d.tmp", ".tandrel-tmp-123-0a1b2c3d.tmp",
                              ".tandrel-tmp-", ""})
        EXPECT_FALSE(IsOwnTemporaryName(other)) << other;
}

TEST(OwnTemporaries, RemovesOnlyStaleOnesOfEndedProcessesAndNeverFollowsLinks)
{
    TempTree t;
    const long ended = EndedProcess();
    const std::string stale = TempName(ended);
    const std::string mine = TempName(::getpid());
    const std::string living = TempName(::getppid());
    const std::string nearMiss = TempName(ended, "-7-0a1b2c3.tmp");
    t.WriteFile("d/" + stale, "partial");
    t.WriteFile("d/" + mine, "partial");
    t.WriteFile("d/" + living, "in flight");
    t.WriteFile("d/" + nearMiss, "a user's file");
    t.MakeDir("d/" + TempName(ended, "-8-0a1b2c3d.tmp"));
    t.WriteFile("outside/keep", "user data");
    t.Symlink(t.Path("outside/keep"), "d/" + TempName(ended, "-9-0a1b2c3d.tmp"));

    struct timespec early {};
    EXPECT_EQ(RemoveStaleTemporaries(t.Path("d"), early), 0); // all are newer than that run
    EXPECT_EQ(RemoveStaleTemporaries(t.Path("d"), Later()), 3);
    // The entries come back sorted; so must the expected names, whose order
    // depends on the process numbers drawn.
    std::vector<std::string> kept{living, nearMiss, TempName(ended, "-8-0a1b2c3d.tmp")};
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(test::FolderEntries(t.Path("d")), kept);
    EXPECT_EQ(t.ReadFile("outside/keep"), "user data");

    // A folder reached through a link is not swept.
    t.WriteFile("real/" + stale, "partial");
    t.Symlink(t.Path("real"), "via-link");
    EXPECT_EQ(RemoveStaleTemporaries(t.Path("via-link"), Later()), 0);
    EXPECT_TRUE(t.Exists("real/" + stale));
}

TEST(OwnTemporaries, ComparisonDoesNotListThemAndTheNextCopyRemovesThem)
{
    sync::SyncPair p;
    const std::string leftover = TempName(EndedProcess());
    p.t.WriteFile("s/sub/new.txt", "new");
    p.t.WriteFile("d/sub/" + leftover, "half a file", 1'500'000'000);
    p.t.WriteFile("s/" + leftover, "half a file", 1'500'000'000);
    // Written before the run starts: their status times lie before its start.

    test::ScanSetup everything; // no filters: hidden files are compared too
    const engine::ResultStore store = test::Compare(p.t.Path("s"), p.t.Path("d"), everything);
    EXPECT_EQ(test::Relatives(store, engine::ResultCategory::NotInDestination),
              std::vector<std::string>{"sub/new.txt"});
    EXPECT_TRUE(test::Relatives(store, engine::ResultCategory::NotInSource).empty());

    p.AddFile(engine::ResultCategory::NotInDestination, "sub/new.txt");
    sync::Recorder rec;
    EXPECT_EQ(p.Copy(engine::ResultCategory::NotInDestination, sync::CopyDirection::SourceToDestination, rec).succeeded,
              1u);
    EXPECT_EQ(test::FolderEntries(p.t.Path("d/sub")), std::vector<std::string>{"new.txt"});
    EXPECT_TRUE(p.t.Exists("s/" + leftover)); // only folders written into are swept
}

// Rows in flight write into one folder at once: none of them may write there
// before the folder's sweep is over, or a file it has just written (with the
// source's old time, all that some network file systems report) goes too.
TEST(OwnTemporaries, RowsWritingIntoAFolderWaitUntilItsSweepIsOverUnlessTheRunMadeIt)
{
    TempTree t;
    const long ended = EndedProcess();
    for (int i = 0; i < 300; ++i)
        t.WriteFile("d/" + TempName(ended, ("-" + std::to_string(i) + "-0a1b2c3d.tmp").c_str()), "");
    t.WriteFile("made/" + TempName(ended), "");
    TemporarySweep sweep(Later());
    // A folder the run made holds nothing of an earlier run: it is not read
    // (here a leftover planted in it shows that).
    sweep.MadeByThisRun(t.Path("made"));
    sweep.BeforeWritingInto(t.Path("made"));
    EXPECT_TRUE(t.Exists("made/" + TempName(ended)));
    std::vector<std::size_t> leftAtReturn(8);
    std::vector<std::thread> rows;
    for (std::size_t i = 0; i < leftAtReturn.size(); ++i)
        rows.emplace_back([&, i] {
            sweep.BeforeWritingInto(t.Path("d"));
            leftAtReturn[i] = test::FolderEntries(t.Path("d")).size();
        });
    for (std::thread& row : rows)
        row.join();
    EXPECT_EQ(leftAtReturn, std::vector<std::size_t>(leftAtReturn.size(), 0));
}

TEST(OwnTemporaries, DeletingAFolderTakesItsLeftoversAlong)
{
    sync::SyncPair p;
    const std::string leftover = TempName(EndedProcess());
    for (const char* folder : {"d/gone/", "d/kept/", "d/trashed/"})
        p.t.WriteFile(folder + leftover, "half a file");
    p.t.WriteFile("d/kept/user.txt", "user data");
    // Written before the run starts: their status times lie before its start.

    constexpr auto kNotInSource = engine::ResultCategory::NotInSource;
    p.AddFolder(kNotInSource, "gone");
    p.AddFolder(kNotInSource, "kept");
    sync::Recorder rec;
    EXPECT_EQ(p.Delete(kNotInSource, rec).succeeded, 1u);
    EXPECT_FALSE(p.t.Exists("d/gone"));
    // A folder holding a user's file stays, whatever was swept from it.
    EXPECT_EQ(test::FolderEntries(p.t.Path("d/kept")), std::vector<std::string>{"user.txt"});
    EXPECT_EQ(p.store.Row(kNotInSource, 1).StatusText(),
              "Cannot remove folder '" + p.t.Path("d/kept") + "': Directory not empty");

    // The trash takes only empty folder rows; the leftover does not count.
    ::setenv("XDG_DATA_HOME", p.t.Path("data").c_str(), 1); // never the user's own trash
    p.AddFolder(kNotInSource, "trashed");
    const std::size_t trashedRow = p.store.Count(kNotInSource) - 1;
    EXPECT_EQ(p.Delete(kNotInSource, rec, sync::DeleteTarget::Trash).succeeded, 1u)
        << p.store.Row(kNotInSource, trashedRow).StatusText();
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_FALSE(p.t.Exists("d/trashed"));
    EXPECT_EQ(test::FolderEntries(p.t.Path("data/Trash/files/trashed")), std::vector<std::string>{});
}

} // namespace
} // namespace tandrel::platform
