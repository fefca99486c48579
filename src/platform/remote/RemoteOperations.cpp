#include "platform/remote/RemoteOperations.h"

#include "platform/FileOps.h"
#include "platform/FileResult.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>
#include <chrono>
#include <random>

namespace tandrel::platform::remote {
namespace {

using sftp::PacketType;
using sftp::Reply;

// Requests of one file's reads or writes in flight at a time: enough to
// keep a fast link busy, while other files' requests still get their turn.
constexpr std::size_t kChunksInFlight = 16;

RemoteStatus StatusOf(const Reply* reply, const RemoteStatus& lost)
{
    return reply ? sftp::ReadStatus(*reply) : lost;
}

// The first error of a chain of steps is the one reported.
void Keep(RemoteStatus& first, const RemoteStatus& next)
{
    if (first.ok() && !next.ok())
        first = next;
}

// A folder read with OPENDIR, READDIR until the end, CLOSE. Two READDIRs
// are kept in flight: the server answers them in order, so a folder that
// fits in one reply costs one round trip less for its end. The listing is
// handed on at its end; the handle is closed behind it.
struct FolderListing : std::enable_shared_from_this<FolderListing> {
    static constexpr int kReadsInFlight = 2;

    SftpClient& client;
    std::string path;
    RemoteOperations::ListingDone done;
    std::string handle;
    std::vector<sftp::NameEntry> entries;
    int reading = 0;
    bool ended = false;

    FolderListing(SftpClient& c, std::string p, RemoteOperations::ListingDone d)
        : client(c), path(std::move(p)), done(std::move(d))
    {
    }

    void Start()
    {
        auto self = shared_from_this();
        client.WhenHandleFree([self] {
            self->client.Submit(SftpClient::Request(PacketType::Opendir).String(self->path).Finish(),
                                [self](const Reply* reply, const RemoteStatus& lost) {
                                    RemoteStatus status = reply ? sftp::ReadHandle(*reply, self->handle) : lost;
                                    if (!status.ok()) {
                                        self->client.ReleaseHandle();
                                        self->done(status, {});
                                        return;
                                    }
                                    for (int k = 0; k < kReadsInFlight; ++k)
                                        self->ReadMore();
                                });
        });
    }

    void ReadMore()
    {
        auto self = shared_from_this();
        ++reading;
        client.Submit(SftpClient::Request(PacketType::Readdir).String(handle).Finish(),
                      [self](const Reply* reply, const RemoteStatus& lost) {
                          --self->reading;
                          if (self->ended)
                              return self->CloseWhenIdle();
                          std::vector<sftp::NameEntry> names;
                          const RemoteStatus status = reply ? sftp::ReadNames(*reply, names) : lost;
                          if (status.EndOfData())
                              return self->Finish(RemoteStatus::Success());
                          if (!status.ok())
                              return self->Finish(status);
                          for (auto& entry : names) {
                              if (entry.name != "." && entry.name != "..")
                                  self->entries.push_back(std::move(entry));
                          }
                          self->ReadMore();
                      });
    }

    void Finish(const RemoteStatus& status)
    {
        ended = true;
        // The listing stands whatever closing the handle gives.
        done(status, status.ok() ? std::move(entries) : std::vector<sftp::NameEntry>{});
        CloseWhenIdle();
    }

    // The handle goes once no READDIR on it is left unanswered.
    void CloseWhenIdle()
    {
        if (reading > 0)
            return;
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Close).String(handle).Finish(),
                      [self](const Reply*, const RemoteStatus&) { self->client.ReleaseHandle(); });
    }
};

// A whole file read with several READs in flight, handed on in order.
struct FileReading : std::enable_shared_from_this<FileReading> {
    SftpClient& client;
    std::string path;
    RemoteOperations::ReadSink sink;
    RemoteOperations::Done done;
    std::string handle;
    std::uint64_t nextRequest = 0;  // where the next new read starts
    std::uint64_t nextDelivery = 0; // the first byte not yet handed on
    std::map<std::uint64_t, std::string> early; // pieces that came before their turn
    std::map<std::uint64_t, std::uint32_t> gaps; // short reads' remainders to ask for again
    std::size_t inFlight = 0;
    bool atEnd = false;
    bool stopped = false;
    RemoteStatus failure;

    FileReading(SftpClient& c, std::string p, RemoteOperations::ReadSink s, RemoteOperations::Done d)
        : client(c), path(std::move(p)), sink(std::move(s)), done(std::move(d))
    {
    }

