#include "sync/SyncOperations.h"
#include "platform/FileFaults.h"

#include "support/MountSandbox.h"
#include "sync/SyncTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <sys/mount.h>

namespace tandrel::sync {
namespace {

constexpr std::int64_t kOld = 1'600'000'000;
constexpr std::int64_t kNew = 1'700'000'000;

// Rows worked on `count` at a time (1: one after another).
struct RowsAtOnce {
    explicit RowsAtOnce(int count) { test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", std::to_string(count).c_str()); }
    ~RowsAtOnce() { test::SetEnvironment("TANDREL_ROWS_IN_FLIGHT", nullptr); }
};

std::string Changed(SyncPair& p, const std::string& relative)
{
    return "'" + p.t.Path(relative) + "' has changed since the comparison";
}

// What `relative` holds, or "(none)".
std::string Content(SyncPair& p, const std::string& relative)
{
    return p.t.Exists(relative) ? p.t.ReadFile(relative) : "(none)";
}

struct TargetChange {
    const char* what;
    ResultCategory category;
    CopyDirection direction;
    const char* target;
    std::function<void(test::TempTree&)> change;
};

// A copy acts only on a target still as the comparison listed it: absent,
// or of the listed size and time. Overwriting does not change that.
TEST(RowsAsCompared, ACopyLeavesATargetChangedSinceTheComparison)
{
    const TargetChange changes[] = {
        {"came where none was", kMissingDest, S2D, "d/sub/f", [](test::TempTree& t) { t.WriteFile("d/sub/f", "came", kNew); }},
        {"came in the other direction", kMissingSource, D2S, "s/sub/f",
         [](test::TempTree& t) { t.WriteFile("s/sub/f", "came", kNew); }},
        {"other size", kNewer, S2D, "d/sub/f", [](test::TempTree& t) { t.WriteFile("d/sub/f", "older+", kOld); }},
        {"other time", kNewer, S2D, "d/sub/f", [](test::TempTree& t) { t.WriteFile("d/sub/f", "older", kOld + 1); }},
        {"gone", kNewer, S2D, "d/sub/f", [](test::TempTree& t) { t.Remove("d/sub/f"); }},
        {"its folder gone", kNewer, S2D, "d/sub/f", [](test::TempTree& t) { t.Remove("d/sub"); }},
        {"a folder now", kNewer, S2D, "d/sub/f", [](test::TempTree& t) {
             t.Remove("d/sub/f");
             t.MakeDir("d/sub/f");
         }},
        {"other time, copied back", kNewer, D2S, "s/sub/f", [](test::TempTree& t) { t.WriteFile("s/sub/f", "newer", kNew + 1); }},
    };
    for (const int atOnce : {1, 4})
        for (const bool overwriting : {false, true})
            for (const TargetChange& change : changes) {
                SCOPED_TRACE(std::string(change.what) + (overwriting ? ", Overwriting on" : "") + ", " +
                             std::to_string(atOnce) + " at once");
                RowsAtOnce rows(atOnce);
                SyncPair p;
                const bool paired = change.category == kNewer;
                if (change.category != kMissingSource)
                    p.t.WriteFile("s/sub/f", "newer", kNew);
                if (change.category != kMissingDest)
                    p.t.WriteFile("d/sub/f", paired ? "older" : "only here", kOld);
                p.t.MakeDir("d/sub");
                p.t.MakeDir("s/sub");
                p.AddFile(change.category, "sub/f");
                p.ListAsCompared(change.category);
                change.change(p.t);
                const std::string before = Content(p, change.target);
                p.options.Overwriting = overwriting;
                p.options.IgnoreError = true;
                Recorder rec;
                const SyncOutcome out = p.Copy(change.category, change.direction, rec);
                EXPECT_EQ(out.failed, 1u);
                EXPECT_EQ(p.store.Row(change.category, 0).StatusText(), Changed(p, change.target));
                EXPECT_EQ(Content(p, change.target), before);
                EXPECT_EQ(CountTempFiles(p.t.Path("d")) + CountTempFiles(p.t.Path("s")), 0);
            }
}

// A delete removes only an item still as listed; a folder row needs only
// that its folder is still a folder.
TEST(RowsAsCompared, ADeleteLeavesAnItemChangedSinceTheComparison)
{
    const TargetChange changes[] = {
        {"other size", kMissingSource, S2D, "d/f", [](test::TempTree& t) { t.WriteFile("d/f", "grown", kOld); }},
        {"other time", kNewer, S2D, "s/f", [](test::TempTree& t) { t.WriteFile("s/f", "item", kOld + 7); }},
        {"gone", kMissingDest, S2D, "s/f", [](test::TempTree& t) { t.Remove("s/f"); }},
        {"a folder now", kMissingDest, S2D, "s/f", [](test::TempTree& t) {
             t.Remove("s/f");
             t.MakeDir("s/f");
         }},
        {"folder row, a file now", kMissingDest, S2D, "s/dir", [](test::TempTree& t) {
             t.Remove("s/dir");
             t.WriteFile("s/dir", "a file", kOld);
         }},
    };
    for (const int atOnce : {1, 4})
        for (const bool overwriting : {false, true})
            for (const TargetChange& change : changes) {
                SCOPED_TRACE(std::string(change.what) + (overwriting ? ", Overwriting on" : "") + ", " +
                             std::to_string(atOnce) + " at once");
                RowsAtOnce rows(atOnce);
                SyncPair p;
                const std::string side = change.category == kMissingSource ? "d/" : "s/";
                p.t.WriteFile(side + "f", "item", kOld);
                p.t.MakeDir(side + "dir");
                if (change.category == kNewer)
                    p.t.WriteFile("d/f", "other", kOld - 5);
                if (std::string(change.target).ends_with("dir"))
                    p.AddFolder(change.category, "dir");
                else
                    p.AddFile(change.category, "f");
                p.ListAsCompared(change.category);
                change.change(p.t);
                const std::string before = p.t.Exists(change.target) ? "there" : "(none)";
                p.options.Overwriting = overwriting;
                Recorder rec;
                const SyncOutcome out = p.Delete(change.category, rec);
                EXPECT_EQ(out.failed, 1u);
                EXPECT_EQ(p.store.Row(change.category, 0).StatusText(), Changed(p, change.target));
                EXPECT_EQ(p.t.Exists(change.target) ? "there" : "(none)", before);
            }
}

// With rows in flight, a row taken while a row of its folder is under way
// is held back while rows of other folders go first; one unchecked
// meanwhile is left as it was. The two large files keep both workers busy
// until the window has let events run.
TEST(RowsAsCompared, ARowUncheckedWhileHeldIsLeftAsItWas)
{
    RowsAtOnce rows(2);
    SyncPair p;
    const std::string big(2 * platform::kCopyStepBytes + 1, 'B');
    for (const char* name : {"a/big", "a/small", "b/big"}) {
        p.t.WriteFile(std::string("s/") + name, std::string(name).ends_with("big") ? big : "small");
        p.AddFile(kMissingDest, name);
    }
    Recorder rec;
    rec.onPump = [&](int pump) {
        if (pump == 4) // 3 counting, 1 between the passes, then the first wait of the working pass
            p.store.Row(kMissingDest, 1).checked = false;
    };
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    EXPECT_EQ(out.succeeded, 2u);
    EXPECT_EQ(out.started, 2u);
    const engine::CompareItem& row = p.store.Row(kMissingDest, 1);
    EXPECT_FALSE(row.processed);
    EXPECT_EQ(row.icon, RowIcon::File);
    EXPECT_FALSE(p.t.Exists("d/a/small"));
    EXPECT_EQ(p.t.ReadFile("d/b/big"), big);
}

// A copy onto a folder that folds case finds a name differing only in case
// as present: the row fails instead of replacing that file.
TEST(RowsAsCompared, ACaseVariantOnAFoldingTargetIsNotReplaced)
{
    if (const std::string missing = test::ExfatUnavailable(); !missing.empty())
        GTEST_SKIP() << "exFAT not tried: " << missing;
    for (const int atOnce : {1, 4}) {
        RowsAtOnce rows(atOnce);
        SyncPair p;
        const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
            std::string error = test::MountExfat(p.t.Path("image"), p.t.Path("d"));
            if (error.empty()) {
                p.t.WriteFile("d/2001/IMG_0001.JPG", "newer photo", kNew);
                p.t.WriteFile("s/2001/img_0001.jpg", "older photo", kOld);
                p.AddFile(kMissingDest, "2001/img_0001.jpg");
                p.options.Overwriting = true;
                Recorder rec;
                const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
                if (out.failed != 1 || p.store.Row(kMissingDest, 0).StatusText() != Changed(p, "d/2001/img_0001.jpg"))
                    error += "row: " + p.store.Row(kMissingDest, 0).StatusText() + "; ";
                if (p.t.ReadFile("d/2001/IMG_0001.JPG") != "newer photo")
                    error += "the newer photo was replaced; ";
            }
            test::UnmountExfat(p.t.Path("d"));
            return error;
        });
        if (outcome.skipped)
            GTEST_SKIP() << outcome.text;
        EXPECT_EQ(outcome.text, "") << atOnce << " at once";
    }
}

// Rows that fail for lack of space while others took space beside them are
// tried again alone once the others are done: as many fit as one at a time.
TEST(RowsAsCompared, RowsShortOfSpaceInFlightAreTriedAgainAlone)
{
    constexpr std::size_t kMiB = 1024 * 1024;
    RowsAtOnce rows(8);
    SyncPair p;
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        // 50 MiB, 16 of them the old files: 34 MiB free, while each copy needs
        // 12 MiB beside its old file and then frees 2: three fit one at a time.
        std::string error = test::MountTmpfs(p.t.Path("d"), "size=50m");
        if (!error.empty())
            return error;
        for (int i = 0; i < 8; ++i) {
            const std::string name = "f" + std::to_string(i);
            p.t.WriteFile("s/" + name, std::string(12 * kMiB, 'n'), kNew);
            p.t.WriteFile("d/" + name, std::string(2 * kMiB, 'o'), kOld);
            p.AddFile(kNewer, name);
        }
        p.options.IgnoreError = true;
        Recorder rec;
        const SyncOutcome out = p.Copy(kNewer, S2D, rec);
        if (out.succeeded != 3 || out.failed != 5)
            error += std::to_string(out.succeeded) + " copied, " + std::to_string(out.failed) + " failed; ";
        for (std::size_t k = 0; k < p.store.Count(kNewer); ++k) {
            const engine::CompareItem& row = p.store.Row(kNewer, k);
            const std::size_t size = p.t.ReadFile("d/" + row.relativePath).size();
            if (size != (row.processed ? 12 : 2) * kMiB)
                error += row.relativePath + " holds " + std::to_string(size) + " bytes; ";
            if (!row.processed && !test::SaysReason(row.StatusText(), ENOSPC))
                error += row.StatusText() + "; ";
        }
        if (CountTempFiles(p.t.Path("d")) != 0)
            error += "temporary files left; ";
        ::umount(p.t.Path("d").c_str());
        return error;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

// Every row in flight runs out of space past its first step; the space is
// back once they have all ended, and each row tried again alone is copied.
TEST(RowsAsCompared, RowsThatRanOutOfSpaceTogetherAreEachCopiedAlone)
{
    RowsAtOnce rows(8);
    SyncPair p;
    const std::string big(2 * platform::kCopyStepBytes + 1, 'N');
    for (int i = 0; i < 8; ++i) {
        p.t.WriteFile("s/f" + std::to_string(i), big);
        p.AddFile(kMissingDest, "f" + std::to_string(i));
    }
    platform::SetWriteFaultForTesting(
        platform::WriteFault{static_cast<std::int64_t>(platform::kCopyStepBytes), ENOSPC});
    int steps = 0;
    Recorder rec;
    rec.onStep = [&](std::uint64_t) {
        if (++steps == 9) // the first step of a row tried again: every row has ended once
            platform::SetWriteFaultForTesting(std::nullopt);
        return true;
    };
    p.options.IgnoreError = true;
    const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
    platform::SetWriteFaultForTesting(std::nullopt);
    EXPECT_EQ(out.succeeded, 8u);
    EXPECT_EQ(out.failed, 0u) << (rec.failures.empty() ? "" : rec.failures[0]);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(Content(p, "d/f" + std::to_string(i)).size(), big.size()) << i;
    EXPECT_EQ(CountTempFiles(p.t.Path("d")), 0);
}

// On sshfs, where the flush of the file system at the end never reaches the
// server, each new file is flushed through its own descriptor before its rename.
TEST(RowsAsCompared, EachFileCopiedOntoSshfsIsFlushedOnTheServer)
{
    if (const std::string missing = test::SshfsUnavailable(); !missing.empty())
        GTEST_SKIP() << "sshfs not tried: " << missing;
    SyncPair p;
    p.t.MakeDir("served");
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        std::string error = test::MountSshfs(p.t.Path("served"), p.t.Path("d"), p.t.Path("server.log"));
        if (error.empty()) {
            for (int i = 0; i < 5; ++i) {
                p.t.WriteFile("s/new" + std::to_string(i), "new file");
                p.AddFile(kMissingDest, "new" + std::to_string(i));
            }
            Recorder rec;
            const SyncOutcome out = p.Copy(kMissingDest, S2D, rec);
            if (out.succeeded != 5)
                error += std::to_string(out.succeeded) + " copied; ";
        }
        test::UnmountSshfs(p.t.Path("d"));
        if (!error.empty())
            return error;
        std::ifstream log(p.t.Path("server.log"));
        int flushes = 0;
        for (std::string line; std::getline(log, line);)
            if (line.find("fsync \"") != std::string::npos)
                ++flushes;
        return flushes == 5 ? std::string() : std::to_string(flushes) + " files flushed on the server";
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

} // namespace
} // namespace tandrel::sync
