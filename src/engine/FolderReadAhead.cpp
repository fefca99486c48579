#include "engine/FolderReadAhead.h"

#include "engine/EntryFilter.h"
#include "platform/CaseFold.h"
#include "platform/Threads.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <new>

namespace tandrel::engine {

namespace {

using platform::Fd;
using platform::FolderIdentity;
using platform::ListedEntry;

// Folders this many levels apart may hold a descriptor (an anchor); at most
// so many anchors are held below the roots, both sides together.
constexpr std::uint32_t kAnchorSpacing = 64;
constexpr std::size_t kMaxAnchors = 16;
constexpr std::size_t kMaxHeld = 512;
constexpr std::size_t kMaxHeldEntries = std::size_t{1} << 20;
// Measured: a cold local disk gains little past 4 readers; sshfs over
// loopback went from 1.35 s (4) and 1.22 s (8) to 0.92 s (16 and 32) for
// 20,000 files a side, and a real network waits longer for each listing.
constexpr unsigned kLocalThreads = 4;
constexpr unsigned kNetworkThreads = 16;
const int& kListFlags = platform::kOpenToList;
const int& kPathFlags = platform::kOpenAsAnchor;

std::chrono::microseconds g_pulseInterval{10000};

// Entries of one folder paired with those of the other by index: -1 for
// none, and kClashed for an entry that must not be paired (a case clash).
constexpr int kClashed = -2;

// For each entry of `a`, the index of the entry of `b` with the same name, or
// -1. Asks `goOn` after every name; false when it answered false.
bool PairByName(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, std::vector<int>& aToB,
                std::vector<int>& bToA, const std::function<bool()>& goOn)
{
    aToB.assign(a.size(), -1);
    bToA.assign(b.size(), -1);
    std::unordered_map<std::string_view, int> byName;
    byName.reserve(b.size());
    for (std::size_t j = 0; j < b.size(); ++j) {
        byName.emplace(b[j].name, static_cast<int>(j));
        if (!goOn())
            return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto it = byName.find(a[i].name);
        if (it != byName.end()) {
            aToB[i] = it->second;
            bToA[static_cast<std::size_t>(it->second)] = static_cast<int>(i);
        }
        if (!goOn())
            return false;
    }
    return true;
}

// Pairs what `PairByName` left alone where the folder `bFd` folds case: an
// entry of `a` whose name that folder finds, with the entry of `b` spelled so
// but for case. Both passes pair the same names, whichever side folds.
void PairAcrossCase(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, std::vector<int>& aToB,
                    std::vector<int>& bToA, int bFd)
{
    std::unordered_multimap<std::u32string, int> unpaired;
    for (std::size_t j = 0; j < b.size(); ++j)
        if (bToA[j] == -1)
            unpaired.emplace(platform::FoldedKey(b[j].name), static_cast<int>(j));
    ListedEntry looked;
    for (std::size_t i = 0; i < a.size() && !unpaired.empty(); ++i) {
        if (aToB[i] != -1)
            continue;
        const auto it = unpaired.find(platform::FoldedKey(a[i].name));
        if (it == unpaired.end() || !platform::LookUpEntry(bFd, a[i].name, looked))
            continue;
        aToB[i] = it->second;
        bToA[static_cast<std::size_t>(it->second)] = static_cast<int>(i);
        unpaired.erase(it);
    }
}

// 'A.txt' and 'a.txt': each name of `names` quoted, in byte order.
std::string Quoted(std::vector<std::string_view> names)
{
    std::sort(names.begin(), names.end());
    std::string text;
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (k > 0)
            text += k + 1 == names.size() ? " and " : ", ";
        text.append("'").append(names[k]).append("'");
    }
    return text;
}

// Names that fold to one, held by a side that tells them apart while the
// other side folds case: that side can hold only one of them, so pairing any
// would copy, or count as equal, what the user never compared. None of them
// is paired; each gets the text that says why. `aToB` and `bToA` are by entry
// (empty where the side has no listing); the members are set to kClashed.
void FindCaseClashes(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, bool aFolds, bool bFolds,
                     std::vector<int>& aToB, std::vector<int>& bToA,
                     std::vector<std::pair<std::size_t, std::string>>& aClashes,
                     std::vector<std::pair<std::size_t, std::string>>& bClashes)
{
    if (!aFolds && !bFolds)
        return;
    struct Group {
        std::vector<std::size_t> members[2];
    };
    std::unordered_map<std::u32string, Group> groups;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].Examined())
            groups[platform::FoldedKey(a[i].name)].members[0].push_back(i);
    for (std::size_t j = 0; j < b.size(); ++j)
        if (b[j].Examined())
            groups[platform::FoldedKey(b[j].name)].members[1].push_back(j);
    const std::vector<ListedEntry>* entries[2] = {&a, &b};
    std::vector<int>* pairs[2] = {&aToB, &bToA};
    std::vector<std::pair<std::size_t, std::string>>* texts[2] = {&aClashes, &bClashes};
    for (const auto& [key, group] : groups) {
        if (!((bFolds && group.members[0].size() >= 2) || (aFolds && group.members[1].size() >= 2)))
            continue;
        for (int side : {0, 1}) {
            std::vector<std::string_view> across;
            for (const std::size_t k : group.members[1 - side])
                across.push_back((*entries[1 - side])[k].name);
            for (const std::size_t k : group.members[side]) {
                if (!pairs[side]->empty())
                    (*pairs[side])[k] = kClashed;
                std::string text;
                if (!across.empty()) {
                    text = "Clashes with " + Quoted(across) +
                           " on the other side: one side ignores case, the other tells the names apart";
                } else {
                    std::vector<std::string_view> beside;
                    for (const std::size_t other : group.members[side])
                        if (other != k)
                            beside.push_back((*entries[side])[other].name);
                    text = "Clashes with " + Quoted(beside) +
                           " beside it: the other side ignores case and can hold only one of them";
                }
                texts[side]->emplace_back(k, std::move(text));
            }
        }
    }
    for (auto* list : texts)
        std::sort(list->begin(), list->end());
}

