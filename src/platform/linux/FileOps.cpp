#include "platform/FileOps.h"

#include "platform/FileFaults.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <random>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace tandrel::platform {

namespace {


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

EntryInfo InfoOf(int result, const struct stat& st, const std::string& name)
{
    EntryInfo info;
    if (result != 0) {
        info.error = errno;
        return info;
    }
    info.kind = KindOf(st.st_mode);
    info.mode = st.st_mode & 07777;
    info.hidden = name.compare(0, 1, ".") == 0;
    info.system = info.kind == EntryKind::Special;
    info.size = st.st_size;
    info.mtime = st.st_mtim.tv_sec;
    return info;
}

std::string TempName()
{
    static std::atomic<unsigned> counter{0};
    static thread_local std::mt19937 random{std::random_device{}()};
    char name[80];
    std::snprintf(name, sizeof name, "%s%ld-%u-%08x.tmp", kTempFilePrefix, static_cast<long>(::getpid()),
                  counter.fetch_add(1, std::memory_order_relaxed), static_cast<unsigned>(random()));
    return name;
}

// The device a descriptor's file is on, from what the kernel holds: a
// network file system is not asked for the file's attributes again.
std::uint64_t DeviceOf(int fd)
{
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, 0, &sx) == 0)
        return static_cast<std::uint64_t>(makedev(sx.stx_dev_major, sx.stx_dev_minor));
    struct stat st;
    return ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_dev) : 0;
}

// The permission bits a file just created through `fd` was given (after the
// umask of this process or of the server), from what the kernel holds; -1
// when that cannot be told.
int CreatedMode(int fd)
{
    struct statx sx;
    if (::statx(fd, "", AT_EMPTY_PATH | AT_STATX_DONT_SYNC, STATX_MODE, &sx) != 0 || !(sx.stx_mask & STATX_MODE))
        return -1;
    return sx.stx_mode & 07777;
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
        if (const auto& fault = WriteFaultForTesting()) {
            const std::int64_t room = fault->afterBytes - written;
            if (room <= 0) {
                errno = fault->error;
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

enum class CopyEnd { Done, Failed, Cancelled };

// The content is copied in steps of kCopyStepBytes; between two steps the
// progress callback may stop the copy.
class SteppedCopy {
public:
    SteppedCopy(int in, int out, const struct stat& source, const CopyProgress& progress)
        : m_in(in), m_out(out), m_size(source.st_size),
          m_mayHaveHoles(static_cast<std::int64_t>(source.st_blocks) * 512 < m_size),
          m_progress(progress)
    {
    }

    bool readFailed = false;

    // The kernel's in-place copy is tried first; where it is not available
    // for this pair of files (another file system, for one), plain reads and
    // writes take over from where the copy stands.
    CopyEnd Run()
    {
        if (!WriteFaultForTesting()) {
            for (;;) {
                if (m_mayHaveHoles && !SkipHole())
                    return CopyEnd::Failed;
                const ssize_t n = ::copy_file_range(m_in, nullptr, m_out, nullptr, StepBytes(kCopyStepBytes), 0);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    const bool unsupported = errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP ||
                                             errno == EINVAL ||
                                             (m_written == 0 && (errno == EBADF || errno == EPERM));
                    if (unsupported)
                        break;
                    // Ambiguous whether reading or writing failed; a target-side
                    // error is by far the likelier (a full disk, quota).
                    return CopyEnd::Failed;
                }
                if (n == 0) {
                    // Some file systems report 0 for files whose size they do not
                    // know in advance; read those the ordinary way.
                    if (m_written < m_size)
                        break;
                    return Finish();
                }
                m_written += n;
                if (!GoOn())
                    return CopyEnd::Cancelled;
            }
        }
        return ByReadWrite();
    }

private:
    // A sparse file's holes stay holes: a step copies data only up to the
    // next hole, and the next one starts at the next byte of data, both
    // files' offsets moved there. Where the file system cannot say,
    // everything counts as data.
    bool SkipHole()
    {
        m_dataEnd = std::numeric_limits<std::int64_t>::max();
        off_t data = ::lseek(m_in, m_written, SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO)
                return true;
            data = std::max<off_t>(m_written, ::lseek(m_in, 0, SEEK_END)); // only a hole is left
        }
        if (const off_t hole = ::lseek(m_in, data, SEEK_HOLE); hole > data)
            m_dataEnd = hole;
        if (::lseek(m_in, data, SEEK_SET) < 0)
            return false;
        if (data > m_written) {
            if (::lseek(m_out, data, SEEK_SET) < 0)
                return false;
            m_written = data;
        }
        return true;
    }

    // At most `most` bytes, and none past the data that SkipHole found.
    std::size_t StepBytes(std::size_t most) const
    {
        const std::int64_t left = m_dataEnd - m_written;
        return left > 0 && left < static_cast<std::int64_t>(most) ? static_cast<std::size_t>(left) : most;
    }

    // A hole at the end is left by giving the copy its length.
    CopyEnd Finish()
    {
        if (m_mayHaveHoles && ::ftruncate(m_out, m_written) != 0)
            return CopyEnd::Failed;
        return CopyEnd::Done;
    }

    // True unless the progress callback, asked at a step's end while more is
    // to come, wants the copy stopped.
    bool GoOn()
    {
        if (m_written < m_nextStep)
            return true;
        m_nextStep = m_written + static_cast<std::int64_t>(kCopyStepBytes);
        return !m_progress || m_written >= m_size ||
               m_progress(static_cast<std::uint64_t>(m_written), static_cast<std::uint64_t>(m_size));
    }

    CopyEnd ByReadWrite()
    {
        static thread_local std::vector<char> buffer(256 * 1024);
        for (;;) {
            if (m_mayHaveHoles && !SkipHole())
                return CopyEnd::Failed;
            const ssize_t n = ::read(m_in, buffer.data(), StepBytes(buffer.size()));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                readFailed = true;
                return CopyEnd::Failed;
            }
            if (n == 0)
                return Finish();
            if (!WriteAll(m_out, buffer.data(), static_cast<std::size_t>(n), m_written))
                return CopyEnd::Failed;
            if (!GoOn())
                return CopyEnd::Cancelled;
        }
    }

    int m_in;
    int m_out;
    std::int64_t m_size;
    bool m_mayHaveHoles;
    const CopyProgress& m_progress;
    std::int64_t m_written = 0;
    std::int64_t m_dataEnd = std::numeric_limits<std::int64_t>::max(); // where the data in hand ends
    std::int64_t m_nextStep = static_cast<std::int64_t>(kCopyStepBytes);
};

