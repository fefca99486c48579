#pragma once

#include "platform/remote/RemoteOperations.h"
#include "platform/remote/SftpClient.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::platform::remote {

// One connection to a remote side with a blocking call for each operation,
// for callers that do one thing at a time; Operations() gives the same
// operations to run many at once.
class RemoteSession {
public:
    static std::unique_ptr<RemoteSession> Connect(const SideAddress& side, const ConnectOptions& options,
                                                  RemoteStatus& error);

    SftpClient& Client() { return *m_client; }
    RemoteOperations& Operations() { return m_operations; }

    RemoteStatus Lstat(const std::string& path, sftp::FileAttributes& attributes);
    RemoteStatus ListFolder(const std::string& path, std::vector<sftp::NameEntry>& entries);
    // Many folders at once; one status and one listing per path, in order.
    std::vector<RemoteStatus> ListFolders(const std::vector<std::string>& paths,
                                          std::vector<std::vector<sftp::NameEntry>>& listings);
    RemoteStatus ReadFile(const std::string& path, std::string& content);
    RemoteStatus WriteFile(FileWrite request);
    RemoteStatus WriteFile(const std::string& path, std::string_view content, std::uint32_t permissions,
                           std::uint32_t mtime);
    RemoteStatus MakeFolder(const std::string& path, std::uint32_t permissions);
    RemoteStatus RemoveFile(const std::string& path);
    RemoteStatus RemoveFolder(const std::string& path);
    RemoteStatus MakeLink(const std::string& linkPath, const std::string& target);
    RemoteStatus ReadLink(const std::string& path, std::string& target);
    RemoteStatus SetTimes(const std::string& path, std::uint32_t atime, std::uint32_t mtime);
    RemoteStatus SetPermissions(const std::string& path, std::uint32_t permissions);
    RemoteStatus Rename(const std::string& from, const std::string& to);
    RemoteStatus HardLink(const std::string& existing, const std::string& newPath);
    RemoteStatus Space(const std::string& path, sftp::SpaceInfo& space);

private:
    explicit RemoteSession(std::unique_ptr<SftpClient> client);
    // Starts one operation with a completion that stores its status, and
    // runs the client until it has run.
    template <typename Start>
    RemoteStatus Await(Start start);

    std::unique_ptr<SftpClient> m_client;
    RemoteOperations m_operations;
};

} // namespace tandrel::platform::remote
