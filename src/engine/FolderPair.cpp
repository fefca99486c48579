#include "engine/FolderPair.h"

#include "engine/EntryFilter.h"
#include "engine/LocalSideFolder.h"
#include "platform/CaseFold.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <unordered_map>

namespace tandrel::engine {

namespace {

using platform::Fd;
using platform::FolderIdentity;
using platform::ListedEntry;

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

// Pairs what `PairByName` left alone where the folder `bFolder` folds case: an
// entry of `a` whose name that folder finds, with the entry of `b` spelled so
// but for case. Both passes pair the same names, whichever side folds.
void PairAcrossCase(const std::vector<ListedEntry>& a, const std::vector<ListedEntry>& b, std::vector<int>& aToB,
                    std::vector<int>& bToA, const SideFolder& bFolder)
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
        if (it == unpaired.end() || !bFolder.LookUp(a[i].name, looked))
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
                bool searchable = false, std::string reason = {})
{
    for (const ReadFailure& f : failures)
        if (f.side == side && f.name == name)
            return;
    failures.push_back({side, name, error, searchable, std::move(reason)});
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

// The counterparts of `mine` in the folder `theirs` of side `theirSide`:
// from its listing where there is one, otherwise (or for names a
// case-folding folder may hold under another spelling) by looking the name
// up there. A name that cannot be looked up, or a folder there that cannot
// be searched, for any reason but its absence, is Unknown. Stops early when
// `goOn` answers false.
std::vector<Counterpart> CounterpartsOf(const std::vector<ListedEntry>& mine, const std::vector<ListedEntry>* theirs,
                                        const std::vector<int>& mineToTheirs, const SideFolder& theirFolder,
                                        bool foldsCase,
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
            if (theirFolder.LookUp(entry.name, looked))
                match = &looked;
            else
                error = errno;
        }
        if (!match || !match->Examined()) {
            if (!platform::IsAbsence(error)) {
                c.state = c.below = OtherState::Unknown;
                AddFailure(failures, theirSide, {}, error, false, theirFolder.Why({}, error));
            }
            continue;
        }
        c.state = OtherState::Present;
        c.mode = match->mode;
        c.size = match->size;
        c.mtime = match->mtime;
        if (entry.IsFolder() && match->IsFolder() && !IsDotName(entry.name)) {
            if (theirFolder.CanEnter(match->name)) {
                c.below = OtherState::Present;
            } else if (const int why = errno; !platform::IsAbsence(why)) {
                c.below = OtherState::Unknown;
                AddFailure(failures, theirSide, match->name, why, false, theirFolder.Why(match->name, why));
            }
        }
        if (match->name != entry.name)
            otherNames.emplace_back(i, match->name);
    }
    return out;
}

// The other pass records only what its side lacks: from the other side's
// entries it needs the folders and the files without a counterpart here,
// nothing else. Seen from that pass, the sides change places.
FolderContent OtherPassView(const FolderContent& content, std::vector<ListedEntry> theirs, std::uint32_t theirCount,
                            const std::vector<Counterpart>& back,
                            std::vector<std::pair<std::size_t, std::string>> backNames,
                            std::vector<std::pair<std::size_t, std::string>> backClashes, bool mineFolds)
{
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
    for (const ReadFailure& f : content.failures)
        view.failures.push_back(
            {f.side == kWalkedSide ? kOtherSide : kWalkedSide, f.name, f.error, f.searchable, f.reason});
    return view;
}

} // namespace

bool IdentityNow(int fd, const FolderIdentity& was)
{
    FolderIdentity now;
    return fd >= 0 && platform::IdentityOf(fd, now) && now == was;
}

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

ReadFolderResult ReadFolder(const OpenSide& open, Side side, const GoOn& goOn)
{
    ReadFolderResult result;
    OpenedFolder opened = open(side, platform::kOpenToList);
    const platform::Fd& fd = opened.fd;
    if (!fd.Valid()) {
        result.error = opened.error;
    } else if (!platform::IdentityOf(fd.Get(), result.identity) ||
               !platform::ReadListing(fd.Get(), result.entries, result.count, goOn)) {
        result.error = errno;
    } else {
        result.listed = true;
        result.folder = std::make_unique<LocalSideFolder>(std::move(opened.fd));
        return result;
    }
    result.entries.clear();
    result.count = 0;
    if (result.error == ECANCELED) {
        result.folder = std::make_unique<LocalSideFolder>(platform::Fd());
        return result;
    }
    // Not readable, perhaps searchable: its names can still be looked up one by one.
    OpenedFolder searched = open(side, platform::kOpenAsAnchor);
    result.folder = std::make_unique<LocalSideFolder>(std::move(searched.fd));
    result.openError = searched.error;
    return result;
}

