#include "LoopbackSshd.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tandrel::test {
namespace {

std::string FindSshd()
{
    for (const char* candidate : {"/usr/sbin/sshd", "/usr/local/sbin/sshd", "/sbin/sshd"}) {
        if (::access(candidate, X_OK) == 0)
            return candidate;
    }
    return {};
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

bool Accepts(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

std::string Slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int ParentOf(int pid)
{
    const std::string stat = Slurp("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream rest(stat.substr(close + 2));
    char state = 0;
    int parent = 0;
    rest >> state >> parent;
    return parent;
}

} // namespace

LoopbackSshd::LoopbackSshd()
{
    const std::string sshd = FindSshd();
    if (sshd.empty() || std::system("command -v ssh >/dev/null 2>&1 && command -v ssh-keygen >/dev/null 2>&1") != 0) {
        m_skipReason = "sshd, ssh or ssh-keygen is not installed (Debian: openssh-server, openssh-client)";
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tandrel-sshd-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        m_skipReason = "cannot make a temporary folder";
        return;
    }
    m_dir = pattern;
    // The login user must reach the keys and the folder of the tests.
    ::chmod(m_dir.c_str(), 0755);
    const bool root = ::geteuid() == 0;
    const passwd* account = root ? ::getpwnam("nobody") : ::getpwuid(::geteuid());
    if (!account) {
        m_skipReason = "no user to log in as";
        return;
    }
    m_user = account->pw_name;
    const std::string keygen = "ssh-keygen -q -t ed25519 -N '' -f '" + m_dir;
    if (std::system((keygen + "/host_key'").c_str()) != 0 || std::system((keygen + "/user_key'").c_str()) != 0 ||
        std::system(("cp '" + m_dir + "/user_key.pub' '" + m_dir + "/authorized_keys'").c_str()) != 0) {
        m_skipReason = "ssh-keygen failed";
        return;
    }
    ::chmod((m_dir + "/authorized_keys").c_str(), 0644);
    const std::string hostKey = Slurp(m_dir + "/host_key.pub");
    if (root)
        ::mkdir("/run/sshd", 0755);
    // A free port can be taken by another test process between the look and
    // sshd's bind (tests run in parallel): then sshd writes no pid file, and
    // another port is tried.
    for (int attempt = 0; attempt < 5 && m_pid <= 0; ++attempt) {
        m_port = FreePort();
        std::ofstream(m_dir + "/sshd_config") << "ListenAddress 127.0.0.1\n"
                                              << "Port " << m_port << "\n"
                                              << "HostKey " << m_dir << "/host_key\n"
                                              << "AuthorizedKeysFile " << m_dir << "/authorized_keys\n"
                                              << "PidFile " << m_dir << "/sshd.pid\n"
                                              << "PasswordAuthentication no\n"
                                              << "KbdInteractiveAuthentication no\n"
                                              << "UsePAM no\n"
                                              << "StrictModes no\n"
                                              << "Subsystem sftp internal-sftp\n";
        std::ofstream(m_dir + "/known_hosts") << "[127.0.0.1]:" << m_port << " " << hostKey;
        ::unlink((m_dir + "/sshd.pid").c_str());
        const std::string start = "'" + sshd + "' -f '" + m_dir + "/sshd_config' -E '" + m_dir + "/sshd.log'";
        if (std::system(start.c_str()) != 0) {
            m_skipReason = "sshd would not start: " + Slurp(m_dir + "/sshd.log");
            return;
        }
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            m_pid = std::atoi(Slurp(m_dir + "/sshd.pid").c_str());
            if (m_pid > 0 && Accepts(m_port))
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    if (m_pid <= 0) {
        m_skipReason = "sshd did not start: " + Slurp(m_dir + "/sshd.log");
        return;
    }
    m_folder = m_dir + "/files";
    ::mkdir(m_folder.c_str(), 0755);
    GiveToUser(m_folder);
}

LoopbackSshd::~LoopbackSshd()
{
    if (m_pid > 0) {
        KillSessions();
        ::kill(m_pid, SIGTERM);
    }
    if (!m_dir.empty())
        std::system(("chmod -R u+rwx '" + m_dir + "' 2>/dev/null; rm -rf '" + m_dir + "'").c_str());
}

platform::remote::SideAddress LoopbackSshd::Side(const std::string& path) const
{
    return platform::remote::SideAddress::Remote(m_user, "127.0.0.1", m_port, path);
}

platform::remote::ConnectOptions LoopbackSshd::Options() const
{
    platform::remote::ConnectOptions options;
    options.connectTimeoutSeconds = 10;
    options.sshArguments = {"-F",
                            "none",
                            "-oBatchMode=yes",
                            "-oIdentitiesOnly=yes",
                            "-oIdentityFile=" + m_dir + "/user_key",
                            "-oUserKnownHostsFile=" + m_dir + "/known_hosts",
                            "-oGlobalKnownHostsFile=/dev/null",
                            "-oStrictHostKeyChecking=yes",
                            "-oLogLevel=ERROR"};
    return options;
}

std::string LoopbackSshd::TestFolder() const
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string folder = m_folder + "/" + name;
    std::system(("rm -rf '" + folder + "'").c_str());
    ::mkdir(folder.c_str(), 0755);
    return folder;
}

void LoopbackSshd::GiveToUser(const std::string& path) const
{
    if (const passwd* account = ::getpwnam(m_user.c_str()))
        std::system(("chown -R " + std::to_string(account->pw_uid) + ":" + std::to_string(account->pw_gid) + " '" +
                     path + "'")
                        .c_str());
}

void LoopbackSshd::KillSessions() const
{
    // Every process below the listening daemon serves a connection.
    std::vector<int> sessions;
    if (DIR* proc = ::opendir("/proc")) {
        while (const dirent* entry = ::readdir(proc)) {
            const int pid = std::atoi(entry->d_name);
            if (pid <= 0 || pid == m_pid)
                continue;
            for (int up = ParentOf(pid), hops = 0; up > 1 && hops < 8; up = ParentOf(up), ++hops) {
                if (up == m_pid) {
                    sessions.push_back(pid);
                    break;
                }
            }
        }
        ::closedir(proc);
    }
    for (const int pid : sessions)
        ::kill(pid, SIGKILL);
}

LoopbackSshd* LoopbackSshdTest::s_sshd = nullptr;

} // namespace tandrel::test
