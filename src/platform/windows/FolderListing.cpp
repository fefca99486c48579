#include "platform/FolderListing.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cerrno>

// Folders are held open as C runtime descriptors over handles opened with
// CreateFileW, so that the listing interface keeps its integer descriptors.
// A folder held open this way (without FILE_SHARE_DELETE) cannot be renamed
// or removed, which keeps every level of a walk in place while it is used.

namespace tandrel::platform {

namespace {

constexpr std::uint32_t kModeFolder = 0040000;
constexpr std::uint32_t kModeFile = 0100000;
constexpr std::uint32_t kModeLink = 0120000;

std::uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

HANDLE HandleOf(int fd)
{
    return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

void SetErrno(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        errno = EACCES;
        break;
    case ERROR_DIRECTORY:
        errno = ENOTDIR;
        break;
    default:
        errno = EIO;
    }
}

// Whether `path` is the name of an entry that is not a folder followed by
// separators ("C:\\file\\"), which the system calls a name of bad syntax.
bool NamesAFileAsAFolder(const std::wstring& path)
{
    const std::size_t end = path.find_last_not_of(L'\\');
    if (end == std::wstring::npos || end + 1 == path.size())
        return false;
    const DWORD attributes = GetFileAttributesW(path.substr(0, end + 1).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Opens the folder at the system path `path`; a link or junction there is
// refused unless `followLink`.
int OpenFolderAt(const std::wstring& path, bool followLink)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_INVALID_NAME && NamesAFileAsAFolder(path))
            errno = ENOTDIR;
        else
            SetErrno(error);
        return -1;
    }
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(handle, &info)) {
        SetErrno(GetLastError());
        CloseHandle(handle);
        return -1;
    }
    if (!followLink)
        info.dwFileAttributes |= LinkBitOfName(path);
    if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        CloseHandle(handle);
        errno = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ELOOP : ENOTDIR;
        return -1;
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_NOINHERIT);
    if (fd < 0)
        CloseHandle(handle);
    return fd;
}

// The system path ("\\?\C:\...") of an open folder.
bool PathOf(int fd, std::wstring& path)
{
    const HANDLE handle = HandleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    return FinalPathOf(handle, path);
}

std::wstring Child(const std::wstring& folder, const std::wstring& name)
{
    return folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

void Fill(const WIN32_FIND_DATAW& data, ListedEntry& entry)
{
    const DWORD attributes = data.dwFileAttributes;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        entry.mode = kModeLink | 0777;
    else if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        entry.mode = kModeFolder | 0755;
    else
        entry.mode = kModeFile | ((attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644);
    entry.attributes = attributes;
    entry.size = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                     ? 0
                     : static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    entry.mtime = EpochSecondsFromFileTime(Ticks(data.ftLastWriteTime));
}

} // namespace

void Fd::Reset(int fd)
{
    if (m_fd >= 0)
        ::_close(m_fd);
    m_fd = fd;
}

bool ListedEntry::IsFolder() const
{
    return (mode & 0170000) == kModeFolder;
}

// Windows opens every folder the same way.
const int kOpenToList = 0;
const int kOpenAsAnchor = 0;

bool IsHidden(const ListedEntry& entry)
{
    return entry.attributes & kAttrHidden;
}

bool IsReadOnly(const ListedEntry& entry)
{
    return entry.attributes & kAttrReadOnly;
}

bool IsSystem(const ListedEntry& entry)
{
    return entry.attributes & kAttrSystem;
}

bool IsArchived(const ListedEntry& entry)
{
    return entry.attributes & kAttrArchive;
}

int OpenFolder(const std::string& path, int)
{
    std::wstring wide;
    if (!SystemPath(path, wide).ok()) {
        errno = EINVAL;
        return -1;
    }
    return OpenFolderAt(wide, true);
}

int OpenBelow(int base, const std::string& relative, int)
{
    std::wstring folder;
    if (!PathOf(base, folder)) {
        errno = EBADF;
        return -1;
    }
    if (relative.empty())
        return OpenFolderAt(folder, false);
    std::wstring names;
    if (!ToWide(relative, names)) {
        errno = EINVAL;
        return -1;
    }
    // One level at a time, each held open until the next is, none followed.
    Fd held;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = names.find_first_of(L"/\\", start);
        const std::wstring name = names.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (name.empty() || name == L"." || name == L"..") {
            errno = EINVAL;
            return -1;
        }
        folder = Child(folder, name);
        Fd next(OpenFolderAt(folder, false));
        if (!next.Valid())
            return -1;
        held = std::move(next);
        if (end == std::wstring::npos)
            return held.Release();
        start = end + 1;
    }
}

