#include "platform/windows/WindowsFiles.h"

#include "platform/windows/WideText.h"

#include <windows.h>

namespace tandrel::platform {

namespace {

constexpr std::uint64_t kTicksFrom1601To1970 = 116444736000000000ull;

std::uint64_t Ticks(const FILETIME& time)
{
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
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

std::uint32_t LinkBitOfName(const std::wstring& path)
{
    static const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    const DWORD named = underWine ? GetFileAttributesW(path.c_str()) : INVALID_FILE_ATTRIBUTES;
    return named == INVALID_FILE_ATTRIBUTES ? 0 : named & kAttrReparsePoint;
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

} // namespace tandrel::platform
