#include "platform/IncomingFile.h"

#include "platform/windows/WideText.h"
#include "platform/windows/WindowsFiles.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

// Windows offers no calls relative to an open folder: the temporary file is
// made by path in the target's folder, which the held folder handle keeps
// from being renamed or removed meanwhile.

namespace tandrel::platform {
namespace {

std::string TemporaryName()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    char name[96];
    std::snprintf(name, sizeof name, "%s%lu-%u-%08x.tmp", kTempFilePrefix, GetCurrentProcessId(),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    return name;
}

FILETIME FileTimeOf(std::int64_t seconds)
{
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds * 10'000'000 + 116444736000000000LL);
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

} // namespace

IncomingFile::~IncomingFile()
{
    Discard();
}

void IncomingFile::Discard()
{
    if (m_handle)
        CloseHandle(static_cast<HANDLE>(m_handle));
    m_handle = nullptr;
    std::wstring temporary;
    if (!m_temporary.empty() && ToWide(m_temporary, temporary)) {
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temporary.c_str());
    }
    m_temporary.clear();
}

FileResult IncomingFile::Open(const ItemAt& to)
{
    m_to = &to;
    std::wstring target;
    if (FileResult result = SystemPath(to.path, target); !result.ok())
        return result;
    const std::wstring folder = target.substr(0, target.find_last_of(L'\\') + 1);
    for (int attempt = 0;; ++attempt) {
        std::wstring name;
        ToWide(TemporaryName(), name);
        const std::wstring temporary = folder + name;
        const HANDLE created =
            CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE) {
            m_handle = created;
            ToUtf8(temporary, m_temporary);
            return FileResult::Success();
        }
        if (GetLastError() != ERROR_FILE_EXISTS || attempt >= 100)
            return WindowsFailure("Cannot copy to", to.path, GetLastError());
    }
}

FileResult IncomingFile::Append(std::string_view bytes)
{
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD put = 0;
        if (!WriteFile(static_cast<HANDLE>(m_handle), bytes.data(), chunk, &put, nullptr) || put == 0)
            return WindowsFailure("Cannot write", m_to->path, put == 0 && GetLastError() == 0 ? ERROR_DISK_FULL
                                                                                               : GetLastError());
        bytes.remove_prefix(put);
        m_written += put;
    }
    return FileResult::Success();
}

FileResult IncomingFile::Commit(unsigned mode, std::int64_t mtime, WrittenFileSystems* written,
                                const ReplaceCheck& beforeReplacing)
{
    const ItemAt& to = *m_to;
    auto fail = [this](FileResult result) {
        Discard();
        return result;
    };
    const FILETIME time = FileTimeOf(mtime);
    if (!SetFileTime(static_cast<HANDLE>(m_handle), nullptr, nullptr, &time))
        return fail(WindowsFailure("Cannot set the time of", to.path, GetLastError()));
    // Every file reaches the disk before it is renamed in, as a local copy here does.
    if (!FlushFileBuffers(static_cast<HANDLE>(m_handle)))
        return fail(WindowsFailure("Cannot write", to.path, GetLastError()));
    const HANDLE closing = static_cast<HANDLE>(m_handle);
    m_handle = nullptr;
    if (!CloseHandle(closing))
        return fail(WindowsFailure("Cannot write", to.path, GetLastError()));
    std::wstring temporary;
    std::wstring target;
    ToWide(m_temporary, temporary);
    if (FileResult result = SystemPath(to.path, target); !result.ok())
        return fail(result);
    if (!(mode & 0200) && !SetFileAttributesW(temporary.c_str(), kAttrReadOnly))
        return fail(WindowsFailure("Cannot set attributes of", to.path, GetLastError()));
    if (beforeReplacing) {
        if (const EntryInfo existing = LookUpAt(to); existing.kind != EntryKind::Missing || existing.error != ENOENT)
            if (FileResult allowed = beforeReplacing(existing); !allowed.ok())
                return fail(allowed);
    }
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return fail(WindowsFailure("Cannot replace", to.path, GetLastError()));
    m_temporary.clear();
    if (written)
        written->Note(to.folder);
    return FileResult::Success();
}

FileResult MakeLinkSafelyAt(const ItemAt& to, const std::string&, std::int64_t, const ReplaceCheck&)
{
    return FileResult::Failure("Cannot copy to '" + to.path +
                               "': the item is a symbolic link, which is not copied on this system");
}

} // namespace tandrel::platform
