#include "platform/remote/SftpPacket.h"

namespace tandrel::platform::remote::sftp {

PacketWriter::PacketWriter(PacketType type)
{
    m_bytes.assign(4, '\0');
    m_bytes += static_cast<char>(type);
}

PacketWriter& PacketWriter::U8(std::uint8_t value)
{
    m_bytes += static_cast<char>(value);
    return *this;
}

PacketWriter& PacketWriter::U32(std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        m_bytes += static_cast<char>((value >> shift) & 0xff);
    return *this;
}

PacketWriter& PacketWriter::U64(std::uint64_t value)
{
    U32(static_cast<std::uint32_t>(value >> 32));
    return U32(static_cast<std::uint32_t>(value & 0xffffffffu));
}

PacketWriter& PacketWriter::String(std::string_view bytes)
{
    U32(static_cast<std::uint32_t>(bytes.size()));
    m_bytes.append(bytes);
    return *this;
}

PacketWriter& PacketWriter::Attributes(const FileAttributes& a)
{
    const std::uint32_t flags = a.extended.empty() ? a.flags : (a.flags | kAttrExtended);
    U32(flags);
    if (flags & kAttrSize)
        U64(a.size);
    if (flags & kAttrUidGid)
        U32(a.uid).U32(a.gid);
    if (flags & kAttrPermissions)
        U32(a.permissions);
    if (flags & kAttrTimes)
        U32(a.atime).U32(a.mtime);
    if (flags & kAttrExtended) {
        U32(static_cast<std::uint32_t>(a.extended.size()));
        for (const auto& [type, data] : a.extended)
            String(type).String(data);
    }
    return *this;
}

std::string PacketWriter::Finish()
{
    const auto length = static_cast<std::uint32_t>(m_bytes.size() - 4);
    for (int i = 0; i < 4; ++i)
        m_bytes[i] = static_cast<char>((length >> (24 - 8 * i)) & 0xff);
    return std::move(m_bytes);
}

bool PacketReader::Take(std::size_t count, std::string_view& bytes)
{
    if (!m_good || count > m_bytes.size() - m_position) {
        m_good = false;
        return false;
    }
    bytes = m_bytes.substr(m_position, count);
    m_position += count;
    return true;
}

bool PacketReader::U8(std::uint8_t& value)
{
    std::string_view bytes;
    if (!Take(1, bytes))
        return false;
    value = static_cast<std::uint8_t>(bytes[0]);
    return true;
}

bool PacketReader::U32(std::uint32_t& value)
{
    std::string_view bytes;
    if (!Take(4, bytes))
        return false;
    value = 0;
    for (const char c : bytes)
        value = (value << 8) | static_cast<std::uint8_t>(c);
    return true;
}

bool PacketReader::U64(std::uint64_t& value)
{
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!U32(high) || !U32(low))
        return false;
    value = (static_cast<std::uint64_t>(high) << 32) | low;
    return true;
}

bool PacketReader::String(std::string_view& bytes)
{
    std::uint32_t length = 0;
    return U32(length) && Take(length, bytes);
}

bool PacketReader::String(std::string& bytes)
{
    std::string_view view;
    if (!String(view))
        return false;
    bytes.assign(view);
    return true;
}

bool PacketReader::Attributes(FileAttributes& a)
{
    a = FileAttributes{};
    if (!U32(a.flags))
        return false;
    if ((a.flags & kAttrSize) && !U64(a.size))
        return false;
    if ((a.flags & kAttrUidGid) && !(U32(a.uid) && U32(a.gid)))
        return false;
    if ((a.flags & kAttrPermissions) && !U32(a.permissions))
        return false;
    if ((a.flags & kAttrTimes) && !(U32(a.atime) && U32(a.mtime)))
        return false;
    if (a.flags & kAttrExtended) {
        std::uint32_t count = 0;
        if (!U32(count))
            return false;
        // Each pair takes at least 8 bytes: a count beyond that is a lie.
        if (count > Rest().size() / 8) {
            m_good = false;
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            std::string type;
            std::string data;
            if (!String(type) || !String(data))
                return false;
            a.extended.emplace_back(std::move(type), std::move(data));
        }
    }
    return true;
}

void PacketFramer::Append(std::string_view bytes)
{
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.erase(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes);
}

PacketFramer::Next PacketFramer::Take(std::string& packet, std::string& error)
{
    const std::size_t available = m_buffer.size() - m_start;
    if (available < 4)
        return Next::NeedMore;
    std::uint32_t length = 0;
    for (std::size_t i = 0; i < 4; ++i)
        length = (length << 8) | static_cast<std::uint8_t>(m_buffer[m_start + i]);
    if (length == 0) {
        error = "a packet without a type";
        return Next::Malformed;
    }
    if (length > m_maxLength) {
        error = "a packet of " + std::to_string(length) + " bytes, more than the " + std::to_string(m_maxLength) +
                " allowed";
        return Next::Malformed;
    }
    if (available - 4 < length)
        return Next::NeedMore;
    packet.assign(m_buffer, m_start + 4, length);
    m_start += 4 + length;
    return Next::Packet;
}

} // namespace tandrel::platform::remote::sftp
