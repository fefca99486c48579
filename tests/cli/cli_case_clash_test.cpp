#include "cli/CliProcess.h"
#include "support/MountSandbox.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace tandrel {
namespace {

using test::CliRun;
using test::RunCli;
using test::TempTree;

constexpr std::int64_t kTime = 1'600'000'000;

// Runs `body` with an exFAT file system (which folds case) mounted on the
// folder "exfat" of `tree`; its text says what went wrong, empty when nothing.
void WithExfat(TempTree& tree, const std::function<std::string()>& body)
{
    if (const std::string missing = test::ExfatUnavailable(); !missing.empty())
        GTEST_SKIP() << "exFAT not tried: " << missing;
    tree.MakeDir("exfat");
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        std::string error = test::MountExfat(tree.Path("image"), tree.Path("exfat"));
        if (error.empty())
            error = body();
        test::UnmountExfat(tree.Path("exfat"));
        return error;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

std::string Expect(bool holds, const std::string& what, const CliRun& r)
{
    return holds ? std::string() : what + " (status " + std::to_string(r.status) + ")\n" + r.out + r.err;
}

// Two names differing only in case, onto a side that folds case: neither row
// is copied, each fails with the text that names the clash, and nothing on
// the target is replaced.
TEST(CliCaseClash, TwoNamesDifferingInCaseAreNotCopiedOntoAFoldingSide)
{
    TempTree t;
    t.WriteFile("local/dir/a.txt", "AAA", kTime);
    t.WriteFile("local/dir/A.txt", "BBBB", kTime);
    WithExfat(t, [&] {
        const std::string s = t.Path("local"), d = t.Path("exfat");
        const CliRun compare = RunCli({"compare", s, d});
        std::string error = Expect(compare.status == 1 && compare.out.find("Clashes with 'A.txt' beside it") !=
                                                                std::string::npos,
                                   "compare names the clash", compare);
        const CliRun copy = RunCli({"copy", "--to", "destination", "--lists", "3", s, d});
        error += Expect(copy.status == 1 && copy.err.find("Clashes with 'a.txt' beside it") != std::string::npos,
                        "the copy fails with the clash", copy);
        error += Expect(test::FolderEntries(t.Path("exfat/dir")).empty(), "nothing is copied", copy);
        return error;
    });
}

// With one of them on the folding side already, repeated syncs neither
// replace it nor report success.
TEST(CliCaseClash, RepeatedSyncsLeaveTheFoldingSideAlone)
{
    TempTree t;
    t.WriteFile("local/dir/a.txt", "AAA", kTime + 10);
    t.WriteFile("local/dir/A.txt", "BBBB", kTime + 20);
    WithExfat(t, [&] {
        t.WriteFile("exfat/dir/a.txt", "old", kTime);
        std::string error;
        for (int run = 1; run <= 3; ++run) {
            const CliRun sync =
                RunCli({"copy", "--to", "destination", "--lists", "1,2,3,5", t.Path("local"), t.Path("exfat")});
            error += Expect(sync.status == 1 && sync.err.find("on the other side") != std::string::npos,
                            "sync " + std::to_string(run) + " fails with the clash", sync);
            error += Expect(t.ReadFile("exfat/dir/a.txt") == "old", "the target is kept", sync);
        }
        return error;
    });
}

// The other way: the folding side holds one name, the other side two that
// fold to it. The trees do not match, and each of the three says why.
TEST(CliCaseClash, TwoNamesOnTheOtherSideOfAFoldingSourceAreNotAMatch)
{
    TempTree t;
    t.WriteFile("local/a.txt", "AAA", kTime);
    t.WriteFile("local/A.txt", "found nowhere else", kTime);
    WithExfat(t, [&] {
        t.WriteFile("exfat/a.txt", "AAA", kTime);
        const CliRun compare = RunCli({"compare", t.Path("exfat"), t.Path("local")});
        return Expect(compare.status == 1 &&
                          compare.out.find("Clashes with 'A.txt' and 'a.txt' on the other side") != std::string::npos &&
                          compare.out.find("Clashes with 'a.txt' on the other side") != std::string::npos,
                      "compare lists the clash", compare);
    });
}

} // namespace
} // namespace tandrel
