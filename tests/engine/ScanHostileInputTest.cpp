// The scanner against trees that try to break it: unreadable or vanishing
// folders, odd names, links that loop, special files, very deep and very wide
// trees, huge sparse files.

#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "engine/TextForms.h"
#include "support/TempTree.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tandrel::engine {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;
using Set = std::set<std::string>;

const std::int64_t kT = 1500000000;

// "path: reason" of each folder the comparison could not read, in the order met.
Names UnreadableOf(const ResultStore& s)
{
    Names out;
    for (const UnreadableFolder& f : s.UnreadableFolders())
        out.push_back(f.path + ": " + f.reason);
    return out;
}

std::string Describe(const ResultStore& s)
{
    std::string out;
    for (ResultCategory c : kAllCategories)
        out += "list " + std::to_string(Index(c)) + ": " + test::Joined(test::Relatives(s, c)) + "\n";
    return out + "unreadable: " + test::Joined(UnreadableOf(s)) + "\n";
}

using Hook = test::EntryHook;

TEST(ScanHostileInputTest, MissingOrUnusableRoots)
{
    test::TempTree tree;
    tree.WriteFile("dst/a", "1", kT);
    tree.WriteFile("dst/sub/b", "1", kT);
    tree.WriteFile("src/c", "1", kT);
    tree.WriteFile("plainfile", "1", kT);

    // A source that does not exist: the destination's entries have no counterpart.
    auto store = test::Compare(tree.Path("nope/"), tree.Path("dst/"));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{"a", "sub", "sub/b"})) << Describe(store);
    EXPECT_EQ(store.Count(ResultCategory::NotInDestination), 0u);
    // Neither exists: nothing at all.
    store = test::Compare(tree.Path("nope/"), tree.Path("nope2"));
    EXPECT_EQ(store.TotalCount(), 0u);
    // A root that is a file lists nothing.
    store = test::Compare(tree.Path("plainfile"), tree.Path("src/"));
    EXPECT_EQ(store.Count(ResultCategory::NotInDestination), 0u);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{"c"})) << Describe(store);
    // Empty roots.
    store = test::Compare("", "");
    EXPECT_EQ(store.TotalCount(), 0u);
}

#ifndef _WIN32
// POSIX only: modes, checked by an unprivileged child.
TEST(ScanHostileInputTest, AnUnreadableRootHidesNothing)
{
    // A source root that cannot be read, as an unprivileged user: it is
    // there, so nothing of the other side counts as missing from it.
    test::TempTree tree;
    tree.WriteFile("dst/a", "1", kT);
    tree.WriteFile("dst/sub/b", "1", kT);
    tree.WriteFile("src/c", "1", kT);
    tree.Chmod("src", 0);
    const int status = test::RunUnprivileged([&] {
        const Names unreadable{tree.Path("src/") + ": Permission denied"};
        auto s = test::Compare(tree.Path("src/"), tree.Path("dst/"));
        const bool ok = s.TotalCount() == 0 && UnreadableOf(s) == unreadable;
        if (!ok)
            std::fprintf(stderr, "unreadable source root:\n%s", Describe(s).c_str());
        // And the other way round.
        auto r = test::Compare(tree.Path("dst/"), tree.Path("src/"));
        const bool ok2 = r.TotalCount() == 0 && UnreadableOf(r) == unreadable;
        if (!ok2)
            std::fprintf(stderr, "unreadable destination root:\n%s", Describe(r).c_str());
        return ok && ok2;
    });
    EXPECT_EQ(status, 0);
}

