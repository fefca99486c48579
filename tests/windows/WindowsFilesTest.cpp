#include "platform/windows/WindowsFiles.h"

#include "platform/FileOps.h"
#include "platform/LocalTime.h"
#include "platform/windows/WideText.h"
#include "support/TempTree.h"

#include <windows.h>
#undef DeleteFile // the function of that name below is the program's

#include <gtest/gtest.h>

#include <algorithm>

namespace tandrel::platform {
namespace {

using test::TempTree;

constexpr std::uint32_t kDosBits = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

const WindowsEntry* Find(const std::vector<WindowsEntry>& entries, const std::string& name)
{
    const auto it = std::find_if(entries.begin(), entries.end(), [&](const WindowsEntry& e) { return e.name == name; });
    return it == entries.end() ? nullptr : &*it;
}

bool HasTempFiles(const std::string& folder)
{
    std::vector<WindowsEntry> entries;
    EXPECT_TRUE(ListFolder(folder, entries).ok());
    return std::any_of(entries.begin(), entries.end(),
                       [](const WindowsEntry& e) { return e.name.rfind(kTempFilePrefix, 0) == 0; });
}

TEST(WindowsFiles, EpochSecondsFromFileTime)
{
    struct Case {
        std::uint64_t ticks;
        std::int64_t seconds;
    };
    const Case cases[] = {
        {116444736000000000ull, 0},
        {116444736000000000ull + 9'999'999, 0},
        {116444736000000000ull - 1, -1},
        {116444736000000000ull + 10'000'000'000'000'000ull, 1'000'000'000},
        {0, -11644473600},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EpochSecondsFromFileTime(c.ticks), c.seconds) << c.ticks;
}

TEST(WindowsFiles, ListingGivesNamesSizesTimesAndFolders)
{
    TempTree t;
    t.WriteFile("a.txt", "hello");
    t.WriteFile("caf\xC3\xA9.txt", "");
    t.SetMtime("a.txt", 1'000'000'000);
    ASSERT_TRUE(CreateFolder(t.Path("sub")).ok());

    std::vector<WindowsEntry> entries;
    ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(Find(entries, "."), nullptr);
    const WindowsEntry* a = Find(entries, "a.txt");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->size, 5);
    EXPECT_EQ(a->mtime, 1'000'000'000);
    EXPECT_FALSE(a->IsFolder());
    ASSERT_NE(Find(entries, "caf\xC3\xA9.txt"), nullptr);
    const WindowsEntry* sub = Find(entries, "sub");
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(sub->IsFolder());
    EXPECT_TRUE(sub->attributes & kAttrFolder);
}

TEST(WindowsFiles, ListingGivesSizesBeyondFourGigabytes)
{
    TempTree t;
    t.WriteFile("big", "");
    std::wstring path;
    ASSERT_TRUE(SystemPath(t.Path("big"), path).ok());
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 5'000'000'000LL;
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN) && SetEndOfFile(file));
    CloseHandle(file);
    std::vector<WindowsEntry> entries;
    ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, 5'000'000'000LL);
}

TEST(WindowsFiles, ListingAMissingFolderFailsWithTheReason)
{
    TempTree t;
    std::vector<WindowsEntry> entries;
    const FileResult result = ListFolder(t.Path("absent"), entries);
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.error.rfind("Cannot read folder '" + t.Path("absent") + "': ", 0), 0u) << result.error;
}

TEST(WindowsFiles, AttributesAreSetAndReadBack)
{
    TempTree t;
    if (!t.KeepsDosAttributes())
        GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden, system or archive bits";
    const std::uint32_t always = t.BitsAlwaysReported();
    EXPECT_EQ(always & ~kAttrArchive, 0u);
    const std::uint32_t sets[] = {kAttrReadOnly, kAttrHidden, kAttrSystem, kAttrArchive,
                                  kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive};
    for (const std::uint32_t wanted : sets) {
        const std::uint32_t set = wanted | always;
        t.WriteFile("f", "x");
        ASSERT_TRUE(WriteAttributes(t.Path("f"), wanted).ok());
        std::uint32_t read = 0;
        ASSERT_TRUE(ReadAttributes(t.Path("f"), read).ok());
        EXPECT_EQ(read & kDosBits, set);
        std::vector<WindowsEntry> entries;
        ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
        ASSERT_EQ(entries.size(), 1u);
        EXPECT_EQ(entries[0].attributes & kDosBits, set);
        ASSERT_TRUE(WriteAttributes(t.Path("f"), 0).ok());
    }
}

