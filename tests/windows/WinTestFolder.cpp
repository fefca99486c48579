#include "windows/WinTestFolder.h"

#include "engine/Scanner.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

namespace tandrel::test {

namespace {

std::wstring Wide(const std::string& path)
{
    std::wstring wide;
    EXPECT_TRUE(platform::SystemPath(path, wide).ok()) << path;
    return wide;
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

void RemoveTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW data {};
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            const std::wstring path = folder + L"\\" + name;
            SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveTree(path);
            else if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && RunsUnderWine()) // a folder link:
                RunOnHost("/bin/rm -f \"" + HostName(path) + "\"", path, false); // Wine would remove its target
            else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveDirectoryW(path.c_str());
            else
                DeleteFileW(path.c_str());
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

} // namespace

WinTestFolder::WinTestFolder(const std::string& below)
{
    static std::atomic<unsigned> counter{0};
    wchar_t temp[MAX_PATH + 1];
    std::string base = below;
    if (base.empty()) {
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        EXPECT_TRUE(length > 0 && platform::ToUtf8(std::wstring_view(temp, length), base));
    }
    if (base.empty() || base.back() != '\\')
        base += '\\';
    // Wine reuses process ids: a folder left by a killed run is stepped over.
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_root = base + "tandrel-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "\\";
        if (CreateDirectoryW(Wide(m_root).c_str(), nullptr))
            return;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    ADD_FAILURE() << "cannot create a test folder " << m_root;
}

WinTestFolder::~WinTestFolder()
{
    std::wstring root = Wide(m_root);
    root.pop_back();
    RemoveTree(root);
}

void WinTestFolder::MakeFolders(const std::string& relative) const
{
    for (std::size_t pos = relative.find('\\');; pos = relative.find('\\', pos + 1)) {
        const std::wstring folder = Wide(Path(relative.substr(0, pos)));
        if (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
            ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << relative << " error " << GetLastError();
        }
        if (pos == std::string::npos)
            break;
    }
}

void WinTestFolder::WriteFile(const std::string& relative, const std::string& content) const
{
    const HANDLE file = CreateFileW(Wide(Path(relative)).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative << " error " << GetLastError();
    DWORD written = 0;
    EXPECT_TRUE(::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    EXPECT_EQ(written, content.size());
    CloseHandle(file);
}

std::string WinTestFolder::ReadFile(const std::string& relative) const
{
    const HANDLE file = CreateFileW(Wide(Path(relative)).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string content;
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        content.append(buffer, got);
    CloseHandle(file);
    return content;
}

bool WinTestFolder::Exists(const std::string& relative) const
{
    return GetFileAttributesW(Wide(Path(relative)).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WinTestFolder::SetWriteTime(const std::string& relative, std::int64_t epochSeconds) const
{
    const HANDLE file = CreateFileW(Wide(Path(relative)).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
    const std::uint64_t ticks = static_cast<std::uint64_t>(epochSeconds) * 10'000'000ull + 116444736000000000ull;
    FILETIME time {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &time));
    CloseHandle(file);
}

std::uint32_t WinTestFolder::Attributes(const std::string& relative) const
{
    return GetFileAttributesW(Wide(Path(relative)).c_str());
}

bool WinTestFolder::MakeFolderLink(const std::string& relative, const std::string& target) const
{
    const std::wstring link = Wide(Path(relative));
    const std::wstring to = Wide(Path(target));
    if (RunsUnderWine())
        return RunOnHost("/bin/ln -s \"" + HostName(to) + "\" \"" + HostName(link) + "\"", link, true);
    return CreateSymbolicLinkW(link.c_str(), to.c_str(),
                               SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
}

bool WinTestFolder::KeepsDosAttributes() const
{
    WriteFile("probe", "");
    const std::wstring probe = Wide(Path("probe"));
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    const DWORD back = GetFileAttributesW(probe.c_str());
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(probe.c_str());
    return back != INVALID_FILE_ATTRIBUTES && (back & FILE_ATTRIBUTE_HIDDEN) && (back & FILE_ATTRIBUTE_SYSTEM);
}

std::uint32_t WinTestFolder::BitsAlwaysReported() const
{
    WriteFile("probe", "");
    const std::wstring probe = Wide(Path("probe"));
    SetFileAttributesW(probe.c_str(), FILE_ATTRIBUTE_NORMAL);
    const DWORD back = GetFileAttributesW(probe.c_str());
    DeleteFileW(probe.c_str());
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

engine::ResultStore CompareFolders(const WinTestFolder& t, const settings::CompareOptions& options)
{
    engine::ResultStore store;
    engine::RunFlag flag;
    flag.Set(true);
    const std::vector<std::string> ignoredTypes;
    engine::ScanContext context;
    context.sourceRoot = t.Path("src");
    context.destinationRoot = t.Path("dst");
    context.includeSubdirectories = true;
    context.options = &options;
    context.ignoredTypes = &ignoredTypes;
    context.runFlag = &flag;
    context.store = &store;
    engine::RunScan(context);
    return store;
}

std::set<std::string> RowPaths(const engine::ResultStore& store, engine::ResultCategory category)
{
    std::set<std::string> rows;
    for (const auto& item : store.List(category))
        rows.insert(item.relativePath);
    return rows;
}

} // namespace tandrel::test
