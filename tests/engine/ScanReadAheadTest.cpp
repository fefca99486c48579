// The scanner that reads folders ahead on worker threads: its rows against
// a plain one-thread walk over many generated tree pairs, links in place of
// folders that count as missing, and trees that change while they are read.

#include "engine/FolderReadAhead.h"
#ifndef _WIN32
#include "engine/ReferenceScan.h"
#endif
#include "engine/ScanFixture.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <pthread.h>
#include <random>
#include <thread>

namespace tandrel::engine {
namespace {

namespace fs = std::filesystem;

const std::int64_t kT = 1600000000;

#ifndef _WIN32
using test::RefLists;
using test::RefRow;

std::string Describe(const RefLists& lists)
{
    std::string out;
    for (std::size_t c = 0; c < lists.size(); ++c) {
        out += "list " + std::to_string(c + 1) + ":";
        for (const RefRow& r : lists[c])
            out += " [" + r.path + (r.isFolder ? "/" : "") + " " + std::to_string(r.size) + " " +
                   std::to_string(r.modified) + "]";
        out += "\n";
    }
    return out;
}

// --- A link in place of a folder that counts as missing ---------------------

// POSIX only: links made with symlink(2).
struct LinkCase {
    const char* realSide;   // holds N/a and N/child/b as real folders and files
    const char* linkedSide; // holds N as a link to a real folder with the same names
    ResultCategory missing;
};

TEST(ScanReadAheadTest, LinkInPlaceOfAMissingFolderIsNeverFollowed)
{
    // Everything below the real N is missing, and nothing is compared through the link.
    for (const LinkCase& c : {LinkCase{"src", "dst", ResultCategory::NotInDestination},
                              LinkCase{"dst", "src", ResultCategory::NotInSource}}) {
        SCOPED_TRACE(std::string("real folder in ") + c.realSide);
        test::TempTree tree;
        tree.WriteFile(std::string(c.realSide) + "/N/a", "1", kT);
        tree.WriteFile(std::string(c.realSide) + "/N/child/b", "1", kT);
        tree.WriteFile("elsewhere/a", "1", kT);
        tree.WriteFile("elsewhere/child/b", "1", kT + 100); // a different time: would be a pair if followed
        tree.MakeDir(c.linkedSide);
        tree.Symlink(tree.Path("elsewhere"), std::string(c.linkedSide) + "/N");

        const auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
        EXPECT_EQ(test::Relatives(store, c.missing), (std::vector<std::string>{"N", "N/a", "N/child", "N/child/b"}));
        // A link in the source is a file entry of its own, judged against
        // the folder N; nothing below N is ever paired.
        for (ResultCategory other : kAllCategories)
            for (const std::string& path : test::Relatives(store, other))
                EXPECT_TRUE(other == c.missing || path.rfind("N/", 0) != 0) << "list " << Index(other) << ": " << path;
    }
}

#endif

TEST(ScanReadAheadTest, DestinationChangedBetweenThePassesIsSeenAsItIsNow)
{
    // The source pass reads the destination's folders too; what it keeps of
    // them for the destination pass must not hide a change made in between.
    test::TempTree tree;
    tree.WriteFile("src/a/x", "1", kT);
    tree.WriteFile("dst/a/x", "1", kT);
    tree.WriteFile("dst/a/gone", "1", kT);
    tree.WriteFile("dst/kept", "1", kT);
    for (const char* folder : {"src", "src/a", "dst", "dst/a"})
        tree.SetMtime(folder, kT);
    // Six entries in the source pass: ".", ".." and "a" of the root, ".", ".." and "x" of a.
    bool changed = false;
    test::EntryHook change([&](std::size_t call) {
        if (call == 6) {
            tree.Remove("dst/a/gone");
            tree.WriteFile("dst/a/new", "1", kT);
            tree.Remove("dst/kept");
            changed = true;
        }
    });
    test::ScanSetup setup;
    setup.observer = &change;
    const auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"), setup);
    EXPECT_TRUE(changed);
    EXPECT_EQ(test::Relatives(store, ResultCategory::NotInSource), (std::vector<std::string>{"a/new"}));
}

#ifndef _WIN32
// --- Generated tree pairs against the reference walk --------------------------
// POSIX only: the reference walk, links, FIFOs and modes.

enum class Kind { None, File, Folder, LinkToFolder, DanglingLink, Fifo };

// One generated tree pair below tree/src and tree/dst, with seeded names,
// depths, one-sided entries, clashes of kind, links, special files, and
// (when `lockFolders`) folders that cannot be read or entered.
class PairGenerator {
public:
    PairGenerator(test::TempTree& tree, unsigned seed, bool lockFolders)
        : m_tree(tree), m_random(seed), m_lock(lockFolders)
    {
        m_tree.WriteFile("outside/inner/f", "outside", kT);
        m_tree.MakeDir("src");
        m_tree.MakeDir("dst");
        Folder("", true, true, 0);
        // Deepest first: a locked folder's own subfolders can no longer be reached.
        for (auto it = m_locked.rbegin(); it != m_locked.rend(); ++it)
            m_tree.Chmod(*it, Pick(2) == 0 ? 0000 : 0111);
    }

private:
    unsigned Pick(unsigned n) { return static_cast<unsigned>(m_random() % n); }

