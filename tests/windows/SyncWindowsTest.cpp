#include "sync/SyncOperations.h"

#include "engine/ScanFixture.h"
#include "platform/FileOps.h"
#include "platform/OwnTemporaries.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdio>

namespace tandrel::sync {
namespace {

using engine::ResultCategory;
using engine::ResultStore;
using test::TempTree;

constexpr std::uint32_t kDosBits =
    platform::kAttrReadOnly | platform::kAttrHidden | platform::kAttrSystem | platform::kAttrArchive;

struct Recorder : SyncObserver {
    std::vector<std::string> failures;
    void RowFailed(ResultCategory, std::size_t, const std::string& text) override { failures.push_back(text); }
};

// Items in the Recycle Bin of the drive holding `path`; -1 when it cannot be asked.
long long ItemsInRecycleBin(const std::string& path)
{
    const std::wstring wide(path.begin(), path.begin() + 3); // the root folder of its drive
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    return SUCCEEDED(SHQueryRecycleBinW(wide.c_str(), &bin)) ? bin.i64NumItems : -1;
}

void ExpectEachSays(const Recorder& recorder, const std::string& text)
{
    for (const std::string& failure : recorder.failures)
        EXPECT_TRUE(test::Holds(failure, text));
}

void CheckAll(ResultStore& store, ResultCategory category)
{
    for (std::size_t k = 0; k < store.Count(category); ++k)
        store.Row(category, k).checked = true;
}

// Works on every row of `category`; copies go from source to destination.
Recorder WorkOnRows(ResultStore& store, ResultCategory category, bool copy, bool overwriting,
             DeleteTarget target = DeleteTarget::Remove)
{
    settings::CompareOptions options;
    options.Overwriting = overwriting;
    options.IgnoreError = true;
    engine::RunFlag flag;
    double fraction = 0;
    Recorder recorder;
    CheckAll(store, category);
    if (copy)
        CopyCheckedRows(store, category, CopyDirection::SourceToDestination, options, flag, fraction, recorder);
    else
        DeleteCheckedRows(store, category, options, flag, fraction, recorder, target);
    return recorder;
}

TEST(SyncWindows, ProtectedTargetsNeedOverwriting)
{
    struct Case {
        std::uint32_t attribute;
        const char* kind;
    };
    const Case cases[] = {{platform::kAttrReadOnly, "read-only"},
                          {platform::kAttrHidden, "hidden"},
                          {platform::kAttrSystem, "system"}};
    for (const Case& c : cases) {
        for (const bool overwriting : {false, true}) {
            TempTree t;
            if (c.attribute != platform::kAttrReadOnly && !t.KeepsDosAttributes())
                GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden or system bits";
            t.MakeDir("src");
            t.MakeDir("dst");
            t.WriteFile("src\\f", "new");
            t.SetMtime("src\\f", 2'000'000'000);
            t.WriteFile("dst\\f", "old");
            t.SetMtime("dst\\f", 1'000'000'000);
            t.WriteFile("dst\\only", "x");
            for (const char* name : {"dst\\f", "dst\\only"})
                ASSERT_TRUE(platform::WriteAttributes(t.Path(name), c.attribute).ok());
            const std::string label = std::string(c.kind) + (overwriting ? " with Overwriting" : " without");

            ResultStore store = test::CompareSides(t);
            const Recorder copied = WorkOnRows(store, ResultCategory::NewerThanDestination, true, overwriting);
            const Recorder deleted = WorkOnRows(store, ResultCategory::NotInSource, false, overwriting);
            if (overwriting) {
                EXPECT_TRUE(copied.failures.empty() && deleted.failures.empty()) << label;
                EXPECT_EQ(t.ReadFile("dst\\f"), "new") << label;
                EXPECT_EQ(t.Attributes("dst\\f") & kDosBits, t.BitsAlwaysReported()) << label;
                EXPECT_FALSE(t.Exists("dst\\only")) << label;
            } else {
                ASSERT_EQ(copied.failures.size(), 1u) << label;
                // Windows' own words for the refusal, as every other failure has them.
                EXPECT_EQ(copied.failures[0], std::string("Cannot replace ") + c.kind + " file '" + t.Path("dst\\f") +
                                                  "': " + platform::SystemMessage(ERROR_ACCESS_DENIED));
                ASSERT_EQ(deleted.failures.size(), 1u) << label;
                EXPECT_EQ(deleted.failures[0], std::string("Cannot delete ") + c.kind + " file '" +
                                                   t.Path("dst\\only") + "': " +
                                                   platform::SystemMessage(ERROR_ACCESS_DENIED));
                EXPECT_EQ(t.ReadFile("dst\\f"), "old") << label;
                EXPECT_TRUE(t.Attributes("dst\\f") & c.attribute) << label;
                EXPECT_TRUE(t.Exists("dst\\only")) << label;
            }
        }
    }
}

// A copy is asked whether to go on only while more is to come: a Cancel
// that arrives as a file's last bytes are written keeps the finished file.
TEST(SyncWindows, ACopyIsAskedToGoOnOnlyWhileMoreIsToCome)
{
    using platform::kCopyStepBytes;
    for (const std::uint64_t size : {std::uint64_t{0}, std::uint64_t{10}, kCopyStepBytes, kCopyStepBytes + 5}) {
        TempTree t;
        t.WriteFile("s", std::string(size, 'x'));
        int asked = 0;
        const auto r = platform::CopyFileSafely(t.Path("s"), t.Path("d"), [&](std::uint64_t done, std::uint64_t) {
            ++asked;
            EXPECT_LT(done, size);
            return false;
        });
        EXPECT_EQ(r.ok(), size <= kCopyStepBytes) << size;
        EXPECT_EQ(asked, size > kCopyStepBytes ? 1 : 0) << size;
        EXPECT_EQ(t.Exists("d"), r.ok()) << size;
    }
}

TEST(SyncWindows, OneWaySyncLeavesEqualTrees)
{
    TempTree t;
    t.MakeDir("src\\Docs\\new\\deeper");
    t.MakeDir("dst\\docs\\gone");
    const struct {
        const char* path;
        const char* content;
        std::int64_t time;
    } files[] = {
        {"src\\Docs\\Report.TXT", "newer", 2'000'000'000}, {"dst\\docs\\report.txt", "older", 1'000'000'000},
        {"src\\older.txt", "was", 1'000'000'000},          {"dst\\older.txt", "is", 2'000'000'000},
        {"src\\size.bin", "12345", 1'500'000'000},         {"dst\\size.bin", "123", 1'500'000'000},
        {"src\\Docs\\new\\deeper\\caf\xC3\xA9.txt", "n", 1'500'000'000},
        {"dst\\docs\\gone\\x.txt", "x", 1'500'000'000},    {"dst\\stray.txt", "s", 1'500'000'000},
    };
    for (const auto& f : files) {
        t.WriteFile(f.path, f.content);
        t.SetMtime(f.path, f.time);
    }
    // A temporary file that an interrupted copy left behind goes with the next
    // copy into its folder, or with its folder when that is deleted.
    const std::string stale = "dst\\.tandrel-tmp-4000000000-1-0123abcd.tmp";
    const std::string staleInGone = "dst\\docs\\gone\\.tandrel-tmp-4000000000-2-0123abcd.tmp";
    for (const std::string& leftover : {stale, staleInGone}) {
        t.WriteFile(leftover, "partial");
        t.SetMtime(leftover, 1'000'000'000);
    }

    ResultStore store = test::CompareSides(t);
    EXPECT_EQ(test::RowPaths(store, ResultCategory::NotInSource),
              (std::set<std::string>{"docs\\gone", "docs\\gone\\x.txt", "stray.txt"}));
    for (ResultCategory category : {ResultCategory::NewerThanDestination, ResultCategory::OlderThanDestination,
                                    ResultCategory::NotInDestination, ResultCategory::OnlySizeChanged})
        EXPECT_TRUE(WorkOnRows(store, category, true, true).failures.empty()) << static_cast<int>(category);
    EXPECT_TRUE(WorkOnRows(store, ResultCategory::NotInSource, false, true).failures.empty());

    const ResultStore after = test::CompareSides(t);
    for (int category = 1; category <= engine::kCategoryCount; ++category)
        EXPECT_EQ(after.Count(static_cast<ResultCategory>(category)), 0u) << category;
    EXPECT_EQ(t.ReadFile("dst\\docs\\report.txt"), "newer");
    EXPECT_EQ(t.ReadFile("dst\\Docs\\new\\deeper\\caf\xC3\xA9.txt"), "n");
    EXPECT_FALSE(t.Exists(stale));
    EXPECT_FALSE(t.Exists("dst\\docs\\gone"));
}

TEST(SyncWindows, DeletedItemsGoToTheRecycleBin)
{
    TempTree t;
    t.MakeDir("src");
    t.MakeDir("dst\\full");
    t.MakeDir("dst\\empty");
    t.WriteFile("dst\\full\\kept.txt", "k");
    t.WriteFile("dst\\one.txt", "1");
    ResultStore store = test::CompareSides(t);
    // Only the file and the empty folder: a folder row never takes a tree with it.
    for (std::size_t k = 0; k < store.Count(ResultCategory::NotInSource); ++k)
        store.Row(ResultCategory::NotInSource, k).checked = store.Row(ResultCategory::NotInSource, k).relativePath != "full\\kept.txt";
    settings::CompareOptions options;
    options.IgnoreError = true;
    engine::RunFlag flag;
    double fraction = 0;
    Recorder recorder;
    const long long before = ItemsInRecycleBin(t.Root());
    DeleteCheckedRows(store, ResultCategory::NotInSource, options, flag, fraction, recorder, DeleteTarget::Trash);
    EXPECT_EQ(ItemsInRecycleBin(t.Root()), before + 2);
    EXPECT_FALSE(t.Exists("dst\\one.txt"));
    EXPECT_FALSE(t.Exists("dst\\empty"));
    EXPECT_TRUE(t.Exists("dst\\full\\kept.txt"));
    ASSERT_EQ(recorder.failures.size(), 1u);
    EXPECT_TRUE(test::Holds(recorder.failures[0], t.Path("dst\\full")));
}

TEST(SyncWindows, FolderRowsCarryAndKeepTheirAttributes)
{
    const struct {
        std::uint32_t attribute;
        const char* kind;
    } cases[] = {{platform::kAttrReadOnly, "read-only"},
                 {platform::kAttrHidden, "hidden"},
                 {platform::kAttrSystem, "system"}};
    for (const auto& c : cases) {
        TempTree t;
        t.MakeDir("src\\made");
        t.MakeDir("dst\\kept");
        for (const char* folder : {"src\\made", "dst\\kept"})
            ASSERT_TRUE(platform::WriteAttributes(t.Path(folder), c.attribute).ok());
        if (!(t.Attributes("src\\made") & c.attribute)) {
            std::printf("%s: the file system of %s keeps no %s bit on folders\n", c.kind, t.Root().c_str(), c.kind);
            continue;
        }
        ResultStore store = test::CompareSides(t);
        EXPECT_TRUE(WorkOnRows(store, ResultCategory::NotInDestination, true, false).failures.empty()) << c.kind;
        EXPECT_EQ(t.Attributes("dst\\made") & kDosBits, t.Attributes("src\\made") & kDosBits) << c.kind;

        const Recorder refused = WorkOnRows(store, ResultCategory::NotInSource, false, false);
        ASSERT_EQ(refused.failures.size(), 1u) << c.kind;
        const std::string refusal = std::string("Cannot remove ") + c.kind + " folder '" + t.Path("dst\\kept") + "': ";
        EXPECT_EQ(refused.failures[0], refusal + platform::SystemMessage(ERROR_ACCESS_DENIED));
        EXPECT_TRUE(t.Exists("dst\\kept")) << c.kind;
        EXPECT_TRUE(WorkOnRows(store, ResultCategory::NotInSource, false, true).failures.empty()) << c.kind;
        EXPECT_FALSE(t.Exists("dst\\kept")) << c.kind;
    }
}

TEST(SyncWindows, FolderLinksAreNeitherFollowedNorCopied)
{
    TempTree t;
    for (const char* side : {"src", "dst"}) {
        t.MakeDir(std::string(side) + "\\full");
        t.MakeDir(std::string(side) + "\\empty");
        t.WriteFile(std::string(side) + "\\full\\inside", "i");
        t.SetMtime(std::string(side) + "\\full\\inside", 1'500'000'000);
    }
    if (!t.MakeFolderLink("src\\link", "src\\full") || !t.MakeFolderLink("dst\\toFull", "dst\\full") ||
        !t.MakeFolderLink("dst\\toEmpty", "dst\\empty"))
        GTEST_SKIP() << "folder links cannot be made here";
    ResultStore store = test::CompareSides(t);
    EXPECT_EQ(test::RowPaths(store, ResultCategory::NotInSource), (std::set<std::string>{"toEmpty", "toFull"}));
    platform::ItemAt through;
    const std::string reached =
        platform::ReachItem(t.Path("dst"), "toFull\\inside", false, "Cannot delete", through).error;
    EXPECT_TRUE(test::Holds(reached, "toFull' is a junction or symbolic link, which is not followed"));

    const Recorder copied = WorkOnRows(store, ResultCategory::NotInDestination, true, true);
    ASSERT_EQ(copied.failures.size(), 1u);
    EXPECT_EQ(copied.failures[0], "Cannot copy '" + t.Path("src\\link") +
                                      "': it is a junction or symbolic link, which is not copied on this system");
    EXPECT_FALSE(t.Exists("dst\\link"));

    // Windows takes the links away as links; Wine can only open what they
    // lead to, so they stay, with a text that says why.
    const Recorder deleted = WorkOnRows(store, ResultCategory::NotInSource, false, true);
    EXPECT_EQ(deleted.failures.size(), test::RunsUnderWine() ? 2u : 0u);
    ExpectEachSays(deleted, "': it is a junction or symbolic link, and this system opens what it leads to");
    if (test::RunsUnderWine()) {
        const Recorder trashed = WorkOnRows(store, ResultCategory::NotInSource, false, true, DeleteTarget::Trash);
        EXPECT_EQ(trashed.failures.size(), 2u);
        ExpectEachSays(trashed, "this system would move what it leads to instead");
    }
    EXPECT_EQ(t.Exists("dst\\toEmpty") && t.Exists("dst\\toFull"), test::RunsUnderWine());
    EXPECT_TRUE(t.Exists("dst\\empty"));
    EXPECT_EQ(t.ReadFile("dst\\full\\inside"), "i");
}

// Under Wine the Recycle Bin is the trash below XDG_DATA_HOME; an item on
// another file system (Z:\dev\shm is a tmpfs) cannot be moved there, and
// the shell deletes it for good unless told to warn first.
TEST(SyncWindows, TheRecycleBinNeverDeletesForGoodUnreported)
{
    if (!test::RunsUnderWine() || GetFileAttributesW(L"Z:\\dev\\shm") == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no folder on another file system than the Recycle Bin";
    for (const bool withoutWarning : {false, true}) {
        TempTree t("Z:\\dev\\shm\\");
        t.MakeDir("src");
        t.MakeDir("dst\\empty");
        t.WriteFile("dst\\one.txt", "1");
        ResultStore store = test::CompareSides(t);
        const long long before = ItemsInRecycleBin(t.Root());
        platform::SetTrashWithoutNukeWarningForTesting(withoutWarning);
        const Recorder recorder = WorkOnRows(store, ResultCategory::NotInSource, false, false, DeleteTarget::Trash);
        platform::SetTrashWithoutNukeWarningForTesting(false);
        // Every row either went to the bin or failed; only a shell that
        // ignores the warning request can have taken a failed row's item.
        EXPECT_EQ(recorder.failures.size() + static_cast<std::size_t>(ItemsInRecycleBin(t.Root()) - before), 2u);
        if (!withoutWarning) {
            EXPECT_EQ(t.Exists("dst\\empty") + t.Exists("dst\\one.txt"), static_cast<int>(recorder.failures.size()));
        }
        ExpectEachSays(recorder, withoutWarning ? "it is gone but not in the Recycle Bin"
                                                : "the Recycle Bin cannot take it, and it was left where it is");
    }
}

} // namespace
} // namespace tandrel::sync
