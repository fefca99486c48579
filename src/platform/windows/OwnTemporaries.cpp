#include "platform/OwnTemporaries.h"

#include "platform/FileOps.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>

#include <io.h>

#include <cstdlib>
#include <cstring>

namespace tandrel::platform {

namespace {

// The process number in a temporary name (its first run of digits).
unsigned long ProcessOf(const char* name)
{
    return std::strtoul(name + std::strlen(kTempFilePrefix), nullptr, 10);
}

bool ProcessMayBeWriting(unsigned long pid)
{
    if (pid == GetCurrentProcessId())
        return false; // this process copies one file at a time, and not now
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED; // it runs, as another user
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

std::int64_t EpochSeconds(const struct timespec& time)
{
    return static_cast<std::int64_t>(time.tv_sec);
}

int SweepSystemFolder(const std::wstring& folder, const struct timespec& runStart)
{
    std::string shown;
    if (!ToUtf8(folder, shown))
        return 0;
    std::vector<WindowsEntry> entries;
    ListFolder(shown, entries);
    int removed = 0;
    for (const WindowsEntry& entry : entries) {
        // A file's last write counts here: Windows has no status-change time
        // that every file system keeps. A copy in flight writes its file
        // continually, and its process is checked as well.
        if (!IsOwnTemporaryName(entry.name.c_str()) || entry.IsFolder() ||
            entry.mtime >= EpochSeconds(runStart) || ProcessMayBeWriting(ProcessOf(entry.name.c_str())))
            continue;
        std::wstring name;
        if (!ToWide(entry.name, name))
            continue;
        const std::wstring path = (folder.back() == L'\\' ? folder : folder + L'\\') + name;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        const BOOL gone = (entry.attributes & kAttrFolder) ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
        if (gone)
            ++removed;
    }
    return removed;
}

} // namespace

int RemoveStaleTemporaries(const std::string& folder, const struct timespec& runStart)
{
    std::wstring systemPath;
    if (!SystemPath(folder, systemPath).ok())
        return 0;
    return SweepSystemFolder(systemPath, runStart);
}

int RemoveStaleTemporariesAt(int fd, const struct timespec& runStart)
{
    if (fd < 0)
        return 0;
    std::wstring folder;
    const bool named = FinalPathOf(reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), folder);
    ::_close(fd);
    return named ? SweepSystemFolder(folder, runStart) : 0;
}

TemporarySweep::TemporarySweep()
{
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    m_runStart.tv_sec = static_cast<time_t>(
        EpochSecondsFromFileTime((static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime));
    m_runStart.tv_nsec = 0;
}

void TemporarySweep::BeforeWritingInto(const std::string& folder)
{
    SweepOnce(folder, [&] { RemoveStaleTemporaries(folder, m_runStart); });
}

void TemporarySweep::BeforeWritingInto(int folderFd, const std::string& shownPath)
{
    // The folder stays held by the caller; the sweep lists it by the path the
    // held folder has now.
    SweepOnce(shownPath, [&] {
        std::wstring folder;
        if (FinalPathOf(reinterpret_cast<HANDLE>(::_get_osfhandle(folderFd)), folder))
            SweepSystemFolder(folder, m_runStart);
    });
}

void TemporarySweep::BeforeRemoving(const ItemAt& item)
{
    std::wstring path;
    std::wstring name;
    if (!FinalPathOf(reinterpret_cast<HANDLE>(::_get_osfhandle(item.folder.Fd())), path) || !ToWide(item.name, name))
        return;
    if (path.back() != L'\\')
        path += L'\\';
    path += name;
    // A junction or folder link is never listed through.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        SweepSystemFolder(path, m_runStart);
}

} // namespace tandrel::platform
