#include "engine/FolderReadAhead.h"

#include "engine/EntryFilter.h"
#include "engine/RemoteSideFolder.h"
#include "platform/Threads.h"

#include <algorithm>
#include <functional>
#include <new>
#include <system_error>

namespace tandrel::engine {

// One folder pair of a walk: the folder `name` below its parent's pair, with
// what the parent's read found of its counterpart folder.
//
// Ownership: `state`, `readAhead`, `abandoned` and `heldEntries` are read and
// written under the read-ahead's lock. `content`, `keptView` and `children`
// belong to the thread that moved the job to Reading, which fills them
// without the lock; setting Done or Taken under the lock hands them on, and
// from Taken on only the walk's thread touches them, which moves them out
// (a Done job that is abandoned is emptied under the lock, where no thread
// reads it). The rest never changes after the job is made.
class FolderJob : public FolderNode {
public:
    enum class State : std::uint8_t { Pending, Reading, Done, Taken, Abandoned };

    FolderJob() = default;
    ~FolderJob();
    FolderJob(const FolderJob&) = delete;
    FolderJob& operator=(const FolderJob&) = delete;

    std::shared_ptr<FolderJob> parent; // null for the root; keeps `parentNode` alive
    OtherState other = OtherState::Present;
    bool otherFolds = false; // the parent pair's, for a counterpart folder that is not there

    State state = State::Pending;
    bool readAhead = false; // read by a worker, so to be checked against the folders as they are now
    bool abandoned = false;
    std::size_t heldEntries = 0; // what it counts against the read-ahead's bound
    FolderContent content;
    std::optional<FolderContent> keptView;
    std::vector<std::shared_ptr<FolderJob>> children; // the folders the walk will reach from here, in order
};

namespace {

using platform::Fd;
using platform::ListedEntry;

constexpr std::size_t kMaxHeld = 512;
constexpr std::size_t kMaxHeldEntries = std::size_t{1} << 20;
// Measured: a cold local disk gains little past 4 readers; sshfs over
// loopback went from 1.35 s (4) and 1.22 s (8) to 0.92 s (16 and 32) for
// 20,000 files a side, and a real network waits longer for each listing.
constexpr unsigned kLocalThreads = 4;
constexpr unsigned kNetworkThreads = 16;

std::chrono::microseconds g_pulseInterval{10000};

// Breaks the links between a job and those below it, so that all can go.
// A chain of parents is let go one job at a time (see ~FolderJob), so no
// depth of tree makes either recursive.
void ReleaseJobTree(const std::shared_ptr<FolderJob>& job)
{
    if (!job)
        return;
    std::vector<std::shared_ptr<FolderJob>> pending{job};
    while (!pending.empty()) {
        std::shared_ptr<FolderJob> next = std::move(pending.back());
        pending.pop_back();
        for (auto& child : next->children)
            pending.push_back(std::move(child));
        next->children.clear();
    }
}

} // namespace

FolderJob::~FolderJob()
{
    // A chain of parents kept only by this job goes one job at a time, not
    // by one destructor calling the next, however deep the chain.
    std::shared_ptr<FolderJob> up = std::move(parent);
    while (up && up.use_count() == 1) {
        std::shared_ptr<FolderJob> next = std::move(up->parent);
        up.reset();
        up = std::move(next);
    }
}

// Asked between two entries of a read: false once the read is to be given
// up. On the walk's thread it also gives the pulse its turn when one is due.
class FolderReadAhead::Checkpoint {
public:
    Checkpoint(const std::atomic<bool>& cancelled, const Pulse* pulse)
        : m_cancelled(cancelled), m_pulse(pulse && *pulse ? pulse : nullptr), m_last(std::chrono::steady_clock::now())
    {
    }

    bool operator()()
    {
        if (m_gaveUp || m_cancelled.load(std::memory_order_relaxed))
            return !(m_gaveUp = true);
        if (!m_pulse)
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_last < g_pulseInterval)
            return true;
        if (!(*m_pulse)())
            return !(m_gaveUp = true);
        m_last = std::chrono::steady_clock::now();
        return true;
    }

    bool GaveUp() const { return m_gaveUp; }

private:
    const std::atomic<bool>& m_cancelled;
    const Pulse* m_pulse;
    std::chrono::steady_clock::time_point m_last;
    bool m_gaveUp = false;
};

