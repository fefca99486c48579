#include "platform/FileOps.h"

#include "platform/FileFaults.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>
// The system's DeleteFile macro would rename the function of that name here.
#undef DeleteFile

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

// Copy and delete on Windows. Every folder on the way to an item is opened in
// turn without following a junction or symbolic link, and held open without
// FILE_SHARE_DELETE: while a step works on an item, no folder above it can be
// renamed, removed or swapped for a link. The step itself names the item by
// the held folder's own path (GetFinalPathNameByHandleW) and the item's name,
// as Windows offers no calls relative to an open folder.

namespace tandrel::platform {

namespace {


class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { Close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    bool Close()
    {
        const bool ok = !Valid() || CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE m_handle;
};

HANDLE HandleOf(const FolderHandle& folder)
{
    return folder.Fd() < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(folder.Fd()));
}

// Opens the folder at the system path `path` and keeps it in place; a
// junction or link there is refused (`isLink` tells) unless `followLink`.
FileResult OpenFolderHandle(const std::wstring& path, bool followLink, const std::string& what,
                            const std::string& shownPath, FolderHandle& folder, bool* isLink = nullptr)
{
    const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return WindowsFailure(what, shownPath, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(handle, &info)) {
        const DWORD error = GetLastError();
        CloseHandle(handle);
        return WindowsFailure(what, shownPath, error);
    }
    if (!followLink)
        info.dwFileAttributes |= LinkBitOfName(path);
    if (info.dwFileAttributes & kAttrReparsePoint) {
        CloseHandle(handle);
        if (isLink)
            *isLink = true;
        return ErrnoFailure(what, shownPath, ELOOP);
    }
    if (!(info.dwFileAttributes & kAttrFolder)) {
        CloseHandle(handle);
        return ErrnoFailure(what, shownPath, ENOTDIR);
    }
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_NOINHERIT);
    if (fd < 0) {
        CloseHandle(handle);
        return ErrnoFailure(what, shownPath, EMFILE);
    }
    folder = FolderHandle(fd);
    return FileResult::Success();
}

// The system path of the item: its held folder's path and its name.
FileResult SystemPathOf(const ItemAt& item, const std::string& what, std::wstring& path)
{
    std::wstring name;
    if (!FinalPathOf(HandleOf(item.folder), path))
        return WindowsFailure(what, item.path, GetLastError());
    if (!ToWide(item.name, name))
        return FileResult::Failure(what + " '" + item.path + "': the name is not valid UTF-8");
    if (path.back() != L'\\')
        path += L'\\';
    path += name;
    return FileResult::Success();
}

EntryInfo InfoOfAttributes(DWORD attributes)
{
    EntryInfo info;
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        info.error = (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) ? ENOENT : EACCES;
        return info;
    }
    if (attributes & kAttrReparsePoint)
        info.kind = EntryKind::SymbolicLink;
    else if (attributes & kAttrFolder)
        info.kind = EntryKind::Folder;
    else
        info.kind = EntryKind::RegularFile;
    info.mode = (attributes & kAttrReadOnly) ? 0444 : 0644;
    if (info.kind == EntryKind::Folder)
        info.mode |= 0111;
    info.hidden = attributes & kAttrHidden;
    info.system = attributes & kAttrSystem;
    return info;
}

// The attributes, size and last-write time of a name, as a folder listing gives them.
EntryInfo InfoOfName(const std::wstring& wide)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data))
        return InfoOfAttributes(INVALID_FILE_ATTRIBUTES);
    EntryInfo info = InfoOfAttributes(data.dwFileAttributes);
    info.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    info.mtime = EpochSecondsFromFileTime(ticks);
    return info;
}

std::wstring TempName()
{
    static std::atomic<unsigned> counter{0};
    // The system's random source (rand_s) for each name: a copy costs far
    // more than that, and no generator state is shared between threads.
    std::random_device random;
    char name[96];
    std::snprintf(name, sizeof name, "%s%lu-%u-%08x.tmp", kTempFilePrefix, GetCurrentProcessId(),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    std::wstring wide;
    ToWide(name, wide);
    return wide;
}

// Removes a temporary file of a copy that did not finish.
void Discard(const std::wstring& temp)
{
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temp.c_str());
}

