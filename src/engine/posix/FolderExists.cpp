#include "engine/FolderExists.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::engine {

bool FolderExists(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        return false;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

} // namespace tandrel::engine
