#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "support/TempTree.h"

#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace tandrel::engine {
namespace {

using Names = std::vector<std::string>;
using Set = std::set<std::string>;

TEST(MatchesIgnoredTypeTest, SuffixAndWholeNameRules)
{
    const Names tmp{"*.tmp"};
    EXPECT_TRUE(MatchesIgnoredType("a.TMP", tmp));
    EXPECT_TRUE(MatchesIgnoredType("b.tmp", tmp));
    EXPECT_TRUE(MatchesIgnoredType(".tmp", tmp));
    EXPECT_TRUE(MatchesIgnoredType("x.y.Tmp", tmp));
    EXPECT_FALSE(MatchesIgnoredType("tmp", tmp));
    EXPECT_FALSE(MatchesIgnoredType("atmp", tmp));
    EXPECT_FALSE(MatchesIgnoredType("a.tmpx", tmp));
    EXPECT_FALSE(MatchesIgnoredType("a.tm", tmp));
    EXPECT_FALSE(MatchesIgnoredType("t", tmp)); // shorter than the suffix

    EXPECT_TRUE(MatchesIgnoredType("x.TAR.GZ", {"*.tar.gz"}));
    EXPECT_FALSE(MatchesIgnoredType("x.gz", {"*.tar.gz"}));
    EXPECT_TRUE(MatchesIgnoredType("a.tmp", {"*.TMP"}));

    // Any other entry is a whole name, without regard to case.
    const Names thumbs{"thumbs.db"};
    EXPECT_TRUE(MatchesIgnoredType("Thumbs.db", thumbs));
    EXPECT_TRUE(MatchesIgnoredType("THUMBS.DB", thumbs));
    EXPECT_FALSE(MatchesIgnoredType("my.thumbs.db", thumbs));
    EXPECT_FALSE(MatchesIgnoredType("thumbs.db.bak", thumbs));

    // No other wildcards: '*' and '?' anywhere else are ordinary characters.
    EXPECT_TRUE(MatchesIgnoredType("a*b", {"a*b"}));
    EXPECT_FALSE(MatchesIgnoredType("axb", {"a*b"}));
    EXPECT_TRUE(MatchesIgnoredType("*", {"*"}));
    EXPECT_FALSE(MatchesIgnoredType("anything", {"*"}));
    EXPECT_TRUE(MatchesIgnoredType("?.txt", {"?.txt"}));
    EXPECT_FALSE(MatchesIgnoredType("a.txt", {"?.txt"}));
    EXPECT_FALSE(MatchesIgnoredType("a.tmp", {"**.tmp"}));
    EXPECT_TRUE(MatchesIgnoredType("**.tmp", {"**.tmp"}));
    EXPECT_FALSE(MatchesIgnoredType("xa.tmp", {"x*.tmp"}));
    EXPECT_FALSE(MatchesIgnoredType(".hidden", {".*"}));
    EXPECT_FALSE(MatchesIgnoredType("a.tmp", {"*tmp"}));
    // "*." alone is the suffix ".".
    EXPECT_TRUE(MatchesIgnoredType("name.", {"*."}));
    EXPECT_FALSE(MatchesIgnoredType("name", {"*."}));

    // Empty entries match nothing; an empty list matches nothing.
    EXPECT_FALSE(MatchesIgnoredType("a", {""}));
    EXPECT_FALSE(MatchesIgnoredType("", {""}));
    EXPECT_FALSE(MatchesIgnoredType("a", {}));
    EXPECT_TRUE(MatchesIgnoredType("a", {"", "b", "A"}));
    // A one-character entry that happens to be '*' followed by nothing.
    EXPECT_FALSE(MatchesIgnoredType("x", {"*", ""}));
}

#ifndef _WIN32
// POSIX only: a '*' in a name, and names that differ only in case (build, BUILD).
TEST(ScanFilterTest, IgnoredNamesOnBothSides)
{
    test::TempTree tree;
    const std::int64_t t = 1600000000;
    tree.WriteFile("src/a.TMP", "1", t);
    tree.WriteFile("dst/b.tmp", "1", t);
    tree.WriteFile("src/Thumbs.db", "1", t);
    tree.WriteFile("src/my.thumbs.db", "1", t);
    tree.WriteFile("src/keep.txt", "1", t);
    tree.WriteFile("src/a*b", "1", t);
    tree.WriteFile("src/axb", "1", t);
    // An ignored folder is not listed and not descended into, on either side.
    tree.WriteFile("src/build/out.o", "1", t);
    tree.WriteFile("dst/BUILD/x.o", "1", t);
    tree.WriteFile("src/cache.d/inner.txt", "1", t);
    // Ignored on the walked side only: the counterpart is still found.
    tree.WriteFile("src/pair.txt", "1", t);
    tree.WriteFile("dst/pair.txt", "1", t + 100);

    test::ScanSetup setup;
    setup.ignoredTypes = {"", "*.tmp", "thumbs.db", "a*b", "build", "*.d"};
    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{"my.thumbs.db", "keep.txt", "axb"}));
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
    EXPECT_EQ(test::Relatives(store, ResultCategory::OlderThanDestination), (Names{"pair.txt"}));

    // Ignoring pair.txt hides it from the source pass, and the destination
    // pass finds its source counterpart by name and records nothing.
    setup.ignoredTypes = {"PAIR.TXT"};
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(store.Count(ResultCategory::OlderThanDestination), 0u);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{"b.tmp", "BUILD", "BUILD/x.o"}));

    // With no ignored names everything shows up.
    setup.ignoredTypes.clear();
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination),
              (Set{"a.TMP", "Thumbs.db", "my.thumbs.db", "keep.txt", "a*b", "axb", "build", "build/out.o", "cache.d",
                   "cache.d/inner.txt"}));
}
#endif