// Notes a folder of `side` as unreadable, once per pair and folder.
void AddFailure(std::vector<ReadFailure>& failures, Side side, const std::string& name, int error,
                bool searchable = false)
{
    for (const ReadFailure& f : failures)
        if (f.side == side && f.name == name)
            return;
    failures.push_back({side, name, error, searchable});
}

// A folder whose names can be read but not examined (not searchable, or
// failing) is unreadable all the same: its entries are neither there nor absent.
void NoteUnexamined(const std::vector<ListedEntry>& entries, Side side, std::vector<ReadFailure>& failures)
{
    for (const ListedEntry& entry : entries) {
        if (!entry.Examined() && entry.error != 0 && !platform::IsAbsence(entry.error)) {
            AddFailure(failures, side, {}, entry.error);
            return;
        }
    }
}

// The counterparts of `mine` in the folder `theirFd` of side `theirSide`:
// from its listing where there is one, otherwise (or for names a
// case-folding folder may hold under another spelling) by looking the name
// up there. A name that cannot be looked up, or a folder there that cannot
// be searched, for any reason but its absence, is Unknown. Stops early when
// `goOn` answers false.
std::vector<Counterpart> CounterpartsOf(const std::vector<ListedEntry>& mine, const std::vector<ListedEntry>* theirs,
                                        const std::vector<int>& mineToTheirs, int theirFd, bool foldsCase,
                                        Side theirSide, std::vector<ReadFailure>& failures,
                                        std::vector<std::pair<std::size_t, std::string>>& otherNames,
                                        const std::function<bool()>& goOn)
{
    std::vector<Counterpart> out(mine.size());
    for (std::size_t i = 0; i < mine.size() && goOn(); ++i) {
        const ListedEntry& entry = mine[i];
        if (!entry.Examined() || (!mineToTheirs.empty() && mineToTheirs[i] == kClashed))
            continue;
        Counterpart& c = out[i];
        ListedEntry looked;
        const ListedEntry* match = nullptr;
        int error = ENOENT;
        if (theirs && mineToTheirs[i] >= 0) {
            match = &(*theirs)[static_cast<std::size_t>(mineToTheirs[i])];
            if (!match->Examined() && match->error != 0)
                error = match->error;
        } else if (!theirs || foldsCase) {
            if (platform::LookUpEntry(theirFd, entry.name, looked))
                match = &looked;
            else
                error = errno;
        }
        if (!match || !match->Examined()) {
            if (!platform::IsAbsence(error)) {
                c.state = c.below = OtherState::Unknown;
                AddFailure(failures, theirSide, {}, error);
            }
            continue;
        }
        c.state = OtherState::Present;
        c.mode = match->mode;
        c.size = match->size;
        c.mtime = match->mtime;
        if (entry.IsFolder() && match->IsFolder() && !IsDotName(entry.name)) {
            if (platform::CanEnter(theirFd, match->name.c_str())) {
                c.below = OtherState::Present;
            } else if (const int why = errno; !platform::IsAbsence(why)) {
                c.below = OtherState::Unknown;
                AddFailure(failures, theirSide, match->name, why);
            }
        }
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

const std::string* FolderContent::ClashOf(std::size_t k) const
{
    const auto it = std::lower_bound(clashes.begin(), clashes.end(), k,
                                     [](const auto& clash, std::size_t index) { return clash.first < index; });
    return it != clashes.end() && it->first == k ? &it->second : nullptr;
}

Counterpart FolderContent::CounterpartOf(std::size_t entry) const
{
    if (!counterparts.empty())
        return counterparts[entry];
    Counterpart none;
    if (other == OtherState::Unknown)
        none.state = none.below = OtherState::Unknown;
    return none;
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

std::size_t FolderContent::Bytes() const
{
    std::size_t bytes = sizeof(*this) + counterparts.capacity() * sizeof(Counterpart) +
                        entries.capacity() * sizeof(ListedEntry);
    for (const auto& other : otherNames)
        bytes += sizeof other + other.second.capacity();
    for (const auto& clash : clashes)
        bytes += sizeof clash + clash.second.capacity();
    for (const ListedEntry& e : entries)
        bytes += e.name.capacity() > 15 ? e.name.capacity() + 1 : 0;
    return bytes;
}

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
    for (Side side : {kWalkedSide, kOtherSide}) {
        auto anchor = std::make_shared<const Fd>(platform::OpenFolder(m_setup.roots[side], kPathFlags));
        m_rootError[side] = anchor->Valid() ? 0 : errno;
        m_rootAnchor[side] = std::move(anchor);
    }
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
        const Fd fd(platform::OpenFolder(*path, kPathFlags));
        if (fd.Valid() && platform::IsNetworkFileSystem(fd.Get()))
            return kNetworkThreads;
    }
    return kLocalThreads;
}

std::shared_ptr<FolderJob> FolderReadAhead::MakeRoot()
{
    auto root = std::make_shared<FolderJob>();
    // A root that is there but could not be opened is tried again when read,
    // and then reported.
    root->other = m_rootAnchor[kOtherSide]->Valid() || !platform::IsAbsence(m_rootError[kOtherSide])
                      ? OtherState::Present
                      : OtherState::Absent;
    return root;
}

std::shared_ptr<FolderJob> FolderReadAhead::MakeChild(const std::shared_ptr<FolderJob>& parent,
                                                      const std::string& name, OtherState other,
                                                      const std::string& otherName, bool otherFolds) const
{
    auto child = std::make_shared<FolderJob>();
    child->parent = parent;
    child->name = name;
    if (otherName != name)
        child->otherName = otherName;
    child->depth = parent->depth + 1;
    child->other = parent->other == OtherState::Present ? other : parent->other;
    child->otherFolds = otherFolds;
    return child;
}

// The nearest folder above `job` that may hold a descriptor (or the root),
// and the path from there down to `job`.
const FolderJob* FolderReadAhead::AnchorBase(const FolderJob& job, Side side, std::string& relative) const
{
    const auto nameOn = [side](const FolderJob& j) -> const std::string& {
        return side == kOtherSide && !j.otherName.empty() ? j.otherName : j.name;
    };
    relative = nameOn(job);
    const FolderJob* base = job.parent.get();
    while (base->parent && base->depth % kAnchorSpacing != 0) {
        relative.insert(0, nameOn(*base) + '/');
        base = base->parent.get();
    }
    return base;
}

std::shared_ptr<const Fd> FolderReadAhead::AnchorOf(const FolderJob& job, Side side) const
{
    // The folders from `job` up to the nearest one that still holds its
    // descriptor, opened again top down, each from the one above.
    std::vector<const FolderJob*> toOpen;
    std::shared_ptr<const Fd> base;
    {
        const std::lock_guard lock(m_anchorMutex);
        for (const FolderJob* at = &job; at; at = at->parent.get()) {
            if (!at->parent) {
                base = m_rootAnchor[side];
                break;
            }
            if (at->depth % kAnchorSpacing != 0)
                continue;
            base = at->anchor[side].lock();
            if (base) {
                TouchAnchorLocked(base.get());
                break;
            }
            toOpen.push_back(at);
        }
    }
    if (!base->Valid()) {
        errno = m_rootError[side];
        return nullptr;
    }
    for (auto it = toOpen.rbegin(); it != toOpen.rend(); ++it) {
        std::string relative;
        AnchorBase(**it, side, relative);
        auto opened = std::make_shared<const Fd>(platform::OpenBelow(base->Get(), relative, kPathFlags));
        if (!opened->Valid())
            return nullptr;
        const std::lock_guard lock(m_anchorMutex);
        if (auto held = (*it)->anchor[side].lock()) {
            base = std::move(held); // another thread was quicker
            continue;
        }
        (*it)->anchor[side] = opened;
        HoldAnchorLocked(opened);
        base = std::move(opened);
    }
    return base;
}

void FolderReadAhead::HoldAnchorLocked(std::shared_ptr<const Fd> anchor) const
{
    if (m_anchors.size() >= kMaxAnchors) {
        const auto oldest = std::min_element(m_anchors.begin(), m_anchors.end(),
                                             [](const HeldAnchor& a, const HeldAnchor& b) { return a.lastUse < b.lastUse; });
        m_anchors.erase(oldest);
    }
    m_anchors.push_back({std::move(anchor), ++m_anchorClock});
}

void FolderReadAhead::TouchAnchorLocked(const Fd* anchor) const
{
    for (HeldAnchor& held : m_anchors) {
        if (held.fd.get() == anchor) {
            held.lastUse = ++m_anchorClock;
            return;
        }
    }
}

int FolderReadAhead::OpenFolder(const FolderJob& job, Side side, int flags) const
{
    if (!job.parent)
        return platform::OpenFolder(m_setup.roots[side], flags);
    std::string relative;
    const FolderJob* base = AnchorBase(job, side, relative);
    const std::shared_ptr<const Fd> anchor = AnchorOf(*base, side);
    if (!anchor)
        return -1;
    return platform::OpenBelow(anchor->Get(), relative, flags);
}

bool FolderReadAhead::Read(FolderJob& job, const Pulse* pulse) const
{
    Checkpoint checkpoint(m_cancelled, pulse);
    const std::function<bool()> goOn = std::ref(checkpoint);
    const auto gaveUp = [&] {
        if (!checkpoint.GaveUp())
            return false;
        job.content = FolderContent{};
        job.keptView.reset();
        return true;
    };
    job.content = FolderContent{};
    job.keptView.reset();
    job.children.clear();
    FolderContent& content = job.content;
    content.other = job.other;
    // Each folder's identity is taken before its names are read, so that a
    // change made while they are read shows as a change later.
    const Fd mine(OpenFolder(job, kWalkedSide, kListFlags));
    if (!mine.Valid() || !platform::IdentityOf(mine.Get(), content.identity) ||
        !platform::ReadListing(mine.Get(), content.entries, content.count, goOn)) {
        const int error = errno;
        content.entries.clear();
        content.count = 0;
        if (gaveUp())
            return false;
        if (!platform::IsAbsence(error)) {
            const Fd searched(OpenFolder(job, kWalkedSide, kPathFlags));
            AddFailure(content.failures, kWalkedSide, {}, error,
                       searched.Valid() && platform::CanEnter(searched.Get(), "."));
        }
        return true;
    }
    content.listed = true;
    NoteUnexamined(content.entries, kWalkedSide, content.failures);
    content.otherFolds = job.otherFolds;
    std::vector<int> mineToTheirs, theirsToMine;
    if (job.other != OtherState::Present) {
        FindCaseClashes(content.entries, {}, false, content.otherFolds, mineToTheirs, theirsToMine, content.clashes,
                        content.clashes);
        return true;
    }

    Fd other(OpenFolder(job, kOtherSide, kListFlags));
    std::vector<ListedEntry> theirs;
    std::uint32_t theirCount = 0;
    content.otherListed = other.Valid() && platform::IdentityOf(other.Get(), content.otherIdentity) &&
                          platform::ReadListing(other.Get(), theirs, theirCount, goOn);
    if (gaveUp())
        return false;
    if (!content.otherListed) {
        // Searchable but not readable: its names are looked up one by one.
        theirs.clear();
        other.Reset(OpenFolder(job, kOtherSide, kPathFlags));
        if (!other.Valid()) {
            const int error = errno;
            content.other = platform::IsAbsence(error) ? OtherState::Absent : OtherState::Unknown;
            if (content.other == OtherState::Unknown)
                AddFailure(content.failures, kOtherSide, {}, error);
            else
                FindCaseClashes(content.entries, {}, false, content.otherFolds, mineToTheirs, theirsToMine,
                                content.clashes, content.clashes);
            return true;
        }
    }
    NoteUnexamined(theirs, kOtherSide, content.failures);
    const bool otherFolds = platform::MayFoldCase(other.Get(), theirs);
    const bool mineFolds = platform::MayFoldCase(mine.Get(), content.entries);
    content.otherFolds = otherFolds;
    std::vector<std::pair<std::size_t, std::string>> backClashes;
    if (content.otherListed) {
        if (!PairByName(content.entries, theirs, mineToTheirs, theirsToMine, goOn))
            return !gaveUp();
    } else {
        mineToTheirs.assign(content.entries.size(), -1);
    }
    FindCaseClashes(content.entries, theirs, mineFolds, otherFolds, mineToTheirs, theirsToMine, content.clashes,
                    backClashes);
    if (content.otherListed) {
        if (otherFolds)
            PairAcrossCase(content.entries, theirs, mineToTheirs, theirsToMine, other.Get());
        if (mineFolds)
            PairAcrossCase(theirs, content.entries, theirsToMine, mineToTheirs, mine.Get());
    }
    content.counterparts = CounterpartsOf(content.entries, content.otherListed ? &theirs : nullptr, mineToTheirs,
                                          other.Get(), otherFolds, kOtherSide, content.failures, content.otherNames, goOn);
    if (!m_setup.keepViews || !content.otherListed)
        return !gaveUp();
    // The other pass records only what its side lacks: it needs the other
    // side's folders and its files without a counterpart here, nothing else.
    std::vector<std::pair<std::size_t, std::string>> backNames;
    std::vector<Counterpart> back = CounterpartsOf(theirs, &content.entries, theirsToMine, mine.Get(), mineFolds,
                                                   kWalkedSide, content.failures, backNames, goOn);
    if (gaveUp())
        return false;
    auto backName = backNames.begin();
    auto backClash = backClashes.begin();
    FolderContent view;
    view.listed = true;
    view.otherListed = true;
    view.other = OtherState::Present;
    view.count = theirCount;
    view.identity = content.otherIdentity;
    view.otherIdentity = content.identity;
    view.otherFolds = mineFolds;
    for (std::size_t j = 0; j < theirs.size(); ++j) {
        if (!theirs[j].Examined() || (!theirs[j].IsFolder() && back[j].Found()))
            continue;
        for (; backName != backNames.end() && backName->first <= j; ++backName)
            if (backName->first == j)
                view.otherNames.emplace_back(view.entries.size(), std::move(backName->second));
        for (; backClash != backClashes.end() && backClash->first <= j; ++backClash)
            if (backClash->first == j)
                view.clashes.emplace_back(view.entries.size(), std::move(backClash->second));
        view.entries.push_back(std::move(theirs[j]));
        view.counterparts.push_back(back[j]);
    }
    view.entries.shrink_to_fit();
    view.counterparts.shrink_to_fit();
    // Seen from the other pass, the sides change places.
    for (const ReadFailure& f : content.failures)
        view.failures.push_back({f.side == kWalkedSide ? kOtherSide : kWalkedSide, f.name, f.error, f.searchable});
    job.keptView = std::move(view);
    return true;
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
        children.push_back(
            MakeChild(job, entry.name, content.CounterpartOf(i).below, content.OtherName(i), content.otherFolds));
    }
    return children;
}

