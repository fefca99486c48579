#include "engine/ResultStore.h"

#include "engine/ScanFixture.h"
#include "engine/TextForms.h"

#include <clocale>
#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

CompareItem FileItem(std::string relative, std::int64_t size, std::int64_t modified)
{
    CompareItem item;
    item.relativePath = std::move(relative);
    item.size = size;
    item.modified = modified;
    item.icon = RowIcon::File;
    return item;
}

CompareItem FolderItem(std::string relative, std::int64_t modified)
{
    CompareItem item;
    item.relativePath = std::move(relative);
    item.modified = modified;
    item.isFolder = true;
    item.icon = RowIcon::Folder;
    return item;
}

TEST(ResultStoreTest, KeysCountRowsPerListFromZero)
{
    ResultStore store;
    store.Reset("/s/", "/d/", 0);
    for (int i = 0; i < 5; ++i)
        store.AddResultRow(ResultCategory::NotInDestination, FileItem("f" + std::to_string(i), i, 0));
    store.AddResultRow(ResultCategory::NewerThanDestination, FileItem("n", 1, 0));

    ASSERT_EQ(store.Count(ResultCategory::NotInDestination), 5u);
    EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInDestination, 0)), "KEY0");
    EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInDestination, 4)), "KEY4");
    // Each list counts on its own.
    EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NewerThanDestination, 0)), "KEY0");
    EXPECT_EQ(store.TotalCount(), 6u);
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 0u);

    // Rows keep the order in which they came.
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(store.Row(ResultCategory::NotInDestination, i).relativePath, "f" + std::to_string(i));

    // A cleared store keeps its roots and offset and counts keys from zero again.
    store.Clear();
    EXPECT_EQ(store.TotalCount(), 0u);
    EXPECT_EQ(store.SourceRoot(), "/s/");
    EXPECT_EQ(store.DestinationRoot(), "/d/");
    store.AddResultRow(ResultCategory::NotInDestination, FileItem("again", 0, 0));
    EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInDestination, 0)), "KEY0");

    // Reset empties every list too and takes the new roots.
    store.AddResultRow(ResultCategory::NotInSource, FileItem("x", 0, 0));
    store.Reset("/a/", "/b/", 60);
    EXPECT_EQ(store.TotalCount(), 0u);
    EXPECT_EQ(store.SourceRoot(), "/a/");
    EXPECT_EQ(store.LocalOffset(), 60);
}

TEST(ResultStoreTest, PathsAndTextsOfRows)
{
    std::setlocale(LC_TIME, "C");
    const std::int64_t offset = 3600;
    ResultStore store;
    store.Reset("/data/src/", "/mnt/dst/", offset);

    const std::int64_t t = test::Utc(2014, 3, 5, 6, 5, 4); // 07:05:04 at +1 h
    CompareItem pair = FileItem("sub/a.txt", 5368709123LL, t);
    pair.counterpartSize = 12;
    pair.counterpartModified = t + 60;
    store.AddResultRow(ResultCategory::OlderThanDestination, std::move(pair));
    store.AddResultRow(ResultCategory::NotInDestination, FolderItem("sub/dir", t));
    store.AddResultRow(ResultCategory::NotInSource, FileItem("only/in dst.txt", 0, t));

    const auto& older = store.Row(ResultCategory::OlderThanDestination, 0);
    EXPECT_EQ(store.Path(ResultCategory::OlderThanDestination, older), "/data/src/sub/a.txt");
    EXPECT_EQ(store.TargetPath(ResultCategory::OlderThanDestination, older), "/mnt/dst/sub/a.txt");
    EXPECT_EQ(store.SizeTextOf(older), "5368709123");
    EXPECT_EQ(store.ModifiedText(older), "Mar/05/2014 07:05:04");
    EXPECT_EQ(store.CounterpartModifiedText(older), "Mar/05/2014 07:06:04");
    EXPECT_EQ(store.CounterpartSizeText(older), "12");

    // A folder: no trailing separator on either path, a single space as size.
    const auto& folder = store.Row(ResultCategory::NotInDestination, 0);
    EXPECT_EQ(store.Path(ResultCategory::NotInDestination, folder), "/data/src/sub/dir");
    EXPECT_EQ(store.TargetPath(ResultCategory::NotInDestination, folder), "/mnt/dst/sub/dir");
    EXPECT_EQ(store.SizeTextOf(folder), " ");
    EXPECT_EQ(store.ModifiedText(folder), "Mar/05/2014 07:05:04");

    // List 4 was walked on the destination side.
    const auto& onlyDst = store.Row(ResultCategory::NotInSource, 0);
    EXPECT_EQ(store.Path(ResultCategory::NotInSource, onlyDst), "/mnt/dst/only/in dst.txt");
    EXPECT_EQ(store.TargetPath(ResultCategory::NotInSource, onlyDst), "/data/src/only/in dst.txt");
    EXPECT_EQ(store.SizeTextOf(onlyDst), "0");

    for (ResultCategory c : kAllCategories) {
        const bool destinationSide = c == ResultCategory::NotInSource;
        EXPECT_EQ(store.WalkedRoot(c), destinationSide ? "/mnt/dst/" : "/data/src/");
        EXPECT_EQ(store.OtherRoot(c), destinationSide ? "/data/src/" : "/mnt/dst/");
    }
}

