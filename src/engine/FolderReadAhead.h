#pragma once

#include "platform/FolderListing.h"
#include "settings/CompareOptions.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tandrel::engine {

// What the other tree holds under an entry's name, as found when the folder
// pair was read. `mode` 0: nothing of that name.
struct Counterpart {
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mode = 0;
    bool enterable = false; // both are folders and the other may be searched

    bool Found() const { return mode != 0; }
};

// One folder of the walked side, read together with its counterpart folder:
// the entries in listing order, each with its counterpart (when the other
// side holds the folder at all). A compact form may leave entries out; the
// indexes of the remaining ones say where they stood.
struct FolderContent {
    bool listed = false;          // the walked side's folder could be read
    bool otherListed = false;     // the counterpart folder could be read as a whole
    std::uint32_t count = 0;      // names read, "." and ".." included
    std::vector<platform::ListedEntry> entries;
    std::vector<Counterpart> counterparts; // parallel to entries, or empty: no counterpart folder
    platform::FolderIdentity identity, otherIdentity;

    std::size_t Bytes() const;
};

// One folder pair of a walk: the folder `name` below its parent's pair, with
// whether the parent's walk found a usable counterpart folder for it. Once a
// counterpart counts as missing, nothing below it is ever looked up in the other tree.
struct FolderJob {
    enum class State : std::uint8_t { Pending, Reading, Done, Taken, Abandoned };

    std::shared_ptr<FolderJob> parent; // null for the root
    std::string name;
    std::uint32_t depth = 0;
    bool otherPresent = false;

    // Guarded by the read-ahead's lock until taken by the walk.
    State state = State::Pending;
    bool readAhead = false; // read by a worker, so to be checked against the folder as it is now
    bool abandoned = false;
    std::size_t heldEntries = 0; // what it counts against the read-ahead's bound
    FolderContent content;
    std::optional<FolderContent> reverse; // the counterpart side's view of the pair, for the other pass
    std::vector<std::shared_ptr<FolderJob>> children; // the folders the walk will reach from here, in order

    // Folders every so many levels keep a descriptor of their own, from which
    // deeper ones are opened: short relative paths at any depth, and few open descriptors.
    std::once_flag anchorOnce[2];
    platform::Fd anchor[2];
};

// What a read needs to know of the run; copied once, read by every thread.
struct ReadSetup {
    std::string roots[2]; // the walked side's root, then the other's; both end in '/'
    bool includeSubdirectories = true;
    bool makeReverse = false; // also keep the counterpart side's view (source pass)
    settings::CompareOptions options;   // only to guess which subfolders the walk will enter
    std::vector<std::string> ignoredTypes;
};

// Worker threads that read folder pairs ahead of the walk, in the order the
// walk will want them (depth first), holding at most a bounded number of
// folders read and not yet taken. The walk takes each pair on its own thread;
// a pair no worker has reached is read there and then.
class FolderReadAhead {
public:
    // Called on the walk's thread while it waits for a pair or reads one
    // itself, at least once per PulseInterval(); false stops the read-ahead.
    using Pulse = std::function<bool()>;

    FolderReadAhead(ReadSetup setup, unsigned threads);
    ~FolderReadAhead();
    FolderReadAhead(const FolderReadAhead&) = delete;
    FolderReadAhead& operator=(const FolderReadAhead&) = delete;

    std::shared_ptr<FolderJob> MakeRoot();
    std::shared_ptr<FolderJob> MakeChild(const std::shared_ptr<FolderJob>& parent, const std::string& name,
                                         bool otherPresent) const;

    // Hands the walk a pair's content. One read ahead is first checked
    // against the two folders as they are now, and read again if either changed.
    // Returns false, with no content, once `pulse` has answered false: from
    // then on every read is given up between two entries and nothing more is handed out.
    [[nodiscard]] bool Take(const std::shared_ptr<FolderJob>& job, const Pulse& pulse);

    // Takes a pair whose content the walk already has from elsewhere (the
    // other pass's view), when both folders are still as they were when it was made.
    bool TakeKnown(const std::shared_ptr<FolderJob>& job, FolderContent content);

    // Queues pairs for reading ahead (in walk order).
    void Queue(const std::vector<std::shared_ptr<FolderJob>>& jobs);

    // Drops a job and everything read or queued below it.
    void Abandon(const std::shared_ptr<FolderJob>& job);

    static unsigned ThreadsFor(const std::string& root, const std::string& otherRoot);

    // Stops the reading and lets the workers end on a thread of their own, so
    // that one held up in a long system call (a listing of a network share)
    // does not hold up the caller. Ends them here when no thread can be had.
    static void Release(std::unique_ptr<FolderReadAhead> ahead);

    // Tests set zero, so that the pulse comes between every two entries read.
    static void SetPulseInterval(std::chrono::microseconds interval);
    static std::chrono::microseconds PulseInterval();

private:
    class Checkpoint;

    void Work();
    // False when the read was given up; the content is then empty.
    bool Read(FolderJob& job, const Pulse* pulse) const;
    bool StillCurrent(FolderJob& job) const;
    std::vector<std::shared_ptr<FolderJob>> ChildrenOf(const std::shared_ptr<FolderJob>& job) const;
    std::shared_ptr<FolderJob> NextLocked();
    void QueueLocked(const std::vector<std::shared_ptr<FolderJob>>& jobs);
    void AbandonLocked(const std::shared_ptr<FolderJob>& job);
    int OpenFolder(FolderJob& job, int side, int flags) const;
    int AnchorOf(FolderJob& job, int side) const;

    ReadSetup m_setup;
    platform::Fd m_rootAnchor[2];
    std::mutex m_mutex;
    // A plain flag under the lock rather than a stop token: waiting on a
    // stop token runs a callback whose removal can hang with the threads of
    // MinGW's runtime.
    bool m_stopping = false;
    std::atomic<bool> m_cancelled{false}; // reads end between entries; also set with m_stopping
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<std::shared_ptr<FolderJob>> m_queue; // the back is read next
    std::size_t m_held = 0;        // read ahead and not yet taken
    std::size_t m_heldEntries = 0;
    std::vector<std::jthread> m_workers;
};

// Breaks the links between a job and those below it, so that all can go.
void ReleaseJobTree(const std::shared_ptr<FolderJob>& job);

} // namespace tandrel::engine