    void Start()
    {
        auto self = shared_from_this();
        client.WhenHandleFree([self] {
            self->client.Submit(SftpClient::Request(PacketType::Open)
                                    .String(self->path)
                                    .U32(sftp::kOpenRead)
                                    .Attributes({})
                                    .Finish(),
                                [self](const Reply* reply, const RemoteStatus& lost) {
                                    const RemoteStatus status = reply ? sftp::ReadHandle(*reply, self->handle) : lost;
                                    if (!status.ok()) {
                                        self->client.ReleaseHandle();
                                        self->done(status);
                                        return;
                                    }
                                    self->Fill();
                                });
        });
    }

    void Fill()
    {
        while (inFlight < kChunksInFlight && failure.ok() && !stopped && (inFlight == 0 || client.HasRoom())) {
            std::uint64_t offset;
            std::uint32_t length;
            if (!gaps.empty()) {
                offset = gaps.begin()->first;
                length = gaps.begin()->second;
                gaps.erase(gaps.begin());
            } else if (!atEnd) {
                offset = nextRequest;
                length = client.MaxReadLength();
                nextRequest += length;
            } else {
                break;
            }
            Request(offset, length);
        }
        if (inFlight == 0)
            Finish();
    }

    void Request(std::uint64_t offset, std::uint32_t length)
    {
        ++inFlight;
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Read).String(handle).U64(offset).U32(length).Finish(),
                      [self, offset, length](const Reply* reply, const RemoteStatus& lost) {
                          --self->inFlight;
                          std::string data;
                          const RemoteStatus status = reply ? sftp::ReadData(*reply, data) : lost;
                          self->Arrived(offset, length, status, std::move(data));
                          self->Fill();
                      });
    }

    void Arrived(std::uint64_t offset, std::uint32_t length, const RemoteStatus& status, std::string data)
    {
        if (status.EndOfData()) {
            atEnd = true;
            return;
        }
        if (!status.ok()) {
            Keep(failure, status);
            return;
        }
        if (data.size() > length) {
            Keep(failure, RemoteStatus::ProtocolFailure("more data than asked for"));
            return;
        }
        if (data.empty()) {
            atEnd = true;
            return;
        }
        if (data.size() < length)
            gaps.emplace(offset + data.size(), static_cast<std::uint32_t>(length - data.size()));
        early.emplace(offset, std::move(data));
        while (!early.empty() && early.begin()->first == nextDelivery && !stopped) {
            std::string piece = std::move(early.begin()->second);
            early.erase(early.begin());
            nextDelivery += piece.size();
            if (!sink(piece))
                stopped = true;
        }
    }

    void Finish()
    {
        // Pieces past a gap that met the end were never there: the file
        // ended early. Reaching here with pieces left means a short read's
        // rest read as the end, which a file that shrinks while read gives.
        if (failure.ok() && !stopped && !early.empty())
            failure = RemoteStatus::FromServer(sftp::StatusCode::Failure, "the file changed while it was read");
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Close).String(handle).Finish(),
                      [self](const Reply*, const RemoteStatus&) {
                          self->client.ReleaseHandle();
                          self->done(self->failure);
                      });
    }
};

// The safe write: OPEN a temporary name (exclusive), WRITEs in flight,
// FSETSTAT + fsync + CLOSE together, then the rename; on any failure
// CLOSE and REMOVE the temporary.
struct SafeWrite : std::enable_shared_from_this<SafeWrite> {
    SftpClient& client;
    FileWrite request;
    RemoteOperations::Done done;
    std::string temporary;
    std::string handle;
    bool open = false;
    std::uint64_t nextOffset = 0;
    std::size_t inFlight = 0;
    RemoteStatus failure;
    int finishing = 0;

    SafeWrite(SftpClient& c, FileWrite s, RemoteOperations::Done d)
        : client(c), request(std::move(s)), done(std::move(d))
    {
        temporary = RemoteOperations::TemporaryNameFor(request.path);
    }

    void Start()
    {
        auto self = shared_from_this();
        client.WhenHandleFree([self] {
            sftp::FileAttributes attributes;
            attributes.flags = sftp::kAttrPermissions;
            attributes.permissions = 0600;
            self->client.Submit(
                SftpClient::Request(PacketType::Open)
                    .String(self->temporary)
                    .U32(sftp::kOpenWrite | sftp::kOpenCreate | sftp::kOpenTruncate | sftp::kOpenExclusive)
                    .Attributes(attributes)
                    .Finish(),
                [self](const Reply* reply, const RemoteStatus& lost) {
                    const RemoteStatus status = reply ? sftp::ReadHandle(*reply, self->handle) : lost;
                    if (!status.ok()) {
                        self->client.ReleaseHandle();
                        self->done(status);
                        return;
                    }
                    self->open = true;
                    self->Fill();
                });
        });
    }

