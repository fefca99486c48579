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

} // namespace tandrel::platform::remote