TEST(ScanHostileInputTest, UnreadableFoldersBelowTheRoot)
{
    test::TempTree tree;
    // Locked on the source side: its contents cannot be listed there, and
    // from the destination side it is a folder that cannot be entered. It is
    // there all the same: nothing in its counterpart counts as missing.
    tree.WriteFile("src/locked/x", "1", kT);
    tree.WriteFile("dst/locked/x", "1", kT);
    tree.Chmod("src/locked", 0);
    // Locked on the destination side: the same the other way round.
    tree.WriteFile("src/shut/y", "1", kT);
    tree.WriteFile("src/shut/deeper/z", "1", kT);
    tree.WriteFile("dst/shut/y", "1", kT);
    tree.Chmod("dst/shut", 0);
    // Becomes unreadable while the walk is under way: only the folder itself,
    // which the destination lacks, is missing there.
    tree.WriteFile("src/later/w", "1", kT);
    tree.WriteFile("src/later/v/u", "1", kT);
    ASSERT_EQ(::chown(tree.Path("src/later").c_str(), 65534, 65534), 0) << std::strerror(errno);
    tree.WriteFile("src/plain", "1", kT);

    const int status = test::RunUnprivileged([&] {
        Hook lockLater([&](std::size_t call) {
            if (call == 1)
                ::chmod(tree.Path("src/later").c_str(), 0);
        });
        test::ScanSetup setup;
        setup.observer = &lockLater;
        auto s = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
        const auto unreadable = UnreadableOf(s);
        const bool ok = test::RelativeSet(s, ResultCategory::NotInDestination) == Set{"later", "plain"} &&
                        s.TotalCount() == 2 &&
                        Set(unreadable.begin(), unreadable.end()) ==
                            Set{tree.Path("src/locked: Permission denied"), tree.Path("dst/shut: Permission denied"),
                                tree.Path("src/later: Permission denied")};
        if (!ok)
            std::fprintf(stderr, "unreadable folders:\n%s", Describe(s).c_str());
        return ok;
    });
    EXPECT_EQ(status, 0);
}

// One side's copy of a folder cannot be read in one way or another; the
// other side's copy holds the same entries. Nothing counts as missing, and
// the folder is named with the system's reason.
TEST(ScanHostileInputTest, AFolderThatCannotBeReadIsNeverMissing)
{
    const std::pair<const char*, unsigned> cases[] = {
        {"src/photos", 0000}, {"dst/photos", 0000}, // neither listed nor entered
        {"src/photos", 0444}, {"dst/photos", 0444}, // listed, but its entries cannot be examined
        {"src/photos", 0333}, {"dst/photos", 0333}, // entered, but not listed
    };
    for (const auto& [locked, mode] : cases) {
        test::TempTree tree;
        for (const char* side : {"src/", "dst/"})
            for (const char* name : {"photos/a.jpg", "photos/b.jpg", "photos/c/d.jpg"})
                tree.WriteFile(std::string(side) + name, "1", kT);
        tree.Chmod(locked, mode);
        const int status = test::RunUnprivileged([&] {
            const auto s = test::Compare(tree.Path("src/"), tree.Path("dst/"));
            const bool ok = s.TotalCount() == 0 && UnreadableOf(s) == Names{tree.Path(locked) + ": Permission denied"};
            if (!ok)
                std::fprintf(stderr, "%s %o:\n%s", locked, mode, Describe(s).c_str());
            return ok;
        });
        EXPECT_EQ(status, 0) << locked << " " << mode;
    }
}
#endif

