#pragma once

#include "platform/remote/RemoteStatus.h"
#include "platform/remote/SftpPacket.h"
#include "platform/remote/SftpReplies.h"
#include "platform/remote/SideAddress.h"
#include "platform/remote/SshProcess.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tandrel::platform::remote {

struct ConnectOptions {
    std::string program = "ssh";
    // More of ssh's own arguments, placed before the host (`-oBatchMode=yes`,
    // `-F file` ...). The user's configuration, agent and known hosts apply
    // unless these say otherwise.
    std::vector<std::string> sshArguments;
    // Added to ssh's environment: SSH_ASKPASS, SSH_ASKPASS_REQUIRE, DISPLAY.
    SshProcess::Environment environment;
    // ssh's ConnectTimeout (also bounds its wait for the server's greeting);
    // 0 leaves it to ssh and its configuration.
    int connectTimeoutSeconds = 0;
    // Requests sent and not yet answered, at most.
    std::size_t maxRequestsInFlight = 64;
};

// ssh's arguments for an SFTP channel to the side's host:
// `ssh [-p port] [-l user] <options> -s -- host sftp`.
std::vector<std::string> SshArguments(const SideAddress& side, const ConnectOptions& options);

// An SFTP version 3 session over an ssh child process, with many requests in
// flight. Requests are submitted with a completion; the completions run on
// the thread that calls Run or RunUntil (never on another), in the order the
// replies arrive. A reply is never lost: when the connection goes, every
// request in flight and every later one completes with the reason.
class SftpClient {
public:
    // The reply, or null when the request got none; `status` then says why.
    using Completion = std::function<void(const sftp::Reply* reply, const RemoteStatus& status)>;

    // Starts ssh and agrees on the protocol. Null with `error` carrying
    // ssh's reason when that fails.
    static std::unique_ptr<SftpClient> Connect(const SideAddress& side, const ConnectOptions& options,
                                               RemoteStatus& error);
    ~SftpClient();
    SftpClient(const SftpClient&) = delete;
    SftpClient& operator=(const SftpClient&) = delete;

    // A request of `type` with room for its id; the fields follow.
    static sftp::PacketWriter Request(sftp::PacketType type);
    // An extended request by name.
    static sftp::PacketWriter Extended(std::string_view name);
    // Sends the request as soon as the window allows; `done` runs once.
    void Submit(std::string packet, Completion done);

    // Runs `work` from Run or RunUntil, as a completion runs: for outcomes
    // known before anything is sent (an extension the server lacks).
    void Defer(std::function<void()> work);

    // Runs completions as replies arrive until `done()` holds or nothing is
    // left in flight.
    void RunUntil(const std::function<bool()>& done);
    void Run();
    // As RunUntil, but returns also once `limit` has passed with no reply,
    // so that a caller can let its own events run in between.
    void RunFor(const std::function<bool()>& done, std::chrono::milliseconds limit);

    // Handles on the server are limited: `start` runs once one is free (now,
    // or from a later completion); whoever got one gives it back once closed.
    void WhenHandleFree(std::function<void()> start);
    void ReleaseHandle();

    bool Offers(std::string_view extension) const { return m_version.Offers(extension); }
    const sftp::ServerLimits& Limits() const { return m_limits; }
    std::uint32_t MaxReadLength() const { return m_maxRead; }
    std::uint32_t MaxWriteLength() const { return m_maxWrite; }
    std::size_t RequestsInFlight() const { return m_inFlight.size(); }
    // True while a new request would go out at once rather than wait for the
    // window: chains that could send much (a file's writes) send more only
    // then, so that what waits stays small.
    bool HasRoom() const { return m_waiting.empty() && m_inFlight.size() < m_window; }

    // True once the connection is gone; `LostReason` then says why.
    bool Lost() const;
    std::string LostReason() const;
    // Ends the session: ssh is stopped and whatever is in flight fails.
    void Disconnect();

private:
    SftpClient(std::unique_ptr<SshProcess> process, const ConnectOptions& options);
    RemoteStatus Handshake();
    void ReadReplies();
    void MarkLost(std::string reason);
    void Flush();
    void Send(std::uint32_t id, std::string packet, Completion done);
    void FailEverything();
    bool TakeArrived(std::deque<std::string>& packets, bool wait,
                     std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    void Deliver(const std::string& packet);

    std::unique_ptr<SshProcess> m_process;
    std::thread m_reader;
    std::size_t m_window;

    mutable std::mutex m_mutex; // guards m_arrived, m_lost and m_lostReason
    std::condition_variable m_arrival;
    std::deque<std::string> m_arrived;
    bool m_lost = false;
    std::string m_lostReason;

    std::uint32_t m_nextId = 1;
    std::unordered_map<std::uint32_t, Completion> m_inFlight;
    struct Waiting {
        std::uint32_t id;
        std::string packet;
        Completion done;
    };
    std::deque<Waiting> m_waiting;
    std::deque<Completion> m_failedAtOnce;
    std::deque<std::function<void()>> m_deferred;

    std::size_t m_handlesOpen = 0;
    std::size_t m_maxHandles = 64;
    std::deque<std::function<void()>> m_handleWaiters;

    sftp::ServerVersion m_version;
    sftp::ServerLimits m_limits;
    std::uint32_t m_maxRead = 32768;
    std::uint32_t m_maxWrite = 32768;
};

} // namespace tandrel::platform::remote
