#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "engine/TextForms.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

using Names = std::vector<std::string>;
using Set = std::set<std::string>;

const std::int64_t kT = 1500000000; // July 2017

TEST(ScannerTest, IdenticalTreesGiveNoRows)
{
    test::TempTree tree;
    for (const char* side : {"src/", "dst/"}) {
        const std::string s = side;
        tree.WriteFile(s + "a.txt", "hello", kT);
        tree.WriteFile(s + "sub/b.txt", "", kT + 1, 123);
        tree.WriteFile(s + "sub/deeper/c.bin", std::string(4096, 'x'), kT - 100000);
        tree.MakeDir(s + "empty");
    }
    // Folder times are not compared.
    tree.SetMtime("dst/sub", kT + 5000);
    engine::ResultStore store;
    store.Reset("/stale/", "/stale/", 0);
    store.AddResultRow(ResultCategory::NotInSource, CompareItem{});
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    EXPECT_EQ(store.TotalCount(), 0u);
}

TEST(ScannerTest, OneSidedFilesAndRowFields)
{
    test::TempTree tree;
    tree.WriteFile("src/only-src.txt", "12345", kT, 900000000);
    tree.WriteFile("dst/only-dst.txt", "123", kT + 60);
    tree.WriteFile("src/both.txt", "x", kT);
    tree.WriteFile("dst/both.txt", "x", kT);

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    ASSERT_EQ(test::Relatives(store, ResultCategory::NotInDestination), (Names{"only-src.txt"}));
    ASSERT_EQ(test::Relatives(store, ResultCategory::NotInSource), (Names{"only-dst.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::NewerThanDestination), 0u);
    EXPECT_EQ(store.Count(ResultCategory::OlderThanDestination), 0u);
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 0u);

    const auto& src = store.Row(ResultCategory::NotInDestination, 0);
    EXPECT_EQ(src.size, 5);
    EXPECT_EQ(src.modified, kT); // fraction dropped
    EXPECT_FALSE(src.isFolder);
    EXPECT_EQ(src.icon, RowIcon::File);
    EXPECT_EQ(src.key, 0u);
    EXPECT_FALSE(src.processed);
    EXPECT_EQ(src.StatusText(), "");
    EXPECT_EQ(store.Path(ResultCategory::NotInDestination, src), tree.Path("src/only-src.txt"));
    EXPECT_EQ(store.TargetPath(ResultCategory::NotInDestination, src), tree.Path("dst/only-src.txt"));
    EXPECT_EQ(store.SizeTextOf(src), "5");
    EXPECT_EQ(store.ModifiedText(src), TimeText(kT, store.LocalOffset()));
    EXPECT_EQ(store.LocalOffset(), LocalOffsetNow());

    const auto& dst = store.Row(ResultCategory::NotInSource, 0);
    EXPECT_EQ(dst.size, 3);
    EXPECT_EQ(store.Path(ResultCategory::NotInSource, dst), tree.Path("dst/only-dst.txt"));
    EXPECT_EQ(store.TargetPath(ResultCategory::NotInSource, dst), tree.Path("src/only-dst.txt"));
}

TEST(ScannerTest, MissingFolderWithAndWithoutSubfolders)
{
    test::TempTree tree;
    tree.WriteFile("src/sub/one.txt", "1", kT);
    tree.WriteFile("src/sub/two.txt", "22", kT);
    tree.WriteFile("src/sub/inner/three.txt", "333", kT);
    tree.SetMtime("src/sub", kT - 3600);
    tree.WriteFile("src/shared/diff.txt", "1", kT);
    tree.WriteFile("dst/shared/diff.txt", "1", kT + 10);
    tree.WriteFile("dst/extra/x.txt", "1", kT);
    tree.MakeDir("dst/emptyextra");

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    const Names missing = test::Relatives(store, ResultCategory::NotInDestination);
    EXPECT_EQ(Set(missing.begin(), missing.end()),
              (Set{"sub", "sub/one.txt", "sub/two.txt", "sub/inner", "sub/inner/three.txt"}));
    ASSERT_FALSE(missing.empty());
    EXPECT_EQ(missing.front(), "sub"); // the folder row comes before its contents
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource),
              (Set{"extra", "extra/x.txt", "emptyextra"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::OlderThanDestination), (Names{"shared/diff.txt"}));

    const CompareItem* folder = test::FindRow(store, ResultCategory::NotInDestination, "sub");
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->isFolder);
    EXPECT_EQ(folder->icon, RowIcon::Folder);
    EXPECT_EQ(store.SizeTextOf(*folder), " ");
    EXPECT_EQ(folder->modified, kT - 3600); // the folder's own time
    EXPECT_EQ(store.Path(ResultCategory::NotInDestination, *folder), tree.Path("src/sub"));
    EXPECT_EQ(store.TargetPath(ResultCategory::NotInDestination, *folder), tree.Path("dst/sub"));

    // Without subfolders: folders directly inside the roots are still looked
    // up and recorded, nothing inside any folder is examined.
    test::ScanSetup setup;
    setup.includeSubdirectories = false;
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInDestination), (Names{"sub"}));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{"extra", "emptyextra"}));
    EXPECT_EQ(store.Count(ResultCategory::OlderThanDestination), 0u);
}

