#include "cli/WindowSettings.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WritableFolder.h"

#include <windows.h>
#include <shlobj.h>

namespace tandrel::cli {

namespace {

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "%LOCALAPPDATA%\Orvessa Software\Tandrel\", as the window's toolkit names its
// per-user data folder on this machine.
std::wstring PerUserFolder()
{
    wchar_t data[MAX_PATH] = {};
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, data) != S_OK)
        return {};
    return std::wstring(data) + L"\\Orvessa Software\\Tandrel\\";
}

} // namespace

std::optional<std::string> FindWindowSettings()
{
    std::wstring folder(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, folder.data(), static_cast<DWORD>(folder.size()));
    folder.resize(length < folder.size() ? length : 0);
    folder.erase(folder.find_last_of(L"\\/") + 1);
    const bool installed = folder.size() >= 5 && _wcsicmp(folder.c_str() + folder.size() - 5, L"\\bin\\") == 0 &&
                           IsFolder(folder + L"..\\share\\tandrel");
    if (folder.empty() || installed || !platform::CanCreateFilesIn(folder))
        folder = PerUserFolder();
    const std::wstring path = folder + L"tdl.ini";
    const DWORD attributes = GetFileAttributesW(path.c_str());
    std::string utf8;
    if (folder.empty() || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !platform::ToUtf8(path, utf8))
        return std::nullopt;
    return utf8;
}

} // namespace tandrel::cli
