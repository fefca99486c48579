#include "engine/PathPatterns.h"

#include "engine/EmptyRoot.h"
#include "engine/ScanFixture.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace tandrel::engine {
namespace {

struct PatternCase {
    std::vector<std::string> lines;
    std::string path;
    bool isFolder;
    bool leftOut;
};

class PatternForms : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternForms, DecideAsGitignoreLinesDo)
{
    const PatternCase& c = GetParam();
    PathPatterns patterns;
    for (const std::string& line : c.lines)
        patterns.Add(line, "test");
    EXPECT_EQ(patterns.Excluding(c.path, c.isFolder) >= 0, c.leftOut) << c.path;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, PatternForms,
    ::testing::Values(
        // '*' within a name, at any depth when the pattern has no '/'
        PatternCase{{"*.log"}, "a.log", false, true}, PatternCase{{"*.log"}, "x/y/a.log", false, true},
        PatternCase{{"*.log"}, "a.log.txt", false, false},
        // '?' is one character, never '/'
        PatternCase{{"a?c"}, "abc", false, true}, PatternCase{{"a?c"}, "ac", false, false},
        PatternCase{{"x?y"}, "x/y", false, false},
        // classes, ranges and negated classes
        PatternCase{{"[ab].txt"}, "b.txt", false, true}, PatternCase{{"[ab].txt"}, "c.txt", false, false},
        PatternCase{{"f[0-9]"}, "f7", false, true}, PatternCase{{"f[!0-9]"}, "f7", false, false},
        PatternCase{{"f[^0-9]"}, "fx", false, true},
        // a leading '/' anchors at the root; a '/' inside anchors too
        PatternCase{{"/top.txt"}, "top.txt", false, true}, PatternCase{{"/top.txt"}, "sub/top.txt", false, false},
        PatternCase{{"sub/a.txt"}, "sub/a.txt", false, true}, PatternCase{{"sub/a.txt"}, "x/sub/a.txt", false, false},
        // a trailing '/' matches folders only
        PatternCase{{"build/"}, "build", true, true}, PatternCase{{"build/"}, "build", false, false},
        PatternCase{{"build/"}, "src/build", true, true},
        // "**" spans folders: leading, inside and at the end
        PatternCase{{"**/deep"}, "deep", true, true}, PatternCase{{"**/deep"}, "a/b/deep", true, true},
        PatternCase{{"a/**/z.txt"}, "a/z.txt", false, true}, PatternCase{{"a/**/z.txt"}, "a/b/c/z.txt", false, true},
        PatternCase{{"a/**/z.txt"}, "b/z.txt", false, false}, PatternCase{{"a/**"}, "a/b/c", false, true},
        PatternCase{{"a/**"}, "a", true, false},
        // "**" that is not a whole name is an ordinary '*'
        PatternCase{{"x**/y"}, "xa/b/y", false, false}, PatternCase{{"x**/y"}, "xab/y", false, true},
        // '!' takes back what an earlier line left out; the last match decides
        PatternCase{{"*.log", "!keep.log"}, "keep.log", false, false},
        PatternCase{{"*.log", "!keep.log"}, "other.log", false, true},
        PatternCase{{"!keep.log", "*.log"}, "keep.log", false, true},
        // comments, blank lines, escapes and trailing blanks
        PatternCase{{"# a.txt", ""}, "# a.txt", false, false}, PatternCase{{"\\#a"}, "#a", false, true},
        PatternCase{{"\\!b"}, "!b", false, true}, PatternCase{{"c.txt   "}, "c.txt", false, true},
        PatternCase{{"a\\*"}, "a*", false, true}, PatternCase{{"a\\*"}, "ab", false, false},
        // letters keep their case
        PatternCase{{"*.LOG"}, "a.log", false, false}));

