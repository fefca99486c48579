// The status line's drawing, through a pipe and on a pseudo-terminal.

#include "cli/CliProcess.h"
#include "cli/StatusLine.h"
#include "support/Holds.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace tandrel::cli {
namespace {

using namespace std::chrono_literals;

// The bytes a StatusLine writes, through a pipe.
class Written {
public:
    Written()
    {
        if (::pipe(m_fds) == 0)
            ::fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
    }
    ~Written()
    {
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    int Fd() const { return m_fds[1]; }
    std::string Take()
    {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(m_fds[0], buffer, sizeof buffer)) > 0)
            text.append(buffer, static_cast<std::size_t>(n));
        return text;
    }

private:
    int m_fds[2] = {-1, -1};
};

TEST(StatusLine, RedrawsInPlaceAndKeepsMessagesApart)
{
    Written w;
    {
        StatusLine line(w.Fd(), true, 0ms);
        EXPECT_EQ(line.Width(), 80u); // no terminal to ask
        line.Draw("Copying 1/2");
        line.Draw("Copy 2/2");
        EXPECT_EQ(w.Take(), "\rCopying 1/2\rCopy 2/2   ");
        line.Print("tandrel-cli copy: Cannot copy to /x: Permission denied");
        EXPECT_EQ(w.Take(), "\r        \rtandrel-cli copy: Cannot copy to /x: Permission denied\nCopy 2/2");
        line.Clear();
        EXPECT_EQ(w.Take(), "\r        \r");
        line.Draw("Last");
    }
    EXPECT_EQ(w.Take(), "\rLast\r    \r"); // cleared when it goes
}

TEST(StatusLine, DrawsAgainOnlyAfterTheInterval)
{
    Written w;
    StatusLine line(w.Fd(), true, std::chrono::hours(1));
    EXPECT_TRUE(line.Due());
    line.Draw("first");
    EXPECT_FALSE(line.Due());
    StatusLine often(w.Fd(), true, 0ms);
    often.Draw("first");
    EXPECT_TRUE(often.Due());
    EXPECT_FALSE(StatusLine::WantedOn(w.Fd(), false)); // a pipe is no terminal
}

} // namespace
} // namespace tandrel::cli

namespace tandrel::test {
namespace {

// Standard error on a terminal of 40 columns: what the terminal received.
CliRun RunOnTerminal(const TempTree& t, bool quiet)
{
    CliStart start;
    start.stderrOnTerminal = true;
    start.columns = 40;
    std::vector<std::string> args = {"copy", "--to", "destination", "--lists", "1,2,3", t.Path("src"), t.Path("dst")};
    if (quiet)
        args.push_back("--quiet");
    return RunCli(args, start);
}

void MakeCopyWithOneFailure(TempTree& t)
{
    for (int i = 0; i < 20; ++i)
        t.WriteFile("src/a rather long folder name/file " + std::to_string(i), "x");
    t.WriteFile("src/clash", "a file here", 1'700'000'000);
    t.WriteFile("dst/clash/inner", "a folder there", 1'600'000'000);
}

TEST(StatusLineOnATerminal, ShowsTheWorkWithinTheWidthAndEndsCleared)
{
    TempTree t;
    MakeCopyWithOneFailure(t);
    const CliRun r = RunOnTerminal(t, false);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(test::Holds(r.err, "\rComparing: "));
    EXPECT_TRUE(test::Holds(r.err, "\rCopying "));
    // The failure has a line of its own (the terminal turns "\n" into "\r\n").
    const std::string failure = "\rtandrel-cli copy: Cannot replace '" + t.Path("dst/clash") + "': Is a directory\r\n";
    EXPECT_TRUE(test::Holds(r.err, failure));
    std::size_t start = 0;
    while (start < r.err.size()) {
        const std::size_t end = std::min(r.err.find_first_of("\r\n", start), r.err.size());
        const std::string piece = r.err.substr(start, end - start);
        if (piece.rfind("tandrel-cli", 0) != 0) {
            EXPECT_LE(piece.size(), 39u) << piece;
        }
        start = end + 1;
    }
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.back(), '\r');
    EXPECT_EQ(r.err.substr(r.err.find_last_not_of(" \r") + 1).find_first_not_of(" \r"), std::string::npos);
    EXPECT_EQ(t.ReadFile("dst/a rather long folder name/file 7"), "x");
}

TEST(StatusLineOnATerminal, QuietShowsOnlyTheFailures)
{
    TempTree t;
    MakeCopyWithOneFailure(t);
    const CliRun r = RunOnTerminal(t, true);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.find("Comparing"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Copying"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("tandrel-cli copy: Cannot replace '", 0), 0u) << r.err;
}

} // namespace
} // namespace tandrel::test
