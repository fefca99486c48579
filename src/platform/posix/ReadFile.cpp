#include "platform/ReadFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::platform {

bool ReadRegularFile(const std::string& path, const std::function<void(std::string_view)>& piece)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    std::string buffer(64 * 1024, '\0');
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    return true;
}

FileResult ReadWholeFile(const std::string& what, const std::string& path, std::uint64_t limit,
                         const std::function<void(std::string_view)>& piece)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ErrnoFailure(what, path, errno);
    std::string buffer(64 * 1024, '\0');
    std::uint64_t total = 0;
    FileResult result;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = ErrnoFailure(what, path, errno);
        if (n <= 0)
            break;
        total += static_cast<std::uint64_t>(n);
        if (total > limit) {
            result = TooLargeFailure(what, path, limit);
            break;
        }
        piece(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    return result;
}

} // namespace tandrel::platform
