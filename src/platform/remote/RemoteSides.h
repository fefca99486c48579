#pragma once

#include "platform/remote/RemoteSession.h"
#include "platform/remote/SideAddress.h"

#include <map>
#include <memory>
#include <string>
#include <tuple>

namespace tandrel::platform::remote {

// The server's path of an item below a remote root: the root's folder (as
// decoded once from the root's text) with the relative path appended as it
// stands. A row's relative path is never decoded again, so a name such as
// "a%20b" stays that name.
std::string ServerPath(const SideAddress& root, const std::string& relative);

// The connections to the remote sides of a comparison and of the runs that
// follow it: one per host, user and port, made when first asked for and kept
// until dropped, so that ssh asks for a passphrase once. A connection found
// lost is made again on the next request for it.
class RemoteSides {
public:
    explicit RemoteSides(ConnectOptions options = {}) : m_options(std::move(options)) {}

    const ConnectOptions& Options() const { return m_options; }
    void SetOptions(ConnectOptions options) { m_options = std::move(options); }

    // The session for the side's host, connected now if need be; null with
    // `error` set (ssh's own reason) when it cannot be had.
    RemoteSession* For(const SideAddress& side, RemoteStatus& error);
    // Why the side cannot be compared, in ssh's or the server's words (an
    // address that is no address, a host that cannot be reached, a folder
    // that is not there or is a file); empty when it is a folder, or a link
    // the server may lead to one. Connects when need be.
    std::string FolderError(const SideAddress& side);
    // Ends every connection.
    void DropAll() { m_sessions.clear(); }

private:
    using Key = std::tuple<std::string, std::string, int>;
    ConnectOptions m_options;
    std::map<Key, std::unique_ptr<RemoteSession>> m_sessions;
};

} // namespace tandrel::platform::remote
