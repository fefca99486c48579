#include "platform/remote/RemoteSides.h"

namespace tandrel::platform::remote {

std::string ServerPath(const SideAddress& root, const std::string& relative)
{
    std::string path = root.Path();
    if (relative.empty())
        return path;
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path + relative;
}

RemoteSession* RemoteSides::For(const SideAddress& side, RemoteStatus& error)
{
    const Key key{side.User(), side.Host(), side.Port()};
    auto it = m_sessions.find(key);
    if (it != m_sessions.end() && !it->second->Client().Lost())
        return it->second.get();
    auto session = RemoteSession::Connect(side, m_options, error);
    if (!session) {
        if (it != m_sessions.end())
            m_sessions.erase(it);
        return nullptr;
    }
    RemoteSession* made = session.get();
    m_sessions[key] = std::move(session);
    return made;
}

std::string RemoteSides::FolderError(const SideAddress& side)
{
    if (!side.Error().empty())
        return side.Error();
    RemoteStatus status;
    RemoteSession* session = For(side, status);
    if (!session)
        return status.text;
    sftp::FileAttributes attributes;
    status = session->Lstat(side.Path().empty() ? std::string(".") : side.Path(), attributes);
    if (!status.ok())
        return status.text;
    if (!attributes.IsFolder() && !attributes.IsLink())
        return "Not a directory";
    return {};
}

} // namespace tandrel::platform::remote
