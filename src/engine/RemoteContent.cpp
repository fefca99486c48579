#include "engine/RemoteContent.h"

#include "engine/PathRules.h"
#include "platform/ContentFile.h"
#include "platform/remote/RemoteSides.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace tandrel::engine {
namespace {

namespace remote = platform::remote;
namespace sftp = platform::remote::sftp;
using remote::RemoteStatus;

// Pairs read at the same time; each keeps its own reads in flight.
constexpr std::size_t kPairsInFlight = 16;

std::string CannotRead(const std::string& path, const std::string& reason)
{
    return "Cannot read '" + path + "': " + reason;
}

// One side of the comparison: a local folder, or a folder on a host with
// that host's client (none when it could not be reached: `error` says why).
struct Side {
    std::string root;
    remote::SideAddress address;
    remote::SftpClient* client = nullptr;
    RemoteStatus error;
    bool IsRemote() const { return address.IsRemote(); }

    std::string ServerPath(const std::string& shown) const
    {
        std::string relative = shown.substr(std::min(root.size(), shown.size()));
        if (const char separator = PathRules::Native().separator; separator != '/')
            std::replace(relative.begin(), relative.end(), separator, '/');
        return remote::ServerPath(address, relative);
    }
};

// The reading and comparing of one pair. The two sides' bytes come in at
// their own pace (a remote side as its reads are answered, a local side as
// the remote one asks for the same stretch); what both have given is
// compared and dropped.
struct PairCheck : std::enable_shared_from_this<PairCheck> {
    const FilePair& pair;
    const Side* sides[2];
    const bool* stopping;
    std::function<void(std::uint64_t)> account;
    std::function<void(ContentFinding)> finished;

    std::string paths[2];
    // What each side turned out to be: a file, or a link with its text.
    enum class Kind { Unknown, File, Link };
    Kind kinds[2] = {Kind::Unknown, Kind::Unknown};
    std::string linkTexts[2];
    std::unique_ptr<platform::ContentFile> local[2];
    std::uint64_t localOffset[2] = {0, 0};
    std::string pending[2];
    bool ended[2] = {false, false};
    int remoteReads = 0; // remote reads still running
    std::uint64_t compared = 0;
    std::optional<ContentFinding> outcome;
    bool reported = false;

    PairCheck(const FilePair& p, const Side& source, const Side& destination, const bool* stop)
        : pair(p), sides{&source, &destination}, stopping(stop), paths{p.source, p.destination}
    {
    }

    void Settle(ContentFinding finding)
    {
        if (!outcome)
            outcome = std::move(finding);
        // Reads still in flight end first: their completions hold this pair.
        if (!reported && remoteReads == 0) {
            reported = true;
            finished(*outcome);
        }
    }
    void Unreadable(std::string error)
    {
        ContentFinding finding;
        finding.verdict = ContentVerdict::Unreadable;
        finding.error = std::move(error);
        Settle(std::move(finding));
    }
    void Different(std::uint64_t offset)
    {
        ContentFinding finding;
        finding.verdict = ContentVerdict::Different;
        finding.offset = offset;
        Settle(std::move(finding));
    }

    void Start()
    {
        for (int s = 0; s < 2; ++s) {
            if (sides[s]->IsRemote())
                LookRemote(s);
            else
                LookLocal(s);
            if (outcome)
                return Settle(*outcome);
        }
    }

    void LookLocal(int s)
    {
        local[s] = std::make_unique<platform::ContentFile>();
        std::string reason;
        bool isLink = false;
        if (local[s]->Open(paths[s], reason, isLink))
            return Known(s, Kind::File);
        if (!isLink)
            return Unreadable(CannotRead(paths[s], reason));
        const auto text = platform::LinkText(paths[s], reason);
        if (!text)
            return Unreadable(CannotRead(paths[s], reason));
        linkTexts[s] = *text;
        Known(s, Kind::Link);
    }

