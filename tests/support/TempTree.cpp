#include "support/TempTree.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace tandrel::test {

namespace {
void Check(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + std::strerror(errno));
}
} // namespace

TempTree::TempTree(const std::string& base)
{
    std::string pattern = ((base.empty() ? fs::temp_directory_path() : fs::path(base)) / "tandrel-test-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    m_root = pattern + "/";
    // Unprivileged children must be able to walk into the tree.
    ::chmod(pattern.c_str(), 0777);
}

TempTree::~TempTree()
{
    std::error_code ec;
    // Give back write and search rights that a test took away, then remove.
    for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0777);
    }
    fs::remove_all(m_root, ec);
}

void TempTree::WriteFile(const std::string& relative, const std::string& content)
{
    const fs::path p = Path(relative);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    Check(static_cast<bool>(out), "open " + p.string());
    out << content;
}

void TempTree::WriteFile(const std::string& relative, const std::string& content, std::int64_t mtime,
                         long nanoseconds)
{
    WriteFile(relative, content);
    SetMtime(relative, mtime, nanoseconds);
}

void TempTree::MakeDir(const std::string& relative)
{
    fs::create_directories(Path(relative));
}

void TempTree::SetMtime(const std::string& relative, std::int64_t seconds, long nanoseconds)
{
    struct timespec times[2];
    times[0].tv_sec = static_cast<time_t>(seconds);
    times[0].tv_nsec = nanoseconds;
    times[1] = times[0];
    Check(::utimensat(AT_FDCWD, Path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0,
          "utimensat " + relative);
}

void TempTree::Symlink(const std::string& target, const std::string& relative)
{
    fs::create_directories(fs::path(Path(relative)).parent_path());
    Check(::symlink(target.c_str(), Path(relative).c_str()) == 0, "symlink " + relative);
}

void TempTree::MakeFifo(const std::string& relative)
{
    fs::create_directories(fs::path(Path(relative)).parent_path());
    Check(::mkfifo(Path(relative).c_str(), 0644) == 0, "mkfifo " + relative);
}

void TempTree::Chmod(const std::string& relative, unsigned mode)
{
    Check(::chmod(Path(relative).c_str(), mode) == 0, "chmod " + relative);
}

void TempTree::MakeReadOnly(const std::string& relative)
{
    Chmod(relative, 0444);
}

std::string TempTree::ReadFile(const std::string& relative) const
{
    std::ifstream in(Path(relative), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool TempTree::Exists(const std::string& relative) const
{
    struct stat st;
    return ::lstat(Path(relative).c_str(), &st) == 0;
}

std::pair<std::int64_t, long> TempTree::Mtime(const std::string& relative) const
{
    struct stat st {};
    Check(::lstat(Path(relative).c_str(), &st) == 0, "lstat " + Path(relative));
    return {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

void TempTree::Remove(const std::string& relative)
{
    std::error_code ec;
    fs::remove_all(Path(relative), ec);
}

int RunInChild(const std::function<bool()>& body, bool unprivileged, unsigned timeLimit)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0) {
            // nobody / nogroup
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(90);
        }
        if (timeLimit > 0) {
            ::signal(SIGALRM, SIG_DFL);
            ::alarm(timeLimit);
        }
        const bool ok = body();
        std::fflush(nullptr);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) < 0)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SetEnvironment(const char* name, const char* value)
{
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

std::string Slashed(std::string path)
{
    return path;
}

bool SaysReason(const std::string& text, int error)
{
    return text.find(std::strerror(error)) != std::string::npos;
}

bool IsFailure(const std::string& text, const std::string& what, int error)
{
    return text == what + std::strerror(error);
}

} // namespace tandrel::test
