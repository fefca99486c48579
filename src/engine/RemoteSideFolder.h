#pragma once

#include "engine/FolderPair.h"
#include "engine/SideFolder.h"
#include "platform/remote/RemoteTree.h"

#include <memory>
#include <string>
#include <unordered_map>

namespace tandrel::engine {

// A folder of a remote side, answered from the listings read of its tree:
// nothing here asks the server again, and the tree does not change while a
// scan runs.
class RemoteSideFolder : public SideFolder {
public:
    // `relative`: the folder below the tree's root, "" or ending in '/'.
    RemoteSideFolder(std::shared_ptr<const platform::remote::RemoteTree> tree, std::string relative);

    // The folder's listing as read; null when it was not read.
    const platform::remote::RemoteFolder* Folder() const { return m_folder; }

    bool Searchable() const override;
    bool CanEnterItself() const override { return false; }
    bool LookUp(const std::string& name, platform::ListedEntry& entry) const override;
    bool CanEnter(const std::string& name) const override;
    bool MayFoldCase(const std::vector<platform::ListedEntry>&) const override { return m_tree->FoldsCase(); }
    bool StillIs(const platform::FolderIdentity&) const override { return true; }
    std::string Why(const std::string& name, int error) const override;

private:
    const platform::ListedEntry* Entry(const std::string& name) const;

    std::shared_ptr<const platform::remote::RemoteTree> m_tree;
    std::string m_relative;
    const platform::remote::RemoteFolder* m_folder;
    mutable std::unordered_map<std::string, std::size_t> m_byName;
    mutable std::unordered_map<std::u32string, std::size_t> m_byFoldedName;
};

// The folder `relative` of a remote tree as a pair's read takes it.
ReadFolderResult ReadRemoteFolder(std::shared_ptr<const platform::remote::RemoteTree> tree,
                                  const std::string& relative);

} // namespace tandrel::engine
