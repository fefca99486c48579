#include "platform/FileResult.h"

#include <cerrno>

namespace tandrel::platform {

FileResult AccessDenied(const std::string& what, const std::string& path)
{
    return ErrnoFailure(what, path, EACCES);
}

} // namespace tandrel::platform