TEST(ScanFilterTest, HiddenNamesAndDotFolders)
{
    test::TempTree tree;
    const std::int64_t t = 1600000000;
    tree.WriteFile("src/.hidden", "1", t);
    tree.WriteFile("dst/.dsthidden", "1", t);
    tree.WriteFile("src/.gitignore", "1", t);
    tree.WriteFile("dst/.gitignore", "12", t); // size differs
    tree.WriteFile("src/.git/config", "1", t);
    tree.WriteFile("src/.git/objects/ab/cd", "1", t);
    tree.WriteFile("dst/.cache/x", "1", t);
    tree.WriteFile("src/sub/.config/y", "1", t);
    tree.WriteFile("src/sub/plain.txt", "1", t);
    tree.MakeDir("dst/sub");

    // IgnoreHidden 0: hidden files are compared like any other; folders
    // whose names begin with '.' are still left out with everything in them.
    auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{".hidden", "sub/plain.txt"}));
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInSource), (Set{".dsthidden"}));
    EXPECT_EQ(test::Relatives(store, ResultCategory::OnlySizeChanged), (Names{".gitignore"}));

    // IgnoreHidden 1: hidden entries of either tree are neither compared nor listed.
    test::ScanSetup setup;
    setup.options.IgnoreHidden = 1;
    store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{"sub/plain.txt"}));
    EXPECT_EQ(store.Count(ResultCategory::NotInSource), 0u);
    EXPECT_EQ(store.Count(ResultCategory::OnlySizeChanged), 0u);

    // Values other than exactly 1 are off.
    for (int value : {-1, 2}) {
        setup.options.IgnoreHidden = value;
        store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
        EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination), (Set{".hidden", "sub/plain.txt"}))
            << "IgnoreHidden=" << value;
    }
}

TEST(ScanFilterTest, CountsWhatTheFiltersAndTheDotFolderRuleLeaveOut)
{
    test::TempTree tree;
    for (const char* file : {"src/.hidden", "dst/.gitignore", "src/.git/config", "dst/.cache/x", "src/sub/.config/y",
                             "src/sub/a.tmp", "dst/sub/a.tmp", "src/plain.txt"})
        tree.WriteFile(file, "1", 1600000000);
    struct Case {
        int ignoreHidden;
        std::vector<std::string> ignored;
        std::uint64_t leftOut;
    };
    // Dot folders only (.git, .cache, sub/.config); every dot name; plus
    // sub/a.tmp, a name on both sides counted once.
    for (const Case& c : {Case{0, {}, 3}, Case{1, {}, 5}, Case{1, {"*.tmp"}, 6}}) {
        test::ScanSetup setup;
        std::uint64_t leftOut = 99;
        setup.options.IgnoreHidden = c.ignoreHidden;
        setup.ignoredTypes = c.ignored;
        setup.leftOut = &leftOut;
        test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
        EXPECT_EQ(leftOut, c.leftOut) << "IgnoreHidden=" << c.ignoreHidden << " ignored names " << c.ignored.size();
    }
}