bool FolderReadAhead::StillCurrent(FolderJob& job) const
{
    const FolderContent& content = job.content;
    const bool otherPresent = job.other == OtherState::Present;
    if (!content.listed || (otherPresent && !content.otherListed))
        return false;
    if (!IdentityNow(Fd(OpenFolder(job, kWalkedSide, kPathFlags)).Get(), content.identity))
        return false;
    return !otherPresent || IdentityNow(Fd(OpenFolder(job, kOtherSide, kPathFlags)).Get(), content.otherIdentity);
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

bool FolderReadAhead::Take(const std::shared_ptr<FolderJob>& job, const Pulse& pulse)
{
    std::unique_lock lock(m_mutex);
    // Ends the read-ahead: every worker gives up between two entries, and
    // whatever was read of this pair, in part or whole, is dropped.
    bool ownRead = false;
    const auto stop = [&] {
        m_cancelled = true;
        m_stopping = true;
        if (ownRead)
            job->state = FolderJob::State::Abandoned;
        else
            AbandonLocked(job);
        lock.unlock();
        m_wake.notify_all();
        return false;
    };
    if (m_cancelled)
        return stop();
    if (job->state == FolderJob::State::Pending) {
        job->state = FolderJob::State::Reading;
        ownRead = true;
        lock.unlock();
        const bool read = Read(*job, &pulse);
        auto children = read ? ChildrenOf(job) : std::vector<std::shared_ptr<FolderJob>>{};
        lock.lock();
        if (!read)
            return stop();
        job->children = std::move(children);
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
                job->state = FolderJob::State::Reading;
                ownRead = true;
                lock.unlock();
                const bool read = Read(*job, &pulse);
                auto children = read ? ChildrenOf(job) : std::vector<std::shared_ptr<FolderJob>>{};
                lock.lock();
                if (!read)
                    return stop();
                job->children = std::move(children);
            }
        }
    }
    job->state = FolderJob::State::Taken;
    QueueLocked(job->children);
    lock.unlock();
    m_wake.notify_all();
    return true;
}

bool FolderReadAhead::TakeKnown(const std::shared_ptr<FolderJob>& job, FolderContent content)
{
    {
        const std::lock_guard lock(m_mutex);
        // The view holds the counterpart side's entries: of no use where the
        // walk no longer counts the counterpart folder as there.
        if (job->state != FolderJob::State::Pending || job->other != OtherState::Present)
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
        job->keptView.reset();
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
    // The walk's thread is often the window's: it comes first.
    platform::LowerThreadPriority();
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::shared_ptr<FolderJob> job;
        m_wake.wait(lock, [&] { return m_stopping || (job = NextLocked()) != nullptr; });
        if (m_stopping)
            return;
        job->state = FolderJob::State::Reading;
        lock.unlock();
        const bool read = Read(*job, nullptr);
        auto children = read ? ChildrenOf(job) : std::vector<std::shared_ptr<FolderJob>>{};
        lock.lock();
        if (job->abandoned || !read || m_cancelled) {
            job->state = FolderJob::State::Abandoned;
            job->content = FolderContent{};
            job->keptView.reset();
            for (const auto& child : children)
                child->state = FolderJob::State::Abandoned;
            continue;
        }
        job->children = std::move(children);
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
