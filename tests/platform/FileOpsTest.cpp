#include "platform/FileOps.h"

#include "platform/FileFaults.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tandrel::platform {
namespace {

using test::RunUnprivileged;
using test::TempTree;

// Entries of a folder whose names mark them as leftovers of a copy.
int TempFilesIn(const std::string& folder)
{
    int count = 0;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir))
            if (std::string(e->d_name).rfind(kTempFilePrefix, 0) == 0)
                ++count;
        ::closedir(dir);
    }
    return count;
}

struct stat StatOf(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st;
}

std::string BigContent(std::size_t size)
{
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>('a' + (i * 7919 % 26));
    return s;
}

class ClearWriteFault {
public:
    ~ClearWriteFault() { SetWriteFaultForTesting(std::nullopt); }
};

ItemAt Reached(const TempTree& t, const std::string& root, const std::string& relative, bool create = false)
{
    ItemAt item;
    const FileResult r = ReachItem(t.Path(root), relative, create, "Cannot act on", item);
    EXPECT_TRUE(r.ok()) << r.error;
    return item;
}

// "d/sub" moves to "d/moved" and a link to "outside" takes its place, as
// someone could do while a run is under way.
void SwapFolderForLink(TempTree& t)
{
    ASSERT_EQ(::rename(t.Path("d/sub").c_str(), t.Path("d/moved").c_str()), 0);
    t.Symlink(t.Path("outside"), "d/sub");
}

