#include "engine/Scanner.h"

// How the walk order is kept. Worker threads (FolderReadAhead) read folder
// pairs ahead of the walk, but only this thread, the one that called, turns
// them into rows: it takes one folder pair at a time in depth-first order
// (a folder's own entries in the order the file system listed them, then its
// subfolders in the order met), waiting for a pair a worker is still reading
// and reading one itself that no worker has reached. So rows, observer calls
// and run-flag checks come in the same order as from a walk that reads
// every folder the moment it gets there; a pair read ahead is used only if
// neither folder has changed since.
//
// Counterparts are found by name in the other folder's listing, read once
// per folder pair; the source pass also keeps, within a memory budget, what
// the destination pass will need of each pair, so that pass reads again only
// what it could not keep.

#include "engine/EmptyRoot.h"
#include "engine/EntryFilter.h"
#include "engine/FolderReadAhead.h"
#include "engine/PathRules.h"
#include "engine/TextForms.h"
#include "platform/OwnTemporaries.h"
#include "platform/remote/RemoteSides.h"
#include "platform/remote/RemoteTree.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <unordered_map>

namespace tandrel::engine {

namespace {

using platform::ListedEntry;
using platform::remote::RemoteTree;
using settings::CompareOptions;
using RemoteTrees = std::shared_ptr<const RemoteTree>[2]; // by pass side: source, destination

// Boundaries of `unit` seconds between two times shifted by `offset`. With
// t = q * unit + r (0 <= r < unit), floor((t + offset) / unit) is q plus the
// offset's whole units plus a carry of 0 or 1; the offset's units cancel, and
// no sum can leave the range.
std::int64_t BoundariesBetween(std::int64_t from, std::int64_t to, std::int64_t offset, std::int64_t unit)
{
    const auto rest = [unit](std::int64_t t) { return t % unit < 0 ? t % unit + unit : t % unit; };
    const std::int64_t offsetRest = rest(offset);
    const auto carry = [&](std::int64_t t) { return (rest(t) + offsetRest) / unit; };
    return (FloorDiv(to, unit) - FloorDiv(from, unit)) + (carry(to) - carry(from));
}

// The kept views: what the source pass keeps of each folder pair for the
// destination pass (TakenFolder::keptView), by the folder's path relative to the roots.
struct KeptViews {
    static constexpr std::size_t kBudget = std::size_t{64} << 20;
    std::unordered_map<std::string, FolderContent> byFolder;
    std::size_t bytes = 0;
};

class Walk {
public:
    // The source pass fills `keptViewsOut`; the destination pass takes from
    // `keptViewsIn`. `remote`: the trees of remote roots, null for local ones.
    Walk(ScanContext& context, ScanPass pass, KeptViews* keptViewsOut, KeptViews* keptViewsIn,
         const RemoteTrees* remote = nullptr)
        : m_ctx(context), m_pass(pass), m_keptViewsOut(keptViewsOut), m_keptViewsIn(keptViewsIn)
    {
        if (remote) {
            const bool sourcePass = pass == ScanPass::SourcePass;
            m_remote[kWalkedSide] = (*remote)[sourcePass ? 0 : 1];
            m_remote[kOtherSide] = (*remote)[sourcePass ? 1 : 0];
        }
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

    void Run(const std::string& folder, const std::string& otherRoot)
    {
        if (!Running() || folder.empty() || !m_ctx.store || !m_ctx.options)
            return;
        const std::string path = PathRules::Native().WithTrailingSeparator(folder);
        const std::size_t rootLength =
            m_pass == ScanPass::SourcePass ? m_ctx.sourceRoot.size() : m_ctx.destinationRoot.size();
        m_path = path.size() > rootLength ? path.substr(rootLength) : std::string();
        m_otherPath = m_path;
        m_roots[kWalkedSide] = path.substr(0, path.size() - m_path.size());
        m_roots[kOtherSide] = otherRoot;

        ReadSetup setup;
        setup.roots[kWalkedSide] = path;
        setup.roots[kOtherSide] = otherRoot + m_path;
        setup.includeSubdirectories = m_ctx.includeSubdirectories;
        setup.keepViews = m_keptViewsOut != nullptr;
        setup.options = *m_ctx.options;
        if (m_ctx.ignoredTypes)
            setup.ignoredTypes = *m_ctx.ignoredTypes;
        for (Side side : {kWalkedSide, kOtherSide}) {
            setup.remote[side] = m_remote[side];
            setup.remoteBase[side] = m_path;
        }
        const unsigned threads = !m_ctx.includeSubdirectories ? 0
                                 : m_remote[kWalkedSide] || m_remote[kOtherSide]
                                     ? kRemoteThreads
                                     : FolderReadAhead::ThreadsFor(setup.roots[kWalkedSide], setup.roots[kOtherSide]);
        auto ahead = std::make_unique<FolderReadAhead>(std::move(setup), threads);
        WalkWith(*ahead);
        // After a cancel a reader may still be held up in one long listing
        // (of a network share): the walk does not wait for it.
        if (!Running())
            FolderReadAhead::Release(std::move(ahead));
    }

private:
    void WalkWith(FolderReadAhead& ahead)
    {
        std::vector<Frame> stack;
        const FolderTicket root = ahead.MakeRoot();
        std::optional<TakenFolder> taken = Obtain(ahead, root);
        if (!taken)
            return;
        stack.push_back(Enter(root, std::move(*taken), {}));
        while (m_ctx.includeSubdirectories && !stack.empty() && Running()) {
            Frame& top = stack.back();
            if (top.next >= top.subfolders.size()) {
                Close(ahead, top);
                stack.pop_back();
                continue;
            }
            const Subfolder sub = std::move(top.subfolders[top.next++]);
            m_path.resize(top.pathLength);
            m_path += sub.name;
            m_path += PathRules::Native().separator;
            m_otherPath.resize(top.otherPathLength);
            m_otherPath += sub.otherName;
            m_otherPath += PathRules::Native().separator;
            const FolderTicket job = ChildJob(ahead, top, sub);
            taken = Obtain(ahead, job);
            if (!taken)
                break;
            std::string clash =
                sub.clash.empty() ? top.clash : "Lies in '" + sub.name + "', which c" + sub.clash.substr(1);
            stack.push_back(Enter(job, std::move(*taken), std::move(clash)));
        }
        // From the top down, so that a deep chain of folders is let go one
        // level at a time rather than in one long cascade.
        while (!stack.empty()) {
            Close(ahead, stack.back());
            stack.pop_back();
        }
    }

    struct Subfolder {
        std::string name;
        std::string otherName; // of its counterpart, which may be spelled otherwise in case
        OtherState other = OtherState::Absent;
        std::string clash; // why it is left unpaired for case, if it is
    };
    struct Frame {
        FolderTicket job;
        std::vector<ChildFolder> children; // the pairs the read-ahead has made below this one, in order
        std::size_t pathLength = 0; // of m_path, up to and including this folder's separator
        std::size_t otherPathLength = 0;
        std::vector<Subfolder> subfolders;
        std::size_t next = 0;
        std::size_t childCursor = 0; // the first of `children` not yet taken or dropped
        bool otherFolds = false;
        std::string clash; // a folder above (or this one) left unpaired for case: every row below says so
    };

    bool Running() const { return m_ctx.runFlag == nullptr || m_ctx.runFlag->IsSet(); }

    // Nothing when the run stopped before the pair was had.
    std::optional<TakenFolder> Obtain(FolderReadAhead& ahead, const FolderTicket& job)
    {
        if (m_keptViewsIn) {
            const auto it = m_keptViewsIn->byFolder.find(m_path);
            if (it != m_keptViewsIn->byFolder.end()) {
                FolderContent view = std::move(it->second);
                m_keptViewsIn->byFolder.erase(it);
                if (std::optional<TakenFolder> taken = ahead.TakeKnown(job, std::move(view))) {
                    std::vector<FolderTicket> unknown;
                    for (const ChildFolder& child : taken->children)
                        if (!m_keptViewsIn->byFolder.count(m_path + child.name + PathRules::Native().separator))
                            unknown.push_back(child.ticket);
                    ahead.Queue(unknown);
                    return taken;
                }
            }
        }
        return ahead.Take(job, m_pulse);
    }

    Frame Enter(const FolderTicket& job, TakenFolder taken, std::string clash)
    {
        Frame frame;
        frame.job = job;
        frame.children = std::move(taken.children);
        frame.otherFolds = taken.content.otherFolds;
        frame.clash = std::move(clash);
        frame.pathLength = m_path.size();
        frame.otherPathLength = m_otherPath.size();
        RecordFailures(taken.content);
        frame.subfolders = Process(taken.content, frame.clash);
        if (m_keptViewsOut && taken.keptView) {
            const std::size_t bytes = taken.keptView->Bytes() + m_path.size() + 64;
            if (m_keptViewsOut->bytes + bytes <= KeptViews::kBudget) {
                m_keptViewsOut->bytes += bytes;
                m_keptViewsOut->byFolder.emplace(m_otherPath, std::move(*taken.keptView));
            }
        }
        return frame;
    }

    FolderTicket ChildJob(FolderReadAhead& ahead, Frame& frame, const Subfolder& sub)
    {
        const auto& children = frame.children;
        for (std::size_t k = frame.childCursor; k < children.size(); ++k) {
            if (children[k].name != sub.name || children[k].other != sub.other)
                continue;
            for (std::size_t skipped = frame.childCursor; skipped < k; ++skipped)
                ahead.Abandon(children[skipped].ticket);
            frame.childCursor = k + 1;
            return children[k].ticket;
        }
        return ahead.MakeChild(frame.job, sub.name, sub.other, sub.otherName, frame.otherFolds);
    }

    static void Close(FolderReadAhead& ahead, Frame& frame)
    {
        for (std::size_t k = frame.childCursor; k < frame.children.size(); ++k)
            ahead.Abandon(frame.children[k].ticket);
        frame.children.clear();
    }

    // The folders the pair's read found unreadable, by their full paths.
    void RecordFailures(const FolderContent& content)
    {
        for (const ReadFailure& failure : content.failures) {
            std::string path = m_roots[failure.side] + (failure.side == kWalkedSide ? m_path : m_otherPath) + failure.name;
            if (failure.name.empty() && !m_path.empty())
                path.pop_back(); // the separator
            std::string why =
                failure.reason.empty() ? std::generic_category().message(failure.error) : failure.reason;
            m_ctx.store->AddUnreadableFolder(std::move(path), std::move(why), failure.searchable);
        }
    }

    // Records one folder's entries; returns its subfolders in the order met.
    std::vector<Subfolder> Process(const FolderContent& content, const std::string& folderClash)
    {
        std::vector<Subfolder> subfolders;
        if (!Running())
            return subfolders;
        std::size_t k = 0;
        for (std::uint32_t position = 0; position < content.count; ++position) {
            if (k < content.entries.size() && content.entries[k].index == position) {
                ProcessEntry(content.entries[k], content.CounterpartOf(k), content.OtherName(k), content.ClashOf(k),
                             folderClash, subfolders);
                ++k;
            }
            if (m_ctx.observer)
                m_ctx.observer->EntryProcessed();
            if (!Running())
                break;
        }
        return subfolders;
    }

    // A counterpart that could not be read (Unknown) is neither found nor
    // missing: the entry gets no row, and a folder's contents none either.
    // `ownClash`: why the entry is left unpaired for case; `folderClash`: why
    // a folder it lies in is.
    void ProcessEntry(const ListedEntry& entry, const Counterpart& counterpart, const std::string& otherName,
                      const std::string* ownClash, const std::string& folderClash, std::vector<Subfolder>& subfolders)
    {
        const std::string& clash = ownClash ? *ownClash : folderClash;
        if (!entry.Examined())
            return;
        if (IsFilteredOut(entry, *m_ctx.options, m_ctx.ignoredTypes)) {
            CountLeftOut(counterpart);
            return;
        }
        if (!entry.IsFolder() && platform::IsOwnTemporaryName(entry.name.c_str()))
            return; // a copy's temporary file, never a user's
        if (!(entry.IsFolder() && IsDotName(entry.name)) && LeftOutByPattern(entry, counterpart))
            return;
        if (entry.IsFolder()) {
            if (IsDotName(entry.name)) {
                CountLeftOut(counterpart);
                return;
            }
            subfolders.push_back({entry.name, otherName, counterpart.below, ownClash ? *ownClash : std::string()});
            if (counterpart.below != OtherState::Absent)
                return;
            CompareItem item;
            item.relativePath = m_path + entry.name;
            item.isFolder = true;
            item.icon = RowIcon::Folder;
            item.modified = entry.mtime;
            AddMissingRow(std::move(item), clash);
            return;
        }
        if (counterpart.state == OtherState::Unknown)
            return;
        const bool found = counterpart.Found();
        if (found && m_pass == ScanPass::DestinationPass)
            return;
        CompareItem item;
        item.isFolder = false;
        item.icon = RowIcon::File;
        item.kind = KindOfMode(entry.mode);
        item.size = entry.size;
        item.modified = entry.mtime;
        if (!found) {
            item.relativePath = m_path + entry.name;
            AddMissingRow(std::move(item), clash);
            return;
        }
        // A folder of the same name counts as found, with a size of 0.
        item.counterpartSize = S_ISDIR(counterpart.mode) ? 0 : counterpart.size;
        item.counterpartModified = counterpart.mtime;
        const int category = ClassifyPair(item.modified, item.size, item.counterpartModified, item.counterpartSize,
                                          m_ctx.store->LocalOffset(), *m_ctx.options);
        if (category == 0) {
            if (m_ctx.observer && ContentComparable(entry.mode) && ContentComparable(counterpart.mode))
                m_ctx.observer->EqualPairFound({m_ctx.sourceRoot + m_path + entry.name,
                                                m_ctx.destinationRoot + m_otherPath + otherName,
                                                static_cast<std::uint64_t>(entry.size),
                                                static_cast<std::uint64_t>(counterpart.size), item.modified,
                                                counterpart.mtime, item.kind, KindOfMode(counterpart.mode)});
            return;
        }
        item.relativePath = m_path + entry.name;
        m_ctx.store->AddResultRow(static_cast<ResultCategory>(category), std::move(item));
    }

    // A row of the missing lists; one left unpaired for case says why, and
    // its copy fails with that text.
    void AddMissingRow(CompareItem item, const std::string& clash)
    {
        if (!clash.empty()) {
            item.SetStatusText(clash);
            item.caseClash = true;
        }
        m_ctx.store->AddResultRow(MissingCategory(), std::move(item));
    }

    // Once per name: the source pass has counted those found on both sides.
    bool CountLeftOut(const Counterpart& counterpart)
    {
        if (m_pass == ScanPass::DestinationPass && counterpart.Found())
            return false;
        ++m_ctx.leftOut;
        return true;
    }

    bool LeftOutByPattern(const ListedEntry& entry, const Counterpart& counterpart)
    {
        if (!m_ctx.patterns || m_ctx.patterns->Empty())
            return false;
        std::string path = m_path + entry.name;
        if (const char separator = PathRules::Native().separator; separator != '/')
            std::replace(path.begin(), path.end(), separator, '/');
        const int pattern = m_ctx.patterns->Excluding(path, entry.IsFolder());
        if (pattern < 0)
            return false;
        if (CountLeftOut(counterpart))
            m_ctx.patterns->CountLeftOut(pattern);
        return true;
    }

    // Files and links have content to compare: bytes or the link's text. The
    // listings of both systems give an entry's kind in the POSIX type bits.
    static bool ContentComparable(std::uint32_t mode)
    {
        const std::uint32_t type = mode & 0170000;
        return type == 0100000 || type == 0120000;
    }

    ResultCategory MissingCategory() const
    {
        return m_pass == ScanPass::SourcePass ? ResultCategory::NotInDestination : ResultCategory::NotInSource;
    }

    // A remote side's folders are in memory once its tree is read: a few
    // threads pair them ahead of the walk.
    static constexpr unsigned kRemoteThreads = 2;

    ScanContext& m_ctx;
    ScanPass m_pass;
    std::shared_ptr<const RemoteTree> m_remote[2]; // by side
    KeptViews* m_keptViewsOut;
    KeptViews* m_keptViewsIn;
    std::string m_roots[2]; // by side, each ending in a separator
    // While a folder pair is waited for or read on this thread: the window's
    // turn, then the run flag.
    const FolderReadAhead::Pulse m_pulse = [this] {
        if (m_ctx.observer)
            m_ctx.observer->Waiting();
        return Running();
    };
    std::string m_path; // the walked folder relative to this side's root: "" or ending in a separator
    std::string m_otherPath; // its counterpart relative to the other root, spelled as there
};

// A remote root as typed, with the '/' every root ends in; the login
// folder's "host:" becomes "host:./", since "host:/" is another folder.
std::string RemoteRootText(const platform::remote::SideAddress& address)
{
    std::string text = address.Text();
    if (address.GetForm() == platform::remote::SideAddress::Form::HostPath && address.Path().empty())
        return text + "./";
    return text.back() == '/' ? text : text + '/';
}

// The tree of a remote root, read with many folders in flight while the
// window gets its turns; a root that cannot be reached gives a tree whose
// root says why.
std::shared_ptr<const RemoteTree> ReadRemoteTree(ScanContext& context, const platform::remote::SideAddress& address)
{
    if (!address.Error().empty())
        return RemoteTree::Failed(
            platform::remote::RemoteStatus::FromServer(platform::remote::sftp::StatusCode::Failure, address.Error()));
    platform::remote::RemoteStatus why;
    platform::remote::RemoteSession* session = context.remoteSides->For(address, why);
    if (!session)
        return RemoteTree::Failed(why);
    RemoteTree::Options options;
    options.subfolders = context.includeSubdirectories;
    auto last = std::chrono::steady_clock::now();
    options.goOn = [&context, &last] {
        const auto now = std::chrono::steady_clock::now();
        if (context.observer && now - last >= FolderReadAhead::PulseInterval()) {
            context.observer->Waiting();
            last = now;
        }
        return context.runFlag == nullptr || context.runFlag->IsSet();
    };
    return RemoteTree::Read(*session, address, options);
}

} // namespace

std::int64_t TimeDifference(std::int64_t source, std::int64_t counterpart, std::int64_t offset, int unit)
{
    switch (unit) {
    case 1:
        return BoundariesBetween(source, counterpart, offset, 60);
    case 2:
        return BoundariesBetween(source, counterpart, offset, 3600);
    case 3:
        return BoundariesBetween(source, counterpart, offset, 86400);
    case 4:
    case 5: {
        LocalFields a, b;
        if (!ToLocalFields(source, offset, a) || !ToLocalFields(counterpart, offset, b)) {
            // Millions of years out: no calendar, but the right order of size.
            const std::int64_t days = BoundariesBetween(source, counterpart, offset, 86400);
            return unit == 5 ? days / 366 : days / 31;
        }
        if (unit == 5)
            return b.year - a.year;
        return (b.year * 12 + b.month) - (a.year * 12 + a.month);
    }
    default:
        // Seconds; unknown units (only a hand-edited file holds them) count in
        // seconds too. A difference beyond the range keeps its sign.
        std::int64_t diff = 0;
        if (__builtin_sub_overflow(counterpart, source, &diff))
            return counterpart > source ? std::numeric_limits<std::int64_t>::max()
                                        : std::numeric_limits<std::int64_t>::min();
        return diff;
    }
}

int ClassifyPair(std::int64_t sourceTime, std::int64_t sourceSize, std::int64_t counterpartTime,
                 std::int64_t counterpartSize, std::int64_t offset, const settings::CompareOptions& options)
{
    const std::int64_t diff = TimeDifference(sourceTime, counterpartTime, offset, options.IgnoreType);
    const std::int64_t tolerance = options.IgnoreTime;
    if (diff != 0 && (diff > tolerance || diff < -tolerance))
        return diff < 0 ? Index(ResultCategory::NewerThanDestination) : Index(ResultCategory::OlderThanDestination);
    if (sourceSize != counterpartSize)
        return Index(ResultCategory::OnlySizeChanged);
    return 0;
}

void ScanFolder(ScanContext& context, const std::string& folder, const std::string& otherRoot, ScanPass pass)
{
    Walk(context, pass, nullptr, nullptr).Run(folder, otherRoot);
}

void RunScan(ScanContext& context)
{
    RemoteTrees remote;
    std::string* roots[2] = {&context.sourceRoot, &context.destinationRoot};
    for (int k = 0; k < 2; ++k) {
        std::string& root = *roots[k];
        if (root.empty())
            continue;
        const auto address = platform::remote::SideAddress::Parse(root);
        if (context.remoteSides && address.IsRemote()) {
            root = RemoteRootText(address);
            if (context.store)
                remote[k] = ReadRemoteTree(context, address);
        } else {
            root = PathRules::Native().WithTrailingSeparator(root);
        }
    }
    if (!context.store)
        return;
    context.store->Reset(context.sourceRoot, context.destinationRoot, LocalOffsetNow());
    context.store->SetEmptyRoot(
        FindEmptyRoot(context.sourceRoot, context.destinationRoot, remote[0].get(), remote[1].get()));
    context.leftOut = 0;
    if (context.patterns)
        context.patterns->ResetCounts();
    if (context.runFlag && !context.runFlag->IsSet())
        return;
    KeptViews views;
    Walk(context, ScanPass::SourcePass, &views, nullptr, &remote).Run(context.sourceRoot, context.destinationRoot);
    Walk(context, ScanPass::DestinationPass, nullptr, &views, &remote)
        .Run(context.destinationRoot, context.sourceRoot);
}

} // namespace tandrel::engine