#ifndef _WIN32
// POSIX only: on Windows the walk holds the folders it reads, so none can be removed under it.
TEST(ScanHostileInputTest, FolderVanishesDuringTheWalk)
{
    test::TempTree tree;
    tree.WriteFile("src/gone/a", "1", kT);
    tree.WriteFile("src/gone/b/c", "1", kT);
    tree.WriteFile("src/keep/k", "1", kT);
    tree.WriteFile("src/file", "1", kT);
    tree.WriteFile("dst/keep/k", "1", kT);
    tree.WriteFile("dst/alsogone/q", "1", kT);
    tree.WriteFile("src/alsogone/q", "1", kT);

    Hook remover([&](std::size_t call) {
        if (call == 1) {
            tree.Remove("src/gone");
            tree.Remove("dst/alsogone");
        }
    });
    test::ScanSetup setup;
    setup.observer = &remover;
    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    for (const auto& rel : test::Relatives(store, ResultCategory::NotInDestination))
        EXPECT_NE(rel.rfind("gone/", 0), 0u) << rel;
    const Set missing = test::RelativeSet(store, ResultCategory::NotInDestination);
    EXPECT_TRUE(missing.count("file")) << Describe(store);
    EXPECT_FALSE(missing.count("keep/k")) << Describe(store);
    // The destination folder that went away: its source file is now missing there.
    EXPECT_TRUE(missing.count("alsogone/q")) << Describe(store);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u) << Describe(store);
}
#endif