TEST(ResultStoreTest, StatusTagCheckAndRemoval)
{
    ResultStore store;
    store.Reset("/s/", "/d/", 0);
    for (int i = 0; i < 6; ++i)
        store.AddResultRow(ResultCategory::NotInSource, FileItem("r" + std::to_string(i), i, 0));

    auto& row = store.Row(ResultCategory::NotInSource, 2);
    EXPECT_EQ(row.StatusText(), "");
    EXPECT_EQ(row.Tag(), "");
    EXPECT_FALSE(row.checked);
    row.SetStatusText("Permission denied");
    EXPECT_EQ(row.StatusText(), "Permission denied");
    row.SetStatusText("");
    EXPECT_EQ(row.StatusText(), "");
    row.SetTag("x");
    EXPECT_EQ(row.Tag(), "");
    row.SetTag("d");
    EXPECT_EQ(row.Tag(), "d");

    store.SetAllChecked(true);
    for (const auto& item : store.List(ResultCategory::NotInSource))
        EXPECT_TRUE(item.checked);

    store.Row(ResultCategory::NotInSource, 0).SetTag("d");
    store.Row(ResultCategory::NotInSource, 5).SetTag("d");
    EXPECT_EQ(store.RemoveProcessedRows(ResultCategory::NotInSource), 3u);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource),
              (std::vector<std::string>{"r1", "r3", "r4"}));
    // The survivors keep their keys.
    EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInSource, 1)), "KEY3");
    EXPECT_EQ(store.RemoveProcessedRows(ResultCategory::NotInSource), 0u);

    store.RemoveRow(ResultCategory::NotInSource, 0);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), (std::vector<std::string>{"r3", "r4"}));
    store.SetAllChecked(false);
    EXPECT_FALSE(store.Row(ResultCategory::NotInSource, 0).checked);
}

// Tag patterns as text, one letter per row: 'd' tagged, '.' kept.
TEST(ResultStoreTest, PurgeRemovesTaggedRunsBottomUpAndReadsTheListBetweenRuns)
{
    const struct {
        const char* tags;
        std::size_t runs;
    } cases[] = {
        {"", 0}, {"....", 0}, {"dddd", 1}, {"d.d..dd.", 3}, {".dd.d", 2}, {"d...", 1}, {"...d", 1}, {"d.d.d.d.d.", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.tags);
        ResultStore store;
        store.Reset("/s/", "/d/", 0);
        std::vector<std::string> expected;
        const std::string tags = c.tags;
        for (std::size_t i = 0; i < tags.size(); ++i) {
            CompareItem item = FileItem("r" + std::to_string(i), 1, 0);
            item.processed = tags[i] == 'd';
            store.AddResultRow(ResultCategory::NotInSource, std::move(item));
            expected.push_back("r" + std::to_string(i));
        }
        ProcessedRowPurge purge(store, ResultCategory::NotInSource);
        ASSERT_EQ(purge.Runs().size(), c.runs);
        while (!purge.Runs().empty()) {
            const ProcessedRowPurge::Run run = purge.Runs().back();
            for (std::size_t row = run.first; row <= run.last; ++row)
                EXPECT_TRUE(purge.Row(row).processed);
            purge.RemoveLastRun();
            expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(run.first),
                           expected.begin() + static_cast<std::ptrdiff_t>(run.last + 1));
            ASSERT_EQ(purge.Count(), expected.size());
            for (std::size_t row = 0; row < expected.size(); ++row)
                EXPECT_EQ(purge.Row(row).relativePath, expected[row]);
        }
        EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), expected);
        for (const auto& item : store.List(ResultCategory::NotInSource))
            EXPECT_FALSE(item.processed);
    }
}

// A purge left part way still leaves the list without its tagged rows.
TEST(ResultStoreTest, PurgeEndedEarlyLeavesTheListWhole)
{
    ResultStore store;
    store.Reset("/s/", "/d/", 0);
    for (int i = 0; i < 6; ++i) {
        CompareItem item = FileItem("r" + std::to_string(i), 1, 0);
        item.processed = i == 1 || i == 4;
        store.AddResultRow(ResultCategory::NewerThanDestination, std::move(item));
    }
    {
        ProcessedRowPurge purge(store, ResultCategory::NewerThanDestination);
        purge.RemoveLastRun();
    }
    EXPECT_EQ(test::Relatives(store, ResultCategory::NewerThanDestination),
              (std::vector<std::string>{"r0", "r2", "r3", "r5"}));
}

TEST(ResultStoreTest, CaptionsOfTheFiveCategories)
{
    const CategoryCaptions captions = DefaultCategoryCaptions();
    EXPECT_EQ(captions[1], "Newer than destination");
    EXPECT_EQ(captions[2], "Older than destination");
    EXPECT_EQ(captions[3], "Can not find destination");
    EXPECT_EQ(captions[4], "Can not find source");
    EXPECT_EQ(captions[5], "Only size changed");
    EXPECT_TRUE(IsOneSided(ResultCategory::NotInDestination));
    EXPECT_TRUE(IsOneSided(ResultCategory::NotInSource));
    EXPECT_FALSE(IsOneSided(ResultCategory::OnlySizeChanged));
}

TEST(ResultStoreTest, UnreadableFoldersAreKeptOnceInOrderUntilReset)
{
    ResultStore store;
    store.AddUnreadableFolder("/s/a", "Permission denied");
    store.AddUnreadableFolder("/d/b", "Input/output error");
    store.AddUnreadableFolder("/s/a", "Too many open files"); // met again from the other pass
    ASSERT_EQ(store.UnreadableFolders().size(), 2u);
    EXPECT_EQ(store.UnreadableFolders()[0].path + ": " + store.UnreadableFolders()[0].reason, "/s/a: Permission denied");
    EXPECT_EQ(store.UnreadableFolders()[1].path, "/d/b");
    store.Reset("/s/", "/d/", 0);
    EXPECT_TRUE(store.UnreadableFolders().empty());
    store.AddUnreadableFolder("/s/a", "Permission denied");
    EXPECT_EQ(store.UnreadableFolders().size(), 1u);
}

} // namespace
} // namespace tandrel::engine
