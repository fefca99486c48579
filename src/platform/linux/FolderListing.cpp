#include "platform/FolderListing.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/openat2.h>
#include <map>
#include <mutex>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tandrel::platform {

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

const int kOpenToList = O_RDONLY | O_DIRECTORY;
const int kOpenAsAnchor = O_PATH | O_DIRECTORY;

int OpenFolder(const std::string& path, int flags)
{
    return ::open(path.c_str(), flags | O_CLOEXEC);
}

bool IsHidden(const ListedEntry& entry)
{
    return !entry.name.empty() && entry.name[0] == '.';
}

bool IsReadOnly(const ListedEntry& entry)
{
    return (entry.mode & S_IWUSR) == 0;
}

bool IsSystem(const ListedEntry& entry)
{
    return !(S_ISREG(entry.mode) || S_ISDIR(entry.mode) || S_ISLNK(entry.mode));
}

bool IsArchived(const ListedEntry&)
{
    return false;
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

bool ReadListing(int folderFd, std::vector<ListedEntry>& entries, std::uint32_t& count,
                 const std::function<bool()>& goOn)
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
            // A listing cut short would make the names not yet read look absent.
            return false;
        }
        if (got == 0)
            return true;
        for (ssize_t at = 0; at < got;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += d->d_reclen;
            const std::uint32_t index = count++;
            const char* name = d->d_name;
            if (!(name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))) {
                ListedEntry& entry = entries.emplace_back();
                entry.name = name;
                entry.index = index;
                struct statx sx;
                if (::statx(folderFd, name, AT_SYMLINK_NOFOLLOW | AT_STATX_SYNC_AS_STAT, kEntryFields, &sx) == 0)
                    FillFromStatx(sx, entry);
                else
                    entry.error = errno;
            }
            if (goOn && !goOn()) {
                errno = ECANCELED;
                return false;
            }
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

namespace {

// File systems by their statfs magic: whether every request travels to
// another machine or process, and whether names match without regard to case.
struct KnownFileSystem {
    unsigned long magic;
    bool network;
    bool foldsCase;
};

constexpr KnownFileSystem kKnownFileSystems[] = {
    {0x6969UL, true, false},     // NFS
    {0x517BUL, true, true},      // SMB
    {0xFF534D42UL, true, true},  // CIFS
    {0xFE534D42UL, true, true},  // SMB2
    {0x65735546UL, true, false}, // FUSE (sshfs, ...)
    {0x00C36400UL, true, false}, // Ceph
    {0x6B414653UL, true, false}, // AFS
    {0x5346414FUL, true, false}, // OpenAFS
    {0x73757245UL, true, false}, // Coda
    {0x01021997UL, true, false}, // 9P
    {0x0BD00BD0UL, true, false}, // Lustre
    {0x47504653UL, true, false}, // GPFS
    {0x01161970UL, true, false}, // GFS2
    {0x7461636FUL, true, false}, // OCFS2
    {0x4D44UL, false, true},     // FAT
    {0x2011BAB0UL, false, true}, // exFAT
    {0x5346544EUL, false, true}, // NTFS
    {0x7366746EUL, false, true}, // NTFS3
};

constexpr unsigned long kExt4 = 0xEF53UL;
constexpr unsigned long kF2fs = 0xF2F52010UL;

const KnownFileSystem* FileSystemOf(int fd, unsigned long& magic)
{
    struct statfs fs;
    if (::fstatfs(fd, &fs) != 0)
        return nullptr;
    magic = static_cast<unsigned long>(fs.f_type);
    for (const KnownFileSystem& known : kKnownFileSystems)
        if (known.magic == magic)
            return &known;
    return nullptr;
}

} // namespace

bool IsNetworkFileSystem(int fd)
{
    unsigned long magic = 0;
    const KnownFileSystem* known = FileSystemOf(fd, magic);
    return known && known->network;
}

