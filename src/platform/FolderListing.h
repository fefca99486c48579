#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tandrel::platform {

// An open descriptor that closes itself.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : m_fd(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    int Release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void Reset(int fd = -1);

private:
    int m_fd;
};

// One entry of a folder listing with what a comparison looks at. Entries
// keep the order the file system returned them in; `index` counts every
// name read, "." and ".." included, so that gaps show where names were left out.
struct ListedEntry {
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime = 0;  // seconds since the epoch
    std::uint32_t mode = 0;  // st_mode; 0 when the entry could not be examined
    std::uint32_t attributes = 0; // the attribute bits on Windows; 0 elsewhere
    std::uint32_t index = 0;
    int error = 0; // with mode 0: why it could not be examined (an errno value)

    bool IsFolder() const;
    bool Examined() const { return mode != 0; }
};

// The four attributes the comparison rules speak of, as this system keeps
// them: on Windows the attribute bits; elsewhere a name beginning with '.'
// is hidden, a file its owner may not write is read-only, anything but a
// file, folder or link is a system entry, and nothing is archived.
bool IsHidden(const ListedEntry& entry);
bool IsReadOnly(const ListedEntry& entry);
bool IsSystem(const ListedEntry& entry);
bool IsArchived(const ListedEntry& entry);

// A folder's state at one moment. If any field differs later, the folder was
// changed, replaced or had its rights changed in between.
struct FolderIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t links = 0;
    std::int64_t size = 0;
    std::int64_t mtimeSec = 0, mtimeNsec = 0;
    std::int64_t ctimeSec = 0, ctimeNsec = 0;
    std::uint32_t mode = 0, uid = 0, gid = 0;
    bool operator==(const FolderIdentity&) const = default;
};

// How a folder is opened (the `flags` below): to read its listing, or only
// to open names below it. They are open(2) flags on POSIX systems.
extern const int kOpenToList;
extern const int kOpenAsAnchor;

// Opens the folder at `path`; a link given there is followed. Returns -1
// with errno set.
int OpenFolder(const std::string& path, int flags);

// Opens `relative` ('/'-separated names, empty for `base` itself) below the
// folder `base` without following a symbolic link anywhere on the way, so
// that a link swapped in for a folder while a walk runs leads nowhere.
// `flags` are open(2) flags; O_NOFOLLOW is always added. Returns -1 with errno set.
int OpenBelow(int base, const std::string& relative, int flags);

// Reads the whole listing of an open folder: every name, and the attributes
// of each but "." and ".." (examined without following links). Returns false
// with errno set when the folder cannot be read to its end; `count` is the
// number of names read. `goOn`, when given, is called after every name; once
// it answers false the read ends there and returns false with errno
// ECANCELED: what was read is only part of the folder and must not be taken
// for the whole.
bool ReadListing(int folderFd, std::vector<ListedEntry>& entries, std::uint32_t& count,
                 const std::function<bool()>& goOn = {});

// The attributes of one name in a folder, links not followed. False with
// errno set when they cannot be had.
bool LookUpEntry(int folderFd, const std::string& name, ListedEntry& entry);

bool IdentityOf(int fd, FolderIdentity& identity);

// True when the effective user may search the folder `name` in `folderFd`;
// otherwise false with errno set (ENOENT or ENOTDIR when it is not there).
bool CanEnter(int folderFd, const char* name);

// True when the folder lies on a file system where every request is a
// round trip to another machine or process (NFS, SMB, FUSE such as sshfs, ...).
bool IsNetworkFileSystem(int fd);

// True when names in the folder may match without regard to case: a
// case-folding folder of ext4 or F2FS, or a file system that answered so
// when asked (a listed name looked up with the case of its letters swapped).
// Only a folder holding a name with a letter can ask, and the answer holds
// for its whole file system for a while; until one has answered "exact",
// names may fold. `listed`: the folder's listing where the caller has read it.
bool MayFoldCase(int folderFd);
bool MayFoldCase(int folderFd, const std::vector<ListedEntry>& listed);

// True when an errno value means only "not there".
inline bool IsAbsence(int error)
{
    return error == ENOENT || error == ENOTDIR;
}

} // namespace tandrel::platform
