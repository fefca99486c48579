#pragma once

#include "platform/remote/SftpCodes.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tandrel::platform::remote::sftp {

// The attributes of SFTP version 3; a field counts only when its flag is set.
struct FileAttributes {
    std::uint32_t flags = 0;
    std::uint64_t size = 0;
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::uint32_t permissions = 0; // type and permission bits, as st_mode
    std::uint32_t atime = 0;
    std::uint32_t mtime = 0;
    std::vector<std::pair<std::string, std::string>> extended;

    bool Has(std::uint32_t flag) const { return (flags & flag) != 0; }
    std::uint32_t Type() const { return Has(kAttrPermissions) ? (permissions & kTypeMask) : 0; }
    bool IsFolder() const { return Type() == kTypeFolder; }
    bool IsFile() const { return Type() == kTypeFile; }
    bool IsLink() const { return Type() == kTypeLink; }

    friend bool operator==(const FileAttributes&, const FileAttributes&) = default;
};

// Builds one packet: the length is filled in by Finish().
class PacketWriter {
public:
    explicit PacketWriter(PacketType type);

    PacketWriter& U8(std::uint8_t value);
    PacketWriter& U32(std::uint32_t value);
    PacketWriter& U64(std::uint64_t value);
    PacketWriter& String(std::string_view bytes);
    PacketWriter& Attributes(const FileAttributes& attributes);

    // The packet's bytes, length first; the writer is empty afterwards.
    std::string Finish();

private:
    std::string m_bytes;
};

// Reads the fields of one packet, never past its end: a field that does not
// fit fails, and so does every read after it.
class PacketReader {
public:
    explicit PacketReader(std::string_view bytes) : m_bytes(bytes) {}

    bool U8(std::uint8_t& value);
    bool U32(std::uint32_t& value);
    bool U64(std::uint64_t& value);
    bool String(std::string_view& bytes);
    bool String(std::string& bytes);
    bool Attributes(FileAttributes& attributes);

    bool AtEnd() const { return m_good && m_position == m_bytes.size(); }
    bool Good() const { return m_good; }
    std::string_view Rest() const { return m_bytes.substr(m_position); }

private:
    bool Take(std::size_t count, std::string_view& bytes);

    std::string_view m_bytes;
    std::size_t m_position = 0;
    bool m_good = true;
};

// Cuts a byte stream into packets. A packet longer than the limit, or one
// too short to hold its type, breaks the stream for good.
class PacketFramer {
public:
    explicit PacketFramer(std::uint32_t maxLength) : m_maxLength(maxLength) {}

    void Append(std::string_view bytes);
    enum class Next { NeedMore, Packet, Malformed };
    // On Packet, `packet` is the type byte and what follows it.
    Next Take(std::string& packet, std::string& error);

private:
    std::uint32_t m_maxLength;
    std::string m_buffer;
    std::size_t m_start = 0;
};

} // namespace tandrel::platform::remote::sftp
