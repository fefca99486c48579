#include "engine/ContentCheck.h"

#include "platform/ContentFile.h"
#include "platform/OrderedWorkers.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace tandrel::engine {

namespace {

std::string CannotRead(const std::string& path, const std::string& reason)
{
    return "Cannot read '" + path + "': " + reason;
}

// Reads exactly `size` bytes at `offset`; false with `error` set when the
// system fails or the file ends early.
bool ReadAt(const platform::ContentFile& file, char* buffer, std::size_t size, std::uint64_t offset,
            const std::string& path, std::string& error)
{
    while (size > 0) {
        std::string reason;
        const long long n = file.ReadSome(buffer, size, offset, reason);
        if (n < 0) {
            error = CannotRead(path, reason);
            return false;
        }
        if (n == 0) {
            error = CannotRead(path, "the file became shorter while it was read");
            return false;
        }
        buffer += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

// Reads one pair and compares it; empty when cancelled. `account` takes the
// bytes dealt with as they go.
template <typename KeepGoing, typename Account>
std::optional<ContentFinding> ComparePair(const FilePair& pair, char* a, char* b, std::size_t bufferBytes,
                                          KeepGoing keepGoing, Account account)
{
    ContentFinding finding;
    auto unreadable = [&](std::string error) {
        finding.verdict = ContentVerdict::Unreadable;
        finding.error = std::move(error);
        return finding;
    };
    auto different = [&](std::uint64_t offset) {
        finding.verdict = ContentVerdict::Different;
        finding.offset = offset;
        return finding;
    };

    platform::ContentFile source;
    platform::ContentFile destination;
    std::string error;
    std::string reason;
    bool sourceLink = false;
    bool destinationLink = false;
    const bool sourceOpen = source.Open(pair.source, reason, sourceLink);
    if (!sourceOpen && !sourceLink)
        return unreadable(CannotRead(pair.source, reason));
    const bool destinationOpen = destination.Open(pair.destination, reason, destinationLink);
    if (!destinationOpen && !destinationLink)
        return unreadable(CannotRead(pair.destination, reason));
    if (sourceLink || destinationLink) {
        if (!(sourceLink && destinationLink))
            return different(0);
        const auto sourceText = platform::LinkText(pair.source, reason);
        if (!sourceText)
            return unreadable(CannotRead(pair.source, reason));
        const auto destinationText = platform::LinkText(pair.destination, reason);
        if (!destinationText)
            return unreadable(CannotRead(pair.destination, reason));
        return *sourceText == *destinationText ? finding : different(0);
    }

    // A file that changed while it was read may have given either verdict.
    auto settled = [&](const ContentFinding& verdict) {
        if (!source.Unchanged(reason))
            return unreadable(CannotRead(pair.source, reason));
        if (!destination.Unchanged(reason))
            return unreadable(CannotRead(pair.destination, reason));
        return verdict;
    };

    const std::uint64_t end = std::min(source.Size(), destination.Size());
    if (end > bufferBytes) {
        source.ReadAhead();
        destination.ReadAhead();
    }
    const bool sparse = source.HasHoles() || destination.HasHoles();
    std::uint64_t offset = 0;
    while (offset < end) {
        if (!keepGoing())
            return std::nullopt;
        std::uint64_t regionEnd = end;
        if (sparse) {
            const std::uint64_t sourceData = source.NextData(offset);
            const std::uint64_t destinationData = destination.NextData(offset);
            const std::uint64_t data = std::min({sourceData, destinationData, end});
            if (data > offset) {
                // Both sides are a hole here: zeros on both, nothing to read.
                account(data - offset);
                offset = data;
                continue;
            }
            const std::uint64_t sourceHole = sourceData == offset ? source.NextHole(offset) : offset;
            const std::uint64_t destinationHole = destinationData == offset ? destination.NextHole(offset) : offset;
            regionEnd = std::min(end, std::max(sourceHole, destinationHole));
        }
        while (offset < regionEnd) {
            if (!keepGoing())
                return std::nullopt;
            const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(bufferBytes, regionEnd - offset));
            if (!ReadAt(source, a, chunk, offset, pair.source, error) ||
                !ReadAt(destination, b, chunk, offset, pair.destination, error))
                return unreadable(error);
            if (std::memcmp(a, b, chunk) != 0) {
                std::size_t at = 0;
                while (a[at] == b[at])
                    ++at;
                return settled(different(offset + at));
            }
            account(chunk);
            offset += chunk;
        }
    }
    if (source.Size() != destination.Size())
        return settled(different(end));
    return settled(finding);
}

// Read buffers kept for the next pair, so that a run of small files does
// not allocate two large buffers for each.
class BufferShelf {
public:
    explicit BufferShelf(std::size_t bytes) : m_bytes(bytes) {}

    using Buffers = std::pair<std::unique_ptr<char[]>, std::unique_ptr<char[]>>;

    Buffers Take()
    {
        {
            const std::lock_guard lock(m_mutex);
            if (!m_kept.empty()) {
                Buffers buffers = std::move(m_kept.back());
                m_kept.pop_back();
                return buffers;
            }
        }
        return {std::unique_ptr<char[]>(new char[m_bytes]), std::unique_ptr<char[]>(new char[m_bytes])};
    }
    void Give(Buffers buffers)
    {
        const std::lock_guard lock(m_mutex);
        m_kept.push_back(std::move(buffers));
    }

private:
    std::size_t m_bytes;
    std::mutex m_mutex;
    std::vector<Buffers> m_kept;
};

} // namespace

ContentCheckSummary CheckContents(const std::vector<FilePair>& pairs, const RunFlag& runFlag,
                                  ContentCheckObserver& observer, const ContentCheckOptions& options)
{
    ContentCheckSummary summary;
    std::uint64_t total = 0;
    for (const FilePair& pair : pairs)
        total += pair.size;

    // Each pair's finding is written by its work and read here once the pool
    // says that work has ended; empty when it was abandoned.
    std::vector<std::optional<ContentFinding>> results(pairs.size());
    std::atomic<std::uint64_t> bytesDone{0};
    const std::size_t bufferBytes = std::max<std::size_t>(options.bufferBytes, 4096);
    BufferShelf shelf(bufferBytes);
    const std::size_t workerCount = std::min<std::size_t>(std::max(options.workers, 1u), std::max<std::size_t>(pairs.size(), 1));

    auto compare = [&](std::size_t index, platform::OrderedWorkers::Job& job) {
        auto keepGoing = [&] { return runFlag.IsSet() && !job.StopRequested(); };
        if (!keepGoing())
            return;
        const FilePair& pair = pairs[index];
        std::uint64_t counted = 0;
        auto account = [&](std::uint64_t bytes) {
            const std::uint64_t add = std::min(bytes, pair.size - std::min(counted, pair.size));
            counted += add;
            bytesDone.fetch_add(add, std::memory_order_relaxed);
        };
        BufferShelf::Buffers buffers = shelf.Take();
        std::optional<ContentFinding> finding =
            ComparePair(pair, buffers.first.get(), buffers.second.get(), bufferBytes, keepGoing, account);
        shelf.Give(std::move(buffers));
        if (!finding)
            return;
        account(pair.size);
        finding->index = index;
        results[index] = std::move(finding);
    };

    if (runFlag.IsSet() && !pairs.empty()) {
        platform::OrderedWorkers workers(workerCount);
        for (std::size_t index = 0; index < pairs.size(); ++index)
            workers.Submit([&compare, index](platform::OrderedWorkers::Job& job) { compare(index, job); });

        auto lastProgress = std::chrono::steady_clock::now();
        std::size_t delivered = 0;
        while (delivered < pairs.size() && !summary.cancelled) {
            workers.Wait(options.progressInterval);
            while (delivered < pairs.size() && runFlag.IsSet()) {
                const std::optional<std::size_t> next = workers.NextInOrder();
                if (!next)
                    break;
                ++delivered;
                if (!results[*next]) {
                    summary.cancelled = true; // its work gave up: the flag went down
                    break;
                }
                ++summary.checked;
                const ContentFinding& finding = *results[*next];
                if (finding.verdict == ContentVerdict::Same)
                    continue;
                (finding.verdict == ContentVerdict::Different ? summary.different : summary.unreadable)++;
                observer.Found(pairs[*next], finding);
            }
            if (!runFlag.IsSet())
                summary.cancelled = true;
            const auto now = std::chrono::steady_clock::now();
            if (!summary.cancelled && now - lastProgress >= options.progressInterval) {
                lastProgress = now;
                observer.Progress(bytesDone.load(std::memory_order_relaxed), total);
            }
        }
    } else if (!pairs.empty()) {
        summary.cancelled = true;
    }

    summary.bytesDone = bytesDone.load();
    observer.Progress(summary.bytesDone, total);
    return summary;
}

} // namespace tandrel::engine
