#include "platform/FileResult.h"

#include <cstring>

namespace tandrel::platform {

FileResult ErrnoFailure(const std::string& what, const std::string& path, int err)
{
    return FileResult::Failure(what + " '" + path + "': " + std::strerror(err));
}

std::string FolderOf(const std::string& path)
{
    const auto pos = path.rfind('/');
    if (pos == std::string::npos)
        return ".";
    if (pos == 0)
        return "/";
    return path.substr(0, pos);
}

} // namespace tandrel::platform
