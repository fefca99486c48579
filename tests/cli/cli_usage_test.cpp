// Exit statuses, help and usage errors of the real tandrel-cli.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <regex>

namespace tandrel::test {
namespace {

TEST(CliUsage, ExitStatusHelpAndErrors)
{
    TempTree t;
    t.WriteFile("same1/a.txt", "a", 1'600'000'000);
    t.WriteFile("same2/a.txt", "a", 1'600'000'000);
    t.WriteFile("differ/a.txt", "a longer text", 1'600'000'000);
    const std::string same1 = t.Path("same1"), same2 = t.Path("same2"), differ = t.Path("differ");
    const struct {
        std::vector<std::string> args;
        int status;
        const char* out; // expected in standard output ("" for nothing)
        const char* err; // expected in standard error ("" for nothing)
    } cases[] = {
        {{"compare", same1, same2}, 0, "Newer than destination (0)", ""},
        {{"compare", "--summary", "--format", "csv", "--quiet", same1, same2}, 0, "Only size changed: 0", ""},
        {{"compare", "--summary", same1, differ}, 1, "Only size changed: 1", ""},
        {{"compare", "--summary", same1, t.Path("gone")}, 2, "", "tandrel-cli compare: '"},
        {{"compare", "--summary", "--bogus", same1, same2}, 2, "", "tandrel-cli compare: "},
        {{"compare", "--format", "xml", same1, same2}, 2, "", "--format"},
        {{"compare", same1, same2, "extra"}, 2, "", "extra"},
        {{"copy", "--to", "destination", "--lists", "1,x", same1, same2}, 2, "", "list numbers are 1 to 5"},
        {{"copy", "--lists", "1", same1, same2}, 2, "", "--to"},
        {{"delete", "--lists", "0", same1, same2}, 2, "", "tandrel-cli delete: --lists"},
        {{"verify", same1, same2}, 0, "1 of 1 equal pairs read", ""},
        {{"verify", same1}, 2, "", "DESTINATION"},
        {{"verify", "--lists", "1", same1, same2}, 2, "", "tandrel-cli verify: "},
        {{"frob", same1, same2}, 2, "", "unknown command 'frob'"},
        {{}, 2, "", "Usage: tandrel-cli"},
        {{"--help"}, 0, "delete", ""},
        {{"compare", "--help"}, 0, "Usage: tandrel-cli compare", ""},
        {{"copy", "--help"}, 0, "--to destination|source", ""},
        {{"delete", "-h"}, 0, "--trash", ""},
        {{"verify", "--help"}, 0, "Exit status: 0 every equal pair", ""},
        {{"compare", "--summary", "--quiet", same1, same2, "--help"}, 0, "Exit status: 0 the trees hold no", ""},
    };
    for (const auto& c : cases) {
        const CliRun r = RunCli(c.args);
        const std::string shown = c.args.empty() ? "(no arguments)" : c.args[0] + " ... " + c.args.back();
        EXPECT_EQ(r.status, c.status) << shown << "\n" << r.out << r.err;
        EXPECT_TRUE(test::Holds(r.out, c.out)) << shown;
        EXPECT_TRUE(test::Holds(r.err, c.err)) << shown;
        if (*c.out == '\0') {
            EXPECT_EQ(r.out, "") << shown;
        }
        if (*c.err == '\0') {
            EXPECT_EQ(r.err, "") << shown; // nothing else: no status line off a terminal either
        }
    }
}

TEST(CliUsage, VersionComesFromTheProject)
{
    const CliRun r = RunCli({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::regex_match(r.out, std::regex("tandrel-cli [0-9]+\\.[0-9]+(\\.[0-9]+)*\n"))) << r.out;
}

} // namespace
} // namespace tandrel::test
