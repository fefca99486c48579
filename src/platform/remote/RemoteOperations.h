#pragma once

#include "platform/remote/RemoteStatus.h"
#include "platform/remote/SftpClient.h"
#include "platform/remote/SftpReplies.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tandrel::platform::remote {

// What a safe write puts on the server.
struct FileWrite {
    std::string path; // the target, replaced only when everything else went well
    std::uint64_t size = 0;
    // Gives exactly `length` bytes from `offset` of the content in `chunk`,
    // or false with `error` set; the write then fails and leaves the target.
    std::function<bool(std::uint64_t offset, std::uint32_t length, std::string& chunk, std::string& error)> source;
    std::uint32_t permissions = 0644;
    std::uint32_t atime = 0;
    std::uint32_t mtime = 0;
    // Flush the file on the server before the rename (where it offers
    // fsync@openssh.com). Only for measuring what the flush costs: a copy
    // leaves it on.
    bool flush = true;
};

// The file operations on a remote side, each a chain of requests that runs
// alongside any number of others: start as many as there is work, then let
// the client run. Each completion runs once, on the thread that runs the
// client. Paths are the server's ('/'-separated, as the server takes them).
class RemoteOperations {
public:
    using Done = std::function<void(const RemoteStatus& status)>;
    using AttributesDone = std::function<void(const RemoteStatus& status, const sftp::FileAttributes& attributes)>;
    using ListingDone = std::function<void(const RemoteStatus& status, std::vector<sftp::NameEntry> entries)>;
    using TextDone = std::function<void(const RemoteStatus& status, std::string text)>;
    using SpaceDone = std::function<void(const RemoteStatus& status, const sftp::SpaceInfo& space)>;
    // Gets the file's bytes in order; false stops the reading early.
    using ReadSink = std::function<bool(std::string_view bytes)>;

    explicit RemoteOperations(SftpClient& client) : m_client(client) {}

    SftpClient& Client() { return m_client; }

    // The entry itself, a link not followed.
    void Lstat(const std::string& path, AttributesDone done);
    // A folder's entries with their attributes, without "." and "..".
    void ListFolder(const std::string& path, ListingDone done);
    // Reads the whole file with several reads in flight.
    void ReadFile(const std::string& path, ReadSink sink, Done done);
    // Writes a temporary file beside the target with several writes in
    // flight, sets its permission bits and times, flushes it where the
    // server offers fsync@openssh.com and renames it over the target
    // (posix-rename@openssh.com where offered). A failure at any step
    // removes the temporary file and leaves the old target.
    void WriteFile(FileWrite request, Done done);
    void MakeFolder(const std::string& path, std::uint32_t permissions, Done done);
    void RemoveFile(const std::string& path, Done done);
    void RemoveFolder(const std::string& path, Done done);
    // A link at `linkPath` that points to `target`.
    void MakeLink(const std::string& linkPath, const std::string& target, Done done);
    void ReadLink(const std::string& path, TextDone done);
    // Sets the times of an entry by path (a link is followed: folders only).
    void SetTimes(const std::string& path, std::uint32_t atime, std::uint32_t mtime, Done done);
    void SetPermissions(const std::string& path, std::uint32_t permissions, Done done);
    // Replaces `to` if it exists (posix-rename@openssh.com where offered).
    void Rename(const std::string& from, const std::string& to, Done done);
    void HardLink(const std::string& existing, const std::string& newPath, Done done);
    // Space on the file system that holds `path` (statvfs@openssh.com).
    void Space(const std::string& path, SpaceDone done);

    // The name a temporary file beside `target` gets.
    static std::string TemporaryNameFor(const std::string& target);

private:
    void Simple(std::string packet, Done done);

    SftpClient& m_client;
};

} // namespace tandrel::platform::remote