    void LookRemote(int s)
    {
        if (!sides[s]->client)
            return Unreadable(CannotRead(paths[s], sides[s]->error.text));
        auto self = shared_from_this();
        ++remoteReads;
        const std::string path = sides[s]->ServerPath(paths[s]);
        remote::RemoteOperations(*sides[s]->client)
            .Lstat(path, [self, s, path](const RemoteStatus& status, const sftp::FileAttributes& attributes) {
                --self->remoteReads;
                if (!status.ok())
                    return self->Unreadable(status.Describe("Cannot read", self->paths[s]));
                if (self->outcome)
                    return self->Settle(*self->outcome);
                if (attributes.IsLink())
                    return self->ReadRemoteLink(s, path);
                if (attributes.IsFolder() || (!attributes.IsFile() && attributes.Type() != 0))
                    return self->Unreadable(CannotRead(self->paths[s], "not a regular file"));
                self->Known(s, Kind::File);
            });
    }

    void ReadRemoteLink(int s, const std::string& path)
    {
        auto self = shared_from_this();
        ++remoteReads;
        remote::RemoteOperations(*sides[s]->client).ReadLink(path, [self, s](const RemoteStatus& status, std::string text) {
            --self->remoteReads;
            if (!status.ok())
                return self->Unreadable(status.Describe("Cannot read", self->paths[s]));
            self->linkTexts[s] = std::move(text);
            self->Known(s, Kind::Link);
        });
    }

    // Once both sides are known: links compare by their texts, a link and a
    // file differ at once, two files by their bytes.
    void Known(int s, Kind kind)
    {
        kinds[s] = kind;
        if (outcome || kinds[0] == Kind::Unknown || kinds[1] == Kind::Unknown)
            return;
        if (kinds[0] == Kind::Link || kinds[1] == Kind::Link) {
            if (kinds[0] != kinds[1] || linkTexts[0] != linkTexts[1])
                return Different(0);
            return Settle(ContentFinding{});
        }
        for (int side = 0; side < 2; ++side)
            if (sides[side]->IsRemote())
                ReadRemote(side);
        // Two local files are not paired here; the side that asks for bytes is remote.
        if (!sides[0]->IsRemote() && !sides[1]->IsRemote())
            return Unreadable(CannotRead(paths[0], "neither side is remote"));
    }

    void ReadRemote(int s)
    {
        auto self = shared_from_this();
        ++remoteReads;
        remote::RemoteOperations(*sides[s]->client)
            .ReadFile(
                sides[s]->ServerPath(paths[s]),
                [self, s](std::string_view bytes) {
                    if (*self->stopping || self->outcome)
                        return false;
                    self->pending[s].append(bytes);
                    self->PullLocal(1 - s, bytes.size());
                    self->Compare();
                    return !self->outcome;
                },
                [self, s](const RemoteStatus& status) {
                    --self->remoteReads;
                    if (!status.ok() && !self->outcome)
                        return self->Unreadable(status.Describe("Cannot read", self->paths[s]));
                    self->ended[s] = true;
                    // The local side may go on past the remote one's end.
                    self->PullLocal(1 - s, 1);
                    self->Compare();
                    if (self->outcome)
                        return self->Settle(*self->outcome);
                });
    }