#ifndef _WIN32
// POSIX only: names with bytes and characters that Windows does not allow in a name.
TEST(ScanHostileInputTest, OddNamesAreKeptByteForByte)
{
    test::TempTree tree;
    const Names both{"with space.txt", "\xc3\xbcn\xc3\xaf" "c\xc3\xb6" "d\xc3\xa9.txt", "same\nline"};
    const Names srcOnly{"-rf", "line\nbreak.txt", "\xff\xfe raw.bin", "tab\there", "back\\slash",
                        "quote\"'.txt", "*.tmp", "%s%n", " leading space", "trailing space "};
    const Names dstOnly{"--", "-", "--help"};
    for (const auto& n : both) {
        tree.WriteFile("src/" + n, "1", kT);
        tree.WriteFile("dst/" + n, "1", kT);
    }
    for (const auto& n : srcOnly)
        tree.WriteFile("src/" + n, "1", kT);
    for (const auto& n : dstOnly)
        tree.WriteFile("dst/" + n, "1", kT);
    tree.WriteFile("src/dir with space/--help", "1", kT);
    tree.WriteFile("dst/new\nline dir/x", "1", kT);
    tree.WriteFile("src/\xc3\xa9t\xc3\xa9.txt", "1", kT + 9);
    tree.WriteFile("dst/\xc3\xa9t\xc3\xa9.txt", "1", kT);

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    Set expected3(srcOnly.begin(), srcOnly.end());
    expected3.insert({"dir with space", "dir with space/--help"});
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), expected3) << Describe(store);
    Set expected4(dstOnly.begin(), dstOnly.end());
    expected4.insert({"new\nline dir", "new\nline dir/x"});
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), expected4) << Describe(store);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NewerThanDestination), (Names{"\xc3\xa9t\xc3\xa9.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::OlderThanDestination) + store.Count(ResultCategory::OnlySizeChanged), 0u);
    const CompareItem* raw = test::FindRow(store, ResultCategory::NotInDestination, "\xff\xfe raw.bin");
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(store.Path(ResultCategory::NotInDestination, *raw), tree.Path("src/\xff\xfe raw.bin"));
}

// POSIX only: links made with symlink(2) and FIFOs.
TEST(ScanHostileInputTest, LinksAreEntriesOfTheirOwnAndNeverFollowed)
{
    test::TempTree tree;
    tree.Symlink(".", "src/loop");
    tree.Symlink("self", "src/self");
    tree.Symlink("..", "src/sub/up");
    tree.Symlink("realdir", "src/ld");
    tree.Symlink("nowhere", "src/dangling");
    tree.WriteFile("src/realdir/f.txt", "1", kT);
    tree.WriteFile("dst/realdir/f.txt", "1", kT);
    tree.Symlink("../dst", "dst/dstloop");
    // Same link texts' lengths: equal; different lengths: size changed.
    tree.Symlink("aaaa", "src/l");
    tree.Symlink("bbbb", "dst/l");
    tree.Symlink("aaaa", "src/l2");
    tree.Symlink("bbbbbb", "dst/l2");
    // Links to files of very different sizes compare by the links alone.
    tree.WriteFile("src/B", std::string(100000, 'b'), kT);
    tree.WriteFile("dst/S", "s", kT);
    tree.Symlink("B", "src/big");
    tree.Symlink("S", "dst/big");
    for (const char* link : {"src/loop", "src/self", "src/sub/up", "src/ld", "src/dangling", "dst/dstloop", "src/l",
                             "dst/l", "src/l2", "dst/l2", "src/big", "dst/big"})
        tree.SetMtime(link, kT);

    const int status = test::RunGuarded(
        [&] {
            auto s = test::Compare(tree.Path("src/"), tree.Path("dst/"));
            bool ok = test::RelativeSet(s, ResultCategory::NotInDestination) ==
                          Set{"loop", "self", "sub", "sub/up", "ld", "dangling", "B"} &&
                      test::RelativeSet(s, ResultCategory::NotInSource) == Set{"dstloop", "S"} &&
                      test::Relatives(s, ResultCategory::OnlySizeChanged) == Names{"l2"} &&
                      s.Count(ResultCategory::NewerThanDestination) == 0 &&
                      s.Count(ResultCategory::OlderThanDestination) == 0;
            const CompareItem* loop = test::FindRow(s, ResultCategory::NotInDestination, "loop");
            const CompareItem* ld = test::FindRow(s, ResultCategory::NotInDestination, "ld");
            ok = ok && loop && !loop->isFolder && loop->icon == RowIcon::File && loop->size == 1 &&
                 loop->modified == kT && ld && !ld->isFolder && ld->size == 7;
            const CompareItem* l2 = test::FindRow(s, ResultCategory::OnlySizeChanged, "l2");
            ok = ok && l2 && l2->size == 4 && l2->counterpartSize == 6;
            if (!ok)
                std::fprintf(stderr, "links:\n%s", Describe(s).c_str());
            return ok;
        },
        60);
    EXPECT_EQ(status, 0) << "a looping walk shows up as 142 (SIGALRM)";
}

TEST(ScanHostileInputTest, FifoIsNeverOpened)
{
    test::TempTree tree;
    tree.MakeFifo("src/pipe");
    tree.MakeFifo("src/both");
    tree.MakeFifo("dst/both");
    tree.SetMtime("src/both", kT);
    tree.SetMtime("dst/both", kT);
    tree.MakeFifo("dst/sub/pipe2");
    tree.WriteFile("src/sub/file", "1", kT);

    const int status = test::RunGuarded(
        [&] {
            auto s = test::Compare(tree.Path("src/"), tree.Path("dst/"));
            bool ok = test::RelativeSet(s, ResultCategory::NotInDestination) == Set{"pipe", "sub/file"} &&
                      test::RelativeSet(s, ResultCategory::NotInSource) == Set{"sub/pipe2"} &&
                      s.Count(ResultCategory::OnlySizeChanged) == 0;
            // With the default filter the FIFOs are system entries and left out.
            test::ScanSetup setup;
            setup.options.IgnoreSystem = 1;
            auto f = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
            ok = ok && test::RelativeSet(f, ResultCategory::NotInDestination) == Set{"sub/file"} &&
                 f.Count(ResultCategory::NotInSource) == 0;
            if (!ok)
                std::fprintf(stderr, "fifo:\n%s\nfiltered:\n%s", Describe(s).c_str(), Describe(f).c_str());
            return ok;
        },
        60);
    EXPECT_EQ(status, 0) << "a blocked open shows up as 142 (SIGALRM)";
}
#endif

TEST(ScanHostileInputTest, FilesBeyondFourGigabytes)
{
    test::TempTree tree;
    auto sparse = [&](const std::string& rel, std::int64_t size) {
        tree.WriteFile(rel, "");
        fs::resize_file(tree.Path(rel), static_cast<std::uintmax_t>(size));
        tree.SetMtime(rel, kT);
    };
    sparse("src/huge.bin", 5368709123LL);
    sparse("src/big.bin", 4294967297LL); // 4 GiB + 1
    sparse("dst/big.bin", 1);
    sparse("src/same.bin", 4294967296LL * 3);
    sparse("dst/same.bin", 4294967296LL * 3);

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    ASSERT_EQ(test::Relatives(store, ResultCategory::NotInDestination), (Names{"huge.bin"}));
    EXPECT_EQ(store.SizeTextOf(store.Row(ResultCategory::NotInDestination, 0)), "5368709123");
    ASSERT_EQ(test::Relatives(store, ResultCategory::OnlySizeChanged), (Names{"big.bin"}));
    EXPECT_EQ(store.SizeTextOf(store.Row(ResultCategory::OnlySizeChanged, 0)), "4294967297");
    EXPECT_EQ(store.CounterpartSizeText(store.Row(ResultCategory::OnlySizeChanged, 0)), "1");
    EXPECT_EQ(store.TotalCount(), 2u);
}

#ifndef _WIN32
// POSIX only: trees built and removed through descriptors (openat, mkdirat),
// descriptor limits and 32,768 and more folders, which Wine makes too slowly.
// Windows' long paths are tested in tests/windows.

// --- Very deep trees -------------------------------------------------------

// Builds <parent>/<name>/d/d/.../d with `depth` folders below <name>, one
// level at a time relative to the level above (full paths get too long), and
// returns a descriptor of the deepest folder.
int MakeChain(const std::string& parent, const std::string& name, int depth)
{
    int fd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::mkdirat(fd, name.c_str(), 0755) != 0)
        return -1;
    int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ::close(fd);
    fd = next;
    for (int i = 0; i < depth && fd >= 0; ++i) {
        if (::mkdirat(fd, "d", 0755) != 0) {
            ::close(fd);
            return -1;
        }
        next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        fd = next;
    }
    return fd;
}

