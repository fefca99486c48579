#include "platform/FileResult.h"
#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::platform {

FileResult AccessDenied(const std::string& what, const std::string& path)
{
    return WindowsFailure(what, path, ERROR_ACCESS_DENIED);
}

} // namespace tandrel::platform
