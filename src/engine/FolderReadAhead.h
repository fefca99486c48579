#pragma once

#include "engine/FolderAnchors.h"
#include "engine/FolderPair.h"
#include "platform/remote/RemoteTree.h"
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

// One folder pair of a walk, as the read-ahead keeps it (its own type).
class FolderJob;

// The walk's handle on a folder pair it will reach.
using FolderTicket = std::shared_ptr<FolderJob>;

// A subfolder the walk may enter from a pair, as the pair's read found it.
struct ChildFolder {
    std::string name;
    OtherState other = OtherState::Absent;
    FolderTicket ticket;
};

// A folder pair handed to the walk: its content, the other pass's view of
// it (source pass only, when one could be made) and the subfolders the walk
// will reach from it, in order.
struct TakenFolder {
    FolderContent content;
    std::optional<FolderContent> keptView;
    std::vector<ChildFolder> children;
};

// What a read needs to know of the run; copied once, read by every thread.
struct ReadSetup {
    std::string roots[2]; // by side; both end in '/'; a remote side's is not opened
    // By side: the remote tree a side's folders come from (null: a local
    // side), and where the walk's root lies in it ("" or ending in '/').
    std::shared_ptr<const platform::remote::RemoteTree> remote[2];
    std::string remoteBase[2];
    bool includeSubdirectories = true;
    bool keepViews = false; // also make each pair's kept view (source pass)
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

    FolderTicket MakeRoot();
    // The folder `name` below `parent`'s pair, with what the parent's read
    // found of its counterpart (`other`, spelled `otherName` there, in a
    // folder whose case rule is `otherFolds`). Once a counterpart counts as
    // absent or unknown, nothing below it is ever looked up in the other tree.
    FolderTicket MakeChild(const FolderTicket& parent, const std::string& name, OtherState other,
                           const std::string& otherName = {}, bool otherFolds = false) const;

    // Hands the walk a pair. One read ahead is first checked against the two
    // folders as they are now, and read again if either changed. Nothing
    // once `pulse` has answered false: from then on every read is given up
    // between two entries and nothing more is handed out.
    std::optional<TakenFolder> Take(const FolderTicket& job, const Pulse& pulse);

    // Takes a pair whose content the walk already has from elsewhere (the
    // other pass's view), when both folders are still as they were when it
    // was made; otherwise nothing, and the pair is to be taken as usual.
    std::optional<TakenFolder> TakeKnown(const FolderTicket& job, FolderContent content);

    // Queues pairs for reading ahead (in walk order).
    void Queue(const std::vector<FolderTicket>& jobs);

    // Drops a pair and everything read or queued below it.
    void Abandon(const FolderTicket& job);

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
    // Reads the pair and makes its children, without the lock; false when
    // the read was given up (the job is then left empty).
    bool ReadJob(const FolderTicket& job, const Pulse* pulse) const;
    // Reads a pair the walk is waiting for on the walk's thread, the lock
    // let go meanwhile; false when the read was given up.
    bool ReadHere(const FolderTicket& job, const Pulse& pulse, std::unique_lock<std::mutex>& lock);
    bool StillCurrent(const FolderJob& job) const;
    ReadFolderResult ReadSideOf(const FolderJob& job, Side side, const GoOn& goOn) const;
    bool AnyRemote() const { return m_setup.remote[kWalkedSide] || m_setup.remote[kOtherSide]; }
    std::vector<FolderTicket> ChildrenOf(const FolderTicket& job) const;
    static TakenFolder Handed(FolderJob& job);
    FolderTicket NextLocked();
    void QueueLocked(const std::vector<FolderTicket>& jobs);
    void AbandonLocked(const FolderTicket& job);

    static ReadSetup WithoutRemoteRoots(ReadSetup setup);

    ReadSetup m_setup;
    FolderAnchors m_anchors;
    std::mutex m_mutex;
    // A plain flag under the lock rather than a stop token: waiting on a
    // stop token runs a callback whose removal can hang with the threads of
    // MinGW's runtime.
    bool m_stopping = false;
    std::atomic<bool> m_cancelled{false}; // reads end between entries; also set with m_stopping
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::vector<FolderTicket> m_queue; // the back is read next
    std::size_t m_held = 0;        // read ahead and not yet taken
    std::size_t m_heldEntries = 0;
    std::vector<std::jthread> m_workers;
};

} // namespace tandrel::engine
