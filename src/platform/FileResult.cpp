#include "platform/FileResult.h"

#include <cstring>

namespace tandrel::platform {

FileResult ErrnoFailure(const std::string& what, const std::string& path, int err)
{
    FileResult failure = FileResult::Failure(what + " '" + path + "': " + std::strerror(err));
    failure.errorNumber = err;
    return failure;
}

FileResult TooLargeFailure(const std::string& what, const std::string& path, std::uint64_t limit)
{
    const std::string size = limit % (1024 * 1024) == 0 ? std::to_string(limit / (1024 * 1024)) + " MiB"
                                                         : std::to_string(limit) + " bytes";
    return FileResult::Failure(what + " '" + path + "': it is larger than " + size);
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
