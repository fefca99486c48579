#pragma once

#include "platform/FileResult.h"
#include "platform/FolderListing.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tandrel::platform {

// What lstat finds at a path. Links are never followed.
enum class EntryKind {
    Missing,     // nothing there (or it cannot be looked at; see error)
    RegularFile,
    Folder,
    SymbolicLink,
    Special,     // FIFO, socket, character or block device
};

struct EntryInfo {
    EntryKind kind = EntryKind::Missing;
    unsigned mode = 0;  // permission bits
    int error = 0;      // errno of a failed lookup (ENOENT when simply missing)
    // As this system keeps them: on Windows the hidden and system attribute
    // bits; elsewhere a name beginning with '.' is hidden and a FIFO, socket
    // or device is a system entry.
    bool hidden = false;
    bool system = false;
    std::int64_t size = 0;  // bytes, as a folder listing gives them
    std::int64_t mtime = 0; // last write, whole seconds since the epoch, as a folder listing gives it
    bool ReadOnly() const; // a regular file or special file whose owner may not write it
};

EntryInfo LookUp(const std::string& path);

// An open folder descriptor, closed when the object goes: O_PATH on POSIX
// systems; on Windows a descriptor over a folder handle that keeps the folder
// from being renamed or removed while it is held.
class FolderHandle {
public:
    FolderHandle() = default;
    explicit FolderHandle(int fd) : m_fd(fd) {}

    int Fd() const { return m_fd.Get(); }

private:
    platform::Fd m_fd;
};

// An item named by the open folder that holds it and its name in there. The
// operations below act on exactly that folder, whatever happens to the path
// that led to it; `path` is only for messages.
struct ItemAt {
    FolderHandle folder;
    std::string name;
    std::string path;
};

// Reaches the folder holding `root` + `relative` one level at a time: the
// root is opened as given (a root that is a link is followed, the user chose
// it), every level below it without following links, so that a link on the
// way (also one swapped in for a folder during a run) fails the reach instead
// of leading outside the root. With `createMissing`, missing levels are made
// on the way. A failure reads "<what> '<path>': <reason>".
FileResult ReachItem(const std::string& root, const std::string& relative, bool createMissing,
                     const std::string& what, ItemAt& item);

// The first steps of ReachItem on every system: `item.path` becomes root and
// relative joined, `levels` the names on the way (the item's own last). Fails
// when a level is empty, "." or "..", which could lead elsewhere than below the root.
FileResult SplitBelowRoot(const std::string& root, const std::string& relative, const std::string& what,
                          ItemAt& item, std::vector<std::string>& levels);

// `folder` and `name` joined by the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// The same for a whole path, its folder opened as given.
FileResult ReachPath(const std::string& path, const std::string& what, ItemAt& item);

EntryInfo LookUpAt(const ItemAt& item);

// Creates one folder; fails when it exists already or its parent is missing.
FileResult CreateFolderAt(const ItemAt& item);
FileResult CreateFolder(const std::string& path);

// Creates one folder as the copy of the folder `fromRoot` + `relative`. On
// Windows the source is reached as ReachItem does and must be a folder (a
// junction or link is not copied), and the new folder takes its read-only,
// hidden, system and archive attributes, as a copied file does. Elsewhere
// this is CreateFolderAt: a folder carries nothing over, the new one has the
// rights of any folder the user makes, so that the files copied next can go in.
FileResult CreateFolderCopyAt(const std::string& fromRoot, const std::string& relative, const ItemAt& to);

// Removes one folder; fails when it does not exist, is not empty, or is not a
// folder (a link to a folder is not removed, nor what it leads to).
FileResult RemoveFolderAt(const ItemAt& item);
FileResult RemoveFolder(const std::string& path);

// Deletes one file, link or special file; never a folder and never the
// target of a link. A link that the system can only open as its target
// (folder links under Wine) is not deleted.
FileResult DeleteFileAt(const ItemAt& item);
FileResult DeleteFile(const std::string& path);

// "Set the attributes to archive only": gives the owner write permission.
// Fails when nothing is there. A symbolic link has no rights of its own and
// is left as it is; its target is never changed.
FileResult SetArchiveOnlyAt(const ItemAt& item);
FileResult SetArchiveOnly(const std::string& path);

