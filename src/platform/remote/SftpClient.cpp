#include "platform/remote/SftpClient.h"

#include <algorithm>

namespace tandrel::platform::remote {
namespace {

// Longer replies than this break the connection: OpenSSH's own limit is
// 256 KiB, and nothing we ask for is larger than 1 MiB.
constexpr std::uint32_t kMaxIncomingPacket = 4 * 1024 * 1024;
constexpr std::uint32_t kMaxChunk = 1024 * 1024;
// What every SFTP server must accept in one READ or WRITE.
constexpr std::uint32_t kPortableChunk = 32768;

void PatchId(std::string& packet, std::uint32_t id)
{
    for (int i = 0; i < 4; ++i)
        packet[5 + i] = static_cast<char>((id >> (24 - 8 * i)) & 0xff);
}

std::uint32_t ChunkLimit(std::uint64_t reported)
{
    if (reported == 0)
        return kPortableChunk;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(reported, kMaxChunk));
}

} // namespace

std::vector<std::string> SshArguments(const SideAddress& side, const ConnectOptions& options)
{
    std::vector<std::string> arguments{options.program};
    if (side.Port() != 0) {
        arguments.push_back("-p");
        arguments.push_back(std::to_string(side.Port()));
    }
    if (!side.User().empty()) {
        arguments.push_back("-l");
        arguments.push_back(side.User());
    }
    // No X11 or agent forwarding: the channel carries files only.
    arguments.push_back("-x");
    arguments.push_back("-a");
    if (options.connectTimeoutSeconds > 0)
        arguments.push_back("-oConnectTimeout=" + std::to_string(options.connectTimeoutSeconds));
    arguments.insert(arguments.end(), options.sshArguments.begin(), options.sshArguments.end());
    // "--": a host name can never be taken for an option.
    arguments.insert(arguments.end(), {"-s", "--", side.Host(), "sftp"});
    return arguments;
}

SftpClient::SftpClient(std::unique_ptr<SshProcess> process, const ConnectOptions& options)
    : m_process(std::move(process)), m_window(std::max<std::size_t>(1, options.maxRequestsInFlight))
{
    m_reader = std::thread([this] { ReadReplies(); });
}

SftpClient::~SftpClient()
{
    m_process->Stop();
    if (m_reader.joinable())
        m_reader.join();
}

std::unique_ptr<SftpClient> SftpClient::Connect(const SideAddress& side, const ConnectOptions& options,
                                                RemoteStatus& error)
{
    if (!side.IsRemote() || !side.Error().empty()) {
        error = RemoteStatus::ConnectionFailure(side.Error().empty() ? "not a remote folder" : side.Error());
        return nullptr;
    }
    if (!side.Host().empty() && side.Host().front() == '-') {
        error = RemoteStatus::ConnectionFailure("a host name cannot begin with '-'");
        return nullptr;
    }
    std::string startError;
    auto process = SshProcess::Start(SshArguments(side, options), options.environment, startError);
    if (!process) {
        error = RemoteStatus::ConnectionFailure(startError);
        return nullptr;
    }
    std::unique_ptr<SftpClient> client(new SftpClient(std::move(process), options));
    error = client->Handshake();
    if (!error.ok())
        return nullptr;
    return client;
}

RemoteStatus SftpClient::Handshake()
{
    std::string hello = sftp::PacketWriter(sftp::PacketType::Init).U32(sftp::kProtocolVersion).Finish();
    std::string writeError;
    if (!m_process->Write(hello, writeError))
        m_process->Stop();
    std::deque<std::string> packets;
    while (packets.empty()) {
        if (TakeArrived(packets, true) && packets.empty())
            return RemoteStatus::ConnectionFailure(LostReason());
    }
    if (!sftp::ParseVersion(packets.front(), m_version) || m_version.version < sftp::kProtocolVersion) {
        m_process->Stop();
        return RemoteStatus::ProtocolFailure("the server does not speak SFTP version 3");
    }
    packets.pop_front();
    for (const auto& packet : packets)
        Deliver(packet);
    if (Offers("limits@openssh.com")) {
        bool done = false;
        RemoteStatus status;
        Submit(Extended("limits@openssh.com").Finish(), [&](const sftp::Reply* reply, const RemoteStatus& lost) {
            status = reply ? sftp::ReadLimits(*reply, m_limits) : lost;
            done = true;
        });
        RunUntil([&] { return done; });
        if (!status.ok())
            return status;
    }
    m_maxRead = ChunkLimit(m_limits.maxReadLength);
    m_maxWrite = ChunkLimit(m_limits.maxWriteLength);
    // Leave the server handles of its own (and for other clients of the
    // same process limit).
    if (m_limits.maxOpenHandles > 0)
        m_maxHandles = static_cast<std::size_t>(std::clamp<std::uint64_t>(m_limits.maxOpenHandles / 2, 1, 1024));
    return RemoteStatus::Success();
}