TEST(WindowsFiles, SetArchiveOnlyClearsTheOtherBits)
{
    TempTree t;
    if (!t.KeepsDosAttributes())
        GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden, system or archive bits";
    t.WriteFile("f", "x");
    ASSERT_TRUE(WriteAttributes(t.Path("f"), kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
    ASSERT_TRUE(SetArchiveOnly(t.Path("f")).ok());
    EXPECT_EQ(t.Attributes("f") & kDosBits, kAttrArchive);
}

TEST(WindowsFiles, FoldersAreCreatedAndRemoved)
{
    TempTree t;
    ASSERT_TRUE(CreateFolder(t.Path("made")).ok());
    EXPECT_TRUE(t.Attributes("made") & kAttrFolder);
    EXPECT_FALSE(CreateFolder(t.Path("made")).ok());
    t.WriteFile("made\\f", "");
    const FileResult notEmpty = RemoveFolder(t.Path("made"));
    EXPECT_FALSE(notEmpty.ok());
    EXPECT_TRUE(t.Exists("made"));
    ASSERT_TRUE(DeleteFile(t.Path("made\\f")).ok());
    ASSERT_TRUE(RemoveFolder(t.Path("made")).ok());
    EXPECT_FALSE(t.Exists("made"));
}

TEST(WindowsFiles, CopyReplacesTheTargetWithTheSourcesTimeAndNoTemporaryFile)
{
    for (const bool targetExists : {false, true}) {
        TempTree t;
        t.WriteFile("src", "new content");
        t.SetMtime("src", 1'234'567'890);
        if (targetExists)
            t.WriteFile("dst", "old");
        ASSERT_TRUE(CopyFileSafely(t.Path("src"), t.Path("dst")).ok()) << targetExists;
        EXPECT_EQ(t.ReadFile("dst"), "new content");
        std::vector<WindowsEntry> entries;
        ASSERT_TRUE(ListFolder(t.Root(), entries).ok());
        const WindowsEntry* dst = Find(entries, "dst");
        ASSERT_NE(dst, nullptr);
        EXPECT_EQ(dst->mtime, 1'234'567'890) << targetExists;
        EXPECT_FALSE(HasTempFiles(t.Root())) << targetExists;
    }
}

TEST(WindowsFiles, CopyCarriesTheSourcesAttributes)
{
    TempTree t;
    const bool dos = t.KeepsDosAttributes();
    const std::uint32_t carried = dos ? (kAttrReadOnly | kAttrHidden) : kAttrReadOnly;
    t.WriteFile("src", "x");
    ASSERT_TRUE(WriteAttributes(t.Path("src"), carried).ok());
    ASSERT_TRUE(CopyFileSafely(t.Path("src"), t.Path("dst")).ok());
    EXPECT_EQ(t.Attributes("dst") & kDosBits, carried | t.BitsAlwaysReported());
}

TEST(WindowsFiles, CancelledOrFailedCopyLeavesTheTargetAndNoTemporaryFile)
{
    TempTree t;
    t.WriteFile("src", std::string(kCopyStepBytes + 100, 's')); // asked once, between its two steps
    t.WriteFile("dst", "old");
    const FileResult cancelled =
        CopyFileSafely(t.Path("src"), t.Path("dst"), [](std::uint64_t, std::uint64_t) { return false; });
    EXPECT_FALSE(cancelled.ok());
    EXPECT_TRUE(cancelled.cancelled);
    const FileResult missing = CopyFileSafely(t.Path("absent"), t.Path("dst"));
    EXPECT_FALSE(missing.ok());
    EXPECT_FALSE(missing.cancelled);
    EXPECT_EQ(missing.error.rfind("Cannot read '" + t.Path("absent") + "': ", 0), 0u) << missing.error;
    EXPECT_EQ(t.ReadFile("dst"), "old");
    EXPECT_FALSE(HasTempFiles(t.Root()));
}

TEST(WindowsFiles, PathsLongerThanMaxPathWork)
{
    TempTree t;
    const std::string relative = test::LongRelativeFolder(t.Root());
    t.MakeDir(relative);
    ASSERT_GT(t.Path(relative).size(), static_cast<std::size_t>(MAX_PATH));
    t.WriteFile("src", "deep");
    const std::string deep = t.Path(relative + "\\file.txt");
    const FileResult copied = CopyFileSafely(t.Path("src"), deep);
    ASSERT_TRUE(copied.ok()) << copied.error;
    std::vector<WindowsEntry> entries;
    ASSERT_TRUE(ListFolder(t.Path(relative), entries).ok());
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "file.txt");
    EXPECT_EQ(entries[0].size, 4);
    ASSERT_TRUE(SetArchiveOnly(deep).ok());
    ASSERT_TRUE(DeleteFile(deep).ok());
    ASSERT_TRUE(CreateFolder(t.Path(relative + "\\more")).ok());
    ASSERT_TRUE(RemoveFolder(t.Path(relative + "\\more")).ok());
}

TEST(WindowsFiles, LocalOffsetIsTheOneInForceNow)
{
    TIME_ZONE_INFORMATION zone {};
    const DWORD mode = GetTimeZoneInformation(&zone);
    ASSERT_NE(mode, TIME_ZONE_ID_INVALID);
    long bias = zone.Bias;
    if (mode == TIME_ZONE_ID_DAYLIGHT)
        bias += zone.DaylightBias;
    else if (mode == TIME_ZONE_ID_STANDARD)
        bias += zone.StandardBias;
    EXPECT_EQ(LocalOffsetSeconds(), -static_cast<std::int64_t>(bias) * 60);
}

} // namespace
} // namespace tandrel::platform
