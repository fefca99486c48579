#include "cli/CliProcess.h"

#include "support/TempTree.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <sys/resource.h>
#include <unistd.h>

namespace tandrel::test {

namespace {

std::string TempPath(const char* what)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tandrel-cli-XXXXXX").string() + what;
    const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::string(what).size()));
    if (fd >= 0)
        ::close(fd);
    return pattern;
}

std::string TakeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    ::unlink(path.c_str());
    return s.str();
}

// Made when the test program starts, while it still runs as root.
class ReachableCopy {
public:
    ReachableCopy()
    {
        if (::geteuid() != 0)
            return;
        std::string folder = (std::filesystem::temp_directory_path() / "tandrel-cli-program-XXXXXX").string();
        if (!::mkdtemp(folder.data()) || ::chmod(folder.c_str(), 0755) != 0)
            return;
        m_folder = folder;
        const std::string copy = folder + "/tandrel-cli";
        std::error_code error;
        if (std::filesystem::copy_file(TANDREL_CLI_PATH, copy, error) && ::chmod(copy.c_str(), 0755) == 0)
            m_path = copy;
    }
    ~ReachableCopy()
    {
        if (!m_folder.empty() && ::getpid() == m_owner) {
            std::error_code error;
            std::filesystem::remove_all(m_folder, error);
        }
    }
    const std::string& Path() const { return m_path; }

private:
    pid_t m_owner = ::getpid();
    std::string m_folder;
    std::string m_path = TANDREL_CLI_PATH;
};

const ReachableCopy g_program;

} // namespace

const std::string& CliProgram()
{
    return g_program.Path();
}

CliProcess::CliProcess(const std::vector<std::string>& args, const CliStart& start)
    : m_outPath(TempPath(".out")), m_errPath(TempPath(".err"))
{
    std::string terminalName;
    if (start.stderrOnTerminal) {
        m_terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_terminal < 0 || ::grantpt(m_terminal) != 0 || ::unlockpt(m_terminal) != 0)
            return;
        terminalName = ::ptsname(m_terminal);
        struct winsize size {};
        size.ws_col = start.columns;
        size.ws_row = 24;
        ::ioctl(m_terminal, TIOCSWINSZ, &size);
        ::fcntl(m_terminal, F_SETFL, O_NONBLOCK);
    }
    std::fflush(nullptr);
    m_pid = ::fork();
    if (m_pid > 0)
        m_ended = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    if (m_pid != 0)
        return;
    const int err = start.stderrOnTerminal ? ::open(terminalName.c_str(), O_RDWR | O_NOCTTY)
                                           : ::open(m_errPath.c_str(), O_WRONLY | O_TRUNC);
    const int out = start.stdoutOnTerminal ? err
                    : start.outputPath.empty() ? ::open(m_outPath.c_str(), O_WRONLY | O_TRUNC)
                                               : ::open(start.outputPath.c_str(), O_WRONLY);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::close(out);
    ::close(err);
    if (start.maxDescriptors > 0) {
        const struct rlimit limit {start.maxDescriptors, start.maxDescriptors};
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
    for (int signal : start.ignoredSignals)
        ::signal(signal, SIG_IGN);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : start.pendingSignals)
        sigaddset(&blocked, signal);
    ::sigprocmask(SIG_BLOCK, &blocked, nullptr);
    for (int signal : start.pendingSignals)
        ::raise(signal);
    for (const auto& variable : start.environment)
        ::putenv(const_cast<char*>(variable.c_str()));
    const std::string& program = start.program.empty() ? CliProgram() : start.program;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

CliProcess::~CliProcess()
{
    if (Running()) {
        ::kill(m_pid, SIGKILL);
        Finish();
    }
    for (const int fd : {m_terminal, m_ended})
        if (fd >= 0)
            ::close(fd);
    ::unlink(m_outPath.c_str());
    ::unlink(m_errPath.c_str());
}

bool CliProcess::Running()
{
    DrainTerminal();
    if (m_pid <= 0 || m_status >= 0)
        return false;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return true;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return false;
}

void CliProcess::Signal(int signal) const
{
    if (m_pid > 0 && m_status < 0)
        ::kill(m_pid, signal);
}

CliRun CliProcess::Finish()
{
    while (Running())
        WaitForEvent();
    DrainTerminal();
    CliRun run;
    run.status = m_status;
    run.out = TakeFile(m_outPath);
    run.err = m_terminal >= 0 ? m_terminalText : TakeFile(m_errPath);
    return run;
}

bool CliProcess::WaitForEntry(const std::string& folder, const std::function<bool(const std::string&)>& matches)
{
    const auto present = [&] {
        for (const std::string& name : FolderEntries(folder))
            if (matches(name))
                return true;
        return false;
    };
    // Watched before the first look, so that no entry comes unseen between.
    const int made = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    ::inotify_add_watch(made, folder.c_str(), IN_CREATE | IN_MOVED_TO);
    bool found = false;
    while (!(found = present()) && Running()) {
        WaitForEvent(made);
        char discard[4096];
        while (made >= 0 && ::read(made, discard, sizeof discard) > 0) {
        }
    }
    if (made >= 0)
        ::close(made);
    return found;
}

void CliProcess::WaitForEvent(int other) const
{
    // The terminal is watched too, so that the child never waits for us to
    // read it. The bound covers a kernel without pidfds.
    pollfd events[] = {{m_ended, POLLIN, 0}, {m_terminal, POLLIN, 0}, {other, POLLIN, 0}};
    ::poll(events, 3, m_ended >= 0 ? 1000 : 10);
}

void CliProcess::DrainTerminal()
{
    char buffer[4096];
    ssize_t n;
    while (m_terminal >= 0 && (n = ::read(m_terminal, buffer, sizeof buffer)) > 0)
        m_terminalText.append(buffer, static_cast<std::size_t>(n));
}

} // namespace tandrel::test
