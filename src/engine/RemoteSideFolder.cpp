#include "engine/RemoteSideFolder.h"

#include "platform/CaseFold.h"

#include <cerrno>

namespace tandrel::engine {

using platform::ListedEntry;
using platform::remote::RemoteFolder;
using platform::remote::RemoteTree;

RemoteSideFolder::RemoteSideFolder(std::shared_ptr<const RemoteTree> tree, std::string relative)
    : m_tree(std::move(tree)), m_relative(std::move(relative)), m_folder(m_tree->Find(m_relative))
{
}

bool RemoteSideFolder::Searchable() const
{
    return m_folder && m_folder->status.ok();
}

const ListedEntry* RemoteSideFolder::Entry(const std::string& name) const
{
    const auto& entries = m_folder->entries;
    if (m_byName.empty())
        for (std::size_t k = 0; k < entries.size(); ++k)
            m_byName.emplace(entries[k].name, k);
    if (const auto it = m_byName.find(name); it != m_byName.end())
        return &entries[it->second];
    if (!m_tree->FoldsCase())
        return nullptr;
    if (m_byFoldedName.empty())
        for (std::size_t k = 0; k < entries.size(); ++k)
            m_byFoldedName.emplace(platform::FoldedKey(entries[k].name), k);
    const auto it = m_byFoldedName.find(platform::FoldedKey(name));
    return it == m_byFoldedName.end() ? nullptr : &entries[it->second];
}

bool RemoteSideFolder::LookUp(const std::string& name, ListedEntry& entry) const
{
    if (!Searchable()) {
        errno = m_folder ? RemoteTree::ErrorNumber(m_folder->status) : EIO;
        return false;
    }
    const ListedEntry* found = Entry(name);
    if (!found) {
        errno = ENOENT;
        return false;
    }
    entry = *found;
    return true;
}

bool RemoteSideFolder::CanEnter(const std::string& name) const
{
    ListedEntry entry;
    if (!LookUp(name, entry))
        return false;
    if (!entry.IsFolder()) {
        errno = ENOTDIR;
        return false;
    }
    const RemoteFolder* below = m_tree->Find(m_relative + entry.name + '/');
    if (!below || below->status.ok())
        return true; // not read (the walk does not go there): a folder it may enter
    errno = RemoteTree::ErrorNumber(below->status);
    return false;
}

std::string RemoteSideFolder::Why(const std::string& name, int error) const
{
    const RemoteFolder* folder = name.empty() ? m_folder : m_tree->Find(m_relative + name + '/');
    if (folder && !folder->status.ok() && RemoteTree::ErrorNumber(folder->status) == error)
        return folder->status.text;
    return {};
}

ReadFolderResult ReadRemoteFolder(std::shared_ptr<const RemoteTree> tree, const std::string& relative)
{
    ReadFolderResult result;
    auto folder = std::make_unique<RemoteSideFolder>(std::move(tree), relative);
    const RemoteFolder* listing = folder->Folder();
    if (listing && listing->status.ok()) {
        result.listed = true;
        result.entries = listing->entries;
        result.count = static_cast<std::uint32_t>(result.entries.size());
    } else {
        result.error = listing ? RemoteTree::ErrorNumber(listing->status) : EIO;
        result.openError = result.error;
        result.reason = listing ? listing->status.text : "the folder was not read";
    }
    result.folder = std::move(folder);
    return result;
}

} // namespace tandrel::engine
