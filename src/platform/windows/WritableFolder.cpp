#include "platform/windows/WritableFolder.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::platform {

bool CanCreateFilesIn(const std::wstring& folder)
{
    const std::wstring probe = folder + L"tandrel-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                               std::to_wstring(GetTickCount64()) + L".tmp";
    const HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}

bool CanCreateFilesIn(const std::string& folderUtf8)
{
    std::wstring folder;
    return ToWide(folderUtf8, folder) && CanCreateFilesIn(folder);
}

} // namespace tandrel::platform
