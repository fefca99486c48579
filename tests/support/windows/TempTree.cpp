// The Windows form of the test tree, for the tests of the Windows build.
// Links, FIFOs, POSIX modes and unprivileged children are not made here: the
// tests that need them are Linux's only.
#include "support/TempTree.h"

#include "platform/windows/WideText.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace tandrel::test {

namespace {

fs::path Native(const std::string& utf8)
{
    std::wstring wide;
    if (!platform::ToWide(utf8, wide))
        throw std::runtime_error("not UTF-8: " + utf8);
    return fs::path(wide);
}

std::string Utf8(const std::wstring& wide)
{
    std::string utf8;
    if (!platform::ToUtf8(wide, utf8))
        throw std::runtime_error("a name that is not valid UTF-16");
    return utf8;
}

void CheckWindows(bool ok, const std::string& what)
{
    if (!ok)
        throw std::runtime_error(what + ": " + platform::SystemMessage(GetLastError()));
}

} // namespace

TempTree::TempTree()
{
    static std::atomic<unsigned> counter{0};
    std::wstring base = fs::temp_directory_path().wstring();
    std::replace(base.begin(), base.end(), L'\\', L'/');
    if (!base.empty() && base.back() != L'/')
        base += L'/';
    for (;;) {
        const std::wstring folder = base + L"tandrel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                    std::to_wstring(counter.fetch_add(1));
        if (CreateDirectoryW(folder.c_str(), nullptr)) {
            m_root = Utf8(folder) + "/";
            return;
        }
        CheckWindows(GetLastError() == ERROR_ALREADY_EXISTS, "CreateDirectoryW");
    }
}

TempTree::~TempTree()
{
    std::error_code ec;
    fs::remove_all(Native(m_root), ec);
}

void TempTree::WriteFile(const std::string& relative, const std::string& content)
{
    const fs::path p = Native(Path(relative));
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error("open " + Path(relative));
    out << content;
}

void TempTree::WriteFile(const std::string& relative, const std::string& content, std::int64_t mtime, long nanoseconds)
{
    WriteFile(relative, content);
    if (mtime > INT64_MIN + 1)
        SetMtime(relative, mtime, nanoseconds);
}

void TempTree::MakeDir(const std::string& relative)
{
    fs::create_directories(Native(Path(relative)));
}

void TempTree::SetMtime(const std::string& relative, std::int64_t seconds, long nanoseconds)
{
    // FILETIME counts 100 ns steps from 1601.
    const std::uint64_t ticks = static_cast<std::uint64_t>((seconds + 11644473600LL) * 10000000LL + nanoseconds / 100);
    FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    const HANDLE file = CreateFileW(Native(Path(relative)).c_str(), FILE_WRITE_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    CheckWindows(file != INVALID_HANDLE_VALUE, "open " + Path(relative));
    const bool set = SetFileTime(file, nullptr, nullptr, &time);
    CloseHandle(file);
    CheckWindows(set, "SetFileTime " + Path(relative));
}

void TempTree::MakeReadOnly(const std::string& relative)
{
    const std::wstring path = Native(Path(relative)).wstring();
    const DWORD attributes = GetFileAttributesW(path.c_str());
    CheckWindows(attributes != INVALID_FILE_ATTRIBUTES, "GetFileAttributesW " + Path(relative));
    CheckWindows(SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_READONLY),
                 "SetFileAttributesW " + Path(relative));
}

std::string TempTree::ReadFile(const std::string& relative) const
{
    std::ifstream in(Native(Path(relative)), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool TempTree::Exists(const std::string& relative) const
{
    std::error_code ec;
    return fs::symlink_status(Native(Path(relative)), ec).type() != fs::file_type::not_found && !ec;
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
    fs::remove_all(Native(Path(relative)));
}

std::vector<std::string> FolderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(Native(folder), ec))
        names.push_back(Utf8(entry.path().filename().wstring()));
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
