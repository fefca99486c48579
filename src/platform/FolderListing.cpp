#include "platform/FolderListing.h"

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tandrel::platform {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

int Fd::Release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

void Fd::Reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

bool ListedEntry::IsFolder() const
{
    return S_ISDIR(mode);
}

namespace {

// Cleared once the kernel turns openat2 down (too old, or filtered out).
std::atomic<bool> g_openat2Works{true};

int OpenNameByName(int base, const std::string& relative, int flags)
{
    // Every name is its own step, each opened without following a link;
    // the folders in between need only be searchable.
    int fd = base;
    std::size_t start = 0;
    while (true) {
        const std::size_t slash = relative.find('/', start);
        const bool last = slash == std::string::npos;
        const std::string name = relative.substr(start, last ? std::string::npos : slash - start);
        const int stepFlags = last ? flags : (O_PATH | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        const int next = ::openat(fd, name.c_str(), stepFlags);
        const int saved = errno;
        if (fd != base)
            ::close(fd);
        if (next < 0) {
            errno = saved;
            return -1;
        }
        if (last)
            return next;
        fd = next;
        start = slash + 1;
    }
}

bool FillFromStatx(const struct statx& sx, ListedEntry& entry)
{
    entry.mode = sx.stx_mode;
    entry.size = static_cast<std::int64_t>(sx.stx_size);
    entry.mtime = sx.stx_mtime.tv_sec;
    return entry.mode != 0;
}

constexpr unsigned kEntryFields = STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME;

} // namespace

int OpenBelow(int base, const std::string& relative, int flags)
{
    flags |= O_NOFOLLOW | O_CLOEXEC;
    if (relative.empty())
        return ::openat(base, ".", flags);
    if (relative.find('/') == std::string::npos)
        return ::openat(base, relative.c_str(), flags);
    if (g_openat2Works.load(std::memory_order_relaxed)) {
        struct open_how how {};
        how.flags = static_cast<std::uint64_t>(flags);
        how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
        const long fd = ::syscall(SYS_openat2, base, relative.c_str(), &how, sizeof how);
        if (fd >= 0)
            return static_cast<int>(fd);
        if (errno == ENOSYS || errno == EPERM)
            g_openat2Works.store(false, std::memory_order_relaxed);
        else if (errno != ENAMETOOLONG && errno != EAGAIN)
            return -1;
    }
    return OpenNameByName(base, relative, flags);
}

bool ReadListing(int folderFd, std::vector<ListedEntry>& entries, std::uint32_t& count)
{
    entries.clear();
    count = 0;
    // Large reads: on a network file system each one is a round trip.
    alignas(8) static thread_local char buffer[64 * 1024];
    while (true) {
        const ssize_t got = ::getdents64(folderFd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return count > 0;
        }
        if (got == 0)
            return true;
        for (ssize_t at = 0; at < got;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += d->d_reclen;
            const std::uint32_t index = count++;
            const char* name = d->d_name;
            if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
                continue;
            ListedEntry& entry = entries.emplace_back();
            entry.name = name;
            entry.index = index;
            struct statx sx;
            if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, kEntryFields, &sx) == 0)
                FillFromStatx(sx, entry);
        }
    }
}

bool LookUpEntry(int folderFd, const std::string& name, ListedEntry& entry)
{
    struct statx sx;
    if (::statx(folderFd, name.c_str(), AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, kEntryFields, &sx) != 0)
        return false;
    entry.name = name;
    return FillFromStatx(sx, entry);
}

bool IdentityOf(int fd, FolderIdentity& identity)
{
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return false;
    identity.device = st.st_dev;
    identity.inode = st.st_ino;
    identity.links = st.st_nlink;
    identity.size = st.st_size;
    identity.mtimeSec = st.st_mtim.tv_sec;
    identity.mtimeNsec = st.st_mtim.tv_nsec;
    identity.ctimeSec = st.st_ctim.tv_sec;
    identity.ctimeNsec = st.st_ctim.tv_nsec;
    identity.mode = st.st_mode;
    identity.uid = st.st_uid;
    identity.gid = st.st_gid;
    return true;
}

bool CanEnter(int folderFd, const char* name)
{
    return ::faccessat(folderFd, name, X_OK, AT_EACCESS) == 0;
}

bool IsNetworkFileSystem(int fd)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969UL:     // NFS
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
    case 0x65735546UL: // FUSE (sshfs, ...)
    case 0x00C36400UL: // Ceph
    case 0x6B414653UL: // AFS
    case 0x5346414FUL: // OpenAFS
    case 0x73757245UL: // Coda
    case 0x01021997UL: // 9P
    case 0x0BD00BD0UL: // Lustre
    case 0x47504653UL: // GPFS
    case 0x01161970UL: // GFS2
    case 0x7461636FUL: // OCFS2
        return true;
    default:
        return false;
    }
}

bool MayFoldCase(int folderFd)
{
    struct statfs fs;
    if (::fstatfs(folderFd, &fs) != 0)
        return false;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4D44UL:     // FAT
    case 0x2011BAB0UL: // exFAT
    case 0x5346544EUL: // NTFS
    case 0x7366746EUL: // NTFS3
    case 0x517BUL:     // SMB
    case 0xFF534D42UL: // CIFS
    case 0xFE534D42UL: // SMB2
        return true;
    case 0xEF53UL:     // ext4
    case 0xF2F52010UL: // F2FS
    {
        int flags = 0;
        return ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    }
    default:
        return false;
    }
}

} // namespace tandrel::platform
