#include "engine/FolderReadAhead.h"

#include "engine/EntryFilter.h"
#include "platform/CaseFold.h"

#include <algorithm>
#include <cerrno>
#include <numeric>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <new>

namespace tandrel::engine {

namespace {

using platform::Fd;
using platform::FolderIdentity;
using platform::ListedEntry;

constexpr int kThis = 0;
constexpr int kOther = 1;
constexpr std::uint32_t kAnchorSpacing = 64;
constexpr std::size_t kMaxHeld = 512;
constexpr std::size_t kMaxHeldEntries = std::size_t{1} << 20;
// Measured: a cold local disk gains little past 4 readers; sshfs over
// loopback went from 1.35 s (4) and 1.22 s (8) to 0.92 s (16 and 32) for
// 20,000 files a side, and a real network waits longer for each listing.
constexpr unsigned kLocalThreads = 4;
constexpr unsigned kNetworkThreads = 16;
const int& kListFlags = platform::kOpenToList;
const int& kPathFlags = platform::kOpenAsAnchor;

// For each entry of `a`, the index of the entry of `b` with the same name, or -1.
void PairByName(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, std::vector<int>& aToB,
                std::vector<int>& bToA)
{
    auto sorted = [](const std::vector<ListedEntry>& v) {
        std::vector<int> order(v.size());
        std::iota(order.begin(), order.end(), 0);
        std::sort(order.begin(), order.end(), [&](int x, int y) { return v[x].name < v[y].name; });
        return order;
    };
    const std::vector<int> sa = sorted(a);
    const std::vector<int> sb = sorted(b);
    aToB.assign(a.size(), -1);
    bToA.assign(b.size(), -1);
    std::size_t i = 0, j = 0;
    while (i < sa.size() && j < sb.size()) {
        const int order = a[sa[i]].name.compare(b[sb[j]].name);
        if (order < 0) {
            ++i;
        } else if (order > 0) {
            ++j;
        } else {
            aToB[sa[i]] = sb[j];
            bToA[sb[j]] = sa[i];
            ++i;
            ++j;
        }
    }
}

// Pairs what `PairByName` left alone where the folder `bFd` folds case: an
// entry of `a` whose name that folder finds, with the entry of `b` spelled so
// but for case. Both passes pair the same names, whichever side folds.
void PairAcrossCase(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, std::vector<int>& aToB,
                    std::vector<int>& bToA, int bFd)
{
    std::unordered_multimap<std::u32string, int> unpaired;
    for (std::size_t j = 0; j < b.size(); ++j)
        if (bToA[j] < 0)
            unpaired.emplace(platform::FoldedKey(b[j].name), static_cast<int>(j));
    ListedEntry looked;
    for (std::size_t i = 0; i < a.size() && !unpaired.empty(); ++i) {
        if (aToB[i] >= 0)
            continue;
        const auto it = unpaired.find(platform::FoldedKey(a[i].name));
        if (it == unpaired.end() || !platform::LookUpEntry(bFd, a[i].name, looked))
            continue;
        aToB[i] = it->second;
        bToA[static_cast<std::size_t>(it->second)] = static_cast<int>(i);
        unpaired.erase(it);
    }
}

// The counterparts of `mine` in the folder `theirFd`: from its listing where
// there is one, otherwise (or for names a case-folding folder may hold under
// another spelling) by looking the name up there.
std::vector<Counterpart> CounterpartsOf(const std::vector<ListedEntry>& mine, const std::vector<ListedEntry>* theirs,
                                        const std::vector<int>& mineToTheirs, int theirFd, bool foldsCase,
                                        std::vector<std::pair<std::size_t, std::string>>& otherNames)
{
    std::vector<Counterpart> out(mine.size());
    for (std::size_t i = 0; i < mine.size(); ++i) {
        const ListedEntry& entry = mine[i];
        if (!entry.Examined())
            continue;
        ListedEntry looked;
        const ListedEntry* match = nullptr;
        if (theirs && mineToTheirs[i] >= 0)
            match = &(*theirs)[static_cast<std::size_t>(mineToTheirs[i])];
        else if ((!theirs || foldsCase) && platform::LookUpEntry(theirFd, entry.name, looked))
            match = &looked;
        if (!match || !match->Examined())
            continue;
        Counterpart& c = out[i];
        c.mode = match->mode;
        c.size = match->size;
        c.mtime = match->mtime;
        c.enterable = entry.IsFolder() && match->IsFolder() && !IsDotName(entry.name) &&
                      platform::CanEnter(theirFd, match->name.c_str());
        if (match->name != entry.name)
            otherNames.emplace_back(i, match->name);
    }
    return out;
}

bool IdentityNow(int fd, const FolderIdentity& was)
{
    FolderIdentity now;
    return fd >= 0 && platform::IdentityOf(fd, now) && now == was;
}

} // namespace

const std::string& FolderContent::OtherName(std::size_t k) const
{
    const auto it = std::lower_bound(otherNames.begin(), otherNames.end(), k,
                                     [](const auto& other, std::size_t index) { return other.first < index; });
    return it != otherNames.end() && it->first == k ? it->second : entries[k].name;
}

std::size_t FolderContent::Bytes() const
{
    std::size_t bytes = sizeof(*this) + counterparts.capacity() * sizeof(Counterpart) +
                        entries.capacity() * sizeof(ListedEntry);
    for (const auto& other : otherNames)
        bytes += sizeof other + other.second.capacity();
    for (const ListedEntry& e : entries)
        bytes += e.name.capacity() > 15 ? e.name.capacity() + 1 : 0;
    return bytes;
}

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

FolderReadAhead::FolderReadAhead(ReadSetup setup, unsigned threads) : m_setup(std::move(setup))
{
    // The roots themselves may be links; nothing below them is followed.
    for (int side : {kThis, kOther})
        m_rootAnchor[side].Reset(platform::OpenFolder(m_setup.roots[side], kPathFlags));
    try {
        m_workers.reserve(threads);
        for (unsigned i = 0; i < threads; ++i)
            m_workers.emplace_back([this] { Work(); });
    } catch (const std::system_error&) {
        // Out of threads: the walk reads what the workers there are do not.
    } catch (const std::bad_alloc&) {
    }
}

FolderReadAhead::~FolderReadAhead()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_workers.clear(); // joins
    for (const auto& job : m_queue)
        ReleaseJobTree(job);
}

