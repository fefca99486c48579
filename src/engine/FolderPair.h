#pragma once

#include "engine/SideFolder.h"
#include "platform/FolderListing.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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
// errno value that says why, with the words of a remote side's server.
struct ReadFailure {
    Side side = kWalkedSide;
    std::string name;
    int error = 0;
    bool searchable = false; // its names can still be looked up one by one
    std::string reason;      // empty: the system's text for `error`
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

// Asked between two entries of a read; false gives the read up.
using GoOn = std::function<bool()>;

// An open folder, or the errno value that says why it could not be opened.
struct OpenedFolder {
    platform::Fd fd;
    int error = 0;
};

// Opens the pair's folder of one side with open(2)-style flags
// (platform::kOpenToList, platform::kOpenAsAnchor).
using OpenSide = std::function<OpenedFolder(Side side, int flags)>;

// One folder as read: its listing, or why it could not be had. `folder`
// stays for looking names up: the listed folder, or where it could not be
// listed, the folder as far as it may be searched (not Searchable when even
// that failed).
struct ReadFolderResult {
    std::unique_ptr<SideFolder> folder;
    bool listed = false;
    std::vector<platform::ListedEntry> entries;
    std::uint32_t count = 0;
    platform::FolderIdentity identity;
    int error = 0;     // why it could not be listed; 0 when it was
    int openError = 0; // why it could not be searched at all; 0 when it can be
    std::string reason; // a remote server's words for `error`
    bool gaveUp = false;
};

// Reads the pair's folder of one side.
using ReadSide = std::function<ReadFolderResult(Side side, const GoOn& goOn)>;

// The one step that reads a folder of a pair. Each folder's identity is
// taken before its names are read, so that a change made while they are
// read shows as a change later.
ReadFolderResult ReadFolder(const OpenSide& open, Side side, const GoOn& goOn);

// What a pair's read is to do.
struct PairRequest {
    OtherState other = OtherState::Present; // what the walk knows of the counterpart folder
    bool otherFolds = false;                // the parent pair's case rule, where the counterpart is not there
    bool keepView = false;                  // also make the other pass's view
};

// A folder pair as read: the walked folder's content and, when asked for and
// both folders could be listed, the other pass's view of the same pair.
struct PairRead {
    FolderContent content;
    std::optional<FolderContent> keptView;
    bool gaveUp = false; // `goOn` answered false: nothing of it may be used
};

// Reads a folder pair and matches its entries by name (and, where a side
// folds case, without regard to case). No state, no threads: every folder is
// reached through `read` (or, both local, `open`).
PairRead ReadFolderPair(const PairRequest& request, const ReadSide& read, const GoOn& goOn);
PairRead ReadFolderPair(const PairRequest& request, const OpenSide& open, const GoOn& goOn);

// True when the folder reached by `fd` still has the identity `was`.
bool IdentityNow(int fd, const platform::FolderIdentity& was);

} // namespace tandrel::engine
