// The guards of delete (an empty side, --max-delete) and the dry runs of copy and delete.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::cli {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;
using test::TempTree;

// Everything below a folder in one text: each entry's path, kind, mode,
// time and content, in name order.
std::string Digest(const std::string& root)
{
    std::ostringstream digest;
    std::vector<fs::path> paths;
    for (const auto& e : fs::recursive_directory_iterator(root))
        paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    for (const fs::path& p : paths) {
        struct stat st {};
        ::lstat(p.c_str(), &st);
        digest << p.string() << ' ' << st.st_mode << ' ' << st.st_mtim.tv_sec << '.' << st.st_mtim.tv_nsec << ' '
               << st.st_size;
        if (S_ISREG(st.st_mode)) {
            std::ifstream in(p, std::ios::binary);
            digest << ' ' << in.rdbuf();
        }
        digest << '\n';
    }
    return digest.str();
}

// Three files only in the source, one pair that is equal.
void ThreeMissing(TempTree& t)
{
    t.WriteFile("src/a.txt", "a");
    t.WriteFile("src/b.txt", "b");
    t.WriteFile("src/c.txt", "c");
    t.WriteFile("src/same.txt", "same", 1'600'000'000);
    t.WriteFile("dst/same.txt", "same", 1'600'000'000);
}

TEST(CliSafety, DeleteOfAnEmptySidesListIsRefusedUnlessAllowed)
{
    TempTree t;
    t.WriteFile("src/a.txt", "a");
    t.WriteFile("src/sub/b.txt", "b");
    t.MakeDir("dst");
    const std::string before = Digest(t.Root());

    const CliRun compare = RunCli({"compare", t.Path("src"), t.Path("dst"), "--summary"});
    EXPECT_EQ(compare.status, 1);
    EXPECT_TRUE(test::Holds(compare.err, "The destination folder '" + t.Path("dst") + "/' is empty"));

    const CliRun refused = RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3", "-q"});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(test::Holds(refused.err, "refused: the destination folder is empty, and list 3 holds all 3 items"));
    EXPECT_EQ(Digest(t.Root()), before);

    const CliRun allowed =
        RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3", "--allow-empty-side", "-q"});
    EXPECT_EQ(allowed.status, 0) << allowed.err;
    EXPECT_FALSE(t.Exists("src/a.txt"));
    EXPECT_FALSE(t.Exists("src/sub"));
}

TEST(CliSafety, EmptySourceGuardsListFourAndNotOtherLists)
{
    TempTree t;
    t.MakeDir("src");
    t.WriteFile("dst/a.txt", "a");
    EXPECT_EQ(RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "4", "-q"}).status, 2);
    EXPECT_TRUE(t.Exists("dst/a.txt"));
    // List 3 is empty here; deleting it is no danger.
    EXPECT_EQ(RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3", "-q"}).status, 0);
}

struct MaxDeleteCase {
    const char* limit;
    int status;
    bool deleted;
};

class CliMaxDelete : public ::testing::TestWithParam<MaxDeleteCase> {};

TEST_P(CliMaxDelete, RefusesAboveTheLimitOnly)
{
    TempTree t;
    ThreeMissing(t);
    const CliRun r =
        RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3", "--max-delete", GetParam().limit});
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_EQ(!t.Exists("src/a.txt") && !t.Exists("src/b.txt") && !t.Exists("src/c.txt"), GetParam().deleted);
    EXPECT_EQ(t.Exists("src/a.txt") && t.Exists("src/b.txt") && t.Exists("src/c.txt"), !GetParam().deleted);
    if (!GetParam().deleted) {
        EXPECT_TRUE(test::Holds(r.err,
                                "refused: 3 items would be deleted, more than --max-delete 2; nothing was deleted"));
    }
}

INSTANTIATE_TEST_SUITE_P(Limits, CliMaxDelete,
                         ::testing::Values(MaxDeleteCase{"4", 0, true}, MaxDeleteCase{"3", 0, true},
                                           MaxDeleteCase{"2", 2, false}));

TEST(CliSafety, DryRunsChangeNothingAndShowTheRows)
{
    TempTree t;
    ThreeMissing(t);
    t.WriteFile("src/newer.txt", "new", 1'700'000'000);
    t.WriteFile("dst/newer.txt", "old", 1'600'000'000);
    t.WriteFile("dst/only-here.txt", "x");
    const std::string before = Digest(t.Root());

    const CliRun copy =
        RunCli({"copy", t.Path("src"), t.Path("dst"), "--lists", "1,3", "--to", "destination", "--dry-run"});
    EXPECT_EQ(copy.status, 0) << copy.err;
    EXPECT_TRUE(test::Holds(copy.out,
                            "would copy '" + t.Path("src/newer.txt") + "' to '" + t.Path("dst/newer.txt") + "'"));
    EXPECT_TRUE(test::Holds(copy.out, "Can not find destination: 3 rows would be copied (dry run: nothing done)"));
    EXPECT_EQ(Digest(t.Root()), before);

    const CliRun del = RunCli({"delete", t.Path("src"), t.Path("dst"), "--lists", "3,4", "--dry-run", "--trash"});
    EXPECT_EQ(del.status, 0) << del.err;
    EXPECT_TRUE(test::Holds(del.out, "would move to the trash '" + t.Path("dst/only-here.txt") + "'"));
    EXPECT_TRUE(test::Holds(del.out, "Can not find source: 1 row would be moved to the trash (dry run: nothing done)"));
    EXPECT_EQ(Digest(t.Root()), before);
}

TEST(CliSafety, KeepReplacedPutsTheOldVersionWhereTheDesktopRestoresIt)
{
    if (::access("/usr/bin/trash-list", X_OK) != 0)
        GTEST_SKIP() << "trash-cli is not installed";
    TempTree t;
    t.WriteFile("src/a.txt", "new version", 1'700'000'000);
    t.WriteFile("dst/a.txt", "old version", 1'600'000'000);
    const std::string data = "XDG_DATA_HOME=" + t.Path("data"); // never the user's own trash
    test::CliStart start;
    start.environment = {data};
    const CliRun r = RunCli(
        {"copy", t.Path("src"), t.Path("dst"), "--lists", "1", "--to", "destination", "--keep-replaced", "-q"}, start);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(t.ReadFile("dst/a.txt"), "new version");
    EXPECT_EQ(t.ReadFile("data/Trash/files/a.txt"), "old version");
    start.program = "/usr/bin/trash-list";
    const CliRun listed = RunCli({}, start);
    EXPECT_TRUE(test::Holds(listed.out,
                            fs::canonical(t.Path("dst")).string() + "/a.txt\n")) << listed.out << listed.err;
}

} // namespace
} // namespace tandrel::cli
