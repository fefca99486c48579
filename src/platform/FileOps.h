#pragma once

#include "platform/FileResult.h"

#include <cstdint>
#include <optional>
#include <string>

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
    bool ReadOnly() const; // a regular file or special file whose owner may not write it
};

EntryInfo LookUp(const std::string& path);

// Creates one folder; fails when it exists already or its parent is missing.
FileResult CreateFolder(const std::string& path);

// Removes one folder; fails when it does not exist, is not empty, or is not a
// folder (a link to a folder is not removed).
FileResult RemoveFolder(const std::string& path);

// Deletes one file, link or special file; never a folder and never the
// target of a link.
FileResult DeleteFile(const std::string& path);

// "Set the attributes to archive only": gives the owner write permission.
// Fails when nothing is there. A symbolic link has no rights of its own and
// is left as it is.
FileResult SetArchiveOnly(const std::string& path);

// Copies `from` to `to`, replacing what is at `to`, without ever leaving a
// half-written target: the content goes to a new temporary file in the
// target's folder, which takes the source's modification time (nanoseconds)
// and permission bits and is flushed to disk, then renamed over the target.
// On any failure the temporary file is removed and the old target is left
// exactly as it was. A symbolic link is copied as a link. A folder, FIFO,
// socket or device is never opened and fails.
FileResult CopyFileSafely(const std::string& from, const std::string& to);

// A fault for tests: writes into copy targets fail with `error` once
// `afterBytes` bytes of the file have been written (as a full disk would).
struct WriteFault {
    std::int64_t afterBytes = 0;
    int error = 0;
};
void SetWriteFaultForTesting(std::optional<WriteFault> fault);

// The prefix of the temporary files of CopyFileSafely, so that leftovers can
// be recognised.
inline constexpr const char* kTempFilePrefix = ".tandrel-";

} // namespace tandrel::platform
