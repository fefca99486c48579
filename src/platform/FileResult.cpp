#include "platform/FileResult.h"

#include <cstring>

namespace tandrel::platform {

FileResult ErrnoFailure(const std::string& what, const std::string& path, int err)
{
    return FileResult::Failure(what + " '" + path + "': " + std::strerror(err));
}

} // namespace tandrel::platform
