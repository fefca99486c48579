#include "engine/Scanner.h"

#include "platform/windows/WindowsFiles.h"
#include "windows/WinTestFolder.h"

#include <gtest/gtest.h>

#include <set>

namespace tandrel::engine {
namespace {

using test::WinTestFolder;

ResultStore Compare(const WinTestFolder& t, const settings::CompareOptions& options = {})
{
    return test::CompareFolders(t, options);
}

std::set<std::string> Rows(const ResultStore& store, ResultCategory category)
{
    return test::RowPaths(store, category);
}

TEST(ScanWindows, CounterpartsMatchWithoutRegardToCase)
{
    WinTestFolder t;
    t.MakeFolders("src\\Docs");
    t.MakeFolders("dst\\docs");
    t.WriteFile("src\\Docs\\Report.TXT", "same");
    t.WriteFile("dst\\docs\\report.txt", "same");
    t.SetWriteTime("src\\Docs\\Report.TXT", 1'000'000'000);
    t.SetWriteTime("dst\\docs\\report.txt", 1'000'000'000);
    t.WriteFile("src\\Docs\\new.txt", "n");
    t.SetWriteTime("src\\Docs\\new.txt", 1'000'000'000);
    t.WriteFile("src\\Docs\\changed.txt", "new");
    t.SetWriteTime("src\\Docs\\changed.txt", 1'000'000'100);
    t.WriteFile("dst\\docs\\CHANGED.txt", "old");
    t.SetWriteTime("dst\\docs\\CHANGED.txt", 1'000'000'000);

    const ResultStore store = Compare(t);
    EXPECT_EQ(Rows(store, ResultCategory::NotInDestination), (std::set<std::string>{"Docs\\new.txt"}));
    EXPECT_EQ(Rows(store, ResultCategory::NotInSource), std::set<std::string>{});
    EXPECT_EQ(Rows(store, ResultCategory::NewerThanDestination), (std::set<std::string>{"Docs\\changed.txt"}));
    EXPECT_EQ(Rows(store, ResultCategory::OlderThanDestination), std::set<std::string>{});
}

TEST(ScanWindows, AttributeFiltersUseTheAttributeBits)
{
    WinTestFolder t;
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
        WinTestFolder tree;
        tree.MakeFolders("src");
        tree.MakeFolders("dst");
        tree.WriteFile("src\\marked", "");
        tree.WriteFile("src\\plain", "");
        ASSERT_TRUE(platform::WriteAttributes(tree.Path("src\\marked"), c.attribute).ok());
        settings::CompareOptions options;
        options.*c.option = 1;
        const std::set<std::string> expected =
            (c.attribute == platform::kAttrArchive && allArchived) ? std::set<std::string>{}
                                                                   : std::set<std::string>{"plain"};
        EXPECT_EQ(Rows(Compare(tree, options), ResultCategory::NotInDestination), expected) << c.attribute;
        ASSERT_TRUE(platform::WriteAttributes(tree.Path("src\\marked"), 0).ok());
        options.*c.option = 0;
        EXPECT_EQ(Rows(Compare(tree, options), ResultCategory::NotInDestination),
                  (std::set<std::string>{"marked", "plain"}))
            << c.attribute;
    }
}

} // namespace
} // namespace tandrel::engine