#ifndef _WIN32
// POSIX only: modes, FIFOs and sockets (Windows' attribute bits: tests/windows).
TEST(ScanFilterTest, ReadOnlyArchiveAndSystem)
{
    test::TempTree tree;
    const std::int64_t t = 1600000000;
    tree.WriteFile("src/ro.txt", "1", t);
    tree.Chmod("src/ro.txt", 0444);
    tree.WriteFile("src/rodir/inside.txt", "1", t);
    tree.Chmod("src/rodir", 0555);
    // A writable file whose counterpart is read-only: the counterpart still counts as found.
    tree.WriteFile("src/pair.txt", "1", t);
    tree.WriteFile("dst/pair.txt", "1", t + 10);
    tree.Chmod("dst/pair.txt", 0400);
    tree.WriteFile("src/plain.txt", "1", t);
    // System entries: a FIFO and a socket.
    tree.MakeFifo("src/pipe");
    tree.SetMtime("src/pipe", t);
    const std::string socketPath = tree.Path("dst/sock");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(socketPath.size(), sizeof(addr.sun_path));
    std::strcpy(addr.sun_path, socketPath.c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0) << std::strerror(errno);
    ::close(fd);
    // A regular file whose counterpart is a FIFO: found, compared by time and size.
    tree.WriteFile("src/tofifo", "", t);
    tree.MakeFifo("dst/tofifo");
    tree.SetMtime("dst/tofifo", t + 50);

    const int status = test::RunGuarded(
        [&] {
            bool ok = true;
            auto expect = [&](bool cond, const char* what, const engine::ResultStore& s) {
                if (!cond) {
                    ok = false;
                    std::fprintf(stderr, "%s: cat1 %s cat2 %s cat3 %s cat4 %s cat5 %s\n", what,
                                 test::Joined(test::Relatives(s, ResultCategory::NewerThanDestination)).c_str(),
                                 test::Joined(test::Relatives(s, ResultCategory::OlderThanDestination)).c_str(),
                                 test::Joined(test::Relatives(s, ResultCategory::NotInDestination)).c_str(),
                                 test::Joined(test::Relatives(s, ResultCategory::NotInSource)).c_str(),
                                 test::Joined(test::Relatives(s, ResultCategory::OnlySizeChanged)).c_str());
                }
            };
            // No filter: everything is compared, special files as entries of their own.
            auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
            expect(test::RelativeSet(store, ResultCategory::NotInDestination) ==
                       Set{"ro.txt", "rodir", "rodir/inside.txt", "plain.txt", "pipe"},
                   "no filter, list 3", store);
            expect(test::RelativeSet(store, ResultCategory::NotInSource) == Set{"sock"}, "no filter, list 4", store);
            expect(test::RelativeSet(store, ResultCategory::OlderThanDestination) == Set{"pair.txt", "tofifo"},
                   "no filter, list 2", store);
            const CompareItem* pipe = test::FindRow(store, ResultCategory::NotInDestination, "pipe");
            expect(pipe != nullptr && !pipe->isFolder && pipe->size == 0 && pipe->modified == t, "fifo row", store);

            // Read-only: the owner has no write permission.
            test::ScanSetup setup;
            setup.options.IgnoreReadonly = 1;
            store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
            expect(test::RelativeSet(store, ResultCategory::NotInDestination) == Set{"plain.txt", "pipe"},
                   "read-only, list 3", store);
            expect(test::RelativeSet(store, ResultCategory::OlderThanDestination) == Set{"pair.txt", "tofifo"},
                   "read-only, list 2", store);

            // System: anything but a regular file, a folder or a link.
            setup.options = test::NoFilters();
            setup.options.IgnoreSystem = 1;
            store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
            expect(test::RelativeSet(store, ResultCategory::NotInDestination) ==
                       Set{"ro.txt", "rodir", "rodir/inside.txt", "plain.txt"},
                   "system, list 3", store);
            expect(store.Count(ResultCategory::NotInSource) == 0, "system, list 4", store);
            expect(test::RelativeSet(store, ResultCategory::OlderThanDestination) == Set{"pair.txt", "tofifo"},
                   "system, list 2", store);

            // Archive is never set here: the filter changes nothing.
            setup.options = test::NoFilters();
            setup.options.IgnoreArchive = 1;
            store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
            expect(store.Count(ResultCategory::NotInDestination) == 5, "archive, list 3", store);
            return ok;
        },
        60);
    // A FIFO must never be opened: a hang shows up here as SIGALRM (142).
    EXPECT_EQ(status, 0);
}
#endif

} // namespace
} // namespace tandrel::engine
