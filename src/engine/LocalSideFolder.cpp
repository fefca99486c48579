#include "engine/LocalSideFolder.h"

#include "engine/FolderPair.h"

namespace tandrel::engine {

bool LocalSideFolder::CanEnterItself() const
{
    return m_fd.Valid() && platform::CanEnter(m_fd.Get(), ".");
}

bool LocalSideFolder::LookUp(const std::string& name, platform::ListedEntry& entry) const
{
    return platform::LookUpEntry(m_fd.Get(), name, entry);
}

bool LocalSideFolder::CanEnter(const std::string& name) const
{
    return platform::CanEnter(m_fd.Get(), name.c_str());
}

bool LocalSideFolder::MayFoldCase(const std::vector<platform::ListedEntry>& listed) const
{
    return platform::MayFoldCase(m_fd.Get(), listed);
}

bool LocalSideFolder::StillIs(const platform::FolderIdentity& identity) const
{
    return IdentityNow(m_fd.Get(), identity);
}

} // namespace tandrel::engine