sftp::PacketWriter SftpClient::Request(sftp::PacketType type)
{
    sftp::PacketWriter writer(type);
    writer.U32(0);
    return writer;
}

sftp::PacketWriter SftpClient::Extended(std::string_view name)
{
    sftp::PacketWriter writer = Request(sftp::PacketType::Extended);
    writer.String(name);
    return writer;
}

void SftpClient::Submit(std::string packet, Completion done)
{
    if (Lost()) {
        m_failedAtOnce.push_back(std::move(done));
        return;
    }
    const std::uint32_t id = m_nextId++;
    if (m_waiting.empty() && m_inFlight.size() < m_window)
        Send(id, std::move(packet), std::move(done));
    else
        m_waiting.push_back({id, std::move(packet), std::move(done)});
}

void SftpClient::Send(std::uint32_t id, std::string packet, Completion done)
{
    PatchId(packet, id);
    m_inFlight.emplace(id, std::move(done));
    std::string error;
    // A channel that cannot be written is gone: ending ssh makes the reader
    // see it, and it fails everything in flight with ssh's reason.
    if (!m_process->Write(packet, error))
        m_process->Stop();
}

void SftpClient::Flush()
{
    while (!m_waiting.empty() && m_inFlight.size() < m_window && !Lost()) {
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        Send(next.id, std::move(next.packet), std::move(next.done));
    }
}

