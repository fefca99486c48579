#include "sync/RemoteItems.h"

#include "engine/PathRules.h"
#include "platform/OwnTemporaries.h"
#include "platform/remote/RemoteSides.h"

#include <cerrno>
#include <memory>

namespace tandrel::sync {

namespace sftp = platform::remote::sftp;
using platform::EntryInfo;
using platform::EntryKind;

bool IsRemoteRoot(const std::string& root)
{
    return platform::remote::SideAddress::Parse(root).IsRemote();
}

std::string RemoteItemPath(const platform::remote::SideAddress& root, const std::string& relative)
{
    std::string path = relative;
    if (const char separator = engine::PathRules::Native().separator; separator != '/')
        for (char& c : path)
            if (c == separator)
                c = '/';
    return platform::remote::ServerPath(root, path);
}

std::string RemoteFolderOf(const std::string& path)
{
    const std::size_t cut = path.rfind('/');
    if (cut == std::string::npos)
        return ".";
    return cut == 0 ? "/" : path.substr(0, cut);
}

EntryInfo RemoteEntry(const sftp::FileAttributes& attributes, const std::string& path)
{
    EntryInfo info;
    const std::uint32_t type = attributes.Type();
    if (type == sftp::kTypeFolder)
        info.kind = EntryKind::Folder;
    else if (type == sftp::kTypeLink)
        info.kind = EntryKind::SymbolicLink;
    else if (type == sftp::kTypeFile || type == 0)
        info.kind = EntryKind::RegularFile;
    else
        info.kind = EntryKind::Special;
    // A server that gives no permission bits gives no reason to keep the file.
    info.mode = attributes.Has(sftp::kAttrPermissions) ? attributes.permissions & 07777 : 0644;
    const std::size_t cut = path.rfind('/');
    info.hidden = path.compare(cut == std::string::npos ? 0 : cut + 1, 1, ".") == 0;
    info.system = info.kind == EntryKind::Special;
    info.size = static_cast<std::int64_t>(attributes.size);
    info.mtime = attributes.mtime;
    return info;
}

platform::ItemAt ShownItem(const std::string& shownPath)
{
    return platform::ItemAt{{}, {}, shownPath};
}

std::optional<EntryInfo> LookedAt(const platform::remote::RemoteStatus& status, const sftp::FileAttributes& attributes,
                                  const std::string& path, const std::string& what, const std::string& shownPath,
                                  platform::FileResult& failure)
{
    if (status.ok())
        return RemoteEntry(attributes, path);
    if (status.Absent()) {
        EntryInfo missing;
        missing.error = ENOENT;
        return missing;
    }
    failure = platform::FileResult::Failure(status.Describe(what, shownPath));
    return std::nullopt;
}

RemoteSweep::RemoteSweep(platform::remote::RemoteOperations& operations, std::int64_t runStart)
    : m_operations(operations), m_runStart(runStart)
{
    const std::string name = platform::remote::RemoteOperations::TemporaryNameFor("/x");
    const std::size_t start = name.find(platform::kTempFilePrefix) + std::string(platform::kTempFilePrefix).size();
    m_ownNumber = name.substr(start, name.find('-', start) - start);
}

bool RemoteSweep::Stale(const sftp::NameEntry& entry) const
{
    if (!platform::IsOwnTemporaryName(entry.name.c_str()))
        return false;
    const std::uint32_t type = entry.attributes.Type();
    if (type != sftp::kTypeFile && type != sftp::kTypeLink)
        return false;
    const std::size_t start = std::string(platform::kTempFilePrefix).size();
    const bool ours = entry.name.compare(start, m_ownNumber.size() + 1, m_ownNumber + "-") == 0;
    // The server gives whole seconds: a leftover of a run killed in the
    // second this one began counts as stale too. A live client's temporary
    // of that second would go as well; its rename then fails, and its
    // target stays as it was.
    return ours || static_cast<std::int64_t>(entry.attributes.mtime) <= m_runStart;
}

void RemoteSweep::Clear(const std::string& folder, std::function<void()> then)
{
    m_operations.ListFolder(folder, [this, folder, then = std::move(then)](
                                        const platform::remote::RemoteStatus& status,
                                        std::vector<sftp::NameEntry> entries) {
        // A listing that fails leaves the leftovers: the step that needed
        // them gone reports its own failure.
        auto left = std::make_shared<std::size_t>(1);
        auto one = [left, then] {
            if (--*left == 0)
                then();
        };
        if (status.ok())
            for (const auto& entry : entries)
                if (Stale(entry)) {
                    ++*left;
                    m_operations.RemoveFile(folder + (folder == "/" ? "" : "/") + entry.name,
                                            [one](const platform::remote::RemoteStatus&) { one(); });
                }
        one();
    });
}

void RemoteSweep::BeforeWritingInto(const std::string& folder, std::function<void()> then)
{
    Folder& state = m_folders[folder];
    if (state.swept)
        return then();
    state.waiting.push_back(std::move(then));
    if (state.sweeping)
        return;
    state.sweeping = true;
    Clear(folder, [this, folder] {
        Folder& swept = m_folders[folder];
        swept.swept = true;
        swept.sweeping = false;
        std::vector<std::function<void()>> waiting = std::move(swept.waiting);
        swept.waiting.clear();
        for (auto& next : waiting)
            next();
    });
}

} // namespace tandrel::sync
