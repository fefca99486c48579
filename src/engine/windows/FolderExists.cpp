#include "engine/FolderExists.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::engine {

bool FolderExists(const std::string& path)
{
    std::wstring folder;
    if (path.find('\0') != std::string::npos || !platform::SystemPath(path, folder).ok())
        return false;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // Searching it is what the scan will do; a junction given as a root is followed here.
    folder += folder.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileExW(folder.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND;
    FindClose(search);
    return true;
}

} // namespace tandrel::engine
