#include "platform/remote/SshProcess.h"

#include "platform/remote/ErrorTail.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace tandrel::platform::remote {

struct SshProcess::Handles {
    pid_t pid = -1;
    int input = -1;  // our end of ssh's standard input
    int output = -1; // our end of ssh's standard output
    int errors = -1; // the read end of ssh's error output
    std::atomic<bool> collected = false;
    int status = 0;
    std::mutex mutex; // guards collecting the process and its status
    std::atomic<bool> stopping = false;
    ErrorTail errorTail;
    std::thread errorReader;
    std::once_flag errorsDone;

    // Once the process has ended, everything it wrote is in the pipe: read
    // the rest, then stop reading.
    void FinishErrors()
    {
        stopping = true;
        std::call_once(errorsDone, [this] {
            if (errorReader.joinable())
                errorReader.join();
        });
    }
};

namespace {

std::string SystemText(const char* what, int err)
{
    return std::string(what) + ": " + std::strerror(err);
}

void CloseIf(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

// This process's environment with `extra` put in, NAME=value strings.
std::vector<std::string> MergedEnvironment(const SshProcess::Environment& extra)
{
    std::map<std::string, std::string> values;
    std::vector<std::string> order;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string text = *entry;
        const auto equals = text.find('=');
        const std::string name = text.substr(0, equals);
        if (values.emplace(name, text).second)
            order.push_back(name);
    }
    for (const auto& [name, value] : extra) {
        if (values.emplace(name, name + "=" + value).second)
            order.push_back(name);
        else
            values[name] = name + "=" + value;
    }
    std::vector<std::string> merged;
    merged.reserve(order.size());
    for (const auto& name : order)
        merged.push_back(values[name]);
    return merged;
}

// Reads ssh's error output until it ends or the process is being stopped
// (a ProxyCommand it started may hold the pipe open longer).
void CollectErrors(SshProcess::Handles& handles)
{
    char buffer[1024];
    for (;;) {
        pollfd pfd{handles.errors, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, 100);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            if (handles.stopping)
                return;
            continue;
        }
        const ssize_t n = ::read(handles.errors, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        handles.errorTail.Append(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
}

} // namespace

SshProcess::SshProcess(std::unique_ptr<Handles> handles) : m_handles(std::move(handles)) {}

std::unique_ptr<SshProcess> SshProcess::Start(const std::vector<std::string>& arguments,
                                              const Environment& environment, std::string& error)
{
    if (arguments.empty()) {
        error = "no program to start";
        return nullptr;
    }
    int inputPair[2] = {-1, -1};
    int outputPair[2] = {-1, -1};
    int errorPipe[2] = {-1, -1};
    // Sockets rather than pipes for the channel, so that writing to an ssh
    // that has gone fails with EPIPE (MSG_NOSIGNAL) instead of a signal.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputPair) != 0 ||
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, outputPair) != 0 ||
        ::pipe2(errorPipe, O_CLOEXEC) != 0) {
        error = SystemText("Cannot make the channel to ssh", errno);
        for (int* fd : {&inputPair[0], &inputPair[1], &outputPair[0], &outputPair[1], &errorPipe[0], &errorPipe[1]})
            CloseIf(*fd);
        return nullptr;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inputPair[1], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputPair[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    posix_spawnattr_setsigmask(&attributes, &noSignals);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    for (const auto& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> merged = MergedEnvironment(environment);
    std::vector<char*> envp;
    for (auto& entry : merged)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    auto handles = std::make_unique<Handles>();
    const int spawned =
        ::posix_spawnp(&handles->pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    CloseIf(inputPair[1]);
    CloseIf(outputPair[1]);
    CloseIf(errorPipe[1]);
    if (spawned != 0) {
        error = "Cannot start '" + arguments[0] + "': " + std::strerror(spawned);
        CloseIf(inputPair[0]);
        CloseIf(outputPair[0]);
        CloseIf(errorPipe[0]);
        return nullptr;
    }
    handles->input = inputPair[0];
    handles->output = outputPair[0];
    handles->errors = errorPipe[0];
    Handles& held = *handles;
    handles->errorReader = std::thread([&held] { CollectErrors(held); });
    return std::unique_ptr<SshProcess>(new SshProcess(std::move(handles)));
}

SshProcess::~SshProcess()
{
    Stop();
    m_handles->FinishErrors();
    CloseIf(m_handles->input);
    CloseIf(m_handles->output);
    CloseIf(m_handles->errors);
}

bool SshProcess::Write(std::string_view bytes, std::string& error)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(m_handles->input, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = SystemText("Cannot write to ssh", errno);
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::ptrdiff_t SshProcess::Read(char* buffer, std::size_t size, std::string& error)
{
    for (;;) {
        const ssize_t n = ::recv(m_handles->output, buffer, size, 0);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        error = SystemText("Cannot read from ssh", errno);
        return -1;
    }
}

void SshProcess::Stop()
{
    if (!m_handles->collected)
        ::kill(m_handles->pid, SIGTERM);
    {
        std::lock_guard lock(m_handles->mutex);
        if (!m_handles->collected) {
            while (::waitpid(m_handles->pid, &m_handles->status, 0) < 0 && errno == EINTR) {
            }
            m_handles->collected = true;
        }
    }
    // Wakes a reader blocked in recv() even if a child of ssh keeps the
    // other end open.
    ::shutdown(m_handles->output, SHUT_RDWR);
    ::shutdown(m_handles->input, SHUT_RDWR);
    m_handles->stopping = true;
}

std::string SshProcess::Wait()
{
    std::unique_lock lock(m_handles->mutex);
    if (!m_handles->collected) {
        ::shutdown(m_handles->input, SHUT_WR);
        while (::waitpid(m_handles->pid, &m_handles->status, 0) < 0 && errno == EINTR) {
        }
        m_handles->collected = true;
    }
    const int status = m_handles->status;
    lock.unlock();
    m_handles->FinishErrors();
    if (WIFEXITED(status))
        return "ssh exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return std::string("ssh ended by signal ") + std::to_string(WTERMSIG(status)) + " (" +
               ::strsignal(WTERMSIG(status)) + ")";
    return "ssh ended";
}

std::string SshProcess::ErrorOutput() const
{
    return m_handles->errorTail.Text();
}

} // namespace tandrel::platform::remote
