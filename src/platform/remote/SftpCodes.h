#pragma once

#include <cstdint>

// The numbers of SFTP version 3 (draft-ietf-secsh-filexfer-02), as OpenSSH
// speaks it.
namespace tandrel::platform::remote::sftp {

enum class PacketType : std::uint8_t {
    Init = 1,
    Version = 2,
    Open = 3,
    Close = 4,
    Read = 5,
    Write = 6,
    Lstat = 7,
    Fstat = 8,
    Setstat = 9,
    Fsetstat = 10,
    Opendir = 11,
    Readdir = 12,
    Remove = 13,
    Mkdir = 14,
    Rmdir = 15,
    Realpath = 16,
    Stat = 17,
    Rename = 18,
    Readlink = 19,
    Symlink = 20,
    Status = 101,
    Handle = 102,
    Data = 103,
    Name = 104,
    Attrs = 105,
    Extended = 200,
    ExtendedReply = 201,
};

// SSH_FX_* status codes.
enum class StatusCode : std::uint32_t {
    Ok = 0,
    Eof = 1,
    NoSuchFile = 2,
    PermissionDenied = 3,
    Failure = 4,
    BadMessage = 5,
    NoConnection = 6,
    ConnectionLost = 7,
    OpUnsupported = 8,
};

// SSH_FXF_* open flags.
inline constexpr std::uint32_t kOpenRead = 0x01;
inline constexpr std::uint32_t kOpenWrite = 0x02;
inline constexpr std::uint32_t kOpenAppend = 0x04;
inline constexpr std::uint32_t kOpenCreate = 0x08;
inline constexpr std::uint32_t kOpenTruncate = 0x10;
inline constexpr std::uint32_t kOpenExclusive = 0x20;

// SSH_FILEXFER_ATTR_* flags.
inline constexpr std::uint32_t kAttrSize = 0x01;
inline constexpr std::uint32_t kAttrUidGid = 0x02;
inline constexpr std::uint32_t kAttrPermissions = 0x04;
inline constexpr std::uint32_t kAttrTimes = 0x08;
inline constexpr std::uint32_t kAttrExtended = 0x80000000u;

inline constexpr std::uint32_t kProtocolVersion = 3;

// The file type bits of the permissions field, as POSIX numbers them.
inline constexpr std::uint32_t kTypeMask = 0170000;
inline constexpr std::uint32_t kTypeFolder = 0040000;
inline constexpr std::uint32_t kTypeFile = 0100000;
inline constexpr std::uint32_t kTypeLink = 0120000;

} // namespace tandrel::platform::remote::sftp