TEST(ScannerTest, WalkOrderIsOwnEntriesFirstThenSubfoldersInOrderMet)
{
    test::TempTree tree;
    const Names top{"f1", "f2", "f3", "f4", "f5"};
    const Names dirs{"d1", "d2", "d3", "d4"};
    for (const auto& f : top)
        tree.WriteFile("src/" + f, "x", kT);
    for (const auto& d : dirs) {
        tree.WriteFile("src/" + d + "/a", "x", kT);
        tree.WriteFile("src/" + d + "/b", "x", kT);
        tree.WriteFile("src/" + d + "/deep/c", "x", kT);
        tree.WriteFile("src/" + d + "/deep/d", "x", kT);
        tree.WriteFile("src/" + d + "/other/e", "x", kT);
    }
    tree.MakeDir("dst");

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    const Names rows = test::Relatives(store, ResultCategory::NotInDestination);
    ASSERT_EQ(rows.size(), top.size() + dirs.size() * 8);

    // The keys follow the store order.
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInDestination, i)), "KEY" + std::to_string(i));

    // The root's own nine entries come first, in any order the system gives.
    const Set firstNine(rows.begin(), rows.begin() + 9);
    EXPECT_EQ(firstNine, (Set{"f1", "f2", "f3", "f4", "f5", "d1", "d2", "d3", "d4"}));

    // Then each subfolder's whole subtree, in the order the folder rows were met.
    Names folderOrder;
    for (std::size_t i = 0; i < 9; ++i)
        if (rows[i][0] == 'd')
            folderOrder.push_back(rows[i]);
    std::size_t pos = 9;
    for (const auto& d : folderOrder) {
        // The folder's own four entries...
        const Set own(rows.begin() + pos, rows.begin() + pos + 4);
        EXPECT_EQ(own, (Set{d + "/a", d + "/b", d + "/deep", d + "/other"})) << "at " << pos;
        Names subOrder;
        for (std::size_t i = pos; i < pos + 4; ++i)
            if (rows[i] == d + "/deep" || rows[i] == d + "/other")
                subOrder.push_back(rows[i]);
        pos += 4;
        // ...then its subfolders, each fully, in the order met.
        for (const auto& s : subOrder) {
            if (s == d + "/deep") {
                const Set deep(rows.begin() + pos, rows.begin() + pos + 2);
                EXPECT_EQ(deep, (Set{d + "/deep/c", d + "/deep/d"}));
                pos += 2;
            } else {
                EXPECT_EQ(rows[pos], d + "/other/e");
                pos += 1;
            }
        }
    }
    EXPECT_EQ(pos, rows.size());
}

TEST(ScannerTest, FileAgainstFolderOfTheSameName)
{
    test::TempTree tree;
    // A file in the source, a folder of that name in the destination.
    tree.WriteFile("src/x", "0123456789", kT);
    tree.WriteFile("dst/x/inner", "1", kT);
    tree.SetMtime("dst/x", kT);
    tree.WriteFile("src/later", "abc", kT);
    tree.MakeDir("dst/later");
    tree.SetMtime("dst/later", kT + 100);
    // A folder in the source, a file of that name in the destination.
    tree.WriteFile("src/y/inner2", "1", kT);
    tree.WriteFile("src/y/z/inner3", "1", kT);
    tree.WriteFile("dst/y", "1", kT);

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    // The file counts as found and is judged against the folder's time and a size of 0.
    ASSERT_EQ(test::Relatives(store, ResultCategory::OnlySizeChanged), (Names{"x"}));
    const auto& x = store.Row(ResultCategory::OnlySizeChanged, 0);
    EXPECT_EQ(x.size, 10);
    EXPECT_EQ(x.counterpartSize, 0);
    EXPECT_EQ(store.CounterpartSizeText(x), "0");
    EXPECT_EQ(x.counterpartModified, kT);
    ASSERT_EQ(test::Relatives(store, ResultCategory::OlderThanDestination), (Names{"later"}));
    EXPECT_EQ(store.Row(ResultCategory::OlderThanDestination, 0).counterpartSize, 0);
    EXPECT_EQ(store.Count(ResultCategory::NewerThanDestination), 0u);

    // A folder whose counterpart is a file has no counterpart folder: it and
    // everything in it are missing. The destination file finds the source folder.
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination),
              (Set{"y", "y/inner2", "y/z", "y/z/inner3"}));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{"x", "x/inner", "later"}));
    const CompareItem* xFolder = test::FindRow(store, ResultCategory::NotInSource, "x");
    ASSERT_NE(xFolder, nullptr);
    EXPECT_TRUE(xFolder->isFolder);
}

