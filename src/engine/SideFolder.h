#pragma once

#include "platform/FolderListing.h"

#include <string>
#include <vector>

namespace tandrel::engine {

// A folder of one side of a pair, once its listing was read (or could not
// be), for what the pair's read asks of it after that: a local folder
// through its descriptor, a remote one through the listings read of its tree.
// Failures set errno; Why gives the words for one.
class SideFolder {
public:
    virtual ~SideFolder() = default;

    // Whether names can be looked up in it (it could at least be searched).
    virtual bool Searchable() const = 0;
    // Whether it may be entered, now that its listing failed.
    virtual bool CanEnterItself() const = 0;
    // The attributes of `name` in it, a link not followed.
    virtual bool LookUp(const std::string& name, platform::ListedEntry& entry) const = 0;
    // Whether its subfolder `name` may be searched (false with ENOENT or
    // ENOTDIR when it is not there).
    virtual bool CanEnter(const std::string& name) const = 0;
    // Whether names in it may match without regard to case; `listed`: its listing.
    virtual bool MayFoldCase(const std::vector<platform::ListedEntry>& listed) const = 0;
    // Whether it is still the folder it was when read.
    virtual bool StillIs(const platform::FolderIdentity& identity) const = 0;
    // Why `error` came from the folder (`name` empty) or from its subfolder
    // `name`: the server's own text for a remote side; empty where the
    // system's text for `error` says it.
    virtual std::string Why([[maybe_unused]] const std::string& name, [[maybe_unused]] int error) const { return {}; }
};

} // namespace tandrel::engine