    void Folder(const std::string& relative, bool inSource, bool inDestination, int depth)
    {
        static const char* const kNames[] = {"a", "b", "c", "D", "x.tmp", "skip", ".dot", "e f", "g"};
        static const std::pair<Kind, Kind> kShapes[] = {
            {Kind::File, Kind::File},     {Kind::File, Kind::File},         {Kind::File, Kind::File},
            {Kind::Folder, Kind::Folder}, {Kind::Folder, Kind::Folder},     {Kind::Folder, Kind::Folder},
            {Kind::File, Kind::None},     {Kind::None, Kind::File},         {Kind::Folder, Kind::None},
            {Kind::None, Kind::Folder},   {Kind::File, Kind::Folder},       {Kind::Folder, Kind::File},
            {Kind::Folder, Kind::LinkToFolder}, {Kind::LinkToFolder, Kind::Folder},
            {Kind::DanglingLink, Kind::File},   {Kind::Fifo, Kind::File},
        };
        const unsigned count = Pick(depth == 0 ? 9 : 6);
        for (unsigned i = 0; i < count; ++i) {
            const std::string name = kNames[Pick(std::size(kNames))];
            auto [sourceKind, destinationKind] = kShapes[Pick(std::size(kShapes))];
            if (!inSource)
                sourceKind = Kind::None;
            if (!inDestination)
                destinationKind = Kind::None;
            const std::int64_t time = kT + Pick(4);
            const std::string content(Pick(3), 'x');
            Make("src/" + relative + name, sourceKind, time, content);
            Make("dst/" + relative + name, destinationKind, Pick(3) == 0 ? kT + Pick(4) : time,
                 Pick(4) == 0 ? content + "y" : content);
            const bool sourceFolder = IsRealFolder("src/" + relative + name);
            const bool destinationFolder = IsRealFolder("dst/" + relative + name);
            if ((sourceFolder || destinationFolder) && depth < 4)
                Folder(relative + name + "/", sourceFolder, destinationFolder, depth + 1);
        }
    }

    bool IsRealFolder(const std::string& relative) const
    {
        std::error_code ec;
        return fs::is_directory(fs::symlink_status(m_tree.Path(relative), ec));
    }

    void Make(const std::string& relative, Kind kind, std::int64_t time, const std::string& content)
    {
        if (kind == Kind::None || m_tree.Exists(relative))
            return; // a name drawn twice keeps what it got first
        switch (kind) {
        case Kind::File:
            m_tree.WriteFile(relative, content, time);
            if (Pick(6) == 0)
                m_tree.Chmod(relative, 0444);
            break;
        case Kind::Folder:
            m_tree.MakeDir(relative);
            if (m_lock && Pick(8) == 0)
                m_locked.push_back(relative);
            break;
        case Kind::LinkToFolder:
            m_tree.Symlink(m_tree.Path("outside"), relative);
            break;
        case Kind::DanglingLink:
            m_tree.Symlink("nowhere", relative);
            break;
        case Kind::Fifo:
            m_tree.MakeFifo(relative);
            break;
        case Kind::None:
            break;
        }
    }