void FolderReadAhead::SetPulseInterval(std::chrono::microseconds interval)
{
    g_pulseInterval = interval;
}

std::chrono::microseconds FolderReadAhead::PulseInterval()
{
    return g_pulseInterval;
}

FolderReadAhead::FolderReadAhead(ReadSetup setup, unsigned threads)
    : m_setup(WithoutRemoteRoots(std::move(setup))), m_anchors(m_setup.roots)
{
    try {
        m_workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i)
            m_workers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Out of threads: the walk reads what the workers there are do not.
    } catch (const std::bad_alloc&) {
    }
}

// A remote side's root text is no local path: nothing local is opened for it.
ReadSetup FolderReadAhead::WithoutRemoteRoots(ReadSetup setup)
{
    for (Side side : {kWalkedSide, kOtherSide})
        if (setup.remote[side])
            setup.roots[side].clear();
    return setup;
}

FolderReadAhead::~FolderReadAhead()
{
    m_cancelled = true; // a worker gives up the folder in hand rather than finishing it
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_workers.clear(); // joins
    for (const auto& job : m_queue)
        ReleaseJobTree(job);
}

void FolderReadAhead::Release(std::unique_ptr<FolderReadAhead> ahead)
{
    if (!ahead)
        return;
    {
        const std::lock_guard lock(ahead->m_mutex);
        ahead->m_cancelled = true;
        ahead->m_stopping = true;
    }
    ahead->m_wake.notify_all();
    try {
        std::thread([owned = std::move(ahead)]() mutable { owned.reset(); }).detach();
    } catch (const std::system_error&) {
        // The thread's state went with the failure, and with it the read-ahead, here.
    } catch (const std::bad_alloc&) {
    }
}

unsigned FolderReadAhead::ThreadsFor(const std::string& root, const std::string& otherRoot)
{
    for (const std::string* path : {&root, &otherRoot}) {
        const Fd fd(platform::OpenFolder(*path, platform::kOpenAsAnchor));
        if (fd.Valid() && platform::IsNetworkFileSystem(fd.Get()))
            return kNetworkThreads;
    }
    return kLocalThreads;
}

FolderTicket FolderReadAhead::MakeRoot()
{
    auto root = std::make_shared<FolderJob>();
    // A root that is there but could not be opened is tried again when read,
    // and then reported.
    if (const auto& tree = m_setup.remote[kOtherSide]) {
        const platform::remote::RemoteFolder* folder = tree->Find(m_setup.remoteBase[kOtherSide]);
        root->other = folder && folder->status.Absent() ? OtherState::Absent : OtherState::Present;
        return root;
    }
    root->other = m_anchors.RootOpened(kOtherSide) || !platform::IsAbsence(m_anchors.RootError(kOtherSide))
                      ? OtherState::Present
                      : OtherState::Absent;
    return root;
}

FolderTicket FolderReadAhead::MakeChild(const FolderTicket& parent, const std::string& name, OtherState other,
                                        const std::string& otherName, bool otherFolds) const
{
    auto child = std::make_shared<FolderJob>();
    child->parent = parent;
    child->parentNode = parent.get();
    child->name = name;
    if (otherName != name)
        child->otherName = otherName;
    child->depth = parent->depth + 1;
    child->other = parent->other == OtherState::Present ? other : parent->other;
    child->otherFolds = otherFolds;
    return child;
}

bool FolderReadAhead::ReadJob(const FolderTicket& job, const Pulse* pulse) const
{
    Checkpoint checkpoint(m_cancelled, pulse);
    const PairRequest request{job->other, job->otherFolds, m_setup.keepViews};
    PairRead read = AnyRemote()
                        ? ReadFolderPair(
                              request,
                              [this, &job](Side side, const GoOn& goOn) { return ReadSideOf(*job, side, goOn); },
                              std::ref(checkpoint))
                        : ReadFolderPair(
                              request, [this, &job](Side side, int flags) { return m_anchors.Open(*job, side, flags); },
                              std::ref(checkpoint));
    job->content = std::move(read.content);
    job->keptView = std::move(read.keptView);
    job->children = read.gaveUp ? std::vector<FolderTicket>{} : ChildrenOf(job);
    return !read.gaveUp;
}