TEST(FileOps, CopyCarriesContentTimeAndPermissionsAndReplacesTheTarget)
{
    TempTree t;
    t.WriteFile("s/a.txt", "new content", 1'600'000'000, 123'456'789);
    t.Chmod("s/a.txt", 0640);
    t.WriteFile("d/a.txt", "old");

    ASSERT_TRUE(CopyFileSafely(t.Path("s/a.txt"), t.Path("d/a.txt")).ok());
    EXPECT_EQ(t.ReadFile("d/a.txt"), "new content");
    const struct stat st = StatOf(t.Path("d/a.txt"));
    EXPECT_EQ(st.st_mtim.tv_sec, 1'600'000'000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123'456'789);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);

    // An empty file, a new name, and a file big enough for several chunks.
    t.WriteFile("s/empty", "");
    ASSERT_TRUE(CopyFileSafely(t.Path("s/empty"), t.Path("d/empty")).ok());
    EXPECT_TRUE(t.Exists("d/empty"));
    EXPECT_EQ(t.ReadFile("d/empty"), "");
    const std::string big = BigContent(3 * 1024 * 1024 + 17);
    t.WriteFile("s/big", big);
    ASSERT_TRUE(CopyFileSafely(t.Path("s/big"), t.Path("d/big")).ok());
    EXPECT_EQ(t.ReadFile("d/big"), big);

    // Setuid and setgid bits are not carried over; bits that the umask takes
    // from a new file, and a read-only source's, are.
    const mode_t umaskWas = ::umask(022);
    for (const auto& [mode, copied] : {std::pair{06755u, 0755u}, {0664u, 0664u}, {0444u, 0444u}, {0602u, 0602u}}) {
        t.Chmod("s/a.txt", mode);
        ASSERT_TRUE(CopyFileSafely(t.Path("s/a.txt"), t.Path("d/a.txt")).ok()) << std::oct << mode;
        EXPECT_EQ(StatOf(t.Path("d/a.txt")).st_mode & 07777, copied) << std::oct << mode;
        t.Chmod("d/a.txt", 0644);
    }
    ::umask(umaskWas);
}

TEST(FileOps, FailedWriteLeavesOldTargetAndNoTemporaryFile)
{
    ClearWriteFault clear;
    TempTree t;
    const std::string big = BigContent(2 * 1024 * 1024);
    t.WriteFile("s/big", big);
    t.WriteFile("d/big", "the old target", 1'500'000'000);

    SetWriteFaultForTesting(WriteFault{1024 * 1024 + 3, ENOSPC});
    const FileResult r = CopyFileSafely(t.Path("s/big"), t.Path("d/big"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(test::Holds(r.error, "No space left on device"));
    EXPECT_TRUE(test::Holds(r.error, t.Path("d/big")));
    EXPECT_EQ(t.ReadFile("d/big"), "the old target");
    EXPECT_EQ(StatOf(t.Path("d/big")).st_mtim.tv_sec, 1'500'000'000);
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);

    // A failure on the very first write, and no target before.
    SetWriteFaultForTesting(WriteFault{0, EIO});
    EXPECT_FALSE(CopyFileSafely(t.Path("s/big"), t.Path("d/new")).ok());
    EXPECT_FALSE(t.Exists("d/new"));
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);

    // The read-and-write path copies correctly when the fault lies beyond the end.
    SetWriteFaultForTesting(WriteFault{std::int64_t{1} << 40, ENOSPC});
    ASSERT_TRUE(CopyFileSafely(t.Path("s/big"), t.Path("d/big")).ok());
    EXPECT_EQ(t.ReadFile("d/big"), big);
}

// A tmpfs of `size` on the tree's folder `name`, for as long as it lives;
// `error` tells why there is none (mounting takes root).
struct Tmpfs {
    Tmpfs(TempTree& t, const std::string& name, const char* size)
        : path(t.Path(name))
    {
        t.MakeDir(name);
        const std::string options = std::string("size=") + size;
        if (::mount("tmpfs", path.c_str(), "tmpfs", 0, options.c_str()) != 0)
            error = std::strerror(errno);
    }
    ~Tmpfs()
    {
        if (error.empty())
            ::umount2(path.c_str(), MNT_DETACH);
    }
    std::string path;
    std::string error;
};

TEST(FileOps, FullFileSystemLeavesOldTargetAndNoTemporaryFile)
{
    TempTree t;
    const Tmpfs small(t, "small", "1m");
    if (!small.error.empty())
        GTEST_SKIP() << "cannot mount a small file system here: " << small.error;

    t.WriteFile("small/target", "old bytes");
    const std::string big = BigContent(4 * 1024 * 1024);
    t.WriteFile("big", big);
    const FileResult r = CopyFileSafely(t.Path("big"), t.Path("small/target"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(test::Holds(r.error, "No space left on device"));
    EXPECT_EQ(t.ReadFile("small/target"), "old bytes");
    EXPECT_EQ(TempFilesIn(t.Path("small")), 0);
}

TEST(FileOps, SparseFilesKeepTheirHolesOnAnotherFileSystem)
{
    // The kernel's copy refuses to cross file systems; the plain copy takes
    // over wherever that happens, after a leading hole too, and keeps holes.
    TempTree t;
    const Tmpfs other(t, "other", "64m");
    if (!other.error.empty())
        GTEST_SKIP() << "cannot mount a second file system here: " << other.error;
    const std::int64_t size = 12 << 20;
    const std::string data = BigContent(kCopyStepBytes + 3);
    // A hole first and 5 bytes at the end; data first and a hole at the end.
    for (const std::int64_t at : {size - 5, std::int64_t{0}}) {
        const std::string_view part = at == 0 ? std::string_view(data) : std::string_view(data).substr(0, 5);
        t.WriteFile("h.img", "");
        const int fd = ::open(t.Path("h.img").c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(fd, part.data(), part.size(), at), std::ssize(part));
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);

        const FileResult r = CopyFileSafely(t.Path("h.img"), t.Path("other/h.img"));
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(t.ReadFile("other/h.img"), t.ReadFile("h.img")) << at;
        EXPECT_LT(StatOf(t.Path("other/h.img")).st_blocks * 512, std::ssize(data) + (1 << 20)) << at;
    }
}

TEST(FileOps, LinksAreCopiedAndDeletedAsLinks)
{
    TempTree t;
    t.WriteFile("outside.txt", "must stay");
    t.Symlink("../outside.txt", "s/link");
    t.Symlink("nowhere/at/all", "s/dangling");
    t.MakeDir("d");
    t.WriteFile("d/link", "a file that the link replaces");

    ASSERT_TRUE(CopyFileSafely(t.Path("s/link"), t.Path("d/link")).ok());
    ASSERT_TRUE(CopyFileSafely(t.Path("s/dangling"), t.Path("d/dangling")).ok());
    char buf[256];
    ssize_t n = ::readlink(t.Path("d/link").c_str(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "../outside.txt");
    n = ::readlink(t.Path("d/dangling").c_str(), buf, sizeof buf);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), "nowhere/at/all");
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);

    // Attributes and deletion act on the link itself.
    t.Chmod("outside.txt", 0444);
    EXPECT_TRUE(SetArchiveOnly(t.Path("d/link")).ok());
    EXPECT_EQ(StatOf(t.Path("outside.txt")).st_mode & 0777, 0444u);
    EXPECT_TRUE(DeleteFile(t.Path("d/link")).ok());
    EXPECT_FALSE(t.Exists("d/link"));
    EXPECT_EQ(t.ReadFile("outside.txt"), "must stay");

    t.MakeDir("folder/inner");
    t.Symlink("folder", "folderlink");
    EXPECT_FALSE(RemoveFolder(t.Path("folderlink")).ok());
    EXPECT_TRUE(t.Exists("folder/inner"));
    EXPECT_EQ(LookUp(t.Path("folderlink")).kind, EntryKind::SymbolicLink);
}

TEST(FileOps, SpecialFilesFoldersAndMissingSourcesAreNotCopied)
{
    TempTree t;
    t.MakeFifo("s/pipe");
    t.MakeDir("s/folder");
    t.MakeDir("d");
    t.WriteFile("d/pipe", "old");

    FileResult r = CopyFileSafely(t.Path("s/pipe"), t.Path("d/pipe"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(test::Holds(r.error, "not a regular file"));
    EXPECT_TRUE(test::Holds(r.error, t.Path("s/pipe")));
    EXPECT_EQ(t.ReadFile("d/pipe"), "old");

    r = CopyFileSafely(t.Path("s/folder"), t.Path("d/folder"));
    EXPECT_TRUE(test::Holds(r.error, "Is a directory"));
    EXPECT_FALSE(t.Exists("d/folder"));

    r = CopyFileSafely(t.Path("s/gone"), t.Path("d/gone"));
    EXPECT_TRUE(test::Holds(r.error, "No such file or directory"));
    EXPECT_TRUE(test::Holds(r.error, t.Path("s/gone")));
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);
    EXPECT_EQ(LookUp(t.Path("s/pipe")).kind, EntryKind::Special);
}

TEST(FileOps, TargetsThatCannotBeReplaced)
{
    TempTree t;
    t.WriteFile("s/a", "new");
    t.MakeDir("d/a/inner");            // a folder where the file should go
    t.WriteFile("d/notafolder", "x");  // a file where a folder should be

    FileResult r = CopyFileSafely(t.Path("s/a"), t.Path("d/a"));
    ASSERT_FALSE(r.ok());
    EXPECT_TRUE(test::Holds(r.error, t.Path("d/a")));
    EXPECT_TRUE(t.Exists("d/a/inner"));
    EXPECT_EQ(TempFilesIn(t.Path("d")), 0);

    r = CopyFileSafely(t.Path("s/a"), t.Path("d/notafolder/a"));
    EXPECT_TRUE(test::Holds(r.error, "Not a directory"));
    EXPECT_EQ(t.ReadFile("d/notafolder"), "x");

    r = CopyFileSafely(t.Path("s/a"), t.Path("d/missing/a"));
    EXPECT_TRUE(test::Holds(r.error, "No such file or directory"));

    // A folder the user may not write into: as an unprivileged user.
    t.WriteFile("ro/a", "old");
    t.Chmod("ro", 0555);
    const std::string from = t.Path("s/a");
    const std::string to = t.Path("ro/a");
    const int status = RunUnprivileged([&] {
        const FileResult denied = CopyFileSafely(from, to);
        return !denied.ok() && denied.error.find("Permission denied") != std::string::npos;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(t.ReadFile("ro/a"), "old");
    EXPECT_EQ(TempFilesIn(t.Path("ro")), 0);
}

TEST(FileOps, FolderAndFileOperations)
{
    TempTree t;
    EXPECT_TRUE(CreateFolder(t.Path("f")).ok());
    FileResult r = CreateFolder(t.Path("f"));
    EXPECT_TRUE(test::Holds(r.error, "File exists"));
    r = CreateFolder(t.Path("missing/f"));
    EXPECT_TRUE(test::Holds(r.error, "No such file or directory"));

    t.WriteFile("f/x", "1");
    r = RemoveFolder(t.Path("f"));
    EXPECT_TRUE(test::Holds(r.error, "Directory not empty"));
    EXPECT_FALSE(DeleteFile(t.Path("f")).ok());
    EXPECT_TRUE(t.Exists("f/x"));
    EXPECT_TRUE(DeleteFile(t.Path("f/x")).ok());
    EXPECT_TRUE(RemoveFolder(t.Path("f")).ok());
    EXPECT_FALSE(t.Exists("f"));
    EXPECT_FALSE(RemoveFolder(t.Path("f")).ok());

    t.WriteFile("ro", "1");
    t.Chmod("ro", 0444);
    EXPECT_TRUE(LookUp(t.Path("ro")).ReadOnly());
    EXPECT_TRUE(SetArchiveOnly(t.Path("ro")).ok());
    EXPECT_FALSE(LookUp(t.Path("ro")).ReadOnly());
    EXPECT_EQ(StatOf(t.Path("ro")).st_mode & 0777, 0644u);
    r = SetArchiveOnly(t.Path("gone"));
    EXPECT_TRUE(test::Holds(r.error, "No such file or directory"));
    EXPECT_EQ(LookUp(t.Path("gone")).kind, EntryKind::Missing);
    EXPECT_EQ(LookUp(t.Path("gone")).error, ENOENT);
}

TEST(FileOps, ReachItemRefusesLinksBelowTheRootAndMakesMissingLevels)
{
    TempTree t;
    t.WriteFile("outside/f", "must stay");
    t.MakeDir("d");
    t.Symlink(t.Path("outside"), "d/sub");
    ItemAt item;
    FileResult r = ReachItem(t.Path("d/"), "sub/f", false, "Cannot delete", item);
    EXPECT_EQ(r.error, "Cannot delete '" + t.Path("d/sub/f") + "': '" + t.Path("d/sub") +
                           "' is a symbolic link, which is not followed");
    r = ReachItem(t.Path("d/"), "sub/new/f", true, "Cannot copy to", item);
    EXPECT_TRUE(test::Holds(r.error, "is a symbolic link"));
    EXPECT_FALSE(t.Exists("outside/new"));
    for (const char* escape : {"../outside/f", "a/../../outside/f", "a//f", "./f", ""}) {
        r = ReachItem(t.Path("d/"), escape, true, "Cannot delete", item);
        EXPECT_TRUE(test::Holds(r.error, "not a name below")) << escape;
    }
    EXPECT_EQ(test::FolderEntries(t.Path("d")), std::vector<std::string>{"sub"});

    // A root that is itself a link is followed; missing levels are made.
    t.Symlink(t.Path("outside"), "rootlink");
    item = Reached(t, "rootlink", "new/deeper/f", true);
    EXPECT_EQ(item.name, "f");
    EXPECT_EQ(item.path, t.Path("rootlink/new/deeper/f"));
    EXPECT_EQ(LookUp(t.Path("outside/new/deeper")).kind, EntryKind::Folder);
    r = ReachItem(t.Path("d"), "missing/f", false, "Cannot delete", item);
    EXPECT_TRUE(test::Holds(r.error, "No such file or directory"));
}

// Once reached, an item is acted on in the folder that was reached, even when
// that folder is moved away and a link to elsewhere takes its place.
TEST(FileOps, OperationsActInTheFolderReachedWhateverTakesItsPlace)
{
    struct Case {
        const char* what;
        std::function<FileResult(const ItemAt&)> op;
        bool movedStays;    // d/moved/f is still there afterwards
    };
    const std::vector<Case> cases = {
        {"delete", DeleteFileAt, false},
        {"set archive only", SetArchiveOnlyAt, true},
    };
    for (const Case& c : cases) {
        TempTree t;
        t.WriteFile("outside/f", "must stay");
        t.Chmod("outside/f", 0444);
        t.WriteFile("d/sub/f", "inside");
        t.Chmod("d/sub/f", 0444);
        const ItemAt item = Reached(t, "d", "sub/f");
        SwapFolderForLink(t);
        EXPECT_TRUE(c.op(item).ok()) << c.what;
        EXPECT_EQ(t.ReadFile("outside/f"), "must stay") << c.what;
        EXPECT_EQ(StatOf(t.Path("outside/f")).st_mode & 0777, 0444u) << c.what;
        EXPECT_EQ(t.Exists("d/moved/f"), c.movedStays) << c.what;
        if (c.movedStays) {
            EXPECT_EQ(StatOf(t.Path("d/moved/f")).st_mode & 0777, 0644u) << c.what;
        }
    }

    TempTree t;
    t.WriteFile("s/f", "new");
    t.WriteFile("d/sub/f", "old");
    t.MakeDir("d/sub/folder");
    t.WriteFile("outside/f", "must stay");
    t.MakeDir("outside/folder");
    const ItemAt from = Reached(t, "s", "f");
    const ItemAt to = Reached(t, "d", "sub/f");
    const ItemAt folder = Reached(t, "d", "sub/folder");
    SwapFolderForLink(t);
    EXPECT_TRUE(CopyFileSafelyAt(from, to).ok());
    EXPECT_TRUE(RemoveFolderAt(folder).ok());
    EXPECT_EQ(t.ReadFile("d/moved/f"), "new");
    EXPECT_FALSE(t.Exists("d/moved/folder"));
    EXPECT_EQ(t.ReadFile("outside/f"), "must stay");
    EXPECT_TRUE(t.Exists("outside/folder"));
    EXPECT_EQ(TempFilesIn(t.Path("outside")), 0);
    EXPECT_EQ(TempFilesIn(t.Path("d/moved")), 0);
}

TEST(FileOps, LargeFilesAreCopiedInStepsThatMayStopTheCopy)
{
    ClearWriteFault clear;
    const std::uint64_t size = 3 * kCopyStepBytes + 5;
    const std::string big = BigContent(size);
    // The kernel's copy, and plain reads and writes (a fault beyond the end
    // makes the copy take that way).
    for (const bool readWrite : {false, true}) {
        SetWriteFaultForTesting(readWrite ? std::optional(WriteFault{std::int64_t{1} << 40, ENOSPC}) : std::nullopt);
        TempTree t;
        t.WriteFile("s/big", big);
        t.WriteFile("d/big", "the old target", 1'500'000'000);

        std::vector<std::uint64_t> steps;
        FileResult r = CopyFileSafely(t.Path("s/big"), t.Path("d/new"), [&](std::uint64_t done, std::uint64_t all) {
            EXPECT_EQ(all, size);
            steps.push_back(done);
            return true;
        });
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_EQ(t.ReadFile("d/new"), big);
        // A step ends once at least kCopyStepBytes more are written; the
        // last call comes before the end of the file.
        ASSERT_GE(steps.size(), 2u) << readWrite;
        ASSERT_LE(steps.size(), 3u) << readWrite;
        std::uint64_t previous = 0;
        for (const std::uint64_t done : steps) {
            EXPECT_GE(done, previous + kCopyStepBytes) << readWrite;
            EXPECT_LT(done, size) << readWrite;
            previous = done;
        }

        int calls = 0;
        r = CopyFileSafely(t.Path("s/big"), t.Path("d/big"), [&](std::uint64_t, std::uint64_t) { return ++calls < 2; });
        EXPECT_TRUE(r.cancelled) << readWrite;
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(calls, 2);
        EXPECT_EQ(t.ReadFile("d/big"), "the old target");
        EXPECT_EQ(StatOf(t.Path("d/big")).st_mtim.tv_sec, 1'500'000'000);
        EXPECT_EQ(TempFilesIn(t.Path("d")), 0);
    }
}

TEST(FileOps, SparseFilesKeepTheirHoles)
{
    // Data at the start, in the middle and none at the end, and a file that
    // is one hole: the copies read back equal and take no more room than
    // their data (a copy that wrote the holes would take a gigabyte).
    const std::int64_t size = std::int64_t{1} << 30;
    const std::string data = BigContent(kCopyStepBytes + 3);
    for (const bool withData : {true, false}) {
        TempTree t;
        t.MakeDir("s");
        t.MakeDir("d");
        const int fd = ::open(t.Path("s/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        if (withData) {
            ASSERT_EQ(::pwrite(fd, data.data(), data.size(), 0), static_cast<ssize_t>(data.size()));
            ASSERT_EQ(::pwrite(fd, data.data(), data.size(), size / 2), static_cast<ssize_t>(data.size()));
        }
        ASSERT_EQ(::ftruncate(fd, size), 0);
        ::close(fd);

        const FileResult r = CopyFileSafely(t.Path("s/sparse"), t.Path("d/sparse"));
        ASSERT_TRUE(r.ok()) << r.error;
        const struct stat copy = StatOf(t.Path("d/sparse"));
        EXPECT_EQ(copy.st_size, size);
        EXPECT_LT(copy.st_blocks * 512, 4 * static_cast<std::int64_t>(data.size()) + (1 << 20)) << withData;
        const int in = ::open(t.Path("d/sparse").c_str(), O_RDONLY);
        std::string back(data.size(), '\0');
        for (const std::int64_t at : {std::int64_t{0}, size / 2, size - std::int64_t(data.size())}) {
            ASSERT_EQ(::pread(in, back.data(), back.size(), at), static_cast<ssize_t>(back.size()));
            const bool holdsData = withData && at != size - std::int64_t(data.size());
            EXPECT_EQ(back, holdsData ? data : std::string(data.size(), '\0')) << at;
        }
        ::close(in);
    }
}

// Holes inside one copy step stay holes too, whatever their size and offset:
// each copy takes no more room than its source and reads back the same.
TEST(FileOps, HolesWithinOneStepStayHoles)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::int64_t, std::int64_t>> data; // offset, length
        std::int64_t size;
    };
    constexpr std::int64_t kKiB = 1024, kMiB = 1024 * kKiB;
    const Case cases[] = {
        {"12 KiB of data in 10 MiB", {{0, 4 * kKiB}, {5 * kMiB, 4 * kKiB}, {10 * kMiB - 4 * kKiB, 4 * kKiB}}, 10 * kMiB},
        {"1 MiB of data, then a 63 MiB hole", {{0, kMiB}}, 64 * kMiB},
        {"a small file with a hole inside", {{0, 4 * kKiB}, {kMiB, 4 * kKiB}}, kMiB + 4 * kKiB},
    };
    for (const Case& c : cases) {
        TempTree t;
        t.MakeDir("s");
        t.MakeDir("d");
        const int fd = ::open(t.Path("s/sparse").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        for (const auto& [at, length] : c.data) {
            const std::string bytes = BigContent(static_cast<std::size_t>(length));
            ASSERT_EQ(::pwrite(fd, bytes.data(), static_cast<std::size_t>(length), at), length);
        }
        ASSERT_EQ(::ftruncate(fd, c.size), 0);
        ::close(fd);
        const struct stat source = StatOf(t.Path("s/sparse"));
        ASSERT_LT(source.st_blocks * 512, c.size) << c.what << ": this file system keeps no holes";

        const FileResult r = CopyFileSafely(t.Path("s/sparse"), t.Path("d/sparse"));
        ASSERT_TRUE(r.ok()) << r.error;
        EXPECT_LE(StatOf(t.Path("d/sparse")).st_blocks, source.st_blocks) << c.what;
        EXPECT_TRUE(t.ReadFile("d/sparse") == t.ReadFile("s/sparse")) << c.what;
    }
}

TEST(FileOps, WrittenFileSystemsAreFlushedOnceEachAndReportFailures)
{
    TempTree t;
    t.MakeDir("a");
    t.MakeDir("b");
    WrittenFileSystems written;
    const std::uint64_t first = written.Note(Reached(t, "a", "x").folder);
    EXPECT_EQ(written.Note(Reached(t, "b", "y").folder), first);
    EXPECT_TRUE(written.FlushAll().empty());

    SetFlushFaultForTesting(FlushFault{EIO});
    const auto failures = written.FlushAll();
    SetFlushFaultForTesting(std::nullopt);
    ASSERT_EQ(failures.size(), 1u); // one file system, noted twice
    EXPECT_EQ(failures[0].fileSystem, first);
    EXPECT_EQ(failures[0].error, EIO);
    EXPECT_TRUE(WrittenFileSystems().FlushAll().empty()); // nothing written, nothing to flush
}

TEST(FileOps, AWriteOnlyFolderIsFlushedByTheFileWrittenThere)
{
    TempTree t;
    t.WriteFile("s/a", "a");
    t.Chmod("s", 0755);
    t.MakeDir("d");
    t.Chmod("d", 0333);
    const int status = RunUnprivileged([&] {
        // The folder alone gives nothing to flush by, which must show.
        WrittenFileSystems folderOnly;
        folderOnly.Note(Reached(t, "d", "a").folder);
        const auto failures = folderOnly.FlushAll();
        WrittenFileSystems written;
        const bool copied = CopyFileSafelyAt(Reached(t, "s", "a"), Reached(t, "d", "a"), {}, &written).ok();
        return failures.size() == 1 && failures[0].error == EACCES && copied && written.FlushAll().empty();
    });
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace tandrel::platform
