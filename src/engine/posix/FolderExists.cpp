#include "engine/FolderExists.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::engine {

bool FolderExists(const std::string& path)
{
    return FolderAccessError(path).empty();
}

std::string FolderAccessError(const std::string& path)
{
    if (path.empty())
        return std::strerror(ENOENT);
    if (path.find('\0') != std::string::npos)
        return std::strerror(EINVAL);
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return std::strerror(errno);
    if (!S_ISDIR(st.st_mode))
        return std::strerror(ENOTDIR);
    if (::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) != 0)
        return std::strerror(errno);
    return {};
}

} // namespace tandrel::engine