namespace {

// A name with the case of its ASCII letters swapped.
std::string Flipped(const std::string& name)
{
    std::string flipped = name;
    for (char& c : flipped) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return flipped;
}

bool NamesIn(int folderFd, std::vector<std::string>& names)
{
    const Fd list(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!list.Valid())
        return false;
    alignas(8) char buffer[16 * 1024];
    while (true) {
        const ssize_t got = ::getdents64(list.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return got == 0;
        for (ssize_t at = 0; at < got;) {
            const auto* d = reinterpret_cast<const struct dirent64*>(buffer + at);
            at += d->d_reclen;
            names.emplace_back(d->d_name);
        }
    }
}

enum class CaseAnswer { Folds, Exact, Unknown };

// Asks the folder itself: a listed name with its letters' case swapped, one
// the listing does not hold, is either not there (names match exactly) or
// found (the file system folds case). Identities cannot tell: FUSE file
// systems may give every name looked up an inode number of its own.
CaseAnswer AskFolder(int folderFd)
{
    std::vector<std::string> names;
    if (!NamesIn(folderFd, names))
        return CaseAnswer::Unknown;
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        const std::string flipped = Flipped(name);
        if (flipped == name || std::binary_search(names.begin(), names.end(), flipped))
            continue;
        struct stat st;
        if (::fstatat(folderFd, flipped.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return CaseAnswer::Folds;
        if (errno != ENOENT && errno != ENOTDIR)
            return CaseAnswer::Unknown;
        // Not there, while the name as listed still is.
        if (::fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0)
            return CaseAnswer::Exact;
    }
    return CaseAnswer::Unknown;
}

// What each file system answered, by device number, for a while only: once
// a file system is unmounted its number goes to the next one mounted. Folders
// that cannot answer (no name with a letter) are asked a few times, then the
// table decides.
struct CaseMemory {
    unsigned long magic = 0;
    CaseAnswer answer = CaseAnswer::Unknown;
    unsigned asked = 0;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
};
constexpr unsigned kMaxAsked = 8;
constexpr auto kRemembered = std::chrono::seconds(30);
// Never destroyed: a reader let go after a cancel may still ask while the
// program exits.
std::mutex& g_caseMutex = *new std::mutex;
std::map<std::uint64_t, CaseMemory>& g_caseByDevice = *new std::map<std::uint64_t, CaseMemory>;

} // namespace

bool MayFoldCase(int folderFd)
{
    struct stat st;
    if (::fstat(folderFd, &st) != 0)
        return false;
    CaseMemory memory;
    {
        const std::lock_guard lock(g_caseMutex);
        const auto it = g_caseByDevice.find(st.st_dev);
        if (it != g_caseByDevice.end() && std::chrono::steady_clock::now() - it->second.since > kRemembered)
            g_caseByDevice.erase(it);
        else if (it != g_caseByDevice.end())
            memory = it->second;
    }
    if (memory.asked == 0 && memory.magic == 0) {
        FileSystemOf(folderFd, memory.magic);
        const std::lock_guard lock(g_caseMutex);
        g_caseByDevice[st.st_dev].magic = memory.magic;
    }
    if (memory.magic == kExt4 || memory.magic == kF2fs) {
        // ext4 and F2FS fold case only in folders marked so.
        int flags = 0;
        return ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    }
    if (memory.answer == CaseAnswer::Unknown && memory.asked < kMaxAsked) {
        const CaseAnswer answer = AskFolder(folderFd);
        const std::lock_guard lock(g_caseMutex);
        CaseMemory& kept = g_caseByDevice[st.st_dev];
        if (kept.answer == CaseAnswer::Unknown)
            kept.answer = answer;
        ++kept.asked;
        memory.answer = kept.answer;
    }
    if (memory.answer != CaseAnswer::Unknown)
        return memory.answer == CaseAnswer::Folds;
    for (const KnownFileSystem& known : kKnownFileSystems)
        if (known.magic == memory.magic)
            return known.foldsCase;
    return false;
}

} // namespace tandrel::platform
