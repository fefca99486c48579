#include "platform/remote/SftpReplies.h"

namespace tandrel::platform::remote::sftp {
namespace {

const char* TypeName(PacketType type)
{
    switch (type) {
    case PacketType::Status:
        return "STATUS";
    case PacketType::Handle:
        return "HANDLE";
    case PacketType::Data:
        return "DATA";
    case PacketType::Name:
        return "NAME";
    case PacketType::Attrs:
        return "ATTRS";
    case PacketType::ExtendedReply:
        return "EXTENDED_REPLY";
    default:
        return "a packet of an unexpected type";
    }
}

// The status of a STATUS reply, or a protocol failure for any other type
// than `expected`.
bool IsExpected(const Reply& reply, PacketType expected, RemoteStatus& status)
{
    if (reply.type == expected)
        return true;
    if (reply.type == PacketType::Status) {
        status = ReadStatus(reply);
        if (status.ok())
            status = RemoteStatus::ProtocolFailure(std::string("OK where ") + TypeName(expected) + " was due");
        return false;
    }
    status = RemoteStatus::ProtocolFailure(std::string(TypeName(reply.type)) + " where " + TypeName(expected) +
                                           " was due");
    return false;
}

RemoteStatus Malformed(PacketType type)
{
    return RemoteStatus::ProtocolFailure(std::string("a malformed ") + TypeName(type) + " reply");
}

} // namespace

bool SplitReply(std::string_view packet, Reply& reply)
{
    PacketReader reader(packet);
    std::uint8_t type = 0;
    if (!reader.U8(type) || !reader.U32(reply.id))
        return false;
    reply.type = static_cast<PacketType>(type);
    reply.body.assign(reader.Rest());
    return true;
}

bool ServerVersion::Offers(std::string_view name) const
{
    for (const auto& extension : extensions) {
        if (extension.first == name)
            return true;
    }
    return false;
}

bool ParseVersion(std::string_view packet, ServerVersion& version)
{
    PacketReader reader(packet);
    std::uint8_t type = 0;
    if (!reader.U8(type) || static_cast<PacketType>(type) != PacketType::Version || !reader.U32(version.version))
        return false;
    version.extensions.clear();
    while (!reader.AtEnd()) {
        std::string name;
        std::string data;
        if (!reader.String(name) || !reader.String(data))
            return false;
        version.extensions.emplace_back(std::move(name), std::move(data));
    }
    return true;
}

RemoteStatus ReadStatus(const Reply& reply)
{
    if (reply.type != PacketType::Status)
        return RemoteStatus::ProtocolFailure(std::string(TypeName(reply.type)) + " where STATUS was due");
    PacketReader reader(reply.body);
    std::uint32_t code = 0;
    if (!reader.U32(code))
        return Malformed(reply.type);
    // Servers before version 3 send no message; OpenSSH always does.
    std::string message;
    std::string language;
    if (!reader.AtEnd() && !(reader.String(message) && reader.String(language)))
        return Malformed(reply.type);
    return RemoteStatus::FromServer(static_cast<StatusCode>(code), std::move(message));
}

RemoteStatus ReadHandle(const Reply& reply, std::string& handle)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::Handle, status))
        return status;
    PacketReader reader(reply.body);
    if (!reader.String(handle) || !reader.AtEnd() || handle.size() > 256)
        return Malformed(reply.type);
    return status;
}

RemoteStatus ReadData(const Reply& reply, std::string& data)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::Data, status))
        return status;
    PacketReader reader(reply.body);
    if (!reader.String(data) || !reader.AtEnd())
        return Malformed(reply.type);
    return status;
}

RemoteStatus ReadNames(const Reply& reply, std::vector<NameEntry>& names)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::Name, status))
        return status;
    PacketReader reader(reply.body);
    std::uint32_t count = 0;
    // An entry takes at least 12 bytes: two lengths and the attribute flags.
    if (!reader.U32(count) || count > reader.Rest().size() / 12)
        return Malformed(reply.type);
    names.clear();
    names.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        NameEntry entry;
        if (!reader.String(entry.name) || !reader.String(entry.longName) || !reader.Attributes(entry.attributes))
            return Malformed(reply.type);
        names.push_back(std::move(entry));
    }
    if (!reader.AtEnd())
        return Malformed(reply.type);
    return status;
}

RemoteStatus ReadAttributes(const Reply& reply, FileAttributes& attributes)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::Attrs, status))
        return status;
    PacketReader reader(reply.body);
    if (!reader.Attributes(attributes) || !reader.AtEnd())
        return Malformed(reply.type);
    return status;
}

RemoteStatus ReadLimits(const Reply& reply, ServerLimits& limits)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::ExtendedReply, status))
        return status;
    PacketReader reader(reply.body);
    if (!reader.U64(limits.maxPacketLength) || !reader.U64(limits.maxReadLength) ||
        !reader.U64(limits.maxWriteLength) || !reader.U64(limits.maxOpenHandles))
        return Malformed(reply.type);
    return status;
}

RemoteStatus ReadSpace(const Reply& reply, SpaceInfo& s)
{
    RemoteStatus status;
    if (!IsExpected(reply, PacketType::ExtendedReply, status))
        return status;
    PacketReader reader(reply.body);
    for (std::uint64_t* field : {&s.blockSize, &s.fragmentSize, &s.blocks, &s.freeBlocks, &s.availableBlocks,
                                 &s.files, &s.freeFiles, &s.availableFiles, &s.fileSystemId, &s.flags,
                                 &s.maxNameLength}) {
        if (!reader.U64(*field))
            return Malformed(reply.type);
    }
    return status;
}

} // namespace tandrel::platform::remote::sftp