TEST(PathPatternsTest, ScanLeavesOutOnBothSidesAndCountsPerPattern)
{
    test::TempTree t;
    t.WriteFile("src/a.log", "1");
    t.WriteFile("src/keep.log", "1");
    t.WriteFile("src/build/out.o", "1");
    t.WriteFile("src/x/y/deep/z.txt", "1");
    t.WriteFile("src/same.txt", "1", 1'600'000'000);
    t.WriteFile("dst/same.txt", "1", 1'600'000'000);
    t.WriteFile("dst/b.log", "1");       // only in the destination: left out there too
    t.WriteFile("dst/build/old.o", "1"); // a folder on both sides: counted once
    PathPatterns patterns;
    patterns.Add("*.log", "--exclude");
    patterns.AddInclude("keep.log", "--include");
    patterns.Add("build/", "--exclude");
    patterns.Add("**/deep", "--exclude");
    std::uint64_t leftOut = 0;
    test::ScanSetup setup;
    setup.patterns = &patterns;
    setup.leftOut = &leftOut;
    const ResultStore store = test::Compare(t.Path("src"), t.Path("dst"), setup);

    EXPECT_EQ(test::RelativeSet(store, ResultCategory::NotInDestination),
              (std::set<std::string>{"keep.log", "x", "x/y"}));
    EXPECT_TRUE(test::Relatives(store, ResultCategory::NotInSource).empty());
    EXPECT_EQ(leftOut, 4u); // a.log, b.log, build, deep
    ASSERT_EQ(patterns.Patterns().size(), 4u);
    EXPECT_EQ(patterns.Patterns()[0].leftOut, 2u);
    EXPECT_EQ(patterns.Patterns()[2].leftOut, 1u);
    EXPECT_EQ(patterns.Patterns()[3].leftOut, 1u);
}

TEST(PathPatternsTest, IgnoredNamesKeepTheirOwnRule)
{
    // "a*" in the ignored names is a whole name with an ordinary '*'; as a pattern it is a wildcard.
    test::TempTree t;
    t.WriteFile("src/abc", "1");
    t.MakeDir("dst");
    test::ScanSetup names;
    names.ignoredTypes = {"a*"};
    EXPECT_EQ(test::Relatives(test::Compare(t.Path("src"), t.Path("dst"), names), ResultCategory::NotInDestination),
              (std::vector<std::string>{"abc"}));
    PathPatterns patterns;
    patterns.Add("a*", "--exclude");
    test::ScanSetup withPattern;
    withPattern.patterns = &patterns;
    EXPECT_TRUE(test::Relatives(test::Compare(t.Path("src"), t.Path("dst"), withPattern),
                                ResultCategory::NotInDestination)
                    .empty());
}

TEST(PathPatternsTest, PatternFileAbsentOrUnreadable)
{
    test::TempTree t;
    t.WriteFile("root/.tandrelignore", "# comment\n*.tmp\n!keep.tmp\r\n");
    PathPatterns patterns;
    EXPECT_TRUE(AddPatternFile(patterns, t.Path("root/.tandrelignore"), true).ok());
    ASSERT_EQ(patterns.Patterns().size(), 2u);
    EXPECT_EQ(patterns.Patterns()[1].origin, t.Path("root/.tandrelignore") + ":3");
    EXPECT_TRUE(AddPatternFile(patterns, t.Path("none/.tandrelignore"), true).ok());
    const platform::FileResult missing = AddPatternFile(patterns, t.Path("none.txt"), false);
    EXPECT_TRUE(test::Holds(missing.error, "No such file or directory"));
}

TEST(EmptyRootTest, FoundOnlyWhenOneSideIsEmptyAndTheOtherNot)
{
    test::TempTree t;
    t.WriteFile("full/a.txt", "1");
    t.MakeDir("empty");
    t.MakeDir("empty2");
    EXPECT_EQ(FindEmptyRoot(t.Path("full"), t.Path("empty")), EmptyRoot::Destination);
    EXPECT_EQ(FindEmptyRoot(t.Path("empty"), t.Path("full")), EmptyRoot::Source);
    EXPECT_EQ(FindEmptyRoot(t.Path("empty"), t.Path("empty2")), EmptyRoot::None);
    EXPECT_EQ(FindEmptyRoot(t.Path("full"), t.Path("full")), EmptyRoot::None);
    EXPECT_EQ(FindEmptyRoot(t.Path("full"), t.Path("missing")), EmptyRoot::None); // the scan reports it
    EXPECT_EQ(test::Compare(t.Path("full"), t.Path("empty")).EmptyRootFound(), EmptyRoot::Destination);
    EXPECT_EQ(ListOfEmptyRoot(EmptyRoot::Destination), ResultCategory::NotInDestination);
    EXPECT_EQ(ListOfEmptyRoot(EmptyRoot::Source), ResultCategory::NotInSource);
}

} // namespace
} // namespace tandrel::engine
