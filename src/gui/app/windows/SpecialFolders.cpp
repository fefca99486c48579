#include "gui/app/SpecialFolders.h"

#include <windows.h>
#include <shlobj.h>

namespace tandrel::gui {

QString SpecialFolderPath(int csidl)
{
    // Only the folder as it is: none is created for the asking.
    wchar_t path[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return {};
    return QString::fromWCharArray(path);
}

} // namespace tandrel::gui
