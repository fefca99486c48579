#include "sync/SyncOperations.h"

#include "platform/FileOps.h"
#include "platform/OwnTemporaries.h"
#include "platform/windows/WindowsFiles.h"
#include "windows/WinTestFolder.h"

#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

namespace tandrel::sync {
namespace {

using engine::ResultCategory;
using engine::ResultStore;
using test::WinTestFolder;

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
            WinTestFolder t;
            if (c.attribute != platform::kAttrReadOnly && !t.KeepsDosAttributes())
                GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden or system bits";
            t.MakeFolders("src");
            t.MakeFolders("dst");
            t.WriteFile("src\\f", "new");
            t.SetWriteTime("src\\f", 2'000'000'000);
            t.WriteFile("dst\\f", "old");
            t.SetWriteTime("dst\\f", 1'000'000'000);
            t.WriteFile("dst\\only", "x");
            for (const char* name : {"dst\\f", "dst\\only"})
                ASSERT_TRUE(platform::WriteAttributes(t.Path(name), c.attribute).ok());
            const std::string label = std::string(c.kind) + (overwriting ? " with Overwriting" : " without");

            ResultStore store = test::CompareFolders(t);
            const Recorder copied = WorkOnRows(store, ResultCategory::NewerThanDestination, true, overwriting);
            const Recorder deleted = WorkOnRows(store, ResultCategory::NotInSource, false, overwriting);
            if (overwriting) {
                EXPECT_TRUE(copied.failures.empty() && deleted.failures.empty()) << label;
                EXPECT_EQ(t.ReadFile("dst\\f"), "new") << label;
                EXPECT_EQ(t.Attributes("dst\\f") & kDosBits, t.BitsAlwaysReported()) << label;
                EXPECT_FALSE(t.Exists("dst\\only")) << label;
            } else {
                ASSERT_EQ(copied.failures.size(), 1u) << label;
                EXPECT_EQ(copied.failures[0].rfind(std::string("Cannot replace ") + c.kind + " file '" +
                                                       t.Path("dst\\f") + "': ", 0),
                          0u)
                    << copied.failures[0];
                ASSERT_EQ(deleted.failures.size(), 1u) << label;
                EXPECT_EQ(deleted.failures[0].rfind(std::string("Cannot delete ") + c.kind + " file", 0), 0u)
                    << deleted.failures[0];
                EXPECT_EQ(t.ReadFile("dst\\f"), "old") << label;
                EXPECT_TRUE(t.Attributes("dst\\f") & c.attribute) << label;
                EXPECT_TRUE(t.Exists("dst\\only")) << label;
            }
        }
    }
}

TEST(SyncWindows, OneWaySyncLeavesEqualTrees)
{
    WinTestFolder t;
    t.MakeFolders("src\\Docs\\new\\deeper");
    t.MakeFolders("dst\\docs\\gone");
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
        t.SetWriteTime(f.path, f.time);
    }
    // A temporary file that an interrupted copy left behind goes with the next
    // copy into its folder, or with its folder when that is deleted.
    const std::string stale = "dst\\.tandrel-tmp-4000000000-1-0123abcd.tmp";
    const std::string staleInGone = "dst\\docs\\gone\\.tandrel-tmp-4000000000-2-0123abcd.tmp";
    for (const std::string& leftover : {stale, staleInGone}) {
        t.WriteFile(leftover, "partial");
        t.SetWriteTime(leftover, 1'000'000'000);
    }

    ResultStore store = test::CompareFolders(t);
    EXPECT_EQ(test::RowPaths(store, ResultCategory::NotInSource),
              (std::set<std::string>{"docs\\gone", "docs\\gone\\x.txt", "stray.txt"}));
    for (ResultCategory category : {ResultCategory::NewerThanDestination, ResultCategory::OlderThanDestination,
                                    ResultCategory::NotInDestination, ResultCategory::OnlySizeChanged})
        EXPECT_TRUE(WorkOnRows(store, category, true, true).failures.empty()) << static_cast<int>(category);
    EXPECT_TRUE(WorkOnRows(store, ResultCategory::NotInSource, false, true).failures.empty());

    const ResultStore after = test::CompareFolders(t);
    for (int category = 1; category <= engine::kCategoryCount; ++category)
        EXPECT_EQ(after.Count(static_cast<ResultCategory>(category)), 0u) << category;
    EXPECT_EQ(t.ReadFile("dst\\docs\\report.txt"), "newer");
    EXPECT_EQ(t.ReadFile("dst\\Docs\\new\\deeper\\caf\xC3\xA9.txt"), "n");
    EXPECT_FALSE(t.Exists(stale));
    EXPECT_FALSE(t.Exists("dst\\docs\\gone"));
}

TEST(SyncWindows, DeletedItemsGoToTheRecycleBin)
{
    WinTestFolder t;
    t.MakeFolders("src");
    t.MakeFolders("dst\\full");
    t.MakeFolders("dst\\empty");
    t.WriteFile("dst\\full\\kept.txt", "k");
    t.WriteFile("dst\\one.txt", "1");
    ResultStore store = test::CompareFolders(t);
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
    EXPECT_NE(recorder.failures[0].find(t.Path("dst\\full")), std::string::npos) << recorder.failures[0];
}

} // namespace
} // namespace tandrel::sync