PairRead ReadFolderPair(const PairRequest& request, const OpenSide& open, const GoOn& goOn)
{
    return ReadFolderPair(
        request, [&open](Side side, const GoOn& checked) { return ReadFolder(open, side, checked); }, goOn);
}

PairRead ReadFolderPair(const PairRequest& request, const ReadSide& readSide, const GoOn& goOn)
{
    PairRead read;
    // Once `goOn` has answered false it is not asked again, and nothing read is kept.
    const GoOn checked = [&goOn, &read] { return !read.gaveUp && !(read.gaveUp = !goOn()); };
    const auto gaveUp = [&read] {
        if (read.gaveUp)
            read = PairRead{{}, {}, true};
        return read.gaveUp;
    };
    FolderContent& content = read.content;
    content.other = request.other;
    content.otherFolds = request.otherFolds;
    ReadFolderResult mine = readSide(kWalkedSide, checked);
    if (gaveUp())
        return read;
    std::vector<int> mineToTheirs, theirsToMine;
    std::vector<std::pair<std::size_t, std::string>> backClashes;
    if (!mine.listed) {
        if (!platform::IsAbsence(mine.error))
            AddFailure(content.failures, kWalkedSide, {}, mine.error, mine.folder->CanEnterItself(),
                       std::move(mine.reason));
        return read;
    }
    content.listed = true;
    content.identity = mine.identity;
    content.count = mine.count;
    content.entries = std::move(mine.entries);
    NoteUnexamined(content.entries, kWalkedSide, content.failures);
    if (request.other != OtherState::Present) {
        FindCaseClashes(content.entries, {}, false, content.otherFolds, mineToTheirs, theirsToMine, content.clashes,
                        backClashes);
        return read;
    }

    ReadFolderResult theirs = readSide(kOtherSide, checked);
    if (gaveUp())
        return read;
    content.otherListed = theirs.listed;
    content.otherIdentity = theirs.identity;
    if (!theirs.folder->Searchable()) {
        content.other = platform::IsAbsence(theirs.openError) ? OtherState::Absent : OtherState::Unknown;
        if (content.other == OtherState::Unknown)
            AddFailure(content.failures, kOtherSide, {}, theirs.openError, false, std::move(theirs.reason));
        else
            FindCaseClashes(content.entries, {}, false, content.otherFolds, mineToTheirs, theirsToMine,
                            content.clashes, backClashes);
        return read;
    }
    NoteUnexamined(theirs.entries, kOtherSide, content.failures);
    const bool otherFolds = theirs.folder->MayFoldCase(theirs.entries);
    const bool mineFolds = mine.folder->MayFoldCase(content.entries);
    content.otherFolds = otherFolds;
    if (theirs.listed) {
        if (!PairByName(content.entries, theirs.entries, mineToTheirs, theirsToMine, checked)) {
            gaveUp();
            return read;
        }
    } else {
        mineToTheirs.assign(content.entries.size(), -1);
    }
    FindCaseClashes(content.entries, theirs.entries, mineFolds, otherFolds, mineToTheirs, theirsToMine,
                    content.clashes, backClashes);
    if (theirs.listed) {
        if (otherFolds)
            PairAcrossCase(content.entries, theirs.entries, mineToTheirs, theirsToMine, *theirs.folder);
        if (mineFolds)
            PairAcrossCase(theirs.entries, content.entries, theirsToMine, mineToTheirs, *mine.folder);
    }
    content.counterparts =
        CounterpartsOf(content.entries, theirs.listed ? &theirs.entries : nullptr, mineToTheirs, *theirs.folder,
                       otherFolds, kOtherSide, content.failures, content.otherNames, checked);
    if (gaveUp() || !request.keepView || !theirs.listed)
        return read;
    std::vector<std::pair<std::size_t, std::string>> backNames;
    const std::vector<Counterpart> back = CounterpartsOf(theirs.entries, &content.entries, theirsToMine, *mine.folder,
                                                         mineFolds, kWalkedSide, content.failures, backNames, checked);
    if (gaveUp())
        return read;
    read.keptView = OtherPassView(content, std::move(theirs.entries), theirs.count, back, std::move(backNames),
                                  std::move(backClashes), mineFolds);
    return read;
}

} // namespace tandrel::engine
