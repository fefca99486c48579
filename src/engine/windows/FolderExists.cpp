#include "engine/FolderExists.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::engine {

bool FolderExists(const std::string& path)
{
    return FolderAccessError(path).empty();
}

std::string FolderAccessError(const std::string& path)
{
    std::wstring folder;
    if (path.find('\0') != std::string::npos)
        return platform::SystemMessage(ERROR_INVALID_NAME);
    if (const auto converted = platform::SystemPath(path, folder); !converted.ok())
        return converted.error;
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return platform::SystemMessage(GetLastError());
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return platform::SystemMessage(ERROR_DIRECTORY);
    // Searching it is what the scan will do; a junction given as a root is followed here.
    folder += folder.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileExW(folder.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? std::string() : platform::SystemMessage(error);
    }
    FindClose(search);
    return {};
}

} // namespace tandrel::engine
