#include "platform/Trash.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>
#include <shellapi.h>

#include <io.h>

#include <atomic>
#include <cerrno>

// The Recycle Bin through the shell's file operation, which records where
// each item came from so that Explorer can restore it. The shell does not
// take "\\?\" paths, so an item must have a path of the ordinary form.

namespace tandrel::platform {

namespace {

std::atomic<bool> g_withoutNukeWarning{false};

// "\\?\C:\x" -> "C:\x", "\\?\UNC\server\share\x" -> "\\server\share\x".
std::wstring ShellPath(const std::wstring& systemPath)
{
    if (systemPath.rfind(L"\\\\?\\UNC\\", 0) == 0)
        return L"\\\\" + systemPath.substr(8);
    if (systemPath.rfind(L"\\\\?\\", 0) == 0)
        return systemPath.substr(4);
    return systemPath;
}

bool FolderHasEntries(const std::wstring& folder)
{
    WIN32_FIND_DATAW data{};
    const HANDLE search = FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    do {
        const std::wstring_view name(data.cFileName);
        found = name != L"." && name != L"..";
    } while (!found && FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

// Whether the junction or link at `path` opens as itself; Wine opens a
// folder link as the folder it leads to, and its trash would take that.
bool LinkOpensAsItself(const std::wstring& path)
{
    const HANDLE link =
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool itself = link != INVALID_HANDLE_VALUE && GetFileInformationByHandle(link, &info) &&
                        (info.dwFileAttributes & kAttrReparsePoint);
    if (link != INVALID_HANDLE_VALUE)
        CloseHandle(link);
    return itself;
}

FileResult TrashSystemPath(const std::wstring& systemPath, const std::string& shownPath, TrashFolders folders)
{
    const std::wstring path = ShellPath(systemPath);
    if (path.size() >= MAX_PATH)
        return FileResult::Failure("Cannot move '" + shownPath +
                                   "' to the Recycle Bin: its path is too long for the Recycle Bin");
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot move to the Recycle Bin", shownPath, GetLastError());
    if ((attributes & kAttrReparsePoint) && !LinkOpensAsItself(path))
        return FileResult::Failure("Cannot move '" + shownPath +
                                   "' to the Recycle Bin: it is a junction or symbolic link, and this system would "
                                   "move what it leads to instead; neither is moved");
    if (folders == TrashFolders::OnlyWhenEmpty && (attributes & kAttrFolder) && !(attributes & kAttrReparsePoint) &&
        FolderHasEntries(path))
        return ErrnoFailure("Cannot move to the Recycle Bin", shownPath, ENOTEMPTY);
    // Where a drive has no Recycle Bin the shell would delete for good
    // instead; that is refused here, the item stays.
    SHQUERYRBINFO bin{};
    bin.cbSize = sizeof bin;
    if (FAILED(SHQueryRecycleBinW(path.c_str(), &bin)))
        return FileResult::Failure("Cannot move '" + shownPath + "' to the Recycle Bin: its drive has none");
    const long long itemsBefore = bin.i64NumItems;

    std::wstring from = path;
    from.push_back(L'\0'); // the list of items ends with an empty name
    SHFILEOPSTRUCTW operation{};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    // Without FOF_WANTNUKEWARNING the shell deletes for good, silently, what
    // the bin cannot take (too big for it, or, under Wine, on another file
    // system than the trash). With it, the shell asks first, in spite of
    // FOF_NOCONFIRMATION; where it cannot ask, the item stays.
    operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT |
                       (g_withoutNukeWarning ? 0 : FOF_WANTNUKEWARNING);
    const int result = SHFileOperationW(&operation);
    const std::string failed = "Cannot move '" + shownPath + "' to the Recycle Bin: ";
    if (operation.fAnyOperationsAborted)
        return FileResult::Failure(failed + "the Recycle Bin cannot take it, and it was left where it is");
    if (result != 0)
        return FileResult::Failure(failed + "the shell reports error " + std::to_string(result));

    // Success is only what can be seen: the item has left its place and the
    // bin holds one item more.
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return FileResult::Failure(failed + "the shell reported success but left it where it is");
    if (const DWORD error = GetLastError(); error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return WindowsFailure("Cannot tell whether the Recycle Bin took", shownPath, error);
    bin = SHQUERYRBINFO{};
    bin.cbSize = sizeof bin;
    if (FAILED(SHQueryRecycleBinW(path.c_str(), &bin)) || bin.i64NumItems <= itemsBefore)
        return FileResult::Failure(failed +
                                   "it is gone but not in the Recycle Bin; the shell may have deleted it for good");
    return FileResult::Success();
}

} // namespace

FileResult MoveToTrash(const std::string& path, TrashFolders folders, TrashPlace*)
{
    std::wstring systemPath;
    if (FileResult result = SystemPath(path, systemPath); !result.ok())
        return result;
    return TrashSystemPath(systemPath, path, folders);
}

FileResult MoveToTrashAt(int parentFd, const std::string& name, const std::string& shownPath, TrashFolders folders,
                         TrashPlace*)
{
    std::wstring folder;
    std::wstring wideName;
    if (!FinalPathOf(reinterpret_cast<HANDLE>(::_get_osfhandle(parentFd)), folder))
        return WindowsFailure("Cannot move to the Recycle Bin", shownPath, GetLastError());
    if (!ToWide(name, wideName))
        return FileResult::Failure("Cannot move '" + shownPath + "' to the Recycle Bin: the name is not valid UTF-8");
    if (folder.back() != L'\\')
        folder += L'\\';
    return TrashSystemPath(folder + wideName, shownPath, folders);
}

// The Recycle Bin takes only items it moves in itself: the old file goes
// there just before the new one is renamed into its place.
FileResult KeepInTrashAt(int parentFd, const std::string& name, const std::string& shownPath, TrashPlace& place,
                         bool& stayed)
{
    stayed = false;
    place = TrashPlace{};
    return MoveToTrashAt(parentFd, name, shownPath, TrashFolders::OnlyWhenEmpty, &place);
}

void TakeBackFromTrash(const TrashPlace&)
{
}

void SetTrashWithoutNukeWarningForTesting(bool without)
{
    g_withoutNukeWarning = without;
}

} // namespace tandrel::platform