    // Reads the next `size` bytes of a local side.
    void PullLocal(int s, std::size_t size)
    {
        if (sides[s]->IsRemote() || ended[s] || outcome)
            return;
        std::string bytes(size, '\0');
        std::size_t got = 0;
        while (got < size) {
            std::string reason;
            const long long n = local[s]->ReadSome(bytes.data() + got, size - got, localOffset[s] + got, reason);
            if (n < 0)
                return Unreadable(CannotRead(paths[s], reason));
            if (n == 0) {
                ended[s] = true;
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        localOffset[s] += got;
        pending[s].append(bytes, 0, got);
    }

    void Compare()
    {
        if (outcome)
            return;
        const std::size_t common = std::min(pending[0].size(), pending[1].size());
        const auto mismatch = std::mismatch(pending[0].begin(), pending[0].begin() + static_cast<long>(common),
                                            pending[1].begin());
        const auto same = static_cast<std::size_t>(mismatch.first - pending[0].begin());
        if (same < common)
            return Different(compared + same);
        compared += common;
        account(common);
        pending[0].erase(0, common);
        pending[1].erase(0, common);
        // One side ended with the other still giving bytes: it is the shorter one.
        if ((ended[0] && !pending[1].empty()) || (ended[1] && !pending[0].empty()))
            return Different(compared);
        if (ended[0] && ended[1]) {
            for (int s = 0; s < 2; ++s) {
                std::string reason;
                if (local[s] && !local[s]->Unchanged(reason))
                    return Unreadable(CannotRead(paths[s], reason));
            }
            Settle(ContentFinding{});
        }
    }
};

} // namespace

ContentCheckSummary CheckRemoteContents(const std::vector<FilePair>& pairs, const std::string& sourceRoot,
                                        const std::string& destinationRoot, remote::RemoteSides& sides,
                                        const RunFlag& runFlag, ContentCheckObserver& observer,
                                        const ContentCheckOptions& options)
{
    ContentCheckSummary summary;
    std::uint64_t total = 0;
    for (const FilePair& pair : pairs)
        total += pair.size;
    Side both[2];
    both[0].root = sourceRoot;
    both[1].root = destinationRoot;
    std::vector<remote::SftpClient*> clients;
    for (Side& side : both) {
        side.address = remote::SideAddress::Parse(side.root);
        if (!side.IsRemote())
            continue;
        if (remote::RemoteSession* session = sides.For(side.address, side.error))
            side.client = &session->Client();
        if (side.client && std::find(clients.begin(), clients.end(), side.client) == clients.end())
            clients.push_back(side.client);
    }

    std::vector<std::optional<ContentFinding>> results(pairs.size());
    std::size_t next = 0;
    std::size_t delivered = 0;
    std::size_t active = 0;
    bool stopping = false;
    auto lastProgress = std::chrono::steady_clock::now();
    while (true) {
        while (delivered < results.size() && results[delivered] && !stopping) {
            ContentFinding& finding = *results[delivered];
            finding.index = delivered;
            ++summary.checked;
            if (finding.verdict != ContentVerdict::Same) {
                ++(finding.verdict == ContentVerdict::Different ? summary.different : summary.unreadable);
                observer.Found(pairs[delivered], finding);
            }
            ++delivered;
        }
        if (!stopping && !runFlag.IsSet()) {
            stopping = true;
            summary.cancelled = true;
        }
        while (!stopping && active < kPairsInFlight && next < pairs.size()) {
            const std::size_t index = next++;
            auto check = std::make_shared<PairCheck>(pairs[index], both[0], both[1], &stopping);
            ++active;
            check->account = [&summary, &pairs, index, counted = std::make_shared<std::uint64_t>(0)](
                                 std::uint64_t bytes) {
                const std::uint64_t add = std::min(bytes, pairs[index].size - std::min(*counted, pairs[index].size));
                *counted += add;
                summary.bytesDone += add;
            };
            check->finished = [&results, &active, index](ContentFinding finding) {
                results[index] = std::move(finding);
                --active;
            };
            check->Start();
        }
        if (active == 0 && (stopping || next >= pairs.size()))
            break;
        for (remote::SftpClient* client : clients)
            client->RunFor(nullptr, std::chrono::milliseconds(clients.size() > 1 ? 5 : 20));
        if (const auto now = std::chrono::steady_clock::now(); now - lastProgress >= options.progressInterval) {
            lastProgress = now;
            observer.Progress(summary.bytesDone, total);
        }
    }
    if (!summary.cancelled) {
        // The pairs' sizes as the comparison saw them count in full.
        summary.bytesDone = total;
        observer.Progress(summary.bytesDone, total);
    }
    return summary;
}

} // namespace tandrel::engine