enum class CopyEnd { Done, ReadFailed, WriteFailed, Faulted, Cancelled };

CopyEnd CopyData(HANDLE in, HANDLE out, std::uint64_t size, const CopyProgress& progress, DWORD& error)
{
    std::vector<char> buffer(kCopyStepBytes);
    std::uint64_t done = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            error = GetLastError();
            return CopyEnd::ReadFailed;
        }
        if (got == 0)
            return CopyEnd::Done;
        const auto& fault = WriteFaultForTesting();
        if (fault && static_cast<std::int64_t>(done + got) > fault->afterBytes)
            return CopyEnd::Faulted;
        DWORD put = 0;
        if (!WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
            error = put != got && GetLastError() == 0 ? ERROR_DISK_FULL : GetLastError();
            return CopyEnd::WriteFailed;
        }
        done += got;
        // Asked only while more is to come: a file written in full is kept.
        if (progress && done < size && !progress(done, size))
            return CopyEnd::Cancelled;
    }
}

constexpr const char* kLinkNotCopied = "it is a junction or symbolic link, which is not copied on this system";

// Takes a junction or symbolic link away as the link itself. Only a handle
// on the link can promise that: RemoveDirectoryW by name would, under Wine,
// remove the empty folder a link leads to and keep the link. Where the link
// cannot be opened as itself, it stays, and so does what it leads to.
FileResult DeleteLink(const std::wstring& path, const std::string& shownPath)
{
    Handle link(CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!link.Valid())
        return WindowsFailure("Cannot delete", shownPath, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(link.Get(), &info))
        return WindowsFailure("Cannot delete", shownPath, GetLastError());
    if (!(info.dwFileAttributes & kAttrReparsePoint))
        return FileResult::Failure("Cannot delete '" + shownPath +
                                   "': it is a junction or symbolic link, and this system opens what it leads to "
                                   "instead of the link; neither is deleted");
    FILE_DISPOSITION_INFO disposition{TRUE}; // its one member's name is taken by the DeleteFile macro
    if (!SetFileInformationByHandle(link.Get(), FileDispositionInfo, &disposition, sizeof disposition))
        return WindowsFailure("Cannot delete", shownPath, GetLastError());
    if (!link.Close())
        return WindowsFailure("Cannot delete", shownPath, GetLastError());
    return FileResult::Success();
}

} // namespace

FileResult ReachItem(const std::string& root, const std::string& relative, bool createMissing,
                     const std::string& what, ItemAt& item)
{
    std::vector<std::string> levels;
    if (FileResult split = SplitBelowRoot(root, relative, what, item, levels); !split.ok())
        return split;

    std::wstring path;
    if (FileResult result = SystemPath(root, path); !result.ok())
        return result;
    FolderHandle folder;
    if (FileResult opened = OpenFolderHandle(path, true, what, item.path, folder); !opened.ok())
        return opened;
    std::string reached = root;
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        std::wstring name;
        if (!ToWide(levels[i], name))
            return FileResult::Failure(what + " '" + item.path + "': the name is not valid UTF-8");
        if (path.back() != L'\\')
            path += L'\\';
        path += name;
        reached = JoinPath(reached, levels[i]);
        if (createMissing && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES &&
            GetLastError() == ERROR_FILE_NOT_FOUND && !CreateDirectoryW(path.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS)
            return WindowsFailure(what, item.path, GetLastError());
        bool isLink = false;
        FolderHandle next;
        if (FileResult opened = OpenFolderHandle(path, false, what, item.path, next, &isLink); !opened.ok()) {
            if (isLink)
                return FileResult::Failure(what + " '" + item.path + "': '" + reached +
                                           "' is a junction or symbolic link, which is not followed");
            return opened;
        }
        folder = std::move(next);
    }
    item.folder = std::move(folder);
    item.name = levels.back();
    return FileResult::Success();
}

