#include "platform/remote/RemoteTree.h"

#include "platform/remote/RemoteSides.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <map>
#include <mutex>
#include <tuple>

namespace tandrel::platform::remote {

namespace {

enum class CaseAnswer { Folds, Exact, Unknown };

// What a server answered when asked whether its names fold case, by user,
// host, port and root, for a while: a second comparison of the same root
// need not ask again.
struct CaseMemory {
    CaseAnswer answer = CaseAnswer::Unknown;
    std::chrono::steady_clock::time_point since;
};
using CaseKey = std::tuple<std::string, std::string, int, std::string>;
constexpr auto kRemembered = std::chrono::seconds(30);
std::mutex& g_caseMutex = *new std::mutex;
std::map<CaseKey, CaseMemory>& g_caseByRoot = *new std::map<CaseKey, CaseMemory>;

CaseKey KeyOf(const SideAddress& root)
{
    return {root.User(), root.Host(), root.Port(), root.Path()};
}

CaseAnswer Remembered(const CaseKey& key)
{
    const std::lock_guard lock(g_caseMutex);
    const auto it = g_caseByRoot.find(key);
    if (it == g_caseByRoot.end())
        return CaseAnswer::Unknown;
    if (std::chrono::steady_clock::now() - it->second.since > kRemembered) {
        g_caseByRoot.erase(it);
        return CaseAnswer::Unknown;
    }
    return it->second.answer;
}

void Remember(const CaseKey& key, CaseAnswer answer)
{
    const std::lock_guard lock(g_caseMutex);
    g_caseByRoot[key] = {answer, std::chrono::steady_clock::now()};
}

// A name with the case of its ASCII letters swapped.
std::string Flipped(const std::string& name)
{
    std::string flipped = name;
    for (char& c : flipped) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return flipped;
}

ListedEntry ToListed(sftp::NameEntry& entry, std::uint32_t index)
{
    ListedEntry listed;
    listed.name = std::move(entry.name);
    listed.index = index;
    const sftp::FileAttributes& a = entry.attributes;
    if (!a.Has(sftp::kAttrPermissions)) {
        listed.error = EIO; // the server gave no kind: neither a file nor a folder to compare
        return listed;
    }
    listed.mode = a.permissions;
    listed.size = a.Has(sftp::kAttrSize) ? static_cast<std::int64_t>(a.size) : 0;
    listed.mtime = a.Has(sftp::kAttrTimes) ? static_cast<std::int64_t>(a.mtime) : 0;
    return listed;
}

} // namespace

// One read of a tree: the listings in flight, and the question of case put
// to the first folder that can answer it. Completions hold it, so that one
// that comes after a stop finds it still there.
class RemoteTree::Reading : public std::enable_shared_from_this<RemoteTree::Reading> {
public:
    Reading(RemoteSession& session, const SideAddress& root, bool subfolders)
        : m_session(session), m_root(root), m_subfolders(subfolders), m_tree(std::make_shared<RemoteTree>())
    {
        m_case = Remembered(KeyOf(root));
    }

    void List(const std::string& relative)
    {
        ++m_pending;
        auto self = shared_from_this();
        m_session.Operations().ListFolder(
            PathOf(relative), [self, relative](const RemoteStatus& status, std::vector<sftp::NameEntry> names) {
                --self->m_pending;
                if (!self->m_stopped)
                    self->Listed(relative, status, std::move(names));
            });
    }

    void RunUntilRead(const std::function<bool()>& goOn)
    {
        m_session.Client().RunUntil([&] {
            if (m_pending == 0)
                return true;
            if (goOn && !goOn())
                m_stopped = true;
            return m_stopped;
        });
    }

    // A root the server cannot open as a folder yet finds as an entry is a
    // file (or a link to nothing): an error, never a folder that is absent.
    void CheckRootKind()
    {
        RemoteFolder& root = m_tree->m_folders[{}];
        if (m_stopped || !root.status.Absent())
            return;
        sftp::FileAttributes attributes;
        if (m_session.Lstat(PathOf({}), attributes).ok())
            root.status = RemoteStatus::FromServer(sftp::StatusCode::Failure, "Not a directory");
    }

