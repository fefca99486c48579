#include "platform/remote/SftpPacket.h"
#include "platform/remote/SftpReplies.h"

#include <gtest/gtest.h>

#include <functional>

namespace tandrel::platform::remote::sftp {
namespace {

// A reply as a server sends it, without the length.
std::string ReplyBytes(PacketType type, std::uint32_t id, const std::function<void(PacketWriter&)>& fields)
{
    PacketWriter writer(type);
    writer.U32(id);
    fields(writer);
    return writer.Finish().substr(4);
}

Reply Split(const std::string& packet)
{
    Reply reply;
    EXPECT_TRUE(SplitReply(packet, reply));
    return reply;
}

TEST(SftpPacket, WritesBigEndianWithItsLength)
{
    const std::string bytes = PacketWriter(PacketType::Init).U32(3).String("ab").U64(0x0102030405060708).Finish();
    const std::string expected("\x00\x00\x00\x13\x01\x00\x00\x00\x03\x00\x00\x00\x02"
                               "ab\x01\x02\x03\x04\x05\x06\x07\x08",
                               23);
    EXPECT_EQ(bytes, expected);
}

TEST(SftpPacket, AttributesRoundTrip)
{
    FileAttributes a;
    a.flags = kAttrSize | kAttrUidGid | kAttrPermissions | kAttrTimes;
    a.size = 1ULL << 40;
    a.uid = 7;
    a.gid = 8;
    a.permissions = kTypeFile | 0640;
    a.atime = 1;
    a.mtime = 4000000000u;
    a.extended = {{"x@y", "z"}};
    const std::string bytes = PacketWriter(PacketType::Attrs).Attributes(a).Finish();
    PacketReader reader(std::string_view(bytes).substr(5));
    FileAttributes back;
    ASSERT_TRUE(reader.Attributes(back));
    EXPECT_TRUE(reader.AtEnd());
    a.flags |= kAttrExtended;
    EXPECT_EQ(back, a);
    EXPECT_TRUE(back.IsFile());
}

TEST(SftpPacket, AnExtendedFlagWithoutPairsReadsBackTheSame)
{
    FileAttributes a;
    a.flags = kAttrExtended;
    const std::string bytes = PacketWriter(PacketType::Attrs).Attributes(a).Finish();
    PacketReader reader(std::string_view(bytes).substr(5));
    FileAttributes back;
    ASSERT_TRUE(reader.Attributes(back));
    EXPECT_EQ(back, a);
}

TEST(SftpPacket, ReaderNeverReadsPastTheEnd)
{
    const std::string lying("\x00\x00\x10\x00" "abc", 7); // a string said to hold 4096 bytes
    PacketReader reader(lying);
    std::string text;
    EXPECT_FALSE(reader.String(text));
    std::uint32_t value = 0;
    EXPECT_FALSE(reader.U32(value)); // and nothing after a failed field
    EXPECT_FALSE(reader.Good());
}

TEST(SftpPacket, FramerCutsAStreamAndRefusesOverlongPackets)
{
    PacketFramer framer(64);
    const std::string one = PacketWriter(PacketType::Status).U32(1).Finish();
    const std::string two = PacketWriter(PacketType::Data).U32(2).String("xyz").Finish();
    const std::string stream = one + two;
    std::string packet;
    std::string error;
    framer.Append(stream.substr(0, 6));
    EXPECT_EQ(framer.Take(packet, error), PacketFramer::Next::NeedMore);
    framer.Append(stream.substr(6));
    ASSERT_EQ(framer.Take(packet, error), PacketFramer::Next::Packet);
    EXPECT_EQ(packet, one.substr(4));
    ASSERT_EQ(framer.Take(packet, error), PacketFramer::Next::Packet);
    EXPECT_EQ(packet, two.substr(4));
    EXPECT_EQ(framer.Take(packet, error), PacketFramer::Next::NeedMore);

    framer.Append(std::string("\x00\x00\x00\x41", 4));
    EXPECT_EQ(framer.Take(packet, error), PacketFramer::Next::Malformed);
    EXPECT_NE(error.find("65 bytes"), std::string::npos) << error;
    PacketFramer empty(64);
    empty.Append(std::string(4, '\0'));
    EXPECT_EQ(empty.Take(packet, error), PacketFramer::Next::Malformed);
}

struct StatusCase {
    StatusCode code;
    bool absent;
};

TEST(SftpReplies, OnlyNoSuchFileMeansAbsent)
{
    for (const StatusCase c : {StatusCase{StatusCode::NoSuchFile, true}, {StatusCode::PermissionDenied, false},
                               {StatusCode::Failure, false}, {StatusCode::Eof, false},
                               {StatusCode::ConnectionLost, false}, {StatusCode::OpUnsupported, false}}) {
        const Reply reply = Split(ReplyBytes(PacketType::Status, 5, [&](PacketWriter& w) {
            w.U32(static_cast<std::uint32_t>(c.code)).String("server says so").String("en");
        }));
        const RemoteStatus status = ReadStatus(reply);
        EXPECT_FALSE(status.ok());
        EXPECT_EQ(status.Absent(), c.absent) << static_cast<int>(c.code);
        EXPECT_EQ(status.text, "server says so");
        EXPECT_EQ(status.Describe("Cannot open", "/x"), "Cannot open '/x': server says so");
    }
}

TEST(SftpReplies, AStatusWithoutTextGetsTheCodesWords)
{
    const Reply reply = Split(ReplyBytes(PacketType::Status, 1, [](PacketWriter& w) { w.U32(3); }));
    EXPECT_EQ(ReadStatus(reply).text, "Permission denied");
}

TEST(SftpReplies, ErrorsComeThroughWhereDataWasDue)
{
    const Reply reply = Split(ReplyBytes(PacketType::Status, 9, [](PacketWriter& w) {
        w.U32(static_cast<std::uint32_t>(StatusCode::PermissionDenied)).String("Permission denied").String("");
    }));
    std::string handle;
    const RemoteStatus status = ReadHandle(reply, handle);
    EXPECT_EQ(status.kind, RemoteStatus::Kind::Server);
    EXPECT_EQ(status.code, StatusCode::PermissionDenied);
}

TEST(SftpReplies, WrongTypesAndLyingCountsAreProtocolFailures)
{
    std::string data;
    const Reply handle = Split(ReplyBytes(PacketType::Handle, 1, [](PacketWriter& w) { w.String("h"); }));
    EXPECT_EQ(ReadData(handle, data).kind, RemoteStatus::Kind::Protocol);

    // A NAME reply that claims a million entries in a few bytes.
    std::vector<NameEntry> names;
    const Reply lying = Split(ReplyBytes(PacketType::Name, 1, [](PacketWriter& w) { w.U32(1000000).String("a"); }));
    EXPECT_EQ(ReadNames(lying, names).kind, RemoteStatus::Kind::Protocol);

    FileAttributes attributes;
    attributes.flags = kAttrPermissions;
    attributes.permissions = kTypeFolder | 0755;
    const Reply good = Split(ReplyBytes(PacketType::Name, 1, [&](PacketWriter& w) {
        w.U32(1).String("d\xc3\xa9").String("long").Attributes(attributes);
    }));
    ASSERT_TRUE(ReadNames(good, names).ok());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "d\xc3\xa9");
    EXPECT_TRUE(names[0].attributes.IsFolder());

    const Reply trailing = Split(ReplyBytes(PacketType::Handle, 1, [](PacketWriter& w) { w.String("h").U8(0); }));
    EXPECT_EQ(ReadHandle(trailing, data).kind, RemoteStatus::Kind::Protocol);
    Reply tooShort;
    EXPECT_FALSE(SplitReply(std::string("\x65\x00\x00", 3), tooShort));
}

TEST(SftpReplies, VersionListsExtensions)
{
    const std::string packet = PacketWriter(PacketType::Version)
                                   .U32(3)
                                   .String("posix-rename@openssh.com")
                                   .String("1")
                                   .String("limits@openssh.com")
                                   .String("1")
                                   .Finish()
                                   .substr(4);
    ServerVersion version;
    ASSERT_TRUE(ParseVersion(packet, version));
    EXPECT_EQ(version.version, 3u);
    EXPECT_TRUE(version.Offers("limits@openssh.com"));
    EXPECT_FALSE(version.Offers("fsync@openssh.com"));
    EXPECT_FALSE(ParseVersion(packet.substr(0, packet.size() - 1), version));
}

} // namespace
} // namespace tandrel::platform::remote::sftp