unsigned FolderReadAhead::ThreadsFor(const std::string& root, const std::string& otherRoot)
{
    for (const std::string* path : {&root, &otherRoot}) {
        const Fd fd(platform::OpenFolder(*path, kPathFlags));
        if (fd.Valid() && platform::IsNetworkFileSystem(fd.Get()))
            return kNetworkThreads;
    }
    return kLocalThreads;
}

std::shared_ptr<FolderJob> FolderReadAhead::MakeRoot()
{
    auto root = std::make_shared<FolderJob>();
    root->otherPresent = m_rootAnchor[kOther].Valid();
    return root;
}

std::shared_ptr<FolderJob> FolderReadAhead::MakeChild(const std::shared_ptr<FolderJob>& parent,
                                                      const std::string& name, bool otherPresent,
                                                      const std::string& otherName) const
{
    auto child = std::make_shared<FolderJob>();
    child->parent = parent;
    child->name = name;
    if (otherName != name)
        child->otherName = otherName;
    child->depth = parent->depth + 1;
    child->otherPresent = otherPresent && parent->otherPresent;
    return child;
}

int FolderReadAhead::AnchorOf(FolderJob& job, int side) const
{
    if (!job.parent)
        return m_rootAnchor[side].Get();
    std::call_once(job.anchorOnce[side], [&] { job.anchor[side].Reset(OpenFolder(job, side, kPathFlags)); });
    return job.anchor[side].Get();
}

int FolderReadAhead::OpenFolder(FolderJob& job, int side, int flags) const
{
    if (!job.parent)
        return platform::OpenFolder(m_setup.roots[side], flags);
    const auto nameOn = [side](const FolderJob& j) -> const std::string& {
        return side == kOther && !j.otherName.empty() ? j.otherName : j.name;
    };
    std::string relative = nameOn(job);
    FolderJob* base = job.parent.get();
    while (base->parent && base->depth % kAnchorSpacing != 0) {
        relative.insert(0, nameOn(*base) + '/');
        base = base->parent.get();
    }
    const int baseFd = AnchorOf(*base, side);
    if (baseFd < 0) {
        errno = ENOENT;
        return -1;
    }
    return platform::OpenBelow(baseFd, relative, flags);
}

