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

FileResult ReadWholeFile(const std::string& what, const std::string& path, std::uint64_t limit,
                         const std::function<void(std::string_view)>& piece)
{
    std::wstring wide;
    if (const FileResult converted = SystemPath(path, wide); !converted.ok())
        return converted;
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return WindowsFailure(what, path, GetLastError());
    std::string buffer(64 * 1024, '\0');
    std::uint64_t total = 0;
    FileResult result;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            // The writer of a pipe closing it is the pipe's end of file.
            if (const DWORD error = GetLastError(); error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF)
                result = WindowsFailure(what, path, error);
            break;
        }
        if (got == 0)
            break;
        total += got;
        if (total > limit) {
            result = TooLargeFailure(what, path, limit);
            break;
        }
        piece(std::string_view(buffer.data(), got));
    }
    CloseHandle(file);
    return result;
}

} // namespace tandrel::platform
