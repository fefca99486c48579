#include "platform/windows/WindowsFiles.h"

#include "platform/FileOps.h"
#include "platform/windows/WideText.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <random>

namespace tandrel::platform {

namespace {

constexpr std::uint32_t kCarriedAttributes = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;
constexpr DWORD kCopyStepBytes = 4u << 20;
constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;

std::uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

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

std::wstring TempName()
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[96];
    std::snprintf(name, sizeof name, "%s%lu-%u-%08x.tmp", kTempFilePrefix, GetCurrentProcessId(),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    std::wstring wide;
    ToWide(name, wide);
    return wide;
}

std::wstring FolderOfSystemPath(const std::wstring& path)
{
    const auto pos = path.find_last_of(L'\\');
    return pos == std::wstring::npos ? std::wstring() : path.substr(0, pos + 1);
}

// Removes a temporary file of a copy that did not finish.
void Discard(const std::wstring& temp)
{
    SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temp.c_str());
}

enum class CopyEnd { Done, Failed, Cancelled };

CopyEnd CopyData(HANDLE in, HANDLE out, std::uint64_t size, const CopySteps& progress, DWORD& error)
{
    std::vector<char> buffer(kCopyStepBytes);
    std::uint64_t done = 0;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), kCopyStepBytes, &got, nullptr)) {
            error = GetLastError();
            return CopyEnd::Failed;
        }
        if (got == 0)
            return CopyEnd::Done;
        DWORD put = 0;
        if (!WriteFile(out, buffer.data(), got, &put, nullptr) || put != got) {
            error = GetLastError();
            return CopyEnd::Failed;
        }
        done += got;
        if (progress && !progress(done, size))
            return CopyEnd::Cancelled;
    }
}

} // namespace

std::int64_t EpochSecondsFromFileTime(std::uint64_t ticks)
{
    const std::int64_t since1970 = static_cast<std::int64_t>(ticks - kTicksFrom1601To1970);
    const std::int64_t seconds = since1970 / 10'000'000;
    return since1970 % 10'000'000 < 0 ? seconds - 1 : seconds;
}

FileResult ListFolder(const std::string& folder, std::vector<WindowsEntry>& entries)
{
    std::wstring pattern;
    if (FileResult result = SystemPath(folder, pattern); !result.ok())
        return result;
    pattern += pattern.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                           FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return WindowsFailure("Cannot read folder", folder, GetLastError());
    std::string name;
    FileResult result = FileResult::Success();
    do {
        const std::wstring_view wide(data.cFileName);
        if (wide == L"." || wide == L"..")
            continue;
        if (!ToUtf8(wide, name)) {
            result = FileResult::Failure("A name in folder '" + folder + "' is not valid UTF-16");
            break;
        }
        WindowsEntry entry;
        entry.name = name;
        entry.attributes = data.dwFileAttributes;
        entry.size = static_cast<std::int64_t>((static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        entry.mtime = EpochSecondsFromFileTime(Ticks(data.ftLastWriteTime));
        entries.push_back(std::move(entry));
    } while (FindNextFileW(search, &data));
    const DWORD end = GetLastError();
    FindClose(search);
    if (result.ok() && end != ERROR_NO_MORE_FILES)
        return WindowsFailure("Cannot read folder", folder, end);
    return result;
}

FileResult ReadAttributes(const std::string& path, std::uint32_t& attributes)
{
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok())
        return result;
    const DWORD found = GetFileAttributesW(wide.c_str());
    if (found == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot read the attributes of", path, GetLastError());
    attributes = found;
    return FileResult::Success();
}

FileResult WriteAttributes(const std::string& path, std::uint32_t attributes)
{
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok())
        return result;
    const DWORD wanted = attributes & kCarriedAttributes;
    if (!SetFileAttributesW(wide.c_str(), wanted ? wanted : FILE_ATTRIBUTE_NORMAL))
        return WindowsFailure("Cannot set the attributes of", path, GetLastError());
    return FileResult::Success();
}

FileResult SetArchiveOnly(const std::string& path)
{
    return WriteAttributes(path, kAttrArchive);
}

FileResult CreateFolder(const std::string& path)
{
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok())
        return result;
    if (!CreateDirectoryW(wide.c_str(), nullptr))
        return WindowsFailure("Cannot create folder", path, GetLastError());
    return FileResult::Success();
}