// Clears the run flag after a number of entries and records what the store
// held at that moment and whether anything was reported afterwards.
class CancelAfter : public ScanObserver {
public:
    CancelAfter(RunFlag& flag, const ResultStore*& store, std::size_t entries)
        : m_flag(flag), m_store(store), m_entries(entries)
    {
    }
    void EntryProcessed() override
    {
        ++m_calls;
        if (m_cancelled) {
            ++m_callsAfterCancel;
            return;
        }
        if (m_calls == m_entries || (m_rowLimit && m_store && m_store->TotalCount() >= m_rowLimit)) {
            m_flag.Set(false);
            m_cancelled = true;
            m_rowsAtCancel = m_store ? m_store->TotalCount() : 0;
        }
    }
    void CancelAtRows(std::size_t rows) { m_rowLimit = rows; }

    RunFlag& m_flag;
    const ResultStore*& m_store;
    std::size_t m_entries;
    std::size_t m_rowLimit = 0;
    std::size_t m_calls = 0;
    std::size_t m_callsAfterCancel = 0;
    std::size_t m_rowsAtCancel = 0;
    bool m_cancelled = false;
};

// Runs a scan into a store the observer can watch while it fills.
ResultStore CompareWatched(const std::string& src, const std::string& dst, CancelAfter& observer, RunFlag& flag,
                           const ResultStore*& watched)
{
    test::ScanSetup setup;
    setup.observer = &observer;
    ResultStore store;
    watched = &store;
    flag.Set(true);
    ScanContext context = test::ScanContextFor(src, dst, setup, store, flag);
    RunScan(context);
    watched = nullptr;
    return store;
}

TEST(ScannerTest, CancelStopsTheWalkAndSkipsTheDestinationPass)
{
    test::TempTree tree;
    for (int i = 0; i < 40; ++i)
        tree.WriteFile("src/f" + std::to_string(i), "x", kT);
    for (int d = 0; d < 3; ++d)
        for (int i = 0; i < 10; ++i)
            tree.WriteFile("src/d" + std::to_string(d) + "/g" + std::to_string(i), "x", kT);
    for (int i = 0; i < 20; ++i)
        tree.WriteFile("dst/only" + std::to_string(i), "x", kT);

    // Uncancelled, for reference: every entry reaches the observer.
    RunFlag flag;
    const ResultStore* watched = nullptr;
    CancelAfter never(flag, watched, 0);
    auto full = CompareWatched(tree.Path("src/"), tree.Path("dst/"), never, flag, watched);
    EXPECT_EQ(full.Count(ResultCategory::NotInDestination), 40u + 3u + 30u);
    EXPECT_EQ(full.Count(ResultCategory::NotInSource), 20u);
    EXPECT_GE(never.m_calls, 40u + 3u + 30u + 20u);

    // Cancelled after five entries of the root.
    CancelAfter early(flag, watched, 5);
    auto store = CompareWatched(tree.Path("src/"), tree.Path("dst/"), early, flag, watched);
    EXPECT_TRUE(early.m_cancelled);
    EXPECT_EQ(early.m_callsAfterCancel, 0u);
    EXPECT_EQ(store.TotalCount(), early.m_rowsAtCancel);
    EXPECT_LE(store.TotalCount(), 5u);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
    EXPECT_FALSE(flag.IsSet());

    // Cancelled inside the first subfolder: its remaining entries and the
    // other subfolders are left alone.
    CancelAfter inside(flag, watched, 0);
    inside.CancelAtRows(43 + 2);
    store = CompareWatched(tree.Path("src/"), tree.Path("dst/"), inside, flag, watched);
    EXPECT_TRUE(inside.m_cancelled);
    EXPECT_EQ(inside.m_callsAfterCancel, 0u);
    EXPECT_EQ(store.TotalCount(), 45u);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
    const Names rows = test::Relatives(store, ResultCategory::NotInDestination);
    ASSERT_EQ(rows.size(), 45u);
    EXPECT_EQ(rows[43].substr(0, 3), rows[44].substr(0, 3)); // both from the same subfolder

    // A flag already lowered: ScanFolder returns at once.
    flag.Set(false);
    ResultStore direct;
    direct.Reset(tree.Path("src/"), tree.Path("dst/"), 0);
    const test::ScanSetup setup;
    ScanContext context = test::ScanContextFor(tree.Path("src/"), tree.Path("dst/"), setup, direct, flag);
    ScanFolder(context, tree.Path("src/"), tree.Path("dst/"), ScanPass::SourcePass);
    EXPECT_EQ(direct.TotalCount(), 0u);
    // Raised again, the same call fills the source pass's rows only.
    flag.Set(true);
    ScanFolder(context, tree.Path("src/"), tree.Path("dst/"), ScanPass::SourcePass);
    EXPECT_EQ(direct.Count(ResultCategory::NotInDestination), 73u);
    EXPECT_EQ(direct.Count(ResultCategory::NotInSource), 0u);
    // The destination pass on its own records only what the source lacks.
    ScanFolder(context, tree.Path("dst/"), tree.Path("src/"), ScanPass::DestinationPass);
    EXPECT_EQ(direct.Count(ResultCategory::NotInSource), 20u);
    EXPECT_EQ(direct.TotalCount(), 93u);
}

