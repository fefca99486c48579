// The remote side's readers of untrusted bytes: the SFTP packets a server
// sends, and the folder texts a user types. No input reads out of bounds,
// and:
// - the framer hands on exactly the bytes of whole packets, in order, and
//   refuses a length beyond its limit;
// - every reply that reads as attributes or names reads back the same after
//   being written out again;
// - only SSH_FX_NO_SUCH_FILE reads as an absence;
// - a side text parses to the same parts from its own ToText().

#include "FuzzCheck.h"

#include "platform/remote/SftpPacket.h"
#include "platform/remote/SftpReplies.h"
#include "platform/remote/SideAddress.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace tandrel::platform::remote;
using tandrel::fuzz::Fail;
using tandrel::fuzz::Require;
using tandrel::fuzz::RequireEqual;

namespace {

constexpr std::uint32_t kLimit = 1 << 16;

void CheckAttributes(const sftp::Reply& reply)
{
    sftp::FileAttributes attributes;
    if (!sftp::ReadAttributes(reply, attributes).ok())
        return;
    const std::string bytes = sftp::PacketWriter(sftp::PacketType::Attrs).Attributes(attributes).Finish();
    sftp::PacketReader reader(std::string_view(bytes).substr(5));
    sftp::FileAttributes back;
    Require(reader.Attributes(back) && reader.AtEnd(), "written attributes do not read back");
    Require(back == attributes, "attributes changed on the way out and back");
}

void CheckNames(const sftp::Reply& reply)
{
    std::vector<sftp::NameEntry> names;
    if (!sftp::ReadNames(reply, names).ok())
        return;
    sftp::PacketWriter writer(sftp::PacketType::Name);
    writer.U32(reply.id).U32(static_cast<std::uint32_t>(names.size()));
    for (const auto& entry : names)
        writer.String(entry.name).String(entry.longName).Attributes(entry.attributes);
    sftp::Reply again;
    Require(sftp::SplitReply(writer.Finish().substr(4), again), "a written NAME reply does not split");
    std::vector<sftp::NameEntry> back;
    Require(sftp::ReadNames(again, back).ok() && back.size() == names.size(), "a written NAME reply does not read");
    for (std::size_t i = 0; i < names.size(); ++i) {
        RequireEqual(back[i].name, names[i].name, "a name", i);
        Require(back[i].attributes == names[i].attributes, "a name's attributes changed");
    }
}

void CheckReply(const std::string& packet)
{
    sftp::ServerVersion version;
    sftp::ParseVersion(packet, version);
    sftp::Reply reply;
    if (!sftp::SplitReply(packet, reply))
        return;
    const RemoteStatus status = sftp::ReadStatus(reply);
    Require(status.Absent() == (reply.type == sftp::PacketType::Status && !status.ok() &&
                                status.kind == RemoteStatus::Kind::Server &&
                                status.code == sftp::StatusCode::NoSuchFile),
            "something else than NO_SUCH_FILE reads as absent");
    Require(status.ok() || !status.text.empty(), "an error without a text");
    std::string text;
    sftp::ReadHandle(reply, text);
    sftp::ReadData(reply, text);
    sftp::ServerLimits limits;
    sftp::ReadLimits(reply, limits);
    sftp::SpaceInfo space;
    sftp::ReadSpace(reply, space);
    CheckAttributes(reply);
    CheckNames(reply);
}

void CheckStream(FuzzedDataProvider& input)
{
    const std::string stream = input.ConsumeRandomLengthString(1 << 16);
    sftp::PacketFramer framer(kLimit);
    std::size_t fed = 0;
    std::size_t taken = 0;
    std::string packet;
    std::string error;
    while (fed < stream.size()) {
        const std::size_t piece = 1 + (stream[fed] & 0x3f);
        const std::size_t count = std::min(piece, stream.size() - fed);
        framer.Append(std::string_view(stream).substr(fed, count));
        fed += count;
        sftp::PacketFramer::Next next;
        while ((next = framer.Take(packet, error)) == sftp::PacketFramer::Next::Packet) {
            Require(taken + 4 + packet.size() <= stream.size(), "the framer gave more bytes than it got");
            RequireEqual(packet, std::string_view(stream).substr(taken + 4, packet.size()), "a packet's bytes");
            taken += 4 + packet.size();
            CheckReply(packet);
        }
        if (next == sftp::PacketFramer::Next::Malformed) {
            Require(!error.empty(), "a broken stream without a reason");
            return;
        }
    }
}

void CheckSideText(const std::string& typed)
{
    const SideAddress side = SideAddress::Parse(typed);
    RequireEqual(side.Text(), typed, "the text as typed");
    if (!side.IsRemote())
        RequireEqual(side.Path(), typed, "a local side's path");
    if (!side.Error().empty())
        return;
    const SideAddress again = SideAddress::Parse(side.ToText());
    if (!(again == side))
        Fail("\"" + tandrel::fuzz::Escaped(typed) + "\" does not read back from \"" +
             tandrel::fuzz::Escaped(side.ToText()) + "\"");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    CheckSideText(input.ConsumeRandomLengthString(256));
    CheckStream(input);
    return 0;
}
