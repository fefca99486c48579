#include "platform/FolderListing.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"
#include "support/TempTree.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace tandrel::platform {
namespace {

using test::TempTree;

const ListedEntry* Find(const std::vector<ListedEntry>& entries, const std::string& name)
{
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const ListedEntry& e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

TEST(FolderListingWindows, ListingGivesModesSizesTimesAndAttributes)
{
    TempTree t;
    t.MakeDir("top\\sub");
    t.WriteFile("top\\a.txt", "hello");
    t.SetMtime("top\\a.txt", 1'000'000'000);
    t.WriteFile("top\\locked", "");
    ASSERT_TRUE(WriteAttributes(t.Path("top\\locked"), kAttrReadOnly).ok());

    const Fd top(OpenFolder(t.Path("top"), kOpenToList));
    ASSERT_TRUE(top.Valid());
    std::vector<ListedEntry> entries;
    std::uint32_t count = 0;
    ASSERT_TRUE(ReadListing(top.Get(), entries, count));
    EXPECT_EQ(entries.size(), 3u);
    EXPECT_EQ(count, 5u); // "." and ".." are counted, not listed
    const ListedEntry* a = Find(entries, "a.txt");
    ASSERT_NE(a, nullptr);
    EXPECT_FALSE(a->IsFolder());
    EXPECT_TRUE(a->Examined());
    EXPECT_EQ(a->size, 5);
    EXPECT_EQ(a->mtime, 1'000'000'000);
    const ListedEntry* sub = Find(entries, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->IsFolder());
    EXPECT_TRUE(sub->attributes & kAttrFolder);
    const ListedEntry* locked = Find(entries, "locked");
    ASSERT_NE(locked, nullptr);
    EXPECT_TRUE(locked->attributes & kAttrReadOnly);
    EXPECT_EQ(locked->mode & 0222, 0u);
    ASSERT_TRUE(WriteAttributes(t.Path("top\\locked"), 0).ok());
}

TEST(FolderListingWindows, OpenBelowStepsThroughEveryLevel)
{
    TempTree t;
    t.MakeDir("a\\b\\c");
    t.WriteFile("a\\file", "");
    const Fd root(OpenFolder(t.Root(), kOpenToList));
    ASSERT_TRUE(root.Valid());
    struct Case {
        const char* relative;
        bool opens;
    };
    const Case cases[] = {{"", true},       {"a", true},      {"a/b/c", true},   {"a\\b\\c", true},
                          {"a/file", false}, {"a/absent", false}, {"a/../a", false}, {"a//b", false}};
    for (const Case& c : cases) {
        const Fd fd(OpenBelow(root.Get(), c.relative, 0));
        EXPECT_EQ(fd.Valid(), c.opens) << c.relative;
    }
}

TEST(FolderListingWindows, AHeldFolderCannotBeRemovedOrRenamed)
{
    TempTree t;
    t.MakeDir("held");
    std::wstring held;
    std::wstring moved;
    ASSERT_TRUE(SystemPath(t.Path("held"), held).ok());
    ASSERT_TRUE(SystemPath(t.Path("moved"), moved).ok());
    {
        const Fd fd(OpenFolder(t.Path("held"), kOpenToList));
        ASSERT_TRUE(fd.Valid());
        EXPECT_FALSE(MoveFileExW(held.c_str(), moved.c_str(), 0));
        EXPECT_FALSE(RemoveDirectoryW(held.c_str()));
    }
    EXPECT_TRUE(MoveFileExW(held.c_str(), moved.c_str(), 0));
}

TEST(FolderListingWindows, LinksAreEntriesNeverFollowed)
{
    TempTree t;
    t.MakeDir("real");
    t.WriteFile("real\\inside", "");
    if (!t.MakeFolderLink("link", "real"))
        GTEST_SKIP() << "symbolic links cannot be made here";
    const Fd root(OpenFolder(t.Root(), kOpenToList));
    std::vector<ListedEntry> entries;
    std::uint32_t count = 0;
    ASSERT_TRUE(ReadListing(root.Get(), entries, count));
    const ListedEntry* entry = Find(entries, "link");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(entry->attributes & kAttrReparsePoint);
    EXPECT_FALSE(entry->IsFolder());
    errno = 0;
    EXPECT_FALSE(Fd(OpenBelow(root.Get(), "link", 0)).Valid());
    EXPECT_EQ(errno, ELOOP);
}

TEST(FolderListingWindows, NamesAreLookedUpWithoutRegardToCase)
{
    TempTree t;
    t.WriteFile("Report.TXT", "x");
    t.MakeDir("Sub");
    const Fd root(OpenFolder(t.Root(), kOpenToList));
    EXPECT_TRUE(MayFoldCase(root.Get()));
    EXPECT_FALSE(IsNetworkFileSystem(root.Get()));
    ListedEntry entry;
    ASSERT_TRUE(LookUpEntry(root.Get(), "report.txt", entry));
    EXPECT_EQ(entry.name, "Report.TXT");
    EXPECT_EQ(entry.size, 1);
    EXPECT_FALSE(LookUpEntry(root.Get(), "absent", entry));
    EXPECT_FALSE(LookUpEntry(root.Get(), "Rep*", entry));
    EXPECT_TRUE(CanEnter(root.Get(), "sub"));
    EXPECT_FALSE(CanEnter(root.Get(), "Report.TXT"));
}

TEST(FolderListingWindows, IdentityChangesWhenTheFolderDoes)
{
    TempTree t;
    t.MakeDir("f");
    const Fd fd(OpenFolder(t.Path("f"), kOpenToList));
    FolderIdentity before;
    FolderIdentity again;
    ASSERT_TRUE(IdentityOf(fd.Get(), before));
    ASSERT_TRUE(IdentityOf(fd.Get(), again));
    EXPECT_EQ(before, again);
    t.SetMtime("f", 1'000'000'000);
    FolderIdentity after;
    ASSERT_TRUE(IdentityOf(fd.Get(), after));
    EXPECT_NE(before, after);
}

} // namespace
} // namespace tandrel::platform