void FolderReadAhead::Read(FolderJob& job) const
{
    job.content = FolderContent{};
    job.reverse.reset();
    job.children.clear();
    FolderContent& content = job.content;
    // Each folder's identity is taken before its names are read, so that a
    // change made while they are read shows as a change later.
    const Fd mine(OpenFolder(job, kThis, kListFlags));
    if (!mine.Valid() || !platform::IdentityOf(mine.Get(), content.identity) ||
        !platform::ReadListing(mine.Get(), content.entries, content.count)) {
        content.entries.clear();
        content.count = 0;
        return;
    }
    content.listed = true;

    if (job.otherPresent) {
        Fd other(OpenFolder(job, kOther, kListFlags));
        std::vector<ListedEntry> theirs;
        std::uint32_t theirCount = 0;
        content.otherListed = other.Valid() && platform::IdentityOf(other.Get(), content.otherIdentity) &&
                              platform::ReadListing(other.Get(), theirs, theirCount);
        if (!content.otherListed) {
            // Searchable but not readable: its names are looked up one by one.
            theirs.clear();
            other.Reset(OpenFolder(job, kOther, kPathFlags));
        }
        if (other.Valid()) {
            std::vector<int> mineToTheirs, theirsToMine;
            const bool otherFolds = platform::MayFoldCase(other.Get());
            const bool mineFolds = platform::MayFoldCase(mine.Get());
            if (content.otherListed) {
                PairByName(content.entries, theirs, mineToTheirs, theirsToMine);
                if (otherFolds)
                    PairAcrossCase(content.entries, theirs, mineToTheirs, theirsToMine, other.Get());
                if (mineFolds)
                    PairAcrossCase(theirs, content.entries, theirsToMine, mineToTheirs, mine.Get());
            }
            content.counterparts = CounterpartsOf(content.entries, content.otherListed ? &theirs : nullptr,
                                                  mineToTheirs, other.Get(), otherFolds, content.otherNames);
            if (m_setup.makeReverse && content.otherListed) {
                // The other pass records only what this side lacks: it needs
                // the counterpart side's folders and its files without a
                // counterpart here, nothing else.
                std::vector<std::pair<std::size_t, std::string>> backNames;
                std::vector<Counterpart> back =
                    CounterpartsOf(theirs, &content.entries, theirsToMine, mine.Get(), mineFolds, backNames);
                auto backName = backNames.begin();
                FolderContent reverse;
                reverse.listed = true;
                reverse.otherListed = true;
                reverse.count = theirCount;
                reverse.identity = content.otherIdentity;
                reverse.otherIdentity = content.identity;
                for (std::size_t j = 0; j < theirs.size(); ++j) {
                    if (!theirs[j].Examined() || (!theirs[j].IsFolder() && back[j].Found()))
                        continue;
                    for (; backName != backNames.end() && backName->first <= j; ++backName)
                        if (backName->first == j)
                            reverse.otherNames.emplace_back(reverse.entries.size(), std::move(backName->second));
                    reverse.entries.push_back(std::move(theirs[j]));
                    reverse.counterparts.push_back(back[j]);
                }
                reverse.entries.shrink_to_fit();
                reverse.counterparts.shrink_to_fit();
                job.reverse = std::move(reverse);
            }
        }
    }
}

std::vector<std::shared_ptr<FolderJob>> FolderReadAhead::ChildrenOf(const std::shared_ptr<FolderJob>& job) const
{
    std::vector<std::shared_ptr<FolderJob>> children;
    if (!m_setup.includeSubdirectories)
        return children;
    const FolderContent& content = job->content;
    for (std::size_t i = 0; i < content.entries.size(); ++i) {
        const ListedEntry& entry = content.entries[i];
        if (!entry.Examined() || !entry.IsFolder() || IsDotName(entry.name) ||
            IsFilteredOut(entry, m_setup.options, &m_setup.ignoredTypes))
            continue;
        const bool otherPresent = !content.counterparts.empty() && content.counterparts[i].enterable;
        children.push_back(MakeChild(job, entry.name, otherPresent, content.OtherName(i)));
    }
    return children;
}

bool FolderReadAhead::StillCurrent(FolderJob& job) const
{
    const FolderContent& content = job.content;
    if (!content.listed || (job.otherPresent && !content.otherListed))
        return false;
    if (!IdentityNow(Fd(OpenFolder(job, kThis, kPathFlags)).Get(), content.identity))
        return false;
    return !job.otherPresent || IdentityNow(Fd(OpenFolder(job, kOther, kPathFlags)).Get(), content.otherIdentity);
}