    std::shared_ptr<const RemoteTree> Result()
    {
        if (m_case != CaseAnswer::Unknown)
            Remember(KeyOf(m_root), m_case);
        m_tree->m_foldsCase = m_case != CaseAnswer::Exact;
        return m_tree;
    }

private:
    std::string PathOf(const std::string& relative) const
    {
        std::string path = ServerPath(m_root, relative);
        return path.empty() ? std::string(".") : path;
    }

    void Listed(const std::string& relative, const RemoteStatus& status, std::vector<sftp::NameEntry> names)
    {
        RemoteFolder& folder = m_tree->m_folders[relative];
        folder.status = status;
        folder.entries.reserve(names.size());
        for (std::size_t i = 0; i < names.size(); ++i)
            folder.entries.push_back(ToListed(names[i], static_cast<std::uint32_t>(i)));
        if (!status.ok())
            return;
        if (m_case == CaseAnswer::Unknown && !m_asking)
            AskCase(relative, folder.entries);
        if (!m_subfolders)
            return;
        for (const ListedEntry& entry : folder.entries)
            if (entry.IsFolder() && entry.name[0] != '.')
                List(relative + entry.name + '/');
    }

    // A listed name with its letters' case swapped, one the listing does not
    // hold: found means the server folds case, "no such file" that it does not.
    void AskCase(const std::string& relative, const std::vector<ListedEntry>& entries)
    {
        std::vector<std::string> names;
        for (const ListedEntry& entry : entries)
            names.push_back(entry.name);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string flipped = Flipped(name);
            if (flipped == name || std::binary_search(names.begin(), names.end(), flipped))
                continue;
            m_asking = true;
            ++m_pending;
            auto self = shared_from_this();
            m_session.Operations().Lstat(PathOf(relative + flipped),
                                         [self](const RemoteStatus& status, const sftp::FileAttributes&) {
                                             --self->m_pending;
                                             self->m_asking = false;
                                             if (status.ok())
                                                 self->m_case = CaseAnswer::Folds;
                                             else if (status.Absent())
                                                 self->m_case = CaseAnswer::Exact;
                                         });
            return;
        }
    }

    RemoteSession& m_session;
    SideAddress m_root;
    bool m_subfolders;
    std::shared_ptr<RemoteTree> m_tree;
    std::size_t m_pending = 0;
    bool m_stopped = false;
    bool m_asking = false;
    CaseAnswer m_case = CaseAnswer::Unknown;
};

std::shared_ptr<const RemoteTree> RemoteTree::Read(RemoteSession& session, const SideAddress& root,
                                                   const Options& options)
{
    auto reading = std::make_shared<Reading>(session, root, options.subfolders);
    reading->List({});
    reading->RunUntilRead(options.goOn);
    reading->CheckRootKind();
    return reading->Result();
}

std::shared_ptr<const RemoteTree> RemoteTree::Failed(RemoteStatus why)
{
    auto tree = std::make_shared<RemoteTree>();
    tree->m_folders[{}].status = std::move(why);
    return tree;
}

const RemoteFolder* RemoteTree::Find(const std::string& relative) const
{
    const auto it = m_folders.find(relative);
    return it == m_folders.end() ? nullptr : &it->second;
}

const RemoteFolder& RemoteTree::Root() const
{
    static const RemoteFolder unread{RemoteStatus::ConnectionFailure("the folder was not read"), {}};
    const RemoteFolder* root = Find({});
    return root ? *root : unread;
}

int RemoteTree::ErrorNumber(const RemoteStatus& status)
{
    if (status.ok())
        return 0;
    if (status.Absent())
        return ENOENT;
    if (status.kind == RemoteStatus::Kind::Server && status.code == sftp::StatusCode::PermissionDenied)
        return EACCES;
    return EIO;
}

} // namespace tandrel::platform::remote