std::vector<FolderTicket> FolderReadAhead::ChildrenOf(const FolderTicket& job) const
{
    std::vector<FolderTicket> children;
    if (!m_setup.includeSubdirectories)
        return children;
    const FolderContent& content = job->content;
    for (std::size_t i = 0; i < content.entries.size(); ++i) {
        const ListedEntry& entry = content.entries[i];
        if (!entry.Examined() || !entry.IsFolder() || IsDotName(entry.name) ||
            IsFilteredOut(entry, m_setup.options, &m_setup.ignoredTypes))
            continue;
        children.push_back(
            MakeChild(job, entry.name, content.CounterpartOf(i).below, content.OtherName(i), content.otherFolds));
    }
    return children;
}

ReadFolderResult FolderReadAhead::ReadSideOf(const FolderJob& job, Side side, const GoOn& goOn) const
{
    if (!m_setup.remote[side])
        return ReadFolder([this, &job](Side s, int flags) { return m_anchors.Open(job, s, flags); }, side, goOn);
    std::string relative;
    for (const FolderNode* node = &job; node->parentNode; node = node->parentNode)
        relative.insert(0, node->NameOn(side) + '/');
    return ReadRemoteFolder(m_setup.remote[side], m_setup.remoteBase[side] + relative);
}

// A remote side's folders come from its tree as read before the walk, which
// does not change: only a local one can have changed since it was read.
bool FolderReadAhead::StillCurrent(const FolderJob& job) const
{
    const FolderContent& content = job.content;
    const bool otherPresent = job.other == OtherState::Present;
    if (!content.listed || (otherPresent && !content.otherListed))
        return false;
    const auto sideNow = [&](Side side, const platform::FolderIdentity& was) {
        return m_setup.remote[side] || IdentityNow(m_anchors.Open(job, side, platform::kOpenAsAnchor).fd.Get(), was);
    };
    return sideNow(kWalkedSide, content.identity) && (!otherPresent || sideNow(kOtherSide, content.otherIdentity));
}

void FolderReadAhead::QueueLocked(const std::vector<FolderTicket>& jobs)
{
    // The back is read first, so the first child goes on top.
    for (auto it = jobs.rbegin(); it != jobs.rend(); ++it)
        if ((*it)->state == FolderJob::State::Pending)
            m_queue.push_back(*it);
}

void FolderReadAhead::Queue(const std::vector<FolderTicket>& jobs)
{
    if (m_workers.empty() || jobs.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        QueueLocked(jobs);
    }
    m_wake.notify_all();
}

std::optional<TakenFolder> FolderReadAhead::Take(const FolderTicket& job, const Pulse& pulse)
{
    std::unique_lock lock(m_mutex);
    // Ends the read-ahead: every worker gives up between two entries, and
    // whatever was read of this pair, in part or whole, is dropped.
    bool ownRead = false;
    const auto stop = [&]() -> std::optional<TakenFolder> {
        m_cancelled = true;
        m_stopping = true;
        if (ownRead)
            job->state = FolderJob::State::Abandoned;
        else
            AbandonLocked(job);
        lock.unlock();
        m_wake.notify_all();
        return std::nullopt;
    };
    if (m_cancelled)
        return stop();
    if (job->state == FolderJob::State::Pending) {
        ownRead = true;
        if (!ReadHere(job, pulse, lock))
            return stop();
    } else {
        const auto ready = [&] { return job->state == FolderJob::State::Done || m_cancelled; };
        while (!m_done.wait_for(lock, g_pulseInterval, ready)) {
            lock.unlock();
            const bool goOn = !pulse || pulse();
            lock.lock();
            if (!goOn)
                return stop();
        }
        if (m_cancelled)
            return stop();
        --m_held;
        m_heldEntries -= job->heldEntries;
        if (job->readAhead) {
            // Read a while ago: take it only if neither folder changed since.
            lock.unlock();
            const bool current = StillCurrent(*job);
            lock.lock();
            if (!current) {
                for (const auto& child : job->children)
                    AbandonLocked(child);
                ownRead = true;
                if (!ReadHere(job, pulse, lock))
                    return stop();
            }
        }
    }
    job->state = FolderJob::State::Taken;
    QueueLocked(job->children);
    lock.unlock();
    m_wake.notify_all();
    // From Taken on, only the walk's thread touches the pair.
    return Handed(*job);
}