// Changes the options and ignored names after the first entry of the root.
class ChangeSettings : public ScanObserver {
public:
    explicit ChangeSettings(test::ScanSetup& setup) : m_setup(setup) {}
    void EntryProcessed() override
    {
        if (++m_calls == 1) {
            m_setup.ignoredTypes.push_back("*.TXT");
            m_setup.options.IgnoreHidden = 1;
        }
    }
    test::ScanSetup& m_setup;
    std::size_t m_calls = 0;
};

TEST(ScannerTest, OptionsAreReadAsEachEntryIsLookedAt)
{
    test::TempTree tree;
    // The root holds one folder only, so the change comes before anything in it is seen.
    tree.WriteFile("src/a/x.txt", "1", kT);
    tree.WriteFile("src/a/.h", "1", kT);
    tree.WriteFile("src/a/y.bin", "1", kT);
    for (int i = 0; i < 10; ++i)
        tree.WriteFile("src/a/skip" + std::to_string(i) + ".txt", "1", kT);
    tree.MakeDir("dst");

    test::ScanSetup setup;
    ChangeSettings observer(setup);
    setup.observer = &observer;
    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{"a", "a/y.bin"}));
    // Skipped entries are reported to the observer too.
    EXPECT_GE(observer.m_calls, 14u);
}

TEST(ScannerTest, RootsGetOneTrailingSeparator)
{
    test::TempTree tree;
    tree.WriteFile("src/sub/a.txt", "1", kT);
    tree.WriteFile("dst/b.txt", "1", kT);

    // Roots without the separator get one; rows' paths have no doubled separators.
    auto store = test::Compare(tree.Path("src"), tree.Path("dst"));
    EXPECT_EQ(test::Slashed(store.SourceRoot()), tree.Path("src/"));
    EXPECT_EQ(test::Slashed(store.DestinationRoot()), tree.Path("dst/"));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{"sub", "sub/a.txt"}));
    const CompareItem* a = test::FindRow(store, ResultCategory::NotInDestination, "sub/a.txt");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(test::Slashed(store.Path(ResultCategory::NotInDestination, *a)), tree.Path("src/sub/a.txt"));
    EXPECT_EQ(test::Slashed(store.TargetPath(ResultCategory::NotInDestination, *a)), tree.Path("dst/sub/a.txt"));
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), (Names{"b.txt"}));

    // Roots that already end in it are kept as they are; so is "/" (walked
    // only until the first entry, then cancelled).
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    EXPECT_EQ(store.SourceRoot(), tree.Path("src/"));
    RunFlag flag;
    const ResultStore* watched = nullptr;
    CancelAfter first(flag, watched, 1);
    store = CompareWatched("/", tree.Path("dst"), first, flag, watched);
    EXPECT_EQ(store.SourceRoot(), "/");
    EXPECT_EQ(test::Slashed(store.DestinationRoot()), tree.Path("dst/"));
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
}

} // namespace
} // namespace tandrel::engine
