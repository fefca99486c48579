// The Windows form of the test tree, for the tests of the Windows build. Its
// files are made through the system calls directly, on long paths too, so
// that what the code under test does is checked against Windows itself.
// Links, FIFOs, POSIX modes and unprivileged children are not made here: the
// tests that need them are Linux's only.
#include "support/TempTree.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tandrel::test {

namespace {

// The tests change files that the code under test holds open.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

void CheckWindows(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + platform::SystemMessage(GetLastError()));
}

// The system's form of a path, long paths included.
std::wstring Native(const std::string& utf8)
{
    std::wstring wide;
    if (!platform::SystemPath(utf8, wide).ok())
        throw std::runtime_error("not a path: " + utf8);
    return wide;
}

std::string Utf8(std::wstring_view wide)
{
    std::string utf8;
    if (!platform::ToUtf8(wide, utf8))
        throw std::runtime_error("a name that is not valid UTF-16");
    return utf8;
}

// Under Wine, the host's name of `path`; empty elsewhere.
std::string HostName(const std::wstring& path)
{
    using Call = char*(__cdecl*)(const wchar_t*);
    const auto call = reinterpret_cast<Call>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = call ? call(path.c_str()) : nullptr;
    const std::string host = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return host;
}

// Runs a host command under Wine, then waits until `path` is there or gone
// as `present` says: Wine starts the command through a helper whose end and
// exit code say nothing of the command's own.
bool RunOnHost(const std::string& command, const std::wstring& path, bool present)
{
    std::wstring wide(command.begin(), command.end());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (CreateProcessW(nullptr, wide.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, 30'000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    for (int wait = 0; wait < 100; ++wait, Sleep(50)) {
        if ((GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) == present)
            return true;
    }
    return false;
}

// A file, a link or a whole folder, read-only ones too, with the attributes
// its folder's listing gave (Wine's GetFileAttributesW follows a link); a
// folder link is taken away as a link, never with what it leads to.
void RemoveItem(const std::wstring& path, DWORD attributes)
{
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    const bool link = attributes & FILE_ATTRIBUTE_REPARSE_POINT;
    if (folder && link && RunsUnderWine()) {
        RunOnHost("/bin/rm -f \"" + HostName(path) + "\"", path, false); // Wine would remove its target
        return;
    }
    if (!folder) {
        DeleteFileW(path.c_str());
        return;
    }
    if (!link) {
        WIN32_FIND_DATAW data{};
        const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                const std::wstring_view name = data.cFileName;
                if (name != L"." && name != L"..")
                    RemoveItem(path + L"\\" + data.cFileName, data.dwFileAttributes);
            } while (FindNextFileW(search, &data));
            FindClose(search);
        }
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveItem(const std::wstring& path)
{
    WIN32_FIND_DATAW data{};
    const HANDLE search = FindFirstFileW(path.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    RemoveItem(path, data.dwFileAttributes);
}

// The folder `relative` of `tree` and every missing folder above it.
void MakeFolders(const TempTree& tree, const std::string& relative)
{
    for (std::size_t end = relative.find_first_of("/\\");; end = relative.find_first_of("/\\", end + 1)) {
        const std::string folder = tree.Path(relative.substr(0, end));
        const std::wstring path = Native(folder);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            CheckWindows(CreateDirectoryW(path.c_str(), nullptr), "CreateDirectoryW " + folder);
        if (end == std::string::npos)
            return;
    }
}

} // namespace

TempTree::TempTree(const std::string& below)
{
    static std::atomic<unsigned> counter{0};
    std::string base = below.empty() ? Utf8(fs::temp_directory_path().wstring()) : below;
    std::replace(base.begin(), base.end(), '\\', '/');
    if (!base.empty() && base.back() != '/')
        base += '/';
    // Wine reuses process ids: a folder left by a killed run is stepped over.
    for (;;) {
        m_root = base + "tandrel-test-" + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(counter.fetch_add(1)) + "/";
        if (CreateDirectoryW(Native(m_root).c_str(), nullptr))
            return;
        CheckWindows(GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectoryW " + m_root);
    }
}

TempTree::~TempTree()
{
    std::wstring root = Native(m_root);
    root.pop_back();
    RemoveItem(root);
}

void TempTree::WriteFile(const std::string& relative, const std::string& content)
{
    const std::size_t parent = relative.find_last_of("/\\");
    if (parent != std::string::npos)
        MakeFolders(*this, relative.substr(0, parent));
    const std::wstring path = Native(Path(relative));
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    CheckWindows(file != INVALID_HANDLE_VALUE, "create " + Path(relative));
    DWORD written = 0;
    const bool wrote = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
    CheckWindows(wrote && written == content.size(), "write " + Path(relative));
}

void TempTree::WriteFile(const std::string& relative, const std::string& content, std::int64_t mtime, long nanoseconds)
{
    WriteFile(relative, content);
    if (mtime > INT64_MIN + 1)
        SetMtime(relative, mtime, nanoseconds);
}

void TempTree::MakeDir(const std::string& relative)
{
    MakeFolders(*this, relative);
}

void TempTree::SetMtime(const std::string& relative, std::int64_t seconds, long nanoseconds)
{
    // FILETIME counts 100 ns steps from 1601.
    const std::uint64_t ticks = static_cast<std::uint64_t>((seconds + 11644473600LL) * 10000000LL + nanoseconds / 100);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = CreateFileW(Native(Path(relative)).c_str(), FILE_WRITE_ATTRIBUTES,
                                    kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    CheckWindows(file != INVALID_HANDLE_VALUE, "open " + Path(relative));
    const bool set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    CheckWindows(set, "SetFileTime " + Path(relative));
}

void TempTree::MakeReadOnly(const std::string& relative)
{
    const std::wstring path = Native(Path(relative));
    const DWORD attributes = GetFileAttributesW(path.c_str());
    CheckWindows(attributes != INVALID_FILE_ATTRIBUTES, "GetFileAttributesW " + Path(relative));
    CheckWindows(SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY),
                 "SetFileAttributesW " + Path(relative));
}

std::string TempTree::ReadFile(const std::string& relative) const
{
    const HANDLE file = CreateFileW(Native(Path(relative)).c_str(), GENERIC_READ, kShareAll, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    std::string content;
    if (file == INVALID_HANDLE_VALUE)
        return content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool TempTree::Exists(const std::string& relative) const
{
    return Attributes(relative) != INVALID_FILE_ATTRIBUTES;
}

std::pair<std::int64_t, long> TempTree::Mtime(const std::string& relative) const
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    CheckWindows(GetFileAttributesExW(Native(Path(relative)).c_str(), GetFileExInfoStandard, &data),
                 "GetFileAttributesExW " + Path(relative));
    const std::int64_t ticks = static_cast<std::int64_t>(
        (std::uint64_t{data.ftLastWriteTime.dwHighDateTime} << 32) | data.ftLastWriteTime.dwLowDateTime);
    const std::int64_t sinceEpoch = ticks - 11644473600LL * 10000000LL;
    const std::int64_t seconds = sinceEpoch >= 0 ? sinceEpoch / 10000000 : (sinceEpoch - 9999999) / 10000000;
    return {seconds, static_cast<long>((sinceEpoch - seconds * 10000000) * 100)};
}

void TempTree::Remove(const std::string& relative)
{
    RemoveItem(Native(Path(relative)));
}

std::uint32_t TempTree::Attributes(const std::string& relative) const
{
    return GetFileAttributesW(Native(Path(relative)).c_str());
}

bool TempTree::MakeFolderLink(const std::string& relative, const std::string& target) const
{
    const std::wstring link = Native(Path(relative));
    const std::wstring to = Native(Path(target));
    if (RunsUnderWine())
        return RunOnHost("/bin/ln -s \"" + HostName(to) + "\" \"" + HostName(link) + "\"", link, true);
    return CreateSymbolicLinkW(link.c_str(), to.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}

bool TempTree::KeepsDosAttributes()
{
    WriteFile("probe", "");
    const std::wstring probe = Native(Path("probe"));
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const DWORD back = GetFileAttributesW(probe.c_str());
    Remove("probe");
    return back != INVALID_FILE_ATTRIBUTES && (back & FILE_ATTRIBUTE_HIDDEN) && (back & FILE_ATTRIBUTE_SYSTEM);
}

std::uint32_t TempTree::BitsAlwaysReported()
{
    WriteFile("probe", "");
    const std::wstring probe = Native(Path("probe"));
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD back = GetFileAttributesW(probe.c_str());
    Remove("probe");
    return back == INVALID_FILE_ATTRIBUTES ? 0 : back & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
}

bool RunsUnderWine()
{
    return !HostName(L"C:\\").empty();
}

std::string LongRelativeFolder(const std::string& root)
{
    std::string relative;
    while (root.size() + relative.size() <= MAX_PATH + 20)
        relative += std::string(40, 'd') + "\\";
    relative.pop_back();
    return relative;
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::wstring pattern = Native(folder);
    pattern += pattern.back() == L'\\' ? L"*" : L"\\*";
    WIN32_FIND_DATAW data{};
    const HANDLE search = FindFirstFileW(pattern.c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring_view name = data.cFileName;
            if (name != L"." && name != L"..")
                names.push_back(Utf8(name));
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void SetEnvironment(const char* name, const char* value)
{
    _putenv_s(name, value ? value : "");
}

std::string Slashed(std::string path)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

namespace {

// The system's words for a POSIX error: its strerror text and the messages of
// the Windows errors of that meaning.
std::vector<std::string> ReasonsFor(int error)
{
    static const std::pair<int, DWORD> kSameMeaning[] = {
        {ENOENT, ERROR_FILE_NOT_FOUND}, {ENOENT, ERROR_PATH_NOT_FOUND}, {ENOTDIR, ERROR_PATH_NOT_FOUND},
        {ENOTDIR, ERROR_DIRECTORY},     {EEXIST, ERROR_ALREADY_EXISTS}, {EEXIST, ERROR_FILE_EXISTS},
        {EACCES, ERROR_ACCESS_DENIED},  {ENOTEMPTY, ERROR_DIR_NOT_EMPTY}};
    std::vector<std::string> reasons{std::strerror(error)};
    for (const auto& [posix, windows] : kSameMeaning)
        if (posix == error)
            reasons.push_back(platform::SystemMessage(windows));
    return reasons;
}

} // namespace

bool SaysReason(const std::string& text, int error)
{
    for (const std::string& reason : ReasonsFor(error))
        if (text.find(reason) != std::string::npos)
            return true;
    return false;
}

bool IsFailure(const std::string& text, const std::string& what, int error)
{
    for (const std::string& reason : ReasonsFor(error))
        if (text == what + reason)
            return true;
    return false;
}

} // namespace tandrel::test
