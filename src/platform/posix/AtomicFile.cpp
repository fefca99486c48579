#include "platform/AtomicFile.h"
#include "platform/AtomicFileBuffer.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tandrel::platform {

long WriteToDescriptor(int fd, const char* data, std::size_t size, int& error)
{
    for (;;) {
        const ssize_t n = ::write(fd, data, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno != EINTR) {
            error = errno;
            return -1;
        }
    }
}

namespace {

std::string NameOf(const std::string& path)
{
    const auto pos = path.rfind('/');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

std::string UniqueSuffix()
{
    static std::atomic<unsigned> counter{0};
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    char text[64];
    std::snprintf(text, sizeof text, "%ld-%llx-%u", static_cast<long>(::getpid()),
                  static_cast<unsigned long long>(ticks), counter.fetch_add(1));
    return text;
}

} // namespace


FileResult AtomicFile::Open()
{
    Discard();
    if (m_path.empty())
        return ErrnoFailure("Cannot write", m_path, ENOENT);

    // Replacing a symbolic link would cut it off from the file it names:
    // write the file it points to instead.
    m_target = m_path;
    struct stat st {};
    if (::lstat(m_path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(m_path.c_str(), nullptr)) {
            m_target = resolved;
            std::free(resolved);
        }
    }
    const bool targetExists = ::stat(m_target.c_str(), &st) == 0;
    if (targetExists && S_ISDIR(st.st_mode))
        return ErrnoFailure("Cannot write", m_path, EISDIR);
    // A file the user may not write stays as it is, although the folder
    // would allow replacing it.
    if (targetExists && ::faccessat(AT_FDCWD, m_target.c_str(), W_OK, AT_EACCESS) != 0)
        return ErrnoFailure("Cannot write", m_path, errno);

    const std::string folder = FolderOf(m_target);
    const std::string name = NameOf(m_target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + (folder == "/" ? "" : "/") + "." + name + ".tmp-" + UniqueSuffix();
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_temp = std::move(candidate);
            break;
        }
        if (errno != EEXIST)
            return ErrnoFailure("Cannot write", m_path, errno);
    }
    if (m_fd < 0)
        return ErrnoFailure("Cannot write", m_path, EEXIST);

    // The replacement keeps the permission bits of the file it replaces.
    if (targetExists)
        ::fchmod(m_fd, st.st_mode & 07777);

    m_buffer = std::make_unique<FdBuffer>(m_fd);
    m_stream.rdbuf(m_buffer.get());
    m_stream.clear();
    return FileResult::Success();
}

void RemoveTemporary(const std::string& temp)
{
    ::unlink(temp.c_str());
}

int SyncDescriptor(int fd)
{
    return ::fsync(fd) == 0 ? 0 : errno;
}

int CloseDescriptor(int fd)
{
    return ::close(fd) == 0 ? 0 : errno;
}

FileResult ReplaceByTemporary(const std::string& temp, const std::string& target, const std::string& shownPath)
{
    if (::rename(temp.c_str(), target.c_str()) != 0)
        return ErrnoFailure("Cannot replace", shownPath, errno);
    // Make the rename itself durable; the file is in place either way.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return FileResult::Success();
}

} // namespace tandrel::platform