FileResult ReachPath(const std::string& path, const std::string& what, ItemAt& item)
{
    item.path = path;
    std::wstring full;
    if (FileResult result = SystemPath(path, full); !result.ok())
        return result;
    const auto cut = full.find_last_of(L'\\');
    std::wstring folder = full.substr(0, cut + 1);
    if (!ToUtf8(std::wstring_view(full).substr(cut + 1), item.name) || item.name.empty())
        return FileResult::Failure(what + " '" + path + "': not a name of a file or folder");
    return OpenFolderHandle(folder, true, what, path, item.folder);
}

bool EntryInfo::ReadOnly() const
{
    // A folder's read-only bit is real here: it keeps the folder from being removed.
    return kind != EntryKind::Missing && kind != EntryKind::SymbolicLink && (mode & 0200) == 0;
}

EntryInfo LookUp(const std::string& path)
{
    std::wstring wide;
    if (!SystemPath(path, wide).ok()) {
        EntryInfo info;
        info.error = ENOENT;
        return info;
    }
    return InfoOfName(wide);
}

EntryInfo LookUpAt(const ItemAt& item)
{
    std::wstring wide;
    if (!SystemPathOf(item, "Cannot look at", wide).ok()) {
        EntryInfo info;
        info.error = EACCES;
        return info;
    }
    return InfoOfName(wide);
}

FileResult CreateFolderAt(const ItemAt& item)
{
    std::wstring wide;
    if (FileResult result = SystemPathOf(item, "Cannot create folder", wide); !result.ok())
        return result;
    if (!CreateDirectoryW(wide.c_str(), nullptr))
        return WindowsFailure("Cannot create folder", item.path, GetLastError());
    return FileResult::Success();
}

FileResult CreateFolderCopyAt(const std::string& fromRoot, const std::string& relative, const ItemAt& to)
{
    ItemAt from;
    std::wstring source;
    if (FileResult reached = ReachItem(fromRoot, relative, false, "Cannot read", from); !reached.ok())
        return reached;
    if (FileResult result = SystemPathOf(from, "Cannot read", source); !result.ok())
        return result;
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot read", from.path, GetLastError());
    if (attributes & kAttrReparsePoint)
        return FileResult::Failure("Cannot copy '" + from.path + "': " + kLinkNotCopied);
    if (!(attributes & kAttrFolder))
        return ErrnoFailure("Cannot copy", from.path, ENOTDIR);
    if (FileResult created = CreateFolderAt(to); !created.ok())
        return created;
    const DWORD carried = attributes & kCarriedAttributes;
    if (carried == 0)
        return FileResult::Success();
    std::wstring target;
    if (FileResult result = SystemPathOf(to, "Cannot set attributes of", target); !result.ok())
        return result;
    if (!SetFileAttributesW(target.c_str(), carried))
        return WindowsFailure("Cannot set attributes of", to.path, GetLastError());
    return FileResult::Success();
}

FileResult RemoveFolderAt(const ItemAt& item)
{
    std::wstring wide;
    if (FileResult result = SystemPathOf(item, "Cannot remove folder", wide); !result.ok())
        return result;
    // RemoveDirectoryW would take a junction or folder link away as well.
    const EntryInfo info = InfoOfAttributes(GetFileAttributesW(wide.c_str()));
    if (info.kind == EntryKind::Missing)
        return ErrnoFailure("Cannot remove folder", item.path, info.error);
    if (info.kind != EntryKind::Folder)
        return ErrnoFailure("Cannot remove folder", item.path, ENOTDIR);
    if (!RemoveDirectoryW(wide.c_str()))
        return WindowsFailure("Cannot remove folder", item.path, GetLastError());
    return FileResult::Success();
}

FileResult DeleteFileAt(const ItemAt& item)
{
    std::wstring wide;
    if (FileResult result = SystemPathOf(item, "Cannot delete", wide); !result.ok())
        return result;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot delete", item.path, GetLastError());
    if (attributes & kAttrReparsePoint)
        return DeleteLink(wide, item.path);
    if (attributes & kAttrFolder)
        return ErrnoFailure("Cannot delete", item.path, EISDIR);
    if (!DeleteFileW(wide.c_str()))
        return WindowsFailure("Cannot delete", item.path, GetLastError());
    return FileResult::Success();
}