// Creates a new temporary entry by `make(name)`, which returns false with
// errno set; names are drawn until one is free.
template <typename Make>
bool MakeTempEntry(std::string& name, Make make)
{
    for (int attempt = 0;; ++attempt) {
        name = TempName();
        if (make(name))
            return true;
        if (errno != EEXIST || attempt >= 100)
            return false;
    }
}

// Asks `beforeReplacing` about what is at `to`, if anything. A look that
// fails for another reason than absence counts as something there, so that
// the replace is checked and, for a file, flushed first.
FileResult CheckReplace(const ItemAt& to, const ReplaceCheck& beforeReplacing, bool& present)
{
    struct stat existing;
    const int looked = ::fstatat(to.folder.Fd(), to.name.c_str(), &existing, AT_SYMLINK_NOFOLLOW);
    present = looked == 0 || errno != ENOENT;
    if (!present || !beforeReplacing)
        return FileResult::Success();
    return beforeReplacing(InfoOf(looked, existing, to.name));
}

FileResult CopyLink(const ItemAt& from, const ItemAt& to, const struct stat& st, const ReplaceCheck& beforeReplacing)
{
    std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 64) + 1);
    for (;;) {
        const ssize_t n = ::readlinkat(from.folder.Fd(), from.name.c_str(), target.data(), target.size());
        if (n < 0)
            return ErrnoFailure("Cannot read link", from.path, errno);
        if (static_cast<std::size_t>(n) < target.size()) {
            target.resize(static_cast<std::size_t>(n));
            break;
        }
        target.resize(target.size() * 2);
    }
    target.push_back('\0');

    const int folder = to.folder.Fd();
    std::string temp;
    if (!MakeTempEntry(temp, [&](const std::string& name) {
            return ::symlinkat(target.data(), folder, name.c_str()) == 0;
        }))
        return ErrnoFailure("Cannot copy to", to.path, errno);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    ::utimensat(folder, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
    bool present = false;
    if (FileResult allowed = CheckReplace(to, beforeReplacing, present); !allowed.ok()) {
        ::unlinkat(folder, temp.c_str(), 0);
        return allowed;
    }
    if (::renameat(folder, temp.c_str(), folder, to.name.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        return ErrnoFailure("Cannot replace", to.path, err);
    }
    return FileResult::Success();
}

// A file read while something writes to it gives a copy that is neither
// the old nor the new content: its size and times must be what they were when
// it was opened.
FileResult SameSinceOpened(int fd, const struct stat& opened, const std::string& path)
{
    struct stat now;
    if (::fstat(fd, &now) != 0)
        return ErrnoFailure("Cannot read", path, errno);
    auto same = [](const struct timespec& a, const struct timespec& b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    if (now.st_size == opened.st_size && same(now.st_mtim, opened.st_mtim) && same(now.st_ctim, opened.st_ctim))
        return FileResult::Success();
    return FileResult::Failure("Cannot copy '" + path + "': it changed while it was being copied");
}

int OpenLevel(int folder, const std::string& name)
{
    return ::openat(folder, name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

} // namespace

FileResult ReachItem(const std::string& root, const std::string& relative, bool createMissing,
                     const std::string& what, ItemAt& item)
{
    std::vector<std::string> levels;
    if (FileResult split = SplitBelowRoot(root, relative, what, item, levels); !split.ok())
        return split;

    FolderHandle folder(::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (folder.Fd() < 0)
        return ErrnoFailure(what, item.path, errno);
    std::string reached = root;
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        const std::string& level = levels[i];
        reached = JoinPath(reached, level);
        int next = OpenLevel(folder.Fd(), level);
        if (next < 0 && errno == ENOENT && createMissing) {
            if (::mkdirat(folder.Fd(), level.c_str(), 0777) != 0 && errno != EEXIST)
                return ErrnoFailure(what, item.path, errno);
            next = OpenLevel(folder.Fd(), level);
        }
        if (next < 0) {
            const int err = errno;
            struct stat st;
            if ((err == ENOTDIR || err == ELOOP) &&
                ::fstatat(folder.Fd(), level.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                return FileResult::Failure(what + " '" + item.path + "': '" + reached +
                                           "' is a symbolic link, which is not followed");
            return ErrnoFailure(what, item.path, err);
        }
        folder = FolderHandle(next);
    }
    item.folder = std::move(folder);
    item.name = levels.back();
    return FileResult::Success();
}

FileResult ReachPath(const std::string& path, const std::string& what, ItemAt& item)
{
    item.path = path;
    const auto slash = path.rfind('/');
    item.name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = FolderOf(path);
    item.folder = FolderHandle(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (item.folder.Fd() < 0)
        return ErrnoFailure(what, path, errno);
    return FileResult::Success();
}

bool EntryInfo::ReadOnly() const
{
    return (kind == EntryKind::RegularFile || kind == EntryKind::Special) && (mode & S_IWUSR) == 0;
}

EntryInfo LookUp(const std::string& path)
{
    struct stat st;
    const int result = ::lstat(path.c_str(), &st);
    const auto slash = path.rfind('/');
    return InfoOf(result, st, slash == std::string::npos ? path : path.substr(slash + 1));
}

EntryInfo LookUpAt(const ItemAt& item)
{
    struct stat st;
    const int result = ::fstatat(item.folder.Fd(), item.name.c_str(), &st, AT_SYMLINK_NOFOLLOW);
    return InfoOf(result, st, item.name);
}

FileResult CreateFolderAt(const ItemAt& item)
{
    if (::mkdirat(item.folder.Fd(), item.name.c_str(), 0777) != 0)
        return ErrnoFailure("Cannot create folder", item.path, errno);
    return FileResult::Success();
}

FileResult CreateFolderCopyAt(const std::string&, const std::string&, const ItemAt& to)
{
    return CreateFolderAt(to);
}

FileResult RemoveFolderAt(const ItemAt& item)
{
    if (::unlinkat(item.folder.Fd(), item.name.c_str(), AT_REMOVEDIR) != 0)
        return ErrnoFailure("Cannot remove folder", item.path, errno);
    return FileResult::Success();
}

FileResult DeleteFileAt(const ItemAt& item)
{
    if (::unlinkat(item.folder.Fd(), item.name.c_str(), 0) != 0)
        return ErrnoFailure("Cannot delete", item.path, errno);
    return FileResult::Success();
}

FileResult SetArchiveOnlyAt(const ItemAt& item)
{
    // The item itself is held open (without following a link), and its rights
    // are changed through that descriptor: nothing swapped in after the look
    // can be changed instead.
    const int fd = ::openat(item.folder.Fd(), item.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return ErrnoFailure("Cannot set attributes of", item.path, errno);
    FolderHandle held(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return ErrnoFailure("Cannot set attributes of", item.path, errno);
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) != 0)
        return FileResult::Success();
    char byDescriptor[40];
    std::snprintf(byDescriptor, sizeof byDescriptor, "/proc/self/fd/%d", fd);
    if (::chmod(byDescriptor, (st.st_mode & 07777) | S_IWUSR) == 0)
        return FileResult::Success();
    int err = errno;
    // Without /proc: by name, still never following a link.
    if (err == ENOENT &&
        ::fchmodat(item.folder.Fd(), item.name.c_str(), (st.st_mode & 07777) | S_IWUSR, AT_SYMLINK_NOFOLLOW) == 0)
        return FileResult::Success();
    if (err == ENOENT)
        err = errno;
    return ErrnoFailure("Cannot set attributes of", item.path, err);
}

FileResult MarkUnsettledAt(const ItemAt& item, std::int64_t margin)
{
    struct stat st;
    if (::fstatat(item.folder.Fd(), item.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoFailure("Cannot set the time of", item.path, errno);
    const std::int64_t now = st.st_mtim.tv_sec;
    const std::int64_t earliest = std::numeric_limits<time_t>::min();
    const std::int64_t time = std::min<std::int64_t>(0, now < earliest + margin ? earliest : now - margin);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time), 0}};
    if (::utimensat(item.folder.Fd(), item.name.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoFailure("Cannot set the time of", item.path, errno);
    return FileResult::Success();
}

FileResult CopyFileSafelyAt(const ItemAt& from, const ItemAt& to, const CopyProgress& progress,
                            WrittenFileSystems* written, const ReplaceCheck& beforeReplacing)
{
    struct stat st;
    if (::fstatat(from.folder.Fd(), from.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
        return ErrnoFailure("Cannot read", from.path, errno);
    if (S_ISLNK(st.st_mode))
    {
        FileResult result = CopyLink(from, to, st, beforeReplacing);
        if (result.ok() && written)
            written->Note(to.folder);
        return result;
    }
    if (S_ISDIR(st.st_mode))
        return ErrnoFailure("Cannot copy", from.path, EISDIR);
    if (!S_ISREG(st.st_mode))
        return FileResult::Failure("Cannot copy '" + from.path +
                                   "': not a regular file (a FIFO, socket or device is never copied)");

    // O_NONBLOCK keeps the open from hanging should a FIFO have taken the
    // file's place since the look above; the fstat below refuses it then.
    const int in = ::openat(from.folder.Fd(), from.name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (in < 0)
        return ErrnoFailure("Cannot read", from.path, errno);
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return FileResult::Failure("Cannot copy '" + from.path + "': not a regular file");
    }
    ::fcntl(in, F_SETFL, ::fcntl(in, F_GETFL) & ~O_NONBLOCK);

    const int folder = to.folder.Fd();
    std::string temp;
    int out = -1;
    // The temporary file is made with the copy's permission bits (always
    // writable by its owner while it is written), so that on a network file
    // system the usual case needs no change of rights afterwards: each is a
    // round trip. Setuid and setgid bits are not carried: the copy has another owner.
    const auto wantedMode = static_cast<int>(st.st_mode & 01777);
    if (!MakeTempEntry(temp, [&](const std::string& name) {
            out = ::openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                           static_cast<mode_t>((wantedMode & 0777) | S_IWUSR));
            return out >= 0;
        })) {
        const int err = errno;
        ::close(in);
        return ErrnoFailure("Cannot copy to", to.path, err);
    }

    auto fail = [&](FileResult result) {
        CloseQuietly(out);
        ::close(in);
        ::unlinkat(folder, temp.c_str(), 0);
        return result;
    };

    const int createdMode = CreatedMode(out);
    SteppedCopy copy(in, out, st, progress);
    switch (copy.Run()) {
    case CopyEnd::Done:
        if (FileResult unchanged = SameSinceOpened(in, st, from.path); !unchanged.ok())
            return fail(unchanged);
        break;
    case CopyEnd::Cancelled:
        return fail(FileResult::Cancelled("Copy to '" + to.path + "' cancelled"));
    case CopyEnd::Failed: {
        const int err = errno;
        return fail(copy.readFailed ? ErrnoFailure("Cannot read", from.path, err)
                                    : ErrnoFailure("Cannot write", to.path, err));
    }
    }
    if (createdMode != wantedMode && ::fchmod(out, static_cast<mode_t>(wantedMode)) != 0)
        return fail(ErrnoFailure("Cannot set permissions of", to.path, errno));
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::futimens(out, times) != 0)
        return fail(ErrnoFailure("Cannot set the time of", to.path, errno));
    // Flushed to disk before it takes the place of an existing file, so that a
    // crash can never leave the old contents lost and the new ones unwritten.
    // A file new to the target folder replaces nothing; it reaches the disk
    // with the flush at the end of the run, which keeps copies of many small
    // files fast; but where that flush does not reach the server (FUSE,
    // network), each file is flushed here, on the row's own thread.
    bool present = false;
    if (FileResult allowed = CheckReplace(to, beforeReplacing, present); !allowed.ok())
        return fail(allowed);
    if (present || (written && written->FlushEachFile(to.folder))) {
        int synced;
        while ((synced = ::fsync(out)) != 0 && errno == EINTR) {
        }
        if (synced != 0)
            return fail(ErrnoFailure("Cannot write", to.path, errno));
    }
    if (written)
        written->Note(to.folder, out);
    const int closing = out;
    out = -1;
    // On this system the descriptor is gone even when close is interrupted.
    if (::close(closing) != 0 && errno != EINTR)
        return fail(ErrnoFailure("Cannot write", to.path, errno));
    ::close(in);
    if (::renameat(folder, temp.c_str(), folder, to.name.c_str()) != 0) {
        const int err = errno;
        ::unlinkat(folder, temp.c_str(), 0);
        return ErrnoFailure("Cannot replace", to.path, err);
    }
    return FileResult::Success();
}

WrittenFileSystems::~WrittenFileSystems()
{
    for (const Noted& noted : m_noted)
        CloseQuietly(noted.fd);
}

WrittenFileSystems::Noted* WrittenFileSystems::Find(const FolderHandle& folder)
{
    const std::uint64_t fileSystem = DeviceOf(folder.Fd());
    auto noted = std::find_if(m_noted.begin(), m_noted.end(),
                              [fileSystem](const Noted& n) { return n.fileSystem == fileSystem; });
    if (noted != m_noted.end())
        return &*noted;
    m_noted.push_back({fileSystem, -1, EBADF, -1});
    return &m_noted.back();
}

std::uint64_t WrittenFileSystems::Note(const FolderHandle& folder, int writtenFd)
{
    const std::lock_guard lock(m_mutex);
    return NoteLocked(folder, writtenFd);
}

std::uint64_t WrittenFileSystems::NoteLocked(const FolderHandle& folder, int writtenFd)
{
    Noted& noted = *Find(folder);
    if (noted.fd < 0) {
        // syncfs wants a descriptor opened for real, not one of O_PATH. The
        // written file's own can always be had; a folder may not be readable.
        noted.fd = writtenFd >= 0 ? ::fcntl(writtenFd, F_DUPFD_CLOEXEC, 0)
                                  : ::openat(folder.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        noted.openError = noted.fd < 0 ? errno : 0;
    }
    return noted.fileSystem;
}

std::uint64_t WrittenFileSystems::Note(const ItemAt& item)
{
    const std::lock_guard lock(m_mutex);
    if (const Noted& noted = *Find(item.folder); noted.fd >= 0)
        return noted.fileSystem;
    const int fd = ::openat(item.folder.Fd(), item.name.c_str(),
                            O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    const std::uint64_t fileSystem = NoteLocked(item.folder, fd);
    CloseQuietly(fd);
    return fileSystem;
}

bool WrittenFileSystems::FlushEachFile(const FolderHandle& folder)
{
    const std::lock_guard lock(m_mutex);
    Noted& noted = *Find(folder);
    if (noted.flushEach < 0)
        noted.flushEach = IsNetworkFileSystem(folder.Fd()) ? 1 : 0;
    return noted.flushEach == 1;
}

std::vector<WrittenFileSystems::Failure> WrittenFileSystems::FlushAll()
{
    const std::lock_guard lock(m_mutex);
    std::vector<Failure> failures;
    for (const Noted& noted : m_noted) {
        int error = FlushFaultErrorForTesting();
        if (error == 0 && noted.fd < 0)
            error = noted.openError; // nothing to flush this file system by
        else if (error == 0 && ::syncfs(noted.fd) != 0)
            error = errno;
        if (error != 0)
            failures.push_back({noted.fileSystem, error});
    }
    return failures;
}

} // namespace tandrel::platform
