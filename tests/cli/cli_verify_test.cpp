// tandrel-cli verify: the content check of the pairs a comparison counts as equal.

#include "cli/CliProcess.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tandrel::test {
namespace {

TEST(CliVerify, ListsThePairsWhoseBytesDifferAndWhereTheyFirstDo)
{
    TempTree t;
    const std::pair<std::string, int> cases[] = {{"start", 0}, {"middle", 2048}, {"sub/end", 4095}, {"same", -1}};
    for (const auto& [name, differAt] : cases) {
        std::string content(4096, 'a');
        t.WriteFile("src/" + name, content, 1'600'000'000);
        if (differAt >= 0)
            content[static_cast<std::size_t>(differAt)] = 'b';
        t.WriteFile("dst/" + name, content, 1'600'000'000); // same size and time: an equal pair
    }
    const CliRun r = RunCli({"verify", t.Path("src"), t.Path("dst")});
    EXPECT_EQ(r.status, 1) << r.err;
    for (const auto& [name, differAt] : cases) {
        const std::string line = "'" + t.Path("src/" + name) + "' and '" + t.Path("dst/" + name) +
                                 "' differ at offset " + std::to_string(differAt) + "\n";
        EXPECT_EQ(r.out.find(line) != std::string::npos, differAt >= 0) << name << "\n" << r.out;
    }
    EXPECT_TRUE(test::Holds(r.out, "4 of 4 equal pairs read (16.0 KiB): 3 differ, 0 cannot be read\n"));
}

TEST(CliVerify, AFileThatCannotBeReadIsTroubleWithTheReason)
{
    TempTree t;
    t.WriteFile("src/locked", "x", 1'600'000'000);
    t.WriteFile("dst/locked", "x", 1'600'000'000);
    t.Chmod("src/locked", 0200); // not read-only to the filters; as root the check runs as another user
    EXPECT_EQ(RunUnprivileged([&] {
                  const CliRun r = RunCli({"verify", t.Path("src"), t.Path("dst")});
                  std::fprintf(stderr, "%s", r.err.c_str());
                  return r.status == 2 && r.err == "tandrel-cli verify: Cannot read '" + t.Path("src/locked") +
                                                       "': Permission denied\n";
              }),
              0);
}

} // namespace
} // namespace tandrel::test