FileResult SetArchiveOnlyAt(const ItemAt& item)
{
    std::wstring wide;
    if (FileResult result = SystemPathOf(item, "Cannot set attributes of", wide); !result.ok())
        return result;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot set attributes of", item.path, GetLastError());
    // A junction or link keeps its attributes; nothing behind it is changed.
    if (attributes & kAttrReparsePoint)
        return FileResult::Success();
    const DWORD wanted = (attributes & kAttrFolder) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_ARCHIVE;
    if (!SetFileAttributesW(wide.c_str(), wanted))
        return WindowsFailure("Cannot set attributes of", item.path, GetLastError());
    return FileResult::Success();
}

FileResult MarkUnsettledAt(const ItemAt& item, std::int64_t margin)
{
    std::wstring wide;
    if (FileResult result = SystemPathOf(item, "Cannot set the time of", wide); !result.ok())
        return result;
    Handle file(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info))
        return WindowsFailure("Cannot set the time of", item.path, GetLastError());
    // In 100 ns steps since 1601; the epoch is 11644473600 seconds later.
    constexpr std::int64_t kEpoch = 11644473600;
    const std::int64_t now =
        static_cast<std::int64_t>((static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
                                  info.ftLastWriteTime.dwLowDateTime) / 10000000 - kEpoch;
    const std::int64_t time = std::max<std::int64_t>(-kEpoch, std::min<std::int64_t>(0, now - margin));
    const auto ticks = static_cast<std::uint64_t>(time + kEpoch) * 10000000;
    const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    if (!SetFileTime(file.Get(), nullptr, nullptr, &written))
        return WindowsFailure("Cannot set the time of", item.path, GetLastError());
    return FileResult::Success();
}

