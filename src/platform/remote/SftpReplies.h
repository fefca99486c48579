#pragma once

#include "platform/remote/RemoteStatus.h"
#include "platform/remote/SftpPacket.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tandrel::platform::remote::sftp {

// A server's answer to one request: its type, the request's id and the rest.
struct Reply {
    PacketType type = PacketType::Status;
    std::uint32_t id = 0;
    std::string body;
};

// False when the packet is too short to hold a type and an id.
bool SplitReply(std::string_view packet, Reply& reply);

struct ServerVersion {
    std::uint32_t version = 0;
    std::vector<std::pair<std::string, std::string>> extensions;
    bool Offers(std::string_view name) const;
};
bool ParseVersion(std::string_view packet, ServerVersion& version);

// What limits@openssh.com reports; 0 means "no limit given".
struct ServerLimits {
    std::uint64_t maxPacketLength = 0;
    std::uint64_t maxReadLength = 0;
    std::uint64_t maxWriteLength = 0;
    std::uint64_t maxOpenHandles = 0;
};

// statvfs@openssh.com, in the fields of statvfs(3).
struct SpaceInfo {
    std::uint64_t blockSize = 0;
    std::uint64_t fragmentSize = 0;
    std::uint64_t blocks = 0;
    std::uint64_t freeBlocks = 0;
    std::uint64_t availableBlocks = 0;
    std::uint64_t files = 0;
    std::uint64_t freeFiles = 0;
    std::uint64_t availableFiles = 0;
    std::uint64_t fileSystemId = 0;
    std::uint64_t flags = 0;
    std::uint64_t maxNameLength = 0;
    std::uint64_t AvailableBytes() const { return availableBlocks * fragmentSize; }
};

struct NameEntry {
    std::string name;
    std::string longName;
    FileAttributes attributes;
};

// Each of these reads the reply it expects; a STATUS reply gives that status
// (an error, or for ReadData and ReadNames SSH_FX_EOF at the end), any other
// type or a short or overlong body a protocol failure.
RemoteStatus ReadStatus(const Reply& reply);
RemoteStatus ReadHandle(const Reply& reply, std::string& handle);
RemoteStatus ReadData(const Reply& reply, std::string& data);
RemoteStatus ReadNames(const Reply& reply, std::vector<NameEntry>& names);
RemoteStatus ReadAttributes(const Reply& reply, FileAttributes& attributes);
RemoteStatus ReadLimits(const Reply& reply, ServerLimits& limits);
RemoteStatus ReadSpace(const Reply& reply, SpaceInfo& space);

} // namespace tandrel::platform::remote::sftp
