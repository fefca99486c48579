#include "platform/AtomicFile.h"
#include "platform/AtomicFileBuffer.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace tandrel::platform {

long WriteToDescriptor(int fd, const char* data, std::size_t size, int& error)
{
    const int n = ::_write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
    if (n < 0)
        error = errno;
    return n;
}

namespace {

constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE;

std::string UniqueSuffix()
{
    static std::atomic<unsigned> counter{0};
    char text[64];
    std::snprintf(text, sizeof text, "%lu-%llx-%u", GetCurrentProcessId(),
                  static_cast<unsigned long long>(GetTickCount64()), counter.fetch_add(1));
    return text;
}

// The file a link or junction at `path` leads to, as a system path.
bool FinalPath(const std::wstring& path, std::wstring& final)
{
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool found = FinalPathOf(file, final);
    CloseHandle(file);
    return found;
}

} // namespace


FileResult AtomicFile::Open()
{
    Discard();
    std::wstring target;
    if (FileResult result = SystemPath(m_path, target); !result.ok())
        return FileResult::Failure("Cannot write '" + m_path + "': " + result.error);

    // Replacing a link would cut it off from the file it names: write the
    // file it leads to instead.
    DWORD attributes = GetFileAttributesW(target.c_str());
    std::wstring final;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) && FinalPath(target, final)) {
        target = final;
        attributes = GetFileAttributesW(target.c_str());
    }
    if (!ToUtf8(target, m_target))
        return FileResult::Failure("Cannot write '" + m_path + "': the path cannot be named");
    const bool targetExists = attributes != INVALID_FILE_ATTRIBUTES;
    if (targetExists && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return WindowsFailure("Cannot write", m_path, ERROR_DIRECTORY);
    // A read-only file stays as it is, although the folder would allow replacing it.
    if (targetExists && (attributes & FILE_ATTRIBUTE_READONLY))
        return WindowsFailure("Cannot write", m_path, ERROR_ACCESS_DENIED);

    const auto cut = target.find_last_of(L'\\');
    const std::wstring folder = target.substr(0, cut + 1);
    const std::wstring name = target.substr(cut + 1);
    for (int attempt = 0; attempt < 100 && m_fd < 0; ++attempt) {
        std::wstring suffix;
        ToWide(UniqueSuffix(), suffix);
        const std::wstring candidate = folder + L"." + name + L".tmp-" + suffix;
        const int fd = ::_wopen(candidate.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            m_fd = fd;
            ToUtf8(candidate, m_temp);
        } else if (errno != EEXIST) {
            return ErrnoFailure("Cannot write", m_path, errno);
        }
    }
    if (m_fd < 0)
        return ErrnoFailure("Cannot write", m_path, EEXIST);

    m_buffer = std::make_unique<FdBuffer>(m_fd);
    m_stream.rdbuf(m_buffer.get());
    m_stream.clear();
    return FileResult::Success();
}

void RemoveTemporary(const std::string& temp)
{
    std::wstring wide;
    if (ToWide(temp, wide))
        DeleteFileW(wide.c_str());
}

int SyncDescriptor(int fd)
{
    return ::_commit(fd) == 0 ? 0 : errno;
}

int CloseDescriptor(int fd)
{
    return ::_close(fd) == 0 ? 0 : errno;
}

FileResult ReplaceByTemporary(const std::string& temp, const std::string& target, const std::string& shownPath)
{
    std::wstring wideTemp;
    std::wstring wideTarget;
    ToWide(temp, wideTemp);
    ToWide(target, wideTarget);
    // The replacement keeps the attributes of the file it replaces.
    const DWORD old = GetFileAttributesW(wideTarget.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & kKeptAttributes))
        SetFileAttributesW(wideTemp.c_str(), old & kKeptAttributes);
    if (!MoveFileExW(wideTemp.c_str(), wideTarget.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return WindowsFailure("Cannot replace", shownPath, GetLastError());
    return FileResult::Success();
}

} // namespace tandrel::platform
