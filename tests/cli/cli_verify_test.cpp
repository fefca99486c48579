// tandrel-cli verify: the content check of the pairs a comparison counts as equal.

#include "cli/CliProcess.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

namespace tandrel::test {
namespace {

constexpr std::int64_t kT = 1'600'000'000;

// Both sides get `content`; the destination's copy has the byte at `differAt`
// changed (none when negative). Same size and time: the pair counts as equal.
void WritePair(TempTree& t, const std::string& relative, std::string content, int differAt = -1)
{
    t.WriteFile("src/" + relative, content, kT);
    if (differAt >= 0)
        content[static_cast<std::size_t>(differAt)] ^= 0x20;
    t.WriteFile("dst/" + relative, content, kT);
}

std::string DifferLine(const TempTree& t, const std::string& relative, int offset)
{
    return "'" + t.Path("src/" + relative) + "' and '" + t.Path("dst/" + relative) + "' differ at offset " +
           std::to_string(offset) + "\n";
}

TEST(CliVerify, ListsThePairsWhoseBytesDiffer)
{
    TempTree t;
    const std::string content(4096, 'a');
    const struct {
        const char* name;
        int differAt;
    } cases[] = {{"start", 0}, {"middle", 2048}, {"sub/end", 4095}, {"same", -1}, {"sub/same too", -1}};
    for (const auto& c : cases)
        WritePair(t, c.name, content, c.differAt);
    t.WriteFile("src/only here", "listed by the comparison, not read", kT);

    const CliRun r = RunCli({"verify", t.Path("src"), t.Path("dst")});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "");
    for (const auto& c : cases) {
        const bool listed = r.out.find(DifferLine(t, c.name, c.differAt)) != std::string::npos;
        EXPECT_EQ(listed, c.differAt >= 0) << c.name << "\n" << r.out;
    }
    EXPECT_NE(r.out.find("5 of 5 equal pairs read (20.0 KiB): 3 differ, 0 cannot be read; the comparison's lists "
                         "hold 1 row (see compare)\n"),
              std::string::npos)
        << r.out;

    WritePair(t, "start", content);
    WritePair(t, "middle", content);
    WritePair(t, "sub/end", content);
    const CliRun same = RunCli({"verify", "--quiet", t.Path("src"), t.Path("dst")});
    EXPECT_EQ(same.status, 0) << same.out << same.err;
    EXPECT_EQ(same.out.find("differ at"), std::string::npos) << same.out;
}

TEST(CliVerify, AFileThatCannotBeReadIsTroubleWithTheReason)
{
    TempTree t;
    WritePair(t, "open", "readable");
    WritePair(t, "locked", "not for everyone");
    // Writable by its owner only: not read-only to the filters, unreadable to
    // anyone else (the check runs as another user when the tests run as root).
    t.Chmod("src/locked", 0200);
    const int status = RunUnprivileged([&] {
        const CliRun r = RunCli({"verify", t.Path("src"), t.Path("dst")});
        const std::string reason = "tandrel-cli verify: Cannot read '" + t.Path("src/locked") + "': Permission denied\n";
        const bool ok = r.status == 2 && r.err == reason && r.out.find("1 cannot be read") != std::string::npos;
        if (!ok)
            std::fprintf(stderr, "status %d\n%s%s", r.status, r.out.c_str(), r.err.c_str());
        return ok;
    });
    EXPECT_EQ(status, 0);
}

TEST(CliVerify, ShowsItsProgressOnATerminalAndStopsOnCtrlC)
{
    TempTree t;
    WritePair(t, "a", std::string(100000, 'x'));
    CliStart terminal;
    terminal.stderrOnTerminal = true;
    const CliRun shown = RunCli({"verify", t.Path("src"), t.Path("dst")}, terminal);
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.err.find("\rVerifying: 97.7 KiB of 97.7 KiB, "), std::string::npos) << shown.err;

    CliStart interrupted;
    interrupted.pendingSignals = {SIGINT};
    const CliRun stopped = RunCli({"verify", t.Path("src"), t.Path("dst")}, interrupted);
    EXPECT_EQ(stopped.status, 2);
    EXPECT_NE(stopped.err.find("tandrel-cli verify: cancelled"), std::string::npos) << stopped.err;
}

} // namespace
} // namespace tandrel::test
