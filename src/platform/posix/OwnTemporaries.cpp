#include "platform/OwnTemporaries.h"

#include "platform/FileOps.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::platform {

namespace {

// The process number in a temporary name (its first run of digits).
long ProcessOf(const char* name)
{
    return std::strtol(name + std::strlen(kTempFilePrefix), nullptr, 10);
}

bool ProcessMayBeWriting(long pid)
{
    if (pid == static_cast<long>(::getpid()))
        return false; // a file of this run is never there to be swept: an earlier run's
    if (pid <= 0 || pid > INT_MAX)
        return false;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

bool Before(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

} // namespace

int RemoveStaleTemporaries(const std::string& folder, const struct timespec& runStart)
{
    return RemoveStaleTemporariesAt(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), runStart);
}

int RemoveStaleTemporariesAt(int fd, const struct timespec& runStart)
{
    if (fd < 0)
        return 0;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsOwnTemporaryName(entry->d_name))
            continue;
        struct stat st;
        if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode))
            continue;
        if (!Before(st.st_ctim, runStart) || ProcessMayBeWriting(ProcessOf(entry->d_name)))
            continue;
        if (::unlinkat(fd, entry->d_name, 0) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

TemporarySweep::TemporarySweep()
{
    ::clock_gettime(CLOCK_REALTIME, &m_runStart);
}

void TemporarySweep::BeforeWritingInto(const std::string& folder)
{
    SweepOnce(folder, [&] { RemoveStaleTemporaries(folder, m_runStart); });
}

void TemporarySweep::BeforeWritingInto(int folderFd, const std::string& shownPath)
{
    // The folder was reached without following links; reading it goes
    // through that same folder, whatever its path leads to by now.
    SweepOnce(shownPath, [&] {
        RemoveStaleTemporariesAt(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC), m_runStart);
    });
}

void TemporarySweep::BeforeRemoving(const ItemAt& item)
{
    RemoveStaleTemporariesAt(
        ::openat(item.folder.Fd(), item.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), m_runStart);
}

} // namespace tandrel::platform
