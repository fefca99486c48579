#include "support/MountSandbox.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tandrel::test {

namespace {

constexpr int kSkipped = 77;

// An empty text when the child now has a private mount namespace.
std::string EnterMountNamespace()
{
    if (::unshare(CLONE_NEWNS) != 0)
        return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("making mounts private: ") + std::strerror(errno);
    return {};
}

} // namespace

SandboxOutcome RunInMountSandbox(const std::function<std::string()>& body)
{
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0)
        return {false, std::string("pipe: ") + std::strerror(errno)};
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return {false, std::string("fork: ") + std::strerror(errno)};
    if (pid == 0) {
        ::close(channel[0]);
        std::string text = EnterMountNamespace();
        int code = kSkipped;
        if (text.empty()) {
            text = body();
            code = text.empty() ? 0 : 1;
        }
        (void)!::write(channel[1], text.data(), text.size());
        ::_exit(code);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kSkipped)
        return {true, "no private mount namespace: " + text};
    if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && text.empty()))
        return {false, "the sandboxed child ended abnormally (status " + std::to_string(status) + ")"};
    return {false, text};
}

std::string MountTmpfs(const std::string& where, const std::string& options)
{
    if (::mount("tandrel-test", where.c_str(), "tmpfs", 0, options.c_str()) != 0)
        return "mount tmpfs on " + where + ": " + std::strerror(errno);
    return {};
}

namespace {

const char* const kMkfsExfat = "/usr/sbin/mkfs.exfat";
const char* const kMountExfat = "/usr/sbin/mount.exfat-fuse";
const char* const kLosetup = "/usr/sbin/losetup";
std::string g_exfatLoop;

std::string Quoted(const std::string& text)
{
    std::string quoted = "'";
    for (const char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

} // namespace

std::string ExfatUnavailable()
{
    for (const char* tool : {kMkfsExfat, kMountExfat, kLosetup})
        if (::access(tool, X_OK) != 0)
            return std::string(tool) + " is missing (Debian packages exfatprogs, exfat-fuse)";
    for (const char* device : {"/dev/fuse", "/dev/loop-control"})
        if (::access(device, R_OK | W_OK) != 0)
            return std::string(device) + ": " + std::strerror(errno);
    return {};
}

std::string MountExfat(const std::string& image, const std::string& where)
{
    const int fd = ::open(image.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0 || ::ftruncate(fd, 16 << 20) != 0)
        return "image " + image + ": " + std::strerror(errno);
    ::close(fd);
    if (std::system((std::string(kMkfsExfat) + " " + Quoted(image) + " >/dev/null 2>&1").c_str()) != 0)
        return "mkfs.exfat failed";
    FILE* attach = ::popen((std::string(kLosetup) + " --find --show " + Quoted(image) + " 2>&1").c_str(), "r");
    char line[256] = {};
    const bool read = attach && std::fgets(line, sizeof line, attach) != nullptr;
    if (!attach || ::pclose(attach) != 0 || !read)
        return std::string("losetup: ") + line;
    g_exfatLoop.assign(line, std::strcspn(line, "\n"));
    if (std::system((std::string(kMountExfat) + " " + g_exfatLoop + " " + Quoted(where) + " >/dev/null 2>&1").c_str()) != 0)
        return "mount.exfat-fuse " + g_exfatLoop + " on " + where + " failed";
    return {};
}

void UnmountExfat(const std::string& where)
{
    ::umount(where.c_str());
    if (!g_exfatLoop.empty())
        (void)!std::system((std::string(kLosetup) + " -d " + g_exfatLoop + " >/dev/null 2>&1").c_str());
    g_exfatLoop.clear();
}

namespace {

const char* const kSshfs = "/usr/bin/sshfs";
const char* const kSftpServer = "/usr/lib/openssh/sftp-server";
constexpr unsigned long kFuseMagic = 0x65735546UL;

bool IsFuseMount(const std::string& where)
{
    struct statfs fs;
    return ::statfs(where.c_str(), &fs) == 0 && static_cast<unsigned long>(fs.f_type) == kFuseMagic;
}

} // namespace

std::string SshfsUnavailable()
{
    if (::access(kSshfs, X_OK) != 0)
        return std::string(kSshfs) + " is missing (Debian package sshfs)";
    if (::access(kSftpServer, X_OK) != 0)
        return std::string(kSftpServer) + " is missing (Debian package openssh-sftp-server)";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return std::string("/dev/fuse: ") + std::strerror(errno);
    return {};
}

std::string MountSshfs(const std::string& served, const std::string& where, const std::string& log)
{
    const std::string toServer = where + ".to-server";
    const std::string toClient = where + ".to-client";
    if (::mkfifo(toServer.c_str(), 0600) != 0 || ::mkfifo(toClient.c_str(), 0600) != 0)
        return std::string("mkfifo: ") + std::strerror(errno);
    // Each end opens its writing pipe first, so that the two opens meet.
    const std::string command = std::string(kSftpServer) + " -e -l VERBOSE >" + Quoted(toClient) + " <" +
                                Quoted(toServer) + " 2>" + Quoted(log) + " & " + kSshfs + " -f -o passive " +
                                Quoted(":" + served) + " " + Quoted(where) + " <" + Quoted(toClient) + " >" +
                                Quoted(toServer) + " 2>/dev/null &";
    if (std::system(command.c_str()) != 0)
        return "starting sshfs failed";
    for (int i = 0; i < 500 && !IsFuseMount(where); ++i)
        ::usleep(20'000);
    return IsFuseMount(where) ? std::string() : "sshfs did not mount " + where;
}

void UnmountSshfs(const std::string& where)
{
    ::umount(where.c_str());
    ::unlink((where + ".to-server").c_str());
    ::unlink((where + ".to-client").c_str());
}

std::string BindMount(const std::string& from, const std::string& where)
{
    if (::mount(from.c_str(), where.c_str(), nullptr, MS_BIND, nullptr) != 0)
        return "bind " + from + " on " + where + ": " + std::strerror(errno);
    return {};
}

} // namespace tandrel::test