void FolderReadAhead::QueueLocked(const std::vector<std::shared_ptr<FolderJob>>& jobs)
{
    // The back is read first, so the first child goes on top.
    for (auto it = jobs.rbegin(); it != jobs.rend(); ++it)
        if ((*it)->state == FolderJob::State::Pending)
            m_queue.push_back(*it);
}

void FolderReadAhead::Queue(const std::vector<std::shared_ptr<FolderJob>>& jobs)
{
    if (m_workers.empty() || jobs.empty())
        return;
    {
        const std::lock_guard lock(m_mutex);
        QueueLocked(jobs);
    }
    m_wake.notify_all();
}

void FolderReadAhead::Take(const std::shared_ptr<FolderJob>& job)
{
    std::unique_lock lock(m_mutex);
    if (job->state == FolderJob::State::Pending) {
        job->state = FolderJob::State::Reading;
        lock.unlock();
        Read(*job);
        auto children = ChildrenOf(job);
        lock.lock();
        job->children = std::move(children);
    } else {
        m_done.wait(lock, [&] { return job->state == FolderJob::State::Done; });
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
                lock.unlock();
                Read(*job);
                auto children = ChildrenOf(job);
                lock.lock();
                job->children = std::move(children);
            }
        }
    }
    job->state = FolderJob::State::Taken;
    QueueLocked(job->children);
    lock.unlock();
    m_wake.notify_all();
}

bool FolderReadAhead::TakeKnown(const std::shared_ptr<FolderJob>& job, FolderContent content)
{
    {
        const std::lock_guard lock(m_mutex);
        // The view holds the counterpart side's entries: of no use where the
        // walk no longer counts the counterpart folder as there.
        if (job->state != FolderJob::State::Pending || !job->otherPresent)
            return false;
        job->state = FolderJob::State::Reading;
    }
    job->content = std::move(content);
    const bool current = StillCurrent(*job);
    auto children = current ? ChildrenOf(job) : std::vector<std::shared_ptr<FolderJob>>{};
    const std::lock_guard lock(m_mutex);
    if (!current) {
        job->content = FolderContent{};
        job->state = FolderJob::State::Pending;
        return false;
    }
    job->children = std::move(children);
    job->state = FolderJob::State::Taken;
    return true;
}

void FolderReadAhead::Abandon(const std::shared_ptr<FolderJob>& job)
{
    const std::lock_guard lock(m_mutex);
    AbandonLocked(job);
}

void FolderReadAhead::AbandonLocked(const std::shared_ptr<FolderJob>& job)
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
        job->reverse.reset();
        break;
    case FolderJob::State::Taken:
    case FolderJob::State::Abandoned:
        break;
    }
}

std::shared_ptr<FolderJob> FolderReadAhead::NextLocked()
{
    if (m_held >= kMaxHeld || m_heldEntries >= kMaxHeldEntries)
        return nullptr;
    while (!m_queue.empty()) {
        std::shared_ptr<FolderJob> job = std::move(m_queue.back());
        m_queue.pop_back();
        if (job->state == FolderJob::State::Pending)
            return job;
    }
    return nullptr;
}

void FolderReadAhead::Work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<FolderJob> job;
        m_wake.wait(lock, [&] { return m_stopping || (job = NextLocked()) != nullptr; });
        if (m_stopping)
            return;
        job->state = FolderJob::State::Reading;
        lock.unlock();
        Read(*job);
        auto children = ChildrenOf(job);
        lock.lock();
        if (job->abandoned) {
            job->state = FolderJob::State::Abandoned;
            job->content = FolderContent{};
            job->reverse.reset();
            for (const auto& child : children)
                child->state = FolderJob::State::Abandoned;
            continue;
        }
        job->children = std::move(children);
        job->state = FolderJob::State::Done;
        job->readAhead = true;
        job->heldEntries = job->content.entries.size() + (job->reverse ? job->reverse->entries.size() : 0);
        ++m_held;
        m_heldEntries += job->heldEntries;
        QueueLocked(job->children);
        m_done.notify_all();
        m_wake.notify_all();
    }
}

} // namespace tandrel::engine