    test::TempTree& m_tree;
    std::mt19937 m_random;
    bool m_lock;
    std::vector<std::string> m_locked;
};

struct OptionCase {
    const char* label;
    settings::CompareOptions options;
    std::vector<std::string> ignored;
    bool subfolders;
};

std::vector<OptionCase> OptionCases()
{
    settings::CompareOptions filters;
    filters.IgnoreReadonly = 1;
    filters.IgnoreTime = 1;
    settings::CompareOptions minutes;
    minutes.IgnoreType = 1;
    return {
        {"no filters", test::NoFilters(), {}, true},
        {"defaults", settings::CompareOptions::Defaults(), {}, true},
        {"read-only, tolerance, ignored names", filters, {"*.TMP", "skip"}, true},
        {"minutes", minutes, {}, true},
        {"no subfolders", test::NoFilters(), {}, false},
    };
}

TEST(ScanReadAheadTest, RowsEqualAPlainWalkOnGeneratedTrees)
{
    // Folders that cannot be read or entered stop only an unprivileged user,
    // so when the tests run as root the whole check runs as user nobody.
    const bool asRoot = ::geteuid() == 0;
    constexpr unsigned kTrees = 40;
    const auto check = [&] {
        bool allEqual = true;
        for (unsigned seed = 1; seed <= kTrees; ++seed) {
            test::TempTree tree;
            PairGenerator generate(tree, seed, true);
            for (const OptionCase& c : OptionCases()) {
                test::ScanSetup setup;
                setup.options = c.options;
                setup.ignoredTypes = c.ignored;
                setup.includeSubdirectories = c.subfolders;
                const RefLists got = test::ListsOf(test::Compare(tree.Path("src/"), tree.Path("dst/"), setup));
                const RefLists expected =
                    test::ReferenceScan(c.options, c.ignored, c.subfolders).Compare(tree.Path("src/"), tree.Path("dst/"));
                if (got != expected) {
                    allEqual = false;
                    std::fprintf(stderr, "seed %u, %s:\nscanner\n%sreference\n%s", seed, c.label,
                                 Describe(got).c_str(), Describe(expected).c_str());
                }
            }
        }
        return allEqual;
    };
    if (asRoot)
        EXPECT_EQ(test::RunUnprivileged(check), 0);
    else
        EXPECT_TRUE(check());
}

#endif

// --- A tree that changes while it is read --------------------------------------

TEST(ScanReadAheadTest, TreeChangingDuringTheWalkEndsCleanly)
{
    const int status = test::RunGuarded(
        [] {
            test::TempTree tree;
            tree.WriteFile("outside/OUTSIDE-MARKER", "x", kT);
            for (const char* side : {"src", "dst"})
                for (int i = 0; i < 6; ++i)
                    for (int j = 0; j < 6; ++j)
                        tree.WriteFile(std::string(side) + "/d" + std::to_string(i) + "/e" + std::to_string(j) + "/f",
                                       "x", kT + (i + j) % 2);

            // Another thread removes folders, makes new ones and swaps links
            // to a folder outside the roots in for folders, as fast as it can.
            std::atomic<bool> stop{false};
            std::jthread changer([&] {
                std::mt19937 random(11);
                std::error_code ec;
                while (!stop.load()) {
                    const std::string side = random() % 2 ? "src/" : "dst/";
                    const std::string folder = tree.Path(side + "d" + std::to_string(random() % 6));
                    const std::string inner = folder + "/e" + std::to_string(random() % 6);
                    switch (random() % 4) {
                    case 0:
                        fs::remove_all(inner, ec);
                        break;
                    case 1:
                        fs::create_directories(inner + "/new" + std::to_string(random() % 3), ec);
                        break;
                    case 2:
                        fs::remove_all(folder, ec);
                        fs::create_directory_symlink(tree.Path("outside"), folder, ec);
                        break;
                    default:
                        fs::remove(folder, ec); // only a link or an empty folder goes
                        fs::create_directories(inner, ec);
                        break;
                    }
                }
            });
            bool clean = true;
            for (int run = 0; run < 30 && clean; ++run) {
                const auto store = test::Compare(tree.Path("src/"), tree.Path("dst/"));
                for (ResultCategory c : kAllCategories)
                    for (const std::string& path : test::Relatives(store, c))
                        if (path.empty() || path[0] == '/' || path.find("OUTSIDE-MARKER") != std::string::npos ||
                            path.find("//") != std::string::npos || path.rfind("d", 0) != 0) {
                            std::fprintf(stderr, "run %d: row outside the roots: %s\n", run, path.c_str());
                            clean = false;
                        }
            }
            stop = true;
            return clean;
        },
        120);
    EXPECT_EQ(status, 0) << "1 = a row outside the roots, 128+n = crashed or hung";
}

TEST(ScanReadAheadTest, ALongChainOfFolderJobsGoesOnASmallStack)
{
    // A job keeps its parents; when the deepest of a 200,000-level chain goes
    // last, the chain must go without a call per level.
    const int status = test::RunGuarded(
        [] {
            auto job = std::make_shared<std::shared_ptr<FolderJob>>();
            {
                FolderReadAhead ahead(ReadSetup{}, 0);
                *job = ahead.MakeRoot();
                for (int i = 0; i < 200000; ++i)
                    *job = ahead.MakeChild(*job, "d", OtherState::Present);
            }
            pthread_attr_t attr;
            pthread_attr_init(&attr);
            pthread_attr_setstacksize(&attr, 256 * 1024); // the thread's own data takes some
            pthread_t thread;
            const auto release = [](void* chain) -> void* {
                static_cast<std::shared_ptr<FolderJob>*>(chain)->reset();
                return nullptr;
            };
            const int started = pthread_create(&thread, &attr, release, job.get());
            pthread_attr_destroy(&attr);
            const int joined = started == 0 ? pthread_join(thread, nullptr) : -1;
            return started == 0 && joined == 0 && !*job;
        },
        60);
    EXPECT_EQ(status, 0) << "139 = crashed (stack overflow)";
}

} // namespace
} // namespace tandrel::engine