bool WriteAt(int dirFd, const char* name, std::int64_t mtime)
{
    const int fd = ::openat(dirFd, name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool wrote = ::write(fd, "x", 1) == 1;
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(mtime);
    times[0].tv_nsec = 0;
    times[1] = times[0];
    const bool timed = ::futimens(fd, times) == 0;
    ::close(fd);
    return wrote && timed;
}

// Removes <parent>/<name> however deep it goes, never holding more than two
// descriptors and never forming a long path: each subfolder met is moved up
// to <parent> under a fresh name and removed from there in turn.
void RemoveDeep(const std::string& parent, const std::string& name)
{
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return;
    std::vector<std::string> work{name};
    std::size_t counter = 0;
    while (!work.empty()) {
        const std::string current = work.back();
        work.pop_back();
        const int fd = ::openat(parentFd, current.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            ::unlinkat(parentFd, current.c_str(), 0);
            continue;
        }
        bool removedSomething = true;
        while (removedSomething) {
            removedSomething = false;
            DIR* dir = ::fdopendir(::dup(fd));
            if (!dir)
                break;
            while (struct dirent* e = ::readdir(dir)) {
                const std::string entry = e->d_name;
                if (entry == "." || entry == "..")
                    continue;
                struct stat st;
                if (::fstatat(fd, entry.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                if (S_ISDIR(st.st_mode)) {
                    ::fchmodat(fd, entry.c_str(), 0755, 0);
                    const std::string moved = ".deep-remove-" + std::to_string(counter++);
                    if (::renameat(fd, entry.c_str(), parentFd, moved.c_str()) == 0)
                        work.push_back(moved);
                } else {
                    ::unlinkat(fd, entry.c_str(), 0);
                }
                removedSomething = true;
            }
            ::closedir(dir);
        }
        ::close(fd);
        ::unlinkat(parentFd, current.c_str(), AT_REMOVEDIR);
    }
    ::close(parentFd);
}

// Removes the deep trees before the TempTree goes, whatever the test did.
struct DeepCleanup {
    std::string parent;
    Names names;
    ~DeepCleanup()
    {
        for (const auto& n : names)
            RemoveDeep(parent, n);
    }
};

constexpr int kDepth = 20000;

// Runs a comparison on a thread with a 1 MiB stack (the main thread's size on
// some desktops), so that walking 20,000 levels cannot rely on recursion.
// Stops the walk early if rows pile up, so that a faulty walk cannot eat the
// machine's memory with 40 kB paths.
ResultStore CompareOnSmallStack(const std::string& src, const std::string& dst, bool& stoppedEarly)
{
    struct Job {
        std::string src, dst;
        ResultStore store;
        bool stopped = false;
    } job{src, dst, {}, false};
    auto run = [](void* arg) -> void* {
        auto* j = static_cast<Job*>(arg);
        RunFlag flag;
        flag.Set(true);
        Hook valve([&](std::size_t) {
            if (j->store.TotalCount() > 50) {
                j->stopped = true;
                flag.Set(false);
            }
        });
        test::ScanSetup setup;
        setup.observer = &valve;
        ScanContext context = test::ScanContextFor(j->src, j->dst, setup, j->store, flag);
        RunScan(context);
        return nullptr;
    };
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 1 << 20);
    pthread_t thread;
    if (pthread_create(&thread, &attr, run, &job) == 0)
        pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
    stoppedEarly = job.stopped;
    return std::move(job.store);
}

std::string Chain(int depth)
{
    std::string s = "top";
    s.reserve(3 + 2 * static_cast<std::size_t>(depth));
    for (int i = 0; i < depth; ++i)
        s += "/d";
    return s;
}

class DeepTreeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.MakeDir("src");
        m_tree.MakeDir("dst");
        m_cleanup.parent = m_tree.Path("");
        for (const char* side : {"src", "dst"}) {
            const std::string parent = m_tree.Path(side);
            const int fd = MakeChain(parent, "top", kDepth);
            m_cleanup.names.push_back(std::string(side) + "/top");
            ASSERT_GE(fd, 0) << std::strerror(errno);
            ASSERT_TRUE(WriteAt(fd, "same.txt", kT));
            ASSERT_TRUE(WriteAt(fd, "newer.txt", std::string(side) == "src" ? kT + 10 : kT));
            ASSERT_TRUE(WriteAt(fd, std::string(side) == "src" ? "only-src.txt" : "only-dst.txt", kT));
            ::close(fd);
        }
    }
    void TearDown() override
    {
        for (const auto& n : m_cleanup.names)
            RemoveDeep(m_tree.Path(""), n);
        m_cleanup.names.clear();
    }

    test::TempTree m_tree;
    DeepCleanup m_cleanup;
};