    void Fill()
    {
        while (failure.ok() && inFlight < kChunksInFlight && nextOffset < request.size &&
               (inFlight == 0 || client.HasRoom())) {
            const auto length =
                static_cast<std::uint32_t>(std::min<std::uint64_t>(client.MaxWriteLength(), request.size - nextOffset));
            std::string chunk;
            std::string error;
            if (!request.source(nextOffset, length, chunk, error) || chunk.size() != length) {
                failure = RemoteStatus::FromServer(sftp::StatusCode::Failure,
                                                   error.empty() ? "the source changed while it was copied" : error);
                break;
            }
            Write(nextOffset, chunk);
            nextOffset += length;
        }
        if (inFlight > 0)
            return;
        if (failure.ok())
            Seal();
        else
            Abandon();
    }

    void Write(std::uint64_t offset, const std::string& chunk)
    {
        ++inFlight;
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Write).String(handle).U64(offset).String(chunk).Finish(),
                      [self](const Reply* reply, const RemoteStatus& lost) {
                          --self->inFlight;
                          Keep(self->failure, StatusOf(reply, lost));
                          self->Fill();
                      });
    }

    // Times and permission bits, the flush and the close go together; the
    // rename waits for all three.
    void Seal()
    {
        auto self = shared_from_this();
        sftp::FileAttributes attributes;
        attributes.flags = sftp::kAttrPermissions | sftp::kAttrTimes;
        attributes.permissions = request.permissions & 07777;
        attributes.atime = request.atime;
        attributes.mtime = request.mtime;
        const auto step = [self](const Reply* reply, const RemoteStatus& lost) {
            Keep(self->failure, StatusOf(reply, lost));
            if (--self->finishing == 0)
                self->Sealed();
        };
        finishing = 2;
        client.Submit(SftpClient::Request(PacketType::Fsetstat).String(handle).Attributes(attributes).Finish(), step);
        if (request.flush && client.Offers("fsync@openssh.com")) {
            ++finishing;
            client.Submit(SftpClient::Extended("fsync@openssh.com").String(handle).Finish(), step);
        }
        client.Submit(SftpClient::Request(PacketType::Close).String(handle).Finish(),
                      [self, step](const Reply* reply, const RemoteStatus& lost) {
                          self->open = false;
                          self->client.ReleaseHandle();
                          step(reply, lost);
                      });
    }

    void Sealed()
    {
        if (!failure.ok())
            return RemoveTemporary();
        auto self = shared_from_this();
        RemoteOperations(client).Rename(temporary, request.path, [self](const RemoteStatus& status) {
            if (!status.ok()) {
                self->failure = status;
                return self->RemoveTemporary();
            }
            self->done(status);
        });
    }

    void Abandon()
    {
        if (!open)
            return RemoveTemporary();
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Close).String(handle).Finish(),
                      [self](const Reply*, const RemoteStatus&) {
                          self->open = false;
                          self->client.ReleaseHandle();
                          self->RemoveTemporary();
                      });
    }

    void RemoveTemporary()
    {
        auto self = shared_from_this();
        client.Submit(SftpClient::Request(PacketType::Remove).String(temporary).Finish(),
                      [self](const Reply*, const RemoteStatus&) { self->done(self->failure); });
    }
};

} // namespace

std::string RemoteOperations::TemporaryNameFor(const std::string& target)
{
    // The local temporaries' form, with a number drawn once per process in
    // place of the process id, which means nothing on the server.
    static const std::uint32_t process = [] {
        std::random_device device;
        return device() % 1000000000u;
    }();
    static std::atomic<std::uint32_t> counter = 0;
    const std::uint32_t number = counter.fetch_add(1);
    // A tail that differs between processes drawing the same number: the
    // number, the process's own and the clock, mixed (splitmix64).
    std::uint64_t mixed = (static_cast<std::uint64_t>(process) << 32) ^ number ^
                          static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    mixed += 0x9E3779B97F4A7C15ull;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ull;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBull;
    mixed ^= mixed >> 31;
    char name[96];
    std::snprintf(name, sizeof name, "%s%u-%u-%08x.tmp", kTempFilePrefix, process, number,
                  static_cast<unsigned>(mixed));
    const std::string folder = FolderOf(target);
    return folder == "/" ? "/" + std::string(name) : folder + "/" + name;
}

void RemoteOperations::Simple(std::string packet, Done done)
{
    m_client.Submit(std::move(packet), [done = std::move(done)](const Reply* reply, const RemoteStatus& lost) {
        done(StatusOf(reply, lost));
    });
}

void RemoteOperations::Lstat(const std::string& path, AttributesDone done)
{
    m_client.Submit(SftpClient::Request(PacketType::Lstat).String(path).Finish(),
                    [done = std::move(done)](const Reply* reply, const RemoteStatus& lost) {
                        sftp::FileAttributes attributes;
                        const RemoteStatus status = reply ? sftp::ReadAttributes(*reply, attributes) : lost;
                        done(status, attributes);
                    });
}

