#include "platform/NetworkTarget.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <string_view>

namespace tandrel::platform {

bool IsNetworkTarget(const std::string& root)
{
    std::wstring full;
    if (!SystemPath(root, full).ok())
        return false;
    constexpr std::wstring_view kUnc = L"\\\\?\\UNC\\";
    constexpr std::wstring_view kLocal = L"\\\\?\\";
    if (std::wstring_view(full).starts_with(kUnc))
        return true;
    // A drive letter: the drive's root says what it is (a share cannot be
    // mounted inside a folder of a local drive).
    const std::wstring_view path = std::wstring_view(full).substr(full.starts_with(kLocal) ? kLocal.size() : 0);
    if (path.size() < 2 || path[1] != L':')
        return false;
    const std::wstring driveRoot{path[0], L':', L'\\'};
    return GetDriveTypeW(driveRoot.c_str()) == DRIVE_REMOTE;
}

} // namespace tandrel::platform
