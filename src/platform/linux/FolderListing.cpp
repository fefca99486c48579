#include "platform/FolderListing.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <dirent.h>
#include <iterator>
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

// File systems whose every request travels to another machine or process,
// by their statfs magic.
constexpr unsigned long kNetworkFileSystems[] = {
    0x6969UL,     // NFS
    0x517BUL,     // SMB
    0xFF534D42UL, // CIFS
    0xFE534D42UL, // SMB2
    0x65735546UL, // FUSE (sshfs, ...)
    0x00C36400UL, // Ceph
    0x6B414653UL, // AFS
    0x5346414FUL, // OpenAFS
    0x73757245UL, // Coda
    0x01021997UL, // 9P
    0x0BD00BD0UL, // Lustre
    0x47504653UL, // GPFS
    0x01161970UL, // GFS2
    0x7461636FUL, // OCFS2
};

constexpr unsigned long kExt4 = 0xEF53UL;
constexpr unsigned long kF2fs = 0xF2F52010UL;

// The statfs magic of the file system holding `fd`; 0 when it cannot be had.
unsigned long MagicOf(int fd)
{
    struct statfs fs;
    return ::fstatfs(fd, &fs) == 0 ? static_cast<unsigned long>(fs.f_type) : 0;
}

} // namespace

bool IsNetworkFileSystem(int fd)
{
    const unsigned long magic = MagicOf(fd);
    return std::find(std::begin(kNetworkFileSystems), std::end(kNetworkFileSystems), magic) !=
           std::end(kNetworkFileSystems);
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
// found (the file system folds case). Only a name with a letter can ask; a
// folder without one answers Unknown. Identities cannot tell: FUSE file
// systems may give every name looked up an inode number of its own.
CaseAnswer AskFolder(int folderFd, std::vector<std::string> names)
{
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

// What a file system answered when asked, by device number, for a while
// only: once a file system is unmounted its number goes to the next one
// mounted. Only a real answer is kept; until one comes, every folder that
// can ask does.
struct CaseMemory {
    unsigned long magic = 0;
    CaseAnswer answer = CaseAnswer::Unknown;
    std::chrono::steady_clock::time_point since = std::chrono::steady_clock::now();
};
constexpr auto kRemembered = std::chrono::seconds(30);
// Never destroyed: a reader let go after a cancel may still ask while the
// program exits.
std::mutex& g_caseMutex = *new std::mutex;
std::map<std::uint64_t, CaseMemory>& g_caseByDevice = *new std::map<std::uint64_t, CaseMemory>;

CaseMemory RememberedFor(int folderFd, std::uint64_t device)
{
    {
        const std::lock_guard lock(g_caseMutex);
        const auto it = g_caseByDevice.find(device);
        if (it != g_caseByDevice.end() && std::chrono::steady_clock::now() - it->second.since > kRemembered)
            g_caseByDevice.erase(it);
        else if (it != g_caseByDevice.end())
            return it->second;
    }
    CaseMemory memory;
    memory.magic = MagicOf(folderFd);
    const std::lock_guard lock(g_caseMutex);
    return g_caseByDevice.emplace(device, memory).first->second;
}

// A folder that cannot ask (empty, or no name with a letter) lets the
// folders above it on the same file system ask: a new, empty target folder
// still gets an answer from the one that holds it.
CaseAnswer AskFoldersAbove(int folderFd, std::uint64_t device)
{
    constexpr int kLevels = 4;
    Fd at(::openat(folderFd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    for (int level = 0; level < kLevels && at.Valid(); ++level) {
        struct stat st;
        std::vector<std::string> names;
        if (::fstat(at.Get(), &st) != 0 || st.st_dev != device || !NamesIn(at.Get(), names))
            return CaseAnswer::Unknown;
        if (const CaseAnswer answer = AskFolder(at.Get(), std::move(names)); answer != CaseAnswer::Unknown)
            return answer;
        at.Reset(::openat(at.Get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return CaseAnswer::Unknown;
}

// `listed`: the folder's listing, or null to read it here.
bool FoldsCase(int folderFd, const std::vector<ListedEntry>* listed)
{
    struct stat st;
    if (::fstat(folderFd, &st) != 0)
        return true; // no answer: not "exact" either
    const CaseMemory memory = RememberedFor(folderFd, st.st_dev);
    if (memory.magic == kExt4 || memory.magic == kF2fs) {
        // ext4 and F2FS fold case only in folders marked so.
        int flags = 0;
        return ::ioctl(folderFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    }
    if (memory.answer != CaseAnswer::Unknown)
        return memory.answer == CaseAnswer::Folds;
    std::vector<std::string> names;
    bool haveNames = listed != nullptr;
    if (listed)
        for (const ListedEntry& entry : *listed)
            names.push_back(entry.name);
    else
        haveNames = NamesIn(folderFd, names);
    CaseAnswer answer = haveNames ? AskFolder(folderFd, std::move(names)) : CaseAnswer::Unknown;
    if (answer == CaseAnswer::Unknown)
        answer = AskFoldersAbove(folderFd, st.st_dev);
    if (answer == CaseAnswer::Unknown) {
        // Nothing here could ask. A file system's kind is no answer (exFAT
        // through FUSE says "FUSE"): until a folder of it answers, names may fold.
        return true;
    }
    const std::lock_guard lock(g_caseMutex);
    CaseMemory& kept = g_caseByDevice[st.st_dev];
    if (kept.answer == CaseAnswer::Unknown) {
        kept.answer = answer;
        kept.since = std::chrono::steady_clock::now();
    }
    return kept.answer == CaseAnswer::Folds;
}

} // namespace

bool MayFoldCase(int folderFd)
{
    return FoldsCase(folderFd, nullptr);
}

bool MayFoldCase(int folderFd, const std::vector<ListedEntry>& listed)
{
    return FoldsCase(folderFd, &listed);
}

} // namespace tandrel::platform