FileResult CopyFileSafelyAt(const ItemAt& from, const ItemAt& to, const CopyProgress& progress,
                            WrittenFileSystems* written, const ReplaceCheck& beforeReplacing)
{
    std::wstring source;
    std::wstring target;
    if (FileResult result = SystemPathOf(from, "Cannot read", source); !result.ok())
        return result;
    if (FileResult result = SystemPathOf(to, "Cannot copy to", target); !result.ok())
        return result;

    // The name is looked at first: Wine opens a folder link as the folder it
    // leads to, and reports the link only here.
    const DWORD kind = GetFileAttributesW(source.c_str());
    if (kind == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot read", from.path, GetLastError());
    if (kind & kAttrReparsePoint)
        return FileResult::Failure("Cannot copy '" + from.path + "': " + kLinkNotCopied);
    if (kind & kAttrFolder)
        return ErrnoFailure("Cannot copy", from.path, EISDIR);

    Handle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!in.Valid())
        return WindowsFailure("Cannot read", from.path, GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(in.Get(), &info))
        return WindowsFailure("Cannot read", from.path, GetLastError());
    if (info.dwFileAttributes & kAttrReparsePoint)
        return FileResult::Failure("Cannot copy '" + from.path + "': " + kLinkNotCopied);
    if (info.dwFileAttributes & kAttrFolder)
        return ErrnoFailure("Cannot copy", from.path, EISDIR);

    const DWORD old = GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & (kAttrFolder | kAttrReparsePoint)))
        return FileResult::Failure("Cannot replace '" + to.path + "': not a regular file");

    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder + TempName();
        created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100))
            return WindowsFailure("Cannot copy to", to.path, GetLastError());
    }
    Handle out(created);
    auto fail = [&](FileResult result) {
        out.Close();
        Discard(temp);
        return result;
    };

    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    DWORD error = 0;
    switch (CopyData(in.Get(), out.Get(), size, progress, error)) {
    case CopyEnd::Done: {
        // A file changed while it was read gives a torn copy. Others may
        // only read it while it is open here; one that wrote to it already
        // can go on, so its size and time must be what they were.
        BY_HANDLE_FILE_INFORMATION now{};
        if (!GetFileInformationByHandle(in.Get(), &now))
            return fail(WindowsFailure("Cannot read", from.path, GetLastError()));
        if (now.nFileSizeHigh != info.nFileSizeHigh || now.nFileSizeLow != info.nFileSizeLow ||
            CompareFileTime(&now.ftLastWriteTime, &info.ftLastWriteTime) != 0)
            return fail(FileResult::Failure("Cannot copy '" + from.path + "': it changed while it was being copied"));
        break;
    }
    case CopyEnd::Cancelled:
        return fail(FileResult::Cancelled("Copy to '" + to.path + "' cancelled"));
    case CopyEnd::ReadFailed:
        return fail(WindowsFailure("Cannot read", from.path, error));
    case CopyEnd::WriteFailed:
        return fail(WindowsFailure("Cannot write", to.path, error));
    case CopyEnd::Faulted:
        return fail(ErrnoFailure("Cannot write", to.path, WriteFaultForTesting()->error));
    }
    if (!SetFileTime(out.Get(), nullptr, nullptr, &info.ftLastWriteTime))
        return fail(WindowsFailure("Cannot set the time of", to.path, GetLastError()));
    // There is no flush of a whole volume short of administrator rights, so
    // every file reaches the disk before it is renamed in; the rename is
    // written through as well.
    if (!FlushFileBuffers(out.Get()))
        return fail(WindowsFailure("Cannot write", to.path, GetLastError()));
    if (!out.Close())
        return fail(WindowsFailure("Cannot write", to.path, GetLastError()));
    const DWORD carried = info.dwFileAttributes & kCarriedAttributes;
    if (!SetFileAttributesW(temp.c_str(), carried ? carried : FILE_ATTRIBUTE_NORMAL))
        return fail(WindowsFailure("Cannot set attributes of", to.path, GetLastError()));
    if (beforeReplacing) {
        if (const EntryInfo existing = LookUpAt(to); existing.kind != EntryKind::Missing || existing.error != ENOENT)
            if (FileResult allowed = beforeReplacing(existing); !allowed.ok())
                return fail(allowed);
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(WindowsFailure("Cannot replace", to.path, GetLastError()));
    if (written)
        written->Note(to.folder);
    return FileResult::Success();
}

WrittenFileSystems::~WrittenFileSystems() = default;

WrittenFileSystems::Noted* WrittenFileSystems::Find(const FolderHandle& folder)
{
    BY_HANDLE_FILE_INFORMATION info{};
    const std::uint64_t fileSystem =
        GetFileInformationByHandle(HandleOf(folder), &info) ? info.dwVolumeSerialNumber : 0;
    for (Noted& noted : m_noted)
        if (noted.fileSystem == fileSystem)
            return &noted;
    m_noted.push_back({fileSystem, -1, 0, 1});
    return &m_noted.back();
}

// Every file is flushed before it is renamed in: no descriptor is kept.
std::uint64_t WrittenFileSystems::Note(const FolderHandle& folder, int writtenFd)
{
    const std::lock_guard lock(m_mutex);
    return NoteLocked(folder, writtenFd);
}

std::uint64_t WrittenFileSystems::NoteLocked(const FolderHandle& folder, int)
{
    return Find(folder)->fileSystem;
}

std::uint64_t WrittenFileSystems::Note(const ItemAt& item)
{
    const std::lock_guard lock(m_mutex);
    return Find(item.folder)->fileSystem;
}

bool WrittenFileSystems::FlushEachFile(const FolderHandle&)
{
    return true;
}

std::vector<WrittenFileSystems::Failure> WrittenFileSystems::FlushAll()
{
    // Each file was flushed before it was renamed in (see CopyFileSafelyAt);
    // only the test fault is left to report here.
    std::vector<Failure> failures;
    for (const Noted& noted : m_noted)
        if (const int error = FlushFaultErrorForTesting(); error != 0)
            failures.push_back({noted.fileSystem, error});
    return failures;
}

} // namespace tandrel::platform
