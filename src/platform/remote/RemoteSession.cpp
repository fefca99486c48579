#include "platform/remote/RemoteSession.h"

namespace tandrel::platform::remote {

RemoteSession::RemoteSession(std::unique_ptr<SftpClient> client)
    : m_client(std::move(client)), m_operations(*m_client)
{
}

std::unique_ptr<RemoteSession> RemoteSession::Connect(const SideAddress& side, const ConnectOptions& options,
                                                      RemoteStatus& error)
{
    auto client = SftpClient::Connect(side, options, error);
    if (!client)
        return nullptr;
    return std::unique_ptr<RemoteSession>(new RemoteSession(std::move(client)));
}

template <typename Start>
RemoteStatus RemoteSession::Await(Start start)
{
    bool done = false;
    RemoteStatus result;
    start([&](const RemoteStatus& status) {
        result = status;
        done = true;
    });
    m_client->RunUntil([&] { return done; });
    return result;
}

RemoteStatus RemoteSession::Lstat(const std::string& path, sftp::FileAttributes& attributes)
{
    return Await([&](auto finish) {
        m_operations.Lstat(path, [&, finish](const RemoteStatus& status, const sftp::FileAttributes& found) {
            attributes = found;
            finish(status);
        });
    });
}

RemoteStatus RemoteSession::ListFolder(const std::string& path, std::vector<sftp::NameEntry>& entries)
{
    return Await([&](auto finish) {
        m_operations.ListFolder(path, [&, finish](const RemoteStatus& status, std::vector<sftp::NameEntry> found) {
            entries = std::move(found);
            finish(status);
        });
    });
}

std::vector<RemoteStatus> RemoteSession::ListFolders(const std::vector<std::string>& paths,
                                                     std::vector<std::vector<sftp::NameEntry>>& listings)
{
    std::vector<RemoteStatus> statuses(paths.size());
    listings.assign(paths.size(), {});
    std::size_t left = paths.size();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        m_operations.ListFolder(paths[i], [&, i](const RemoteStatus& status, std::vector<sftp::NameEntry> found) {
            statuses[i] = status;
            listings[i] = std::move(found);
            --left;
        });
    }
    m_client->RunUntil([&] { return left == 0; });
    return statuses;
}

RemoteStatus RemoteSession::ReadFile(const std::string& path, std::string& content)
{
    content.clear();
    return Await([&](auto finish) {
        m_operations.ReadFile(
            path,
            [&](std::string_view bytes) {
                content.append(bytes);
                return true;
            },
            finish);
    });
}

RemoteStatus RemoteSession::WriteFile(FileWrite request)
{
    return Await([&](auto finish) { m_operations.WriteFile(std::move(request), finish); });
}

RemoteStatus RemoteSession::WriteFile(const std::string& path, std::string_view content, std::uint32_t permissions,
                                      std::uint32_t mtime)
{
    FileWrite request;
    request.path = path;
    request.size = content.size();
    request.permissions = permissions;
    request.atime = mtime;
    request.mtime = mtime;
    request.source = [content](std::uint64_t offset, std::uint32_t length, std::string& chunk, std::string&) {
        chunk.assign(content.substr(static_cast<std::size_t>(offset), length));
        return true;
    };
    return WriteFile(std::move(request));
}

RemoteStatus RemoteSession::MakeFolder(const std::string& path, std::uint32_t permissions)
{
    return Await([&](auto finish) { m_operations.MakeFolder(path, permissions, finish); });
}

RemoteStatus RemoteSession::RemoveFile(const std::string& path)
{
    return Await([&](auto finish) { m_operations.RemoveFile(path, finish); });
}

RemoteStatus RemoteSession::RemoveFolder(const std::string& path)
{
    return Await([&](auto finish) { m_operations.RemoveFolder(path, finish); });
}

RemoteStatus RemoteSession::MakeLink(const std::string& linkPath, const std::string& target)
{
    return Await([&](auto finish) { m_operations.MakeLink(linkPath, target, finish); });
}

RemoteStatus RemoteSession::ReadLink(const std::string& path, std::string& target)
{
    return Await([&](auto finish) {
        m_operations.ReadLink(path, [&, finish](const RemoteStatus& status, std::string text) {
            target = std::move(text);
            finish(status);
        });
    });
}

RemoteStatus RemoteSession::SetTimes(const std::string& path, std::uint32_t atime, std::uint32_t mtime)
{
    return Await([&](auto finish) { m_operations.SetTimes(path, atime, mtime, finish); });
}

RemoteStatus RemoteSession::SetPermissions(const std::string& path, std::uint32_t permissions)
{
    return Await([&](auto finish) { m_operations.SetPermissions(path, permissions, finish); });
}

RemoteStatus RemoteSession::Rename(const std::string& from, const std::string& to)
{
    return Await([&](auto finish) { m_operations.Rename(from, to, finish); });
}

RemoteStatus RemoteSession::HardLink(const std::string& existing, const std::string& newPath)
{
    return Await([&](auto finish) { m_operations.HardLink(existing, newPath, finish); });
}

RemoteStatus RemoteSession::Space(const std::string& path, sftp::SpaceInfo& space)
{
    return Await([&](auto finish) {
        m_operations.Space(path, [&, finish](const RemoteStatus& status, const sftp::SpaceInfo& found) {
            space = found;
            finish(status);
        });
    });
}

} // namespace tandrel::platform::remote
