#pragma once

#include "platform/FolderListing.h"
#include "platform/remote/RemoteSession.h"
#include "platform/remote/RemoteStatus.h"
#include "platform/remote/SideAddress.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tandrel::platform::remote {

// One folder of a remote tree as it was listed, or why it could not be.
struct RemoteFolder {
    RemoteStatus status;
    std::vector<ListedEntry> entries; // in the server's order, "." and ".." left out
};

// A remote folder tree read at once: every folder below the root listed
// with many listings in flight (each folder's listing starts as soon as the
// one above it has come), since over a network every folder read one after
// another costs round trips a local disk never pays. Folders whose name
// begins with '.' are not read: a comparison never walks them. After Read,
// nothing changes: any number of threads may look.
class RemoteTree {
public:
    struct Options {
        bool subfolders = true; // false: the root's listing only
        // Asked while the listings come in; false stops the read (what is
        // not read by then stays unread).
        std::function<bool()> goOn;
    };

    static std::shared_ptr<const RemoteTree> Read(RemoteSession& session, const SideAddress& root,
                                                  const Options& options);
    // A tree whose root could not be reached: `why` says why (ssh's reason,
    // an address that is no address).
    static std::shared_ptr<const RemoteTree> Failed(RemoteStatus why);

    // The folder at `relative` ("" for the root, else '/'-separated names
    // ending in '/'); null when it was not read.
    const RemoteFolder* Find(const std::string& relative) const;
    const RemoteFolder& Root() const;
    // Whether names on this server may match without regard to case.
    bool FoldsCase() const { return m_foldsCase; }
    std::size_t FolderCount() const { return m_folders.size(); }

    // The errno value nearest to a failed request's status: only "no such
    // file" means absent.
    static int ErrorNumber(const RemoteStatus& status);

private:
    class Reading;

    std::unordered_map<std::string, RemoteFolder> m_folders;
    bool m_foldsCase = true;
};

} // namespace tandrel::platform::remote
