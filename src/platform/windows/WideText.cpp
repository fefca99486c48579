#include "platform/windows/WideText.h"

#include <windows.h>

#include <vector>

namespace tandrel::platform {

bool ToWide(std::string_view utf8, std::wstring& wide)
{
    wide.clear();
    if (utf8.empty())
        return true;
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0)
        return false;
    wide.resize(static_cast<std::size_t>(length));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length) == length;
}

bool ToUtf8(std::wstring_view wide, std::string& utf8)
{
    utf8.clear();
    if (wide.empty())
        return true;
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return false;
    utf8.resize(static_cast<std::size_t>(length));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, utf8.data(), length, nullptr,
                               nullptr) == length;
}

FileResult SystemPath(const std::string& path, std::wstring& systemPath)
{
    std::wstring wide;
    if (path.empty() || !ToWide(path, wide))
        return FileResult::Failure("Not a valid path '" + path + "'");
    static constexpr std::wstring_view kLong = L"\\\\?\\";
    if (std::wstring_view(wide).starts_with(kLong)) {
        systemPath = wide;
        return FileResult::Success();
    }
    DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0)
        return WindowsFailure("Cannot resolve the path", path, GetLastError());
    std::wstring full;
    while (length > full.size()) {
        full.resize(length);
        length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0)
            return WindowsFailure("Cannot resolve the path", path, GetLastError());
    }
    full.resize(length);
    if (std::wstring_view(full).starts_with(L"\\\\"))
        systemPath = std::wstring(kLong) + L"UNC\\" + full.substr(2);
    else
        systemPath = std::wstring(kLong) + full;
    return FileResult::Success();
}

namespace {

bool SameObject(HANDLE a, const std::wstring& path)
{
    const HANDLE b = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                 nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                 nullptr);
    if (b == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    const bool same = GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
                      x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
                      x.nFileIndexLow == y.nFileIndexLow;
    CloseHandle(b);
    return same;
}

// The path of an open file from its name within its volume and the drive
// letter whose volume holds that very file, for systems whose
// GetFinalPathNameByHandleW gives up on paths longer than MAX_PATH.
bool PathThroughDriveLetters(HANDLE handle, std::wstring& path)
{
    std::vector<char> buffer(sizeof(FILE_NAME_INFO) + 70000 * sizeof(wchar_t));
    auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.data());
    if (!GetFileInformationByHandleEx(handle, FileNameInfo, info, static_cast<DWORD>(buffer.size())))
        return false;
    const std::wstring inVolume(info->FileName, info->FileNameLength / sizeof(wchar_t));
    const DWORD drives = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if (!(drives & (1u << letter)))
            continue;
        std::wstring candidate = L"\\\\?\\";
        candidate += static_cast<wchar_t>(L'A' + letter);
        candidate += L':';
        candidate += inVolume;
        if (SameObject(handle, candidate)) {
            path = std::move(candidate);
            return true;
        }
    }
    return false;
}

} // namespace

bool FinalPathOf(void* handle, std::wstring& path)
{
    // The required size comes back when the buffer is too small.
    path.resize(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetFinalPathNameByHandleW(handle, path.data(), static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
        if (length > 0 && length < path.size()) {
            path.resize(length);
            return true;
        }
        if (length == 0 || path.size() > 70000)
            return PathThroughDriveLetters(handle, path);
        path.resize(length + 1);
    }
}

std::string SystemMessage(unsigned long error)
{
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::string message;
    if (length == 0 || !ToUtf8(std::wstring_view(buffer, length), message))
        message = "error " + std::to_string(error);
    LocalFree(buffer);
    while (!message.empty() &&
           (message.back() == '\n' || message.back() == '\r' || message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return message;
}

FileResult WindowsFailure(const std::string& what, const std::string& path, unsigned long error)
{
    return FileResult::Failure(what + " '" + path + "': " + SystemMessage(error));
}

} // namespace tandrel::platform
