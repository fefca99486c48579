#include "platform/ContentFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tandrel::platform {

namespace {

std::function<void()> g_readHook;

} // namespace

void SetReadHookForTesting(std::function<void()> hook)
{
    g_readHook = std::move(hook);
}

ContentFile::~ContentFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool ContentFile::Open(const std::string& path, std::string& reason, bool& isLink)
{
    isLink = false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        isLink = true;
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
        return false;
    }
    // O_NONBLOCK: should a FIFO have taken the file's place meanwhile,
    // opening it does not wait for a writer.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
    m_allocated = static_cast<std::uint64_t>(st.st_blocks) * 512;
    return StampNow(m_opened, reason);
}

bool ContentFile::StampNow(Stamp& stamp, std::string& reason) const
{
    struct stat st {};
    if (::fstat(m_fd, &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(st.st_size);
    stamp.modified[0] = st.st_mtim.tv_sec;
    stamp.modified[1] = st.st_mtim.tv_nsec;
    stamp.changed[0] = st.st_ctim.tv_sec;
    stamp.changed[1] = st.st_ctim.tv_nsec;
    return true;
}

void ContentFile::ReadAhead() const
{
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::uint64_t ContentFile::NextData(std::uint64_t offset) const
{
    const off_t at = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_DATA);
    if (at < 0)
        return errno == ENXIO ? m_size : offset;
    return static_cast<std::uint64_t>(at);
}

std::uint64_t ContentFile::NextHole(std::uint64_t offset) const
{
    const off_t at = ::lseek(m_fd, static_cast<off_t>(offset), SEEK_HOLE);
    return at < 0 ? m_size : static_cast<std::uint64_t>(at);
}

long long ContentFile::ReadSome(char* buffer, std::size_t size, std::uint64_t offset, std::string& reason) const
{
    for (;;) {
        const ssize_t n = ::pread(m_fd, buffer, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        const int error = errno;
        if (g_readHook)
            g_readHook();
        if (n >= 0)
            return n;
        reason = std::strerror(error);
        return -1;
    }
}

std::optional<std::string> LinkText(const std::string& path, std::string& reason)
{
    std::string text(4096, '\0');
    const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
    if (n < 0) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(n));
    return text;
}

} // namespace tandrel::platform
