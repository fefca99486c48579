#pragma once

#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tandrel::test {

// How the child is started, besides its arguments.
struct CliStart {
    bool stderrOnTerminal = false; // standard error on a pseudo-terminal of the given width
    bool stdoutOnTerminal = false; // standard output on that terminal too
    std::string outputPath;        // standard output to this file (such as /dev/full) instead
    std::string program;           // another copy of tandrel-cli to run; empty: CliProgram()
    std::vector<std::string> environment; // "NAME=value" set in the child
    unsigned short columns = 80;
    std::vector<int> pendingSignals; // raised while blocked before exec: delivered once the program unblocks them
    std::vector<int> ignoredSignals; // ignored from the start, as for a background job
    unsigned maxDescriptors = 0;     // when not 0: the soft and hard limit of open descriptors
};

// The built tandrel-cli. When the tests run as root, a copy of it in a
// temporary folder every user can enter, so that a test that drops to user
// nobody can start it even from a clone in a private folder; the copy goes
// when the test program ends.
const std::string& CliProgram();

// What the run left: exit status (128 + signal when killed), standard output
// and standard error (or what the terminal received).
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The real tandrel-cli as a child process, with exactly these arguments (no
// shell in between). Its output goes to files, so it never waits for us.
class CliProcess {
public:
    explicit CliProcess(const std::vector<std::string>& args, const CliStart& start = {});
    ~CliProcess(); // kills a child still running
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Running();
    void Signal(int signal) const;
    // Waits until `folder` holds an entry whose name `matches`, woken by
    // the entries made there and by the child's end; false when the child
    // ended first.
    bool WaitForEntry(const std::string& folder, const std::function<bool(const std::string&)>& matches);
    CliRun Finish(); // waits for the end

private:
    void DrainTerminal();
    // Sleeps until the child ends, writes to the terminal, or `other` is readable.
    void WaitForEvent(int other = -1) const;

    pid_t m_pid = -1;
    int m_ended = -1; // readable once the child has ended (pidfd)
    int m_status = -1;
    int m_terminal = -1; // master side of the pseudo-terminal
    std::string m_outPath;
    std::string m_errPath;
    std::string m_terminalText;
};

inline CliRun RunCli(const std::vector<std::string>& args, const CliStart& start = {})
{
    return CliProcess(args, start).Finish();
}

} // namespace tandrel::test
