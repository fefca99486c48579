#include "platform/FileOps.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tandrel::platform {

namespace {

std::optional<WriteFault> g_writeFault;

EntryKind KindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::RegularFile;
    if (S_ISDIR(mode))
        return EntryKind::Folder;
    if (S_ISLNK(mode))
        return EntryKind::SymbolicLink;
    return EntryKind::Special;
}

std::string TempNameIn(const std::string& folder)
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, "%s%ld-%u-%08x.tmp", kTempFilePrefix, static_cast<long>(::getpid()),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    return (folder == "/" ? folder : folder + "/") + name;
}

void CloseQuietly(int fd)
{
    if (fd >= 0)
        ::close(fd);
}

// Writes all of [data, data + size), retrying short writes and interrupted
// calls; `written` counts the file's bytes so far, for the test fault.
bool WriteAll(int fd, const char* data, std::size_t size, std::int64_t& written)
{
    while (size > 0) {
        std::size_t chunk = size;
        if (g_writeFault) {
            const std::int64_t room = g_writeFault->afterBytes - written;
            if (room <= 0) {
                errno = g_writeFault->error;
                return false;
            }
            if (static_cast<std::int64_t>(chunk) > room)
                chunk = static_cast<std::size_t>(room);
        }
        const ssize_t n = ::write(fd, data, chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
        written += n;
    }
    return true;
}

bool CopyByReadWrite(int in, int out, std::int64_t& written, bool& readFailed)
{
    static thread_local std::vector<char> buffer(256 * 1024);
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            readFailed = true;
            return false;
        }
        if (n == 0)
            return true;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n), written))
            return false;
    }
}

// Copies the whole content. The kernel's in-place copy is tried first; when
// it is not available for this pair of files, plain reads and writes are used.
bool CopyContent(int in, int out, std::int64_t sourceSize, bool& readFailed)
{
    std::int64_t written = 0;
    if (!g_writeFault) {
        for (;;) {
            const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                                         errno == EINVAL || errno == EBADF || errno == EPERM;
                if (written == 0 && unsupported)
                    break;
                // Ambiguous whether reading or writing failed; a target-side
                // error is by far the likelier (a full disk, quota).
                return false;
            }
            if (n == 0) {
                // Some file systems report 0 for files whose size they do not
                // know in advance; read those the ordinary way.
                if (written == 0 && sourceSize > 0)
                    break;
                return true;
            }
            written += n;
        }
    }
    return CopyByReadWrite(in, out, written, readFailed);
}

FileResult CopyLink(const std::string& from, const std::string& to, const struct stat& st)
{
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 64) + 1);
    for (;;) {
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0)
            return ErrnoFailure("Cannot read link", from, errno);
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    target.push_back('\0');

    const std::string folder = FolderOf(to);
    std::string temp;
    for (int attempt = 0;; ++attempt) {
        temp = TempNameIn(folder);
        if (::symlink(target.data(), temp.c_str()) == 0)
            break;
        if (errno != EEXIST || attempt >= 100)
            return ErrnoFailure("Cannot copy to", to, errno);
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
    if (::rename(temp.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return ErrnoFailure("Cannot replace", to, err);
    }
    return FileResult::Success();
}

} // namespace

bool EntryInfo::ReadOnly() const
{
    return (kind == EntryKind::RegularFile || kind == EntryKind::Special) && (mode & S_IWUSR) == 0;
}

EntryInfo LookUp(const std::string& path)
{
    EntryInfo info;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) {
        info.error = errno;
        return info;
    }
    info.kind = KindOf(st.st_mode);
    info.mode = st.st_mode & 07777;
    return info;
}

FileResult CreateFolder(const std::string& path)
{
    if (::mkdir(path.c_str(), 0777) != 0)
        return ErrnoFailure("Cannot create folder", path, errno);
    return FileResult::Success();
}

FileResult RemoveFolder(const std::string& path)
{
    if (::rmdir(path.c_str()) != 0)
        return ErrnoFailure("Cannot remove folder", path, errno);
    return FileResult::Success();
}

FileResult DeleteFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        return ErrnoFailure("Cannot delete", path, errno);
    return FileResult::Success();
}

FileResult SetArchiveOnly(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        return ErrnoFailure("Cannot set attributes of", path, errno);
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) != 0)
        return FileResult::Success();
    if (::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
        return ErrnoFailure("Cannot set attributes of", path, errno);
    return FileResult::Success();
}

FileResult CopyFileSafely(const std::string& from, const std::string& to)
{
    struct stat st;
    if (::lstat(from.c_str(), &st) != 0)
        return ErrnoFailure("Cannot read", from, errno);
    if (S_ISLNK(st.st_mode))
        return CopyLink(from, to, st);
    if (S_ISDIR(st.st_mode))
        return ErrnoFailure("Cannot copy", from, EISDIR);
    if (!S_ISREG(st.st_mode))
        return FileResult::Failure("Cannot copy '" + from +
                                   "': not a regular file (a FIFO, socket or device is never copied)");

    // O_NONBLOCK keeps the open from hanging should a FIFO have taken the
    // file's place since the look above; the fstat below refuses it then.
    const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return ErrnoFailure("Cannot read", from, errno);
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return FileResult::Failure("Cannot copy '" + from + "': not a regular file");
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    const std::string folder = FolderOf(to);
    std::string temp;
    int out = -1;
    for (int attempt = 0; out < 0; ++attempt) {
        temp = TempNameIn(folder);
        out = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (out < 0 && (errno != EEXIST || attempt >= 100)) {
            const int err = errno;
            ::close(in);
            return ErrnoFailure("Cannot copy to", to, err);
        }
    }

    auto fail = [&](FileResult result) {
        CloseQuietly(out);
        ::close(in);
        ::unlink(temp.c_str());
        return result;
    };

    bool readFailed = false;
    if (!CopyContent(in, out, st.st_size, readFailed)) {
        const int err = errno;
        return fail(readFailed ? ErrnoFailure("Cannot read", from, err) : ErrnoFailure("Cannot write", to, err));
    }
    // Setuid and setgid bits are not carried: the copy has another owner.
    if (::fchmod(out, st.st_mode & 01777) != 0)
        return fail(ErrnoFailure("Cannot set permissions of", to, errno));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out, times) != 0)
        return fail(ErrnoFailure("Cannot set the time of", to, errno));
    // Flushed to disk before it takes the place of an existing file, so that a
    // crash can never leave the old contents lost and the new ones unwritten.
    // A file new to the target folder replaces nothing: a crash can at worst
    // leave it short, which the next comparison shows, and skipping the flush
    // keeps copies of many small files fast.
    struct stat existing;
    if (::lstat(to.c_str(), &existing) == 0) {
        int synced;
        while ((synced = ::fsync(out)) != 0 && errno == EINTR) {
        }
        if (synced != 0)
            return fail(ErrnoFailure("Cannot write", to, errno));
    }
    const int closing = out;
    out = -1;
    // On this system the descriptor is gone even when close is interrupted.
    if (::close(closing) != 0 && errno != EINTR)
        return fail(ErrnoFailure("Cannot write", to, errno));
    ::close(in);
    if (::rename(temp.c_str(), to.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return ErrnoFailure("Cannot replace", to, err);
    }
    return FileResult::Success();
}

void SetWriteFaultForTesting(std::optional<WriteFault> fault)
{
    g_writeFault = fault;
}

} // namespace tandrel::platform