class WrittenFileSystems;

// Gives a file (or link) a modification time that keeps it from comparing as
// equal to the file it was copied from: the start of the epoch, or `margin`
// seconds before its present time where that is earlier.
FileResult MarkUnsettledAt(const ItemAt& item, std::int64_t margin);

// Called between the steps of one file's content (kCopyStepBytes each) with
// the bytes written so far and the file's size; false abandons the copy.
using CopyProgress = std::function<bool(std::uint64_t bytesDone, std::uint64_t fileSize)>;
inline constexpr std::uint64_t kCopyStepBytes = 8u * 1024 * 1024;

// Copies `from` to `to`, replacing what is at `to`, without ever leaving a
// half-written target: the content goes to a new temporary file in the
// target's folder, which takes the source's modification time (nanoseconds)
// and permission bits, then is renamed over the target. A target that exists
// is flushed to disk before it is replaced; new files are left to the flush
// at the end of the run (WrittenFileSystems). On any failure, and when
// `progress` asks to stop (the result is then Cancelled), the temporary file
// is removed and the old target is left exactly as it was. So it is when the
// source changes while it is read (its size or times are not what they were
// when it was opened): the copy would be torn. A symbolic link is copied as a
// link. A folder, FIFO, socket or device is never opened and fails. The file
// system of a copy that succeeds is noted in `written`. When something is
// at `to` by the time the copy is to take its place, `beforeReplacing` is
// asked first with what is there; a failure it gives fails the copy, the
// temporary file removed. Where `written` says so (FlushEachFile), a new
// file is flushed to disk before its rename as well.
using ReplaceCheck = std::function<FileResult(const EntryInfo& existing)>;
FileResult CopyFileSafelyAt(const ItemAt& from, const ItemAt& to, const CopyProgress& progress = {},
                            WrittenFileSystems* written = nullptr, const ReplaceCheck& beforeReplacing = {});
FileResult CopyFileSafely(const std::string& from, const std::string& to, const CopyProgress& progress = {});

// The file systems a run has written to, so that everything it wrote can be
// flushed to disk once at its end (one syncfs per file system) instead of
// once per file. Rows copied on several threads at once note into one.
class WrittenFileSystems {
public:
    WrittenFileSystems() = default;
    ~WrittenFileSystems();
    WrittenFileSystems(const WrittenFileSystems&) = delete;
    WrittenFileSystems& operator=(const WrittenFileSystems&) = delete;

    // Notes the file system of a folder written into; returns its id. One
    // descriptor is kept per file system to flush it by: a duplicate of
    // `writtenFd` (a file written there) when given, else the folder itself,
    // or for an item the item, when it can be read, else its folder.
    std::uint64_t Note(const FolderHandle& folder, int writtenFd = -1);
    std::uint64_t Note(const ItemAt& item);

    // Whether each file written into `folder` is flushed through its own
    // descriptor before it is renamed in: on FUSE and network file systems,
    // where the flush of the whole file system at the end never reaches the
    // server. Asked of the file system once.
    bool FlushEachFile(const FolderHandle& folder);

    struct Failure {
        std::uint64_t fileSystem;
        int error;
    };
    // Flushes every noted file system; the ones whose flush failed, or that
    // no descriptor to flush by could be had for.
    std::vector<Failure> FlushAll();

private:
    struct Noted {
        std::uint64_t fileSystem;
        int fd;        // -1: no descriptor to flush by could be opened
        int openError; // why, then
        int flushEach; // FlushEachFile: 1 or 0, -1 not asked yet
    };
    Noted* Find(const FolderHandle& folder);
    std::uint64_t NoteLocked(const FolderHandle& folder, int writtenFd);
    std::mutex m_mutex;
    std::vector<Noted> m_noted;
};

// The temporary files of CopyFileSafely are named
// ".tandrel-tmp-<process id>-<counter>-<8 hex digits>.tmp", so that leftovers
// of an interrupted run can be recognised.
inline constexpr const char* kTempFilePrefix = ".tandrel-tmp-";

} // namespace tandrel::platform