void RemoteOperations::ListFolder(const std::string& path, ListingDone done)
{
    std::make_shared<FolderListing>(m_client, path, std::move(done))->Start();
}

void RemoteOperations::ReadFile(const std::string& path, ReadSink sink, Done done)
{
    std::make_shared<FileReading>(m_client, path, std::move(sink), std::move(done))->Start();
}

void RemoteOperations::WriteFile(FileWrite request, Done done)
{
    std::make_shared<SafeWrite>(m_client, std::move(request), std::move(done))->Start();
}

void RemoteOperations::MakeFolder(const std::string& path, std::uint32_t permissions, Done done)
{
    sftp::FileAttributes attributes;
    attributes.flags = sftp::kAttrPermissions;
    attributes.permissions = permissions & 07777;
    Simple(SftpClient::Request(PacketType::Mkdir).String(path).Attributes(attributes).Finish(), std::move(done));
}

void RemoteOperations::RemoveFile(const std::string& path, Done done)
{
    Simple(SftpClient::Request(PacketType::Remove).String(path).Finish(), std::move(done));
}

void RemoteOperations::RemoveFolder(const std::string& path, Done done)
{
    Simple(SftpClient::Request(PacketType::Rmdir).String(path).Finish(), std::move(done));
}

void RemoteOperations::MakeLink(const std::string& linkPath, const std::string& target, Done done)
{
    // OpenSSH takes the two paths the other way round from the protocol's
    // text: what the link points to first, then where the link goes.
    Simple(SftpClient::Request(PacketType::Symlink).String(target).String(linkPath).Finish(), std::move(done));
}

void RemoteOperations::ReadLink(const std::string& path, TextDone done)
{
    m_client.Submit(SftpClient::Request(PacketType::Readlink).String(path).Finish(),
                    [done = std::move(done)](const Reply* reply, const RemoteStatus& lost) {
                        std::vector<sftp::NameEntry> names;
                        RemoteStatus status = reply ? sftp::ReadNames(*reply, names) : lost;
                        if (status.ok() && names.size() != 1)
                            status = RemoteStatus::ProtocolFailure("a link read as " + std::to_string(names.size()) +
                                                                   " names");
                        done(status, status.ok() ? names.front().name : std::string());
                    });
}

void RemoteOperations::SetTimes(const std::string& path, std::uint32_t atime, std::uint32_t mtime, Done done)
{
    sftp::FileAttributes attributes;
    attributes.flags = sftp::kAttrTimes;
    attributes.atime = atime;
    attributes.mtime = mtime;
    Simple(SftpClient::Request(PacketType::Setstat).String(path).Attributes(attributes).Finish(), std::move(done));
}

void RemoteOperations::SetPermissions(const std::string& path, std::uint32_t permissions, Done done)
{
    sftp::FileAttributes attributes;
    attributes.flags = sftp::kAttrPermissions;
    attributes.permissions = permissions & 07777;
    Simple(SftpClient::Request(PacketType::Setstat).String(path).Attributes(attributes).Finish(), std::move(done));
}

void RemoteOperations::Rename(const std::string& from, const std::string& to, Done done)
{
    if (m_client.Offers("posix-rename@openssh.com"))
        Simple(SftpClient::Extended("posix-rename@openssh.com").String(from).String(to).Finish(), std::move(done));
    else
        Simple(SftpClient::Request(PacketType::Rename).String(from).String(to).Finish(), std::move(done));
}

void RemoteOperations::HardLink(const std::string& existing, const std::string& newPath, Done done)
{
    if (!m_client.Offers("hardlink@openssh.com")) {
        m_client.Defer([done = std::move(done)] {
            done(RemoteStatus::FromServer(sftp::StatusCode::OpUnsupported, "the server cannot make hard links"));
        });
        return;
    }
    Simple(SftpClient::Extended("hardlink@openssh.com").String(existing).String(newPath).Finish(), std::move(done));
}

void RemoteOperations::Space(const std::string& path, SpaceDone done)
{
    if (!m_client.Offers("statvfs@openssh.com")) {
        m_client.Defer([done = std::move(done)] {
            done(RemoteStatus::FromServer(sftp::StatusCode::OpUnsupported, "the server does not tell its free space"),
                 {});
        });
        return;
    }
    m_client.Submit(SftpClient::Extended("statvfs@openssh.com").String(path).Finish(),
                    [done = std::move(done)](const Reply* reply, const RemoteStatus& lost) {
                        sftp::SpaceInfo space;
                        const RemoteStatus status = reply ? sftp::ReadSpace(*reply, space) : lost;
                        done(status, space);
                    });
}

} // namespace tandrel::platform::remote