void SftpClient::ReadReplies()
{
    sftp::PacketFramer framer(kMaxIncomingPacket);
    std::vector<char> buffer(256 * 1024);
    std::string reason;
    for (;;) {
        std::string readError;
        const std::ptrdiff_t n = m_process->Read(buffer.data(), buffer.size(), readError);
        if (n <= 0)
            break;
        framer.Append(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        std::deque<std::string> packets;
        std::string packet;
        std::string malformed;
        sftp::PacketFramer::Next next;
        while ((next = framer.Take(packet, malformed)) == sftp::PacketFramer::Next::Packet)
            packets.push_back(std::move(packet));
        if (!packets.empty()) {
            std::lock_guard lock(m_mutex);
            for (auto& p : packets)
                m_arrived.push_back(std::move(p));
            m_arrival.notify_all();
        }
        if (next == sftp::PacketFramer::Next::Malformed) {
            reason = "the server broke the protocol: " + malformed;
            MarkLost(reason);
            m_process->Stop();
            break;
        }
    }
    if (reason.empty()) {
        const std::string exit = m_process->Wait();
        const std::string said = m_process->ErrorOutput();
        reason = said.empty() ? exit : said;
    }
    MarkLost(std::move(reason));
}

void SftpClient::MarkLost(std::string reason)
{
    std::lock_guard lock(m_mutex);
    if (!m_lost) {
        m_lost = true;
        m_lostReason = std::move(reason);
    }
    m_arrival.notify_all();
}

bool SftpClient::Lost() const
{
    std::lock_guard lock(m_mutex);
    return m_lost;
}

std::string SftpClient::LostReason() const
{
    std::lock_guard lock(m_mutex);
    return m_lostReason;
}

bool SftpClient::TakeArrived(std::deque<std::string>& packets, bool wait, std::chrono::milliseconds limit)
{
    std::unique_lock lock(m_mutex);
    const auto ready = [this] { return !m_arrived.empty() || m_lost; };
    if (wait && limit == std::chrono::milliseconds::max())
        m_arrival.wait(lock, ready);
    else if (wait)
        m_arrival.wait_for(lock, limit, ready);
    packets.swap(m_arrived);
    return m_lost;
}

void SftpClient::Deliver(const std::string& packet)
{
    sftp::Reply reply;
    const bool split = sftp::SplitReply(packet, reply);
    const auto found = split ? m_inFlight.find(reply.id) : m_inFlight.end();
    if (found == m_inFlight.end()) {
        // An answer to nothing asked: nothing the server says can be trusted now.
        // The reason is set before ssh is stopped, so that the reader, which
        // then sees the channel end, does not name ssh's last words instead.
        MarkLost(split ? "the server broke the protocol: an answer to request " + std::to_string(reply.id) +
                             ", which was not asked"
                       : "the server broke the protocol: a reply too short to name its request");
        m_process->Stop();
        return;
    }
    Completion done = std::move(found->second);
    m_inFlight.erase(found);
    done(&reply, RemoteStatus::Success());
    Flush();
}

void SftpClient::FailEverything()
{
    const RemoteStatus status = RemoteStatus::ConnectionFailure("connection lost: " + LostReason());
    std::vector<std::pair<std::uint32_t, Completion>> failed(std::make_move_iterator(m_inFlight.begin()),
                                                             std::make_move_iterator(m_inFlight.end()));
    m_inFlight.clear();
    std::sort(failed.begin(), failed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& waiting : m_waiting)
        failed.emplace_back(waiting.id, std::move(waiting.done));
    m_waiting.clear();
    for (auto& entry : failed)
        entry.second(nullptr, status);
}

void SftpClient::RunUntil(const std::function<bool()>& done)
{
    RunFor(done, std::chrono::milliseconds::max());
}

void SftpClient::RunFor(const std::function<bool()>& done, std::chrono::milliseconds limit)
{
    const bool bounded = limit != std::chrono::milliseconds::max();
    const auto end = std::chrono::steady_clock::now() + (bounded ? limit : std::chrono::milliseconds(0));
    for (;;) {
        if (done && done())
            return;
        if (!m_failedAtOnce.empty()) {
            Completion next = std::move(m_failedAtOnce.front());
            m_failedAtOnce.pop_front();
            next(nullptr, RemoteStatus::ConnectionFailure("connection lost: " + LostReason()));
            continue;
        }
        if (!m_deferred.empty()) {
            std::function<void()> next = std::move(m_deferred.front());
            m_deferred.pop_front();
            next();
            continue;
        }
        if (m_inFlight.empty() && m_waiting.empty())
            return;
        std::deque<std::string> packets;
        auto wait = std::chrono::milliseconds::max();
        if (bounded) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= end)
                return;
            wait = std::chrono::duration_cast<std::chrono::milliseconds>(end - now) + std::chrono::milliseconds(1);
        }
        const bool lost = TakeArrived(packets, true, wait);
        for (const auto& packet : packets)
            Deliver(packet);
        if (packets.empty() && lost)
            FailEverything();
    }
}

void SftpClient::Defer(std::function<void()> work)
{
    m_deferred.push_back(std::move(work));
}

void SftpClient::Run()
{
    RunUntil(nullptr);
}

void SftpClient::WhenHandleFree(std::function<void()> start)
{
    if (m_handlesOpen < m_maxHandles) {
        ++m_handlesOpen;
        start();
    } else {
        m_handleWaiters.push_back(std::move(start));
    }
}

void SftpClient::ReleaseHandle()
{
    if (!m_handleWaiters.empty()) {
        std::function<void()> next = std::move(m_handleWaiters.front());
        m_handleWaiters.pop_front();
        next();
        return;
    }
    if (m_handlesOpen > 0)
        --m_handlesOpen;
}

void SftpClient::Disconnect()
{
    m_process->Stop();
    if (m_reader.joinable())
        m_reader.join();
    Run();
}

} // namespace tandrel::platform::remote
