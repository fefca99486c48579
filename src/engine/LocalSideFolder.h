#pragma once

#include "engine/SideFolder.h"
#include "platform/FolderListing.h"

namespace tandrel::engine {

// A local folder of a pair, reached through its open descriptor (invalid
// where not even searching it was allowed).
class LocalSideFolder : public SideFolder {
public:
    explicit LocalSideFolder(platform::Fd fd) : m_fd(std::move(fd)) {}

    int Fd() const { return m_fd.Get(); }

    bool Searchable() const override { return m_fd.Valid(); }
    bool CanEnterItself() const override;
    bool LookUp(const std::string& name, platform::ListedEntry& entry) const override;
    bool CanEnter(const std::string& name) const override;
    bool MayFoldCase(const std::vector<platform::ListedEntry>& listed) const override;
    bool StillIs(const platform::FolderIdentity& identity) const override;

private:
    platform::Fd m_fd;
};

} // namespace tandrel::engine
