#include "platform/ContentFile.h"

#include "platform/windows/WideText.h"

#include <windows.h>
#include <winioctl.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

namespace tandrel::platform {

namespace {

HANDLE HandleOf(int fd)
{
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::function<void()> g_readHook;

} // namespace

void SetReadHookForTesting(std::function<void()> hook)
{
    g_readHook = std::move(hook);
}

ContentFile::~ContentFile()
{
    if (m_fd >= 0)
        ::_close(m_fd);
}

bool ContentFile::Open(const std::string& path, std::string& reason, bool& isLink)
{
    isLink = false;
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok()) {
        reason = "not a valid path";
        return false;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_SEQUENTIAL_SCAN,
                                    nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = SystemMessage(GetLastError());
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    FILE_STANDARD_INFO standard {};
    const bool known = GetFileInformationByHandle(file, &info) &&
                       GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof standard);
    if (!known || (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
        GetFileType(file) != FILE_TYPE_DISK) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        if (!known)
            reason = SystemMessage(error);
        else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            isLink = true;
        else
            reason = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? std::strerror(EISDIR) : "not a regular file";
        return false;
    }
    m_fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY | _O_NOINHERIT);
    if (m_fd < 0) {
        CloseHandle(file);
        reason = std::strerror(errno);
        return false;
    }
    m_size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    // Holes are not looked for here: every byte is read.
    m_allocated = m_size;
    return StampNow(m_opened, reason);
}

bool ContentFile::StampNow(Stamp& stamp, std::string& reason) const
{
    FILE_STANDARD_INFO standard {};
    FILE_BASIC_INFO basic {};
    if (!GetFileInformationByHandleEx(HandleOf(m_fd), FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandleEx(HandleOf(m_fd), FileBasicInfo, &basic, sizeof basic)) {
        reason = SystemMessage(GetLastError());
        return false;
    }
    stamp.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
    stamp.modified[0] = basic.LastWriteTime.QuadPart;
    stamp.changed[0] = basic.ChangeTime.QuadPart;
    return true;
}

void ContentFile::ReadAhead() const
{
    // FILE_FLAG_SEQUENTIAL_SCAN at the open asks for it already.
}

std::uint64_t ContentFile::NextData(std::uint64_t offset) const
{
    return offset;
}

std::uint64_t ContentFile::NextHole(std::uint64_t) const
{
    return m_size;
}

long long ContentFile::ReadSome(char* buffer, std::size_t size, std::uint64_t offset, std::string& reason) const
{
    OVERLAPPED at {};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    const BOOL read = ReadFile(HandleOf(m_fd), buffer, wanted, &got, &at);
    const DWORD error = read ? 0 : GetLastError();
    if (g_readHook)
        g_readHook();
    if (!read) {
        if (error == ERROR_HANDLE_EOF)
            return 0;
        reason = SystemMessage(error);
        return -1;
    }
    return got;
}

std::optional<std::string> LinkText(const std::string& path, std::string& reason)
{
    std::wstring wide;
    if (!SystemPath(path, wide).ok()) {
        reason = "not a valid path";
        return std::nullopt;
    }
    const HANDLE link = CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (link == INVALID_HANDLE_VALUE) {
        reason = SystemMessage(GetLastError());
        return std::nullopt;
    }
    std::string data(MAXIMUM_REPARSE_DATA_BUFFER_SIZE, '\0');
    DWORD got = 0;
    const bool read = DeviceIoControl(link, FSCTL_GET_REPARSE_POINT, nullptr, 0, data.data(),
                                      static_cast<DWORD>(data.size()), &got, nullptr);
    const DWORD error = GetLastError();
    CloseHandle(link);
    if (!read) {
        reason = SystemMessage(error);
        return std::nullopt;
    }
    data.resize(got);
    return data;
}

} // namespace tandrel::platform
