#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "support/MountSandbox.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

// Names that differ only in case pair up when either side folds case, on a
// file system no table names (exFAT through FUSE): neither pass counts such
// a pair as missing, and what is really missing below it still shows.
TEST(ScanCaseFold, NamesDifferingInCasePairWhereEitherSideFolds)
{
    if (const std::string missing = test::ExfatUnavailable(); !missing.empty())
        GTEST_SKIP() << "exFAT not tried: " << missing;
    test::TempTree tree;
    tree.MakeDir("exfat");
    const std::int64_t t = test::Utc(2024, 3, 1, 12, 0, 0);
    for (const bool sourceFolds : {false, true}) {
        const std::string local = sourceFolds ? "local1/" : "local0/";
        const std::string source = sourceFolds ? "exfat/" : local;
        const std::string destination = sourceFolds ? local : "exfat/";
        tree.MakeDir(local);
        const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
            std::string error = test::MountExfat(tree.Path(sourceFolds ? "image1" : "image0"), tree.Path("exfat"));
            if (error.empty()) {
                tree.WriteFile(source + "Docs/Report.txt", "abc", t);
                tree.WriteFile(source + "Docs/only-here.txt", "a", t);
                tree.WriteFile(destination + "docs/report.txt", "abc", t);
                tree.WriteFile(destination + "docs/only-there.txt", "b", t);
                const ResultStore store = test::Compare(tree.Path(source), tree.Path(destination));
                const auto expect = [&](ResultCategory category, const std::vector<std::string>& rows) {
                    if (test::Relatives(store, category) != rows)
                        error += "list " + std::to_string(Index(category)) + ": " +
                                 test::Joined(test::Relatives(store, category)) + "; ";
                };
                expect(ResultCategory::NotInDestination, {"Docs/only-here.txt"});
                expect(ResultCategory::NotInSource, {"docs/only-there.txt"});
                for (const auto category : {ResultCategory::NewerThanDestination, ResultCategory::OlderThanDestination,
                                            ResultCategory::OnlySizeChanged})
                    expect(category, {});
            }
            test::UnmountExfat(tree.Path("exfat"));
            return error;
        });
        if (outcome.skipped)
            GTEST_SKIP() << outcome.text;
        EXPECT_EQ(outcome.text, "") << (sourceFolds ? "source on exFAT" : "destination on exFAT");
    }
}

// Folders whose names hold no letter cannot tell whether their file system
// folds case. However many of them a walk meets first, the names below them
// that differ only in case still pair up, in every run.
TEST(ScanCaseFold, FoldersWithoutLettersLeaveTheAnswerOpen)
{
    if (const std::string missing = test::ExfatUnavailable(); !missing.empty())
        GTEST_SKIP() << "exFAT not tried: " << missing;
    test::TempTree tree;
    tree.MakeDir("exfat");
    tree.MakeDir("local");
    const std::int64_t older = test::Utc(2020, 1, 1, 12, 0, 0);
    const test::SandboxOutcome outcome = test::RunInMountSandbox([&]() -> std::string {
        std::string error = test::MountExfat(tree.Path("image"), tree.Path("exfat"));
        for (int year = 2001; year <= 2030 && error.empty(); ++year) {
            const std::string folder = std::to_string(year) + "/01/01/";
            tree.WriteFile("exfat/" + folder + "IMG_0001.JPG", "new", older + 86400);
            tree.WriteFile("local/" + folder + "img_0001.jpg", "old", older);
        }
        for (int run = 1; run <= 5 && error.empty(); ++run) {
            const ResultStore store = test::Compare(tree.Path("local"), tree.Path("exfat"));
            if (store.Count(ResultCategory::OlderThanDestination) != 30 || store.TotalCount() != 30)
                error = "run " + std::to_string(run) + ": " +
                        std::to_string(store.Count(ResultCategory::OlderThanDestination)) + " older, " +
                        std::to_string(store.TotalCount()) + " rows in all";
        }
        test::UnmountExfat(tree.Path("exfat"));
        return error;
    });
    if (outcome.skipped)
        GTEST_SKIP() << outcome.text;
    EXPECT_EQ(outcome.text, "");
}

} // namespace
} // namespace tandrel::engine