bool DeepRowsRight(const std::string& src, const std::string& dst)
{
    bool stopped = false;
    auto s = CompareOnSmallStack(src, dst, stopped);
    const std::string bottom = Chain(kDepth);
    const bool ok = !stopped && test::Relatives(s, ResultCategory::NotInDestination) == Names{bottom + "/only-src.txt"} &&
                    test::Relatives(s, ResultCategory::NotInSource) == Names{bottom + "/only-dst.txt"} &&
                    test::Relatives(s, ResultCategory::NewerThanDestination) == Names{bottom + "/newer.txt"} &&
                    s.TotalCount() == 3 && s.UnreadableFolders().empty();
    if (!ok)
        std::fprintf(stderr,
                     "deep tree: stopped early (too many rows) %d, rows: newer %zu, missing %zu/%zu, total %zu, "
                     "unreadable %zu\n",
                     stopped ? 1 : 0, s.Count(ResultCategory::NewerThanDestination),
                     s.Count(ResultCategory::NotInDestination), s.Count(ResultCategory::NotInSource), s.TotalCount(),
                     s.UnreadableFolders().size());
    return ok;
}

TEST_F(DeepTreeTest, AFewDescriptorsDoAtAnyDepth)
{
    // The walk holds a bounded number of descriptors, however deep it goes.
    const int status = test::RunGuarded(
        [&] {
            const struct rlimit limit {64, 64};
            return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 && DeepRowsRight(m_tree.Path("src/"), m_tree.Path("dst/"));
        },
        240);
    EXPECT_EQ(status, 0);
}