bool FolderReadAhead::ReadHere(const FolderTicket& job, const Pulse& pulse, std::unique_lock<std::mutex>& lock)
{
    job->state = FolderJob::State::Reading;
    lock.unlock();
    const bool read = ReadJob(job, &pulse);
    lock.lock();
    return read;
}

TakenFolder FolderReadAhead::Handed(FolderJob& job)
{
    TakenFolder taken;
    taken.content = std::move(job.content);
    taken.keptView = std::move(job.keptView);
    taken.children.reserve(job.children.size());
    for (FolderTicket& child : job.children) {
        ChildFolder handed{child->name, child->other, std::move(child)};
        taken.children.push_back(std::move(handed));
    }
    job.content = FolderContent{};
    job.keptView.reset();
    job.children.clear();
    return taken;
}

std::optional<TakenFolder> FolderReadAhead::TakeKnown(const FolderTicket& job, FolderContent content)
{
    {
        const std::lock_guard lock(m_mutex);
        // The view holds the counterpart side's entries: of no use where the
        // walk no longer counts the counterpart folder as there.
        if (job->state != FolderJob::State::Pending || job->other != OtherState::Present)
            return std::nullopt;
        job->state = FolderJob::State::Reading;
    }
    job->content = std::move(content);
    const bool current = StillCurrent(*job);
    auto children = current ? ChildrenOf(job) : std::vector<FolderTicket>{};
    const std::lock_guard lock(m_mutex);
    if (!current) {
        job->content = FolderContent{};
        job->state = FolderJob::State::Pending;
        return std::nullopt;
    }
    job->children = std::move(children);
    job->state = FolderJob::State::Taken;
    return Handed(*job);
}

void FolderReadAhead::Abandon(const FolderTicket& job)
{
    const std::lock_guard lock(m_mutex);
    AbandonLocked(job);
}

void FolderReadAhead::AbandonLocked(const FolderTicket& job)
{
    switch (job->state) {
    case FolderJob::State::Pending:
        job->state = FolderJob::State::Abandoned;
        break;
    case FolderJob::State::Reading:
        job->abandoned = true;
        break;
    case FolderJob::State::Done:
        --m_held;
        m_heldEntries -= job->heldEntries;
        job->state = FolderJob::State::Abandoned;
        for (const auto& child : job->children)
            AbandonLocked(child);
        job->children.clear();
        job->content = FolderContent{};
        job->keptView.reset();
        break;
    case FolderJob::State::Taken:
    case FolderJob::State::Abandoned:
        break;
    }
}

FolderTicket FolderReadAhead::NextLocked()
{
    if (m_held >= kMaxHeld || m_heldEntries >= kMaxHeldEntries)
        return nullptr;
    while (!m_queue.empty()) {
        FolderTicket job = std::move(m_queue.back());
        m_queue.pop_back();
        if (job->state == FolderJob::State::Pending)
            return job;
    }
    return nullptr;
}

void FolderReadAhead::Work()
{
    // The walk's thread is often the window's: it comes first.
    platform::LowerThreadPriority();
    std::unique_lock lock(m_mutex);
    for (;;) {
        FolderTicket job;
        m_wake.wait(lock, [&] { return m_stopping || (job = NextLocked()) != nullptr; });
        if (m_stopping)
            return;
        job->state = FolderJob::State::Reading;
        lock.unlock();
        const bool read = ReadJob(job, nullptr);
        lock.lock();
        if (job->abandoned || !read || m_cancelled) {
            job->state = FolderJob::State::Abandoned;
            job->content = FolderContent{};
            job->keptView.reset();
            for (const auto& child : job->children)
                child->state = FolderJob::State::Abandoned;
            job->children.clear();
            continue;
        }
        job->state = FolderJob::State::Done;
        job->readAhead = true;
        job->heldEntries = job->content.entries.size() + (job->keptView ? job->keptView->entries.size() : 0);
        ++m_held;
        m_heldEntries += job->heldEntries;
        QueueLocked(job->children);
        m_done.notify_all();
        m_wake.notify_all();
    }
}

} // namespace tandrel::engine
