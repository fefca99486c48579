#include "platform/IncomingFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tandrel::platform {
namespace {

std::string TemporaryName()
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[80];
    std::snprintf(name, sizeof name, "%s%ld-%u-%08x.tmp", kTempFilePrefix, static_cast<long>(::getpid()),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    return name;
}

// Names are drawn until `make(name)` finds one free (it returns false with errno set).
template <typename Make>
bool MakeTemporary(std::string& name, Make make)
{
    for (int attempt = 0;; ++attempt) {
        name = TemporaryName();
        if (make(name))
            return true;
        if (errno != EEXIST || attempt >= 100)
            return false;
    }
}

// Asks `beforeReplacing` about what is at `to`; a look that fails for
// another reason than absence counts as something there.
FileResult CheckTarget(const ItemAt& to, const ReplaceCheck& beforeReplacing, bool& present)
{
    const EntryInfo existing = LookUpAt(to);
    present = existing.kind != EntryKind::Missing || existing.error != ENOENT;
    if (!present || !beforeReplacing)
        return FileResult::Success();
    return beforeReplacing(existing);
}

} // namespace

IncomingFile::~IncomingFile()
{
    Discard();
}

void IncomingFile::Discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (m_to && !m_temporary.empty())
        ::unlinkat(m_to->folder.Fd(), m_temporary.c_str(), 0);
    m_temporary.clear();
}

FileResult IncomingFile::Open(const ItemAt& to)
{
    m_to = &to;
    if (!MakeTemporary(m_temporary, [&](const std::string& name) {
            m_fd = ::openat(to.folder.Fd(), name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            return m_fd >= 0;
        })) {
        m_temporary.clear();
        return ErrnoFailure("Cannot copy to", to.path, errno);
    }
    return FileResult::Success();
}

FileResult IncomingFile::Append(std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return ErrnoFailure("Cannot write", m_to->path, n == 0 ? ENOSPC : errno);
        bytes.remove_prefix(static_cast<std::size_t>(n));
        m_written += static_cast<std::uint64_t>(n);
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
    if (::fchmod(m_fd, static_cast<mode_t>(mode & 01777)) != 0)
        return fail(ErrnoFailure("Cannot set permissions of", to.path, errno));
    const struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    if (::futimens(m_fd, times) != 0)
        return fail(ErrnoFailure("Cannot set the time of", to.path, errno));
    bool present = false;
    if (FileResult allowed = CheckTarget(to, beforeReplacing, present); !allowed.ok())
        return fail(allowed);
    // As a local copy: flushed before it replaces a file, or where the
    // flush at the end of the run would not reach the disk.
    if (present || (written && written->FlushEachFile(to.folder))) {
        int synced;
        while ((synced = ::fsync(m_fd)) != 0 && errno == EINTR) {
        }
        if (synced != 0)
            return fail(ErrnoFailure("Cannot write", to.path, errno));
    }
    if (written)
        written->Note(to.folder, m_fd);
    const int closing = m_fd;
    m_fd = -1;
    if (::close(closing) != 0 && errno != EINTR)
        return fail(ErrnoFailure("Cannot write", to.path, errno));
    if (::renameat(to.folder.Fd(), m_temporary.c_str(), to.folder.Fd(), to.name.c_str()) != 0)
        return fail(ErrnoFailure("Cannot replace", to.path, errno));
    m_temporary.clear();
    return FileResult::Success();
}

FileResult MakeLinkSafelyAt(const ItemAt& to, const std::string& text, std::int64_t mtime,
                            const ReplaceCheck& beforeReplacing)
{
    const int folder = to.folder.Fd();
    std::string temporary;
    if (!MakeTemporary(temporary, [&](const std::string& name) {
            return ::symlinkat(text.c_str(), folder, name.c_str()) == 0;
        }))
        return ErrnoFailure("Cannot copy to", to.path, errno);
    auto fail = [&](FileResult result) {
        ::unlinkat(folder, temporary.c_str(), 0);
        return result;
    };
    const struct timespec times[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    if (::utimensat(folder, temporary.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return fail(ErrnoFailure("Cannot set the time of", to.path, errno));
    bool present = false;
    if (FileResult allowed = CheckTarget(to, beforeReplacing, present); !allowed.ok())
        return fail(allowed);
    if (::renameat(folder, temporary.c_str(), folder, to.name.c_str()) != 0)
        return fail(ErrnoFailure("Cannot replace", to.path, errno));
    return FileResult::Success();
}

} // namespace tandrel::platform
