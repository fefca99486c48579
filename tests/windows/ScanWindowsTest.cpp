#include "engine/Scanner.h"

#include "engine/ScanFixture.h"
#include "platform/windows/WindowsFiles.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <set>

namespace tandrel::engine {
namespace {

using test::CompareSides;
using test::RowPaths;
using test::TempTree;

TEST(ScanWindows, CounterpartsMatchWithoutRegardToCase)
{
    TempTree t;
    t.MakeDir("src\\Docs");
    t.MakeDir("dst\\docs");
    t.WriteFile("src\\Docs\\Report.TXT", "same");
    t.WriteFile("dst\\docs\\report.txt", "same");
    t.SetMtime("src\\Docs\\Report.TXT", 1'000'000'000);
    t.SetMtime("dst\\docs\\report.txt", 1'000'000'000);
    t.WriteFile("src\\Docs\\new.txt", "n");
    t.SetMtime("src\\Docs\\new.txt", 1'000'000'000);
    t.WriteFile("src\\Docs\\changed.txt", "new");
    t.SetMtime("src\\Docs\\changed.txt", 1'000'000'100);
    t.WriteFile("dst\\docs\\CHANGED.txt", "old");
    t.SetMtime("dst\\docs\\CHANGED.txt", 1'000'000'000);

    const ResultStore store = CompareSides(t);
    EXPECT_EQ(RowPaths(store, ResultCategory::NotInDestination), (std::set<std::string>{"Docs\\new.txt"}));
    EXPECT_EQ(RowPaths(store, ResultCategory::NotInSource), std::set<std::string>{});
    EXPECT_EQ(RowPaths(store, ResultCategory::NewerThanDestination), (std::set<std::string>{"Docs\\changed.txt"}));
    EXPECT_EQ(RowPaths(store, ResultCategory::OlderThanDestination), std::set<std::string>{});
}

TEST(ScanWindows, AttributeFiltersUseTheAttributeBits)
{
    TempTree t;
    if (!t.KeepsDosAttributes())
        GTEST_SKIP() << "the file system of " << t.Root() << " keeps no hidden, system or archive bits";
    const bool allArchived = t.BitsAlwaysReported() & platform::kAttrArchive;
    struct Case {
        std::int32_t settings::CompareOptions::*option;
        std::uint32_t attribute;
    };
    const Case cases[] = {
        {&settings::CompareOptions::IgnoreHidden, platform::kAttrHidden},
        {&settings::CompareOptions::IgnoreReadonly, platform::kAttrReadOnly},
        {&settings::CompareOptions::IgnoreSystem, platform::kAttrSystem},
        {&settings::CompareOptions::IgnoreArchive, platform::kAttrArchive},
    };
    for (const Case& c : cases) {
        TempTree tree;
        tree.MakeDir("src");
        tree.MakeDir("dst");
        tree.WriteFile("src\\marked", "");
        tree.WriteFile("src\\plain", "");
        ASSERT_TRUE(platform::WriteAttributes(tree.Path("src\\marked"), c.attribute).ok());
        test::ScanSetup setup;
        setup.options.*c.option = 1;
        const std::set<std::string> expected =
            (c.attribute == platform::kAttrArchive && allArchived) ? std::set<std::string>{}
                                                                   : std::set<std::string>{"plain"};
        EXPECT_EQ(RowPaths(CompareSides(tree, setup), ResultCategory::NotInDestination), expected) << c.attribute;
        ASSERT_TRUE(platform::WriteAttributes(tree.Path("src\\marked"), 0).ok());
        setup.options.*c.option = 0;
        EXPECT_EQ(RowPaths(CompareSides(tree, setup), ResultCategory::NotInDestination),
                  (std::set<std::string>{"marked", "plain"}))
            << c.attribute;
    }
}

} // namespace
} // namespace tandrel::engine