TEST_F(DeepTreeTest, WalkEndsAndComparesEntriesBeyondThePathLengthLimit)
{
    // Run on a 1 MiB stack, 20,000 levels cannot be walked by recursion; the
    // paths (about 40,000 bytes) are far beyond what one system call takes,
    // so the walk must also go folder by folder relative to open folders.
    const int status =
        test::RunGuarded([&] { return DeepRowsRight(m_tree.Path("src/"), m_tree.Path("dst/")); },
        240);
    EXPECT_EQ(status, 0) << "1 = wrong rows, 139 = crashed (stack overflow), 142 = did not finish in time";
}

TEST(ScanHostileInputTest, MoreThan32767SubfoldersInOneFolder)
{
    // 40,000 folders in the source; every fifth holds a file. The destination
    // has the first hundred folders only, without the files.
    test::TempTree tree;
    tree.MakeDir("src");
    tree.MakeDir("dst");
    constexpr int kFolders = 40000;
    constexpr int kInDestination = 100;
    // Removed here, entry by entry: a general recursive removal is very slow
    // on folders this wide.
    struct WideCleanup {
        std::string root;
        ~WideCleanup()
        {
            for (const char* side : {"src", "dst"}) {
                const int fd = ::open((root + side).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (fd < 0)
                    continue;
                for (int i = 0; i < kFolders; ++i) {
                    const std::string name = "d" + std::to_string(i);
                    ::unlinkat(fd, (name + "/f").c_str(), 0);
                    ::unlinkat(fd, name.c_str(), AT_REMOVEDIR);
                }
                ::close(fd);
            }
        }
    } cleanup{tree.Root()};

    const int srcFd = ::open(tree.Path("src").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const int dstFd = ::open(tree.Path("dst").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(srcFd, 0);
    ASSERT_GE(dstFd, 0);
    Set expected3;
    for (int i = 0; i < kFolders; ++i) {
        const std::string name = "d" + std::to_string(i);
        ASSERT_EQ(::mkdirat(srcFd, name.c_str(), 0755), 0);
        if (i < kInDestination)
            ASSERT_EQ(::mkdirat(dstFd, name.c_str(), 0755), 0);
        else
            expected3.insert(name);
        if (i % 5 == 0) {
            const int sub = ::openat(srcFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(sub, 0);
            ASSERT_TRUE(WriteAt(sub, "f", kT));
            ::close(sub);
            expected3.insert(name + "/f");
        }
    }
    ::close(srcFd);
    ::close(dstFd);

    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    const Names rows = test::Relatives(store, ResultCategory::NotInDestination);
    EXPECT_EQ(rows.size(), expected3.size());
    EXPECT_EQ(Set(rows.begin(), rows.end()), expected3);
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
    // The root's own entries (the folder rows) come before any file row.
    std::size_t firstFile = rows.size();
    std::size_t lastFolder = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].find('/') != std::string::npos)
            firstFile = std::min(firstFile, i);
        else
            lastFolder = i;
    }
    EXPECT_EQ(lastFolder + 1, static_cast<std::size_t>(kFolders - kInDestination));
    EXPECT_LT(lastFolder, firstFile);
    if (!rows.empty()) {
        EXPECT_EQ(ResultStore::KeyText(store.Row(ResultCategory::NotInDestination, rows.size() - 1)),
                  "KEY" + std::to_string(rows.size() - 1));
    }
}
#endif

} // namespace
} // namespace tandrel::engine
