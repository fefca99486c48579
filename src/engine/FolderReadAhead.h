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
#include <utility>
#include <vector>

namespace tandrel::engine {

// A pass walks one tree (the walked side: the source in the source pass, the
// destination in the destination pass) and looks up each name in the other
// (the other side). Arrays of two indexed by side hold the walked side first.
enum Side : int { kWalkedSide = 0, kOtherSide = 1 };

// What the other side holds under a name, as far as it could be read.
enum class OtherState : std::uint8_t {
    Absent,  // not there
    Present, // there
    Unknown, // could not be read: neither there nor absent, so never counted as missing
};

// What the other tree holds under an entry's name, as found when the folder
// pair was read.
struct Counterpart {
    OtherState state = OtherState::Absent;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    std::uint32_t mode = 0; // when Present
    // For a folder entry: whether the walk below it may look names up on the
    // other side (Present: that is a folder it may search), finds nothing
    // there (Absent), or cannot tell (Unknown).
    OtherState below = OtherState::Absent;

    bool Found() const { return state == OtherState::Present; }
};

// A folder found unreadable while a pair was read: on which side, the name
// of the entry below the pair's folder (empty: that folder itself), and the
// errno value that says why.
struct ReadFailure {
    Side side = kWalkedSide;
    std::string name;
    int error = 0;
    bool searchable = false; // its names can still be looked up one by one
};

// One folder of the walked side, read together with its counterpart folder:
// the entries in listing order, each with its counterpart. A compact form may
// leave entries out; the indexes of the remaining ones say where they stood.
struct FolderContent {
    bool listed = false;      // the walked side's folder could be read
    bool otherListed = false; // the counterpart folder could be read as a whole
    // The counterpart folder: Present when its names were read or looked up
    // (then `counterparts` is parallel to `entries`); otherwise every
    // counterpart is in this state and `counterparts` is empty.
    OtherState other = OtherState::Absent;
    std::uint32_t count = 0; // names read, "." and ".." included
    std::vector<platform::ListedEntry> entries;
    std::vector<Counterpart> counterparts;
    // Counterparts whose names are spelled otherwise (in case), by entry index, in order.
    std::vector<std::pair<std::size_t, std::string>> otherNames;
    // Entries left unpaired because their name clashes in case with others
    // (FindCaseClashes), with the text that says so, by entry index, in order.
    std::vector<std::pair<std::size_t, std::string>> clashes;
    // Whether the counterpart folder may fold case; where it is not there, the
    // nearest folder above it on that side.
    bool otherFolds = false;
    std::vector<ReadFailure> failures;
    platform::FolderIdentity identity, otherIdentity;

    Counterpart CounterpartOf(std::size_t entry) const;
    // The name of entry k's counterpart in the other folder.
    const std::string& OtherName(std::size_t k) const;
    // Why entry k is left unpaired for case; null when it is not.
    const std::string* ClashOf(std::size_t k) const;
    std::size_t Bytes() const;
};

// One folder pair of a walk: the folder `name` below its parent's pair, with
// what the parent's walk found of its counterpart folder. Once a counterpart
// counts as absent or unknown, nothing below it is ever looked up in the other tree.
//
// Ownership: `state`, `readAhead`, `abandoned` and `heldEntries` are read and
// written under the read-ahead's lock. `content`, `keptView` and `children`
// belong to the thread that moved the job to Reading, which fills them
// without the lock; setting Done or Taken under the lock hands them on, and
// from Taken on only the walk's thread touches them (a Done job that is
// abandoned is emptied under the lock, where no thread reads it).
// `parent`, `name`, `depth` and `other` never change after the job is made.
struct FolderJob {
    enum class State : std::uint8_t { Pending, Reading, Done, Taken, Abandoned };

    FolderJob() = default;
    ~FolderJob();
    FolderJob(const FolderJob&) = delete;
    FolderJob& operator=(const FolderJob&) = delete;

    std::shared_ptr<FolderJob> parent; // null for the root
    std::string name;
    std::string otherName; // the counterpart folder's name where it is spelled otherwise; empty: `name`
    std::uint32_t depth = 0;
    OtherState other = OtherState::Present;
    bool otherFolds = false; // the parent pair's, for a counterpart folder that is not there

    State state = State::Pending;
    bool readAhead = false; // read by a worker, so to be checked against the folder as it is now
    bool abandoned = false;
    std::size_t heldEntries = 0; // what it counts against the read-ahead's bound
    FolderContent content;
    // The other side's view of the pair, kept for the other pass (source pass only).
    std::optional<FolderContent> keptView;
    std::vector<std::shared_ptr<FolderJob>> children; // the folders the walk will reach from here, in order

    // A folder every so many levels may hold a descriptor of its own, from
    // which deeper ones are opened, so that relative paths stay short at any
    // depth. The read-ahead owns these descriptors and holds only a bounded
    // number; one let go is opened again from the nearest one above.
    mutable std::weak_ptr<const platform::Fd> anchor[2]; // under the read-ahead's anchor lock
};

// What a read needs to know of the run; copied once, read by every thread.
struct ReadSetup {
    std::string roots[2]; // by side; both end in '/'
    bool includeSubdirectories = true;
    bool keepViews = false; // also make each pair's keptView (source pass)
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
                                         OtherState other, const std::string& otherName = {},
                                         bool otherFolds = false) const;

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
    int OpenFolder(const FolderJob& job, Side side, int flags) const;
    std::shared_ptr<const platform::Fd> AnchorOf(const FolderJob& job, Side side) const;
    const FolderJob* AnchorBase(const FolderJob& job, Side side, std::string& relative) const;

    ReadSetup m_setup;
    std::shared_ptr<const platform::Fd> m_rootAnchor[2];
    int m_rootError[2] = {0, 0}; // why a root's descriptor could not be had
    void HoldAnchorLocked(std::shared_ptr<const platform::Fd> anchor) const;
    void TouchAnchorLocked(const platform::Fd* anchor) const;

    // The descriptors held below the roots; the one least recently used goes
    // when another is wanted.
    struct HeldAnchor {
        std::shared_ptr<const platform::Fd> fd;
        std::uint64_t lastUse = 0;
    };
    mutable std::mutex m_anchorMutex;
    mutable std::vector<HeldAnchor> m_anchors;
    mutable std::uint64_t m_anchorClock = 0;
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
// A chain of parents is let go one job at a time (see ~FolderJob), so no
// depth of tree makes either recursive.
void ReleaseJobTree(const std::shared_ptr<FolderJob>& job);

} // namespace tandrel::engine