FileResult RemoveFolder(const std::string& path)
{
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok())
        return result;
    if (!RemoveDirectoryW(wide.c_str()))
        return WindowsFailure("Cannot remove folder", path, GetLastError());
    return FileResult::Success();
}

FileResult RemoveFile(const std::string& path, bool removeReadOnly)
{
    std::wstring wide;
    if (FileResult result = SystemPath(path, wide); !result.ok())
        return result;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return WindowsFailure("Cannot delete", path, GetLastError());
    if (attributes & kAttrReadOnly) {
        if (!removeReadOnly)
            return FileResult::Failure("Cannot delete '" + path + "': the file is read-only");
        if (!SetFileAttributesW(wide.c_str(), attributes & ~DWORD{kAttrReadOnly}))
            return WindowsFailure("Cannot delete", path, GetLastError());
    }
    if (!DeleteFileW(wide.c_str())) {
        const DWORD error = GetLastError();
        SetFileAttributesW(wide.c_str(), attributes);
        return WindowsFailure("Cannot delete", path, error);
    }
    return FileResult::Success();
}

FileResult CopyFileSafely(const std::string& from, const std::string& to, bool overwriteReadOnly,
                          const CopySteps& progress)
{
    std::wstring source;
    std::wstring target;
    if (FileResult result = SystemPath(from, source); !result.ok())
        return result;
    if (FileResult result = SystemPath(to, target); !result.ok())
        return result;

    Handle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!in.Valid())
        return WindowsFailure("Cannot open", from, GetLastError());
    BY_HANDLE_FILE_INFORMATION info {};
    if (!GetFileInformationByHandle(in.Get(), &info))
        return WindowsFailure("Cannot open", from, GetLastError());
    if (info.dwFileAttributes & (kAttrFolder | kAttrReparsePoint))
        return FileResult::Failure("Cannot copy '" + from + "': not a regular file");

    const DWORD old = GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES) {
        if (old & (kAttrFolder | kAttrReparsePoint))
            return FileResult::Failure("Cannot replace '" + to + "': not a regular file");
        if ((old & kAttrReadOnly) && !overwriteReadOnly)
            return FileResult::Failure("Cannot replace '" + to + "': the file is read-only");
    }

    const std::wstring folder = FolderOfSystemPath(target);
    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = folder + TempName();
        created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100))
            return WindowsFailure("Cannot copy to", to, GetLastError());
    }
    Handle out(created);

    const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    DWORD error = 0;
    const CopyEnd end = CopyData(in.Get(), out.Get(), size, progress, error);
    if (end != CopyEnd::Done) {
        out.Close();
        Discard(temp);
        if (end == CopyEnd::Cancelled)
            return FileResult::Cancelled("Copy of '" + from + "' cancelled");
        return WindowsFailure("Cannot copy to", to, error);
    }
    if (!SetFileTime(out.Get(), nullptr, nullptr, &info.ftLastWriteTime)) {
        error = GetLastError();
        out.Close();
        Discard(temp);
        return WindowsFailure("Cannot set the time of", to, error);
    }
    if (!out.Close()) {
        error = GetLastError();
        Discard(temp);
        return WindowsFailure("Cannot copy to", to, error);
    }
    const DWORD carried = info.dwFileAttributes & kCarriedAttributes;
    if (!SetFileAttributesW(temp.c_str(), carried ? carried : FILE_ATTRIBUTE_NORMAL)) {
        error = GetLastError();
        Discard(temp);
        return WindowsFailure("Cannot set the attributes of", to, error);
    }

    // A read-only target cannot be replaced until its flag is cleared; it is
    // put back if the replacement fails.
    const bool clearedReadOnly = old != INVALID_FILE_ATTRIBUTES && (old & kAttrReadOnly);
    if (clearedReadOnly && !SetFileAttributesW(target.c_str(), old & ~DWORD{kAttrReadOnly})) {
        error = GetLastError();
        Discard(temp);
        return WindowsFailure("Cannot replace", to, error);
    }
    if (!MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = GetLastError();
        Discard(temp);
        if (clearedReadOnly)
            SetFileAttributesW(target.c_str(), old);
        return WindowsFailure("Cannot replace", to, error);
    }
    return FileResult::Success();
}

} // namespace tandrel::platform
