#include "platform/ReadFile.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::platform {

bool ReadRegularFile(const std::string& path, const std::function<void(std::string_view)>& piece)
{
    std::wstring wide;
    if (!SystemPath(path, wide).ok())
        return false;
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION info {};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        CloseHandle(file);
        return false;
    }
    std::string buffer(64 * 1024, '\0');
    DWORD got = 0;
    while (ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got > 0)
        piece(std::string_view(buffer.data(), got));
    CloseHandle(file);
    return true;
}

} // namespace tandrel::platform
