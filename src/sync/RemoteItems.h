#pragma once

#include "platform/FileOps.h"
#include "platform/remote/RemoteOperations.h"
#include "platform/remote/SideAddress.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tandrel::sync {

// Whether a root text names a folder on a remote host.
bool IsRemoteRoot(const std::string& root);

// The server's path of a row below a remote root: its relative path with
// the system's separator turned into the server's '/'.
std::string RemoteItemPath(const platform::remote::SideAddress& root, const std::string& relative);

// The folder holding a server path ("/" for an entry of the root, "." for a bare name).
std::string RemoteFolderOf(const std::string& path);

// What an lstat on the server found, in the terms the row rules use: the
// owner's write bit makes read-only, a leading '.' hidden, anything but a
// file, folder or link a system entry.
platform::EntryInfo RemoteEntry(const platform::remote::sftp::FileAttributes& attributes, const std::string& path);

// An item named only by its shown path, for the messages of the row rules.
platform::ItemAt ShownItem(const std::string& shownPath);

// An lstat's answer as the row rules take it: an absence is a missing
// entry, any other failure (with `failure` set to "<what> '<shownPath>':
// <the server's reason>") none.
std::optional<platform::EntryInfo> LookedAt(const platform::remote::RemoteStatus& status,
                                            const platform::remote::sftp::FileAttributes& attributes,
                                            const std::string& path, const std::string& what,
                                            const std::string& shownPath, platform::FileResult& failure);

// Why nothing on a remote side goes to the trash.
inline constexpr const char* kNoRemoteTrash = "is on a remote host, which has no trash this desktop can restore";

// The temporary files that an interrupted write of this program left on
// the server, swept out of each folder once, before a run first writes into
// it (a folder the run made holds none). A temporary file goes when it was
// named by this process, whose runs do not overlap, or was last written
// no later than the second the run began (the server's times are whole
// seconds); a write of another client begun after that keeps writing its
// file. Everything runs on the client's thread.
class RemoteSweep {
public:
    RemoteSweep(platform::remote::RemoteOperations& operations, std::int64_t runStart);

    void MadeByThisRun(const std::string& folder) { m_folders[folder].swept = true; }
    // Runs `then` once `folder` has been swept (at once when it was).
    void BeforeWritingInto(const std::string& folder, std::function<void()> then);
    // Removes the leftovers of `folder` (a folder that would not go), then runs `then`.
    void Clear(const std::string& folder, std::function<void()> then);

private:
    bool Stale(const platform::remote::sftp::NameEntry& entry) const;

    struct Folder {
        bool swept = false;
        bool sweeping = false;
        std::vector<std::function<void()>> waiting;
    };
    platform::remote::RemoteOperations& m_operations;
    std::int64_t m_runStart;
    std::string m_ownNumber; // the process number in this process's temporary names
    std::map<std::string, Folder> m_folders;
};

} // namespace tandrel::sync