bool ReadListing(int folderFd, std::vector<ListedEntry>& entries, std::uint32_t& count,
                 const std::function<bool()>& goOn)
{
    std::wstring folder;
    if (!PathOf(folderFd, folder)) {
        errno = EBADF;
        return false;
    }
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileExW(Child(folder, L"*").c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) {
        SetErrno(GetLastError());
        return false;
    }
    count = 0;
    bool named = true;
    bool cancelled = false;
    do {
        const std::uint32_t index = count++;
        const std::wstring_view name(data.cFileName);
        if (name != L"." && name != L"..") {
            ListedEntry entry;
            if (!ToUtf8(name, entry.name)) {
                named = false;
                break;
            }
            entry.index = index;
            Fill(data, entry);
            entries.push_back(std::move(entry));
        }
        if (goOn && !goOn()) {
            cancelled = true;
            break;
        }
    } while (FindNextFileW(search, &data));
    const DWORD end = GetLastError();
    FindClose(search);
    if (!named || cancelled) {
        errno = cancelled ? ECANCELED : EILSEQ;
        return false;
    }
    if (end != ERROR_NO_MORE_FILES) {
        SetErrno(end);
        return false;
    }
    return true;
}

bool LookUpEntry(int folderFd, const std::string& name, ListedEntry& entry)
{
    std::wstring folder;
    std::wstring wide;
    if (!PathOf(folderFd, folder) || !ToWide(name, wide) || wide.find_first_of(L"\\/*?") != std::wstring::npos) {
        errno = EINVAL;
        return false;
    }
    WIN32_FIND_DATAW data {};
    const HANDLE search =
        FindFirstFileExW(Child(folder, wide).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        SetErrno(GetLastError());
        return false;
    }
    FindClose(search);
    if (!ToUtf8(data.cFileName, entry.name))
        return false;
    Fill(data, entry);
    return true;
}

bool IdentityOf(int fd, FolderIdentity& identity)
{
    BY_HANDLE_FILE_INFORMATION info {};
    FILE_BASIC_INFO basic {};
    const HANDLE handle = HandleOf(fd);
    if (!GetFileInformationByHandle(handle, &info) ||
        !GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
        return false;
    identity = FolderIdentity{};
    identity.device = info.dwVolumeSerialNumber;
    identity.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    identity.links = info.nNumberOfLinks;
    identity.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    const std::uint64_t written = Ticks(info.ftLastWriteTime);
    identity.mtimeSec = EpochSecondsFromFileTime(written);
    identity.mtimeNsec = static_cast<std::int64_t>(written % 10'000'000) * 100;
    const auto changed = static_cast<std::uint64_t>(basic.ChangeTime.QuadPart);
    identity.ctimeSec = EpochSecondsFromFileTime(changed);
    identity.ctimeNsec = static_cast<std::int64_t>(changed % 10'000'000) * 100;
    identity.mode = info.dwFileAttributes;
    return true;
}

bool CanEnter(int folderFd, const char* name)
{
    std::wstring folder;
    std::wstring wide;
    if (!PathOf(folderFd, folder) || !ToWide(name, wide)) {
        errno = EINVAL;
        return false;
    }
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileExW(Child(Child(folder, wide), L"*").c_str(), FindExInfoBasic, &data,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            return true; // an empty folder
        SetErrno(error);
        return false;
    }
    FindClose(search);
    return true;
}

bool IsNetworkFileSystem(int fd)
{
    std::wstring path;
    if (!PathOf(fd, path))
        return false;
    if (path.starts_with(L"\\\\?\\UNC\\"))
        return true;
    wchar_t volume[MAX_PATH + 1];
    if (!GetVolumePathNameW(path.c_str(), volume, MAX_PATH + 1))
        return false;
    return GetDriveTypeW(volume) == DRIVE_REMOTE;
}

bool MayFoldCase(int)
{
    // Windows matches names without regard to case on every file system it
    // mounts by default.
    return true;
}

bool MayFoldCase(int folderFd, const std::vector<ListedEntry>&)
{
    return MayFoldCase(folderFd);
}

} // namespace tandrel::platform
