#pragma once

#include "engine/ContentCheck.h"
#include "engine/PathPatterns.h"
#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "settings/CompareOptions.h"

namespace tandrel::platform::remote {
class RemoteSides;
}

#include <cstdint>
#include <string>
#include <vector>

namespace tandrel::engine {

// Called after every directory entry, processed or skipped. The window's
// observer lets pending events run here (throttled as it sees fit); a cancel
// button clears the run flag, which the scanner tests right after.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;
    virtual void EntryProcessed() = 0;
    // Called every few milliseconds while the walk waits for a folder to be
    // read or reads a large one, so that the window stays live there too; no
    // entry was processed. The run flag is tested right after.
    virtual void Waiting() {}
    // Called in the source pass for each file pair that counts as equal, after
    // filters: both sides regular files or symbolic links, same size, times
    // within the tolerance.
    virtual void EqualPairFound([[maybe_unused]] const FilePair& pair) {}
};

// Everything a scan reads. Options and ignored names are read through these
// references at the moment each entry is looked at, not copied.
struct ScanContext {
    std::string sourceRoot;      // ends in '/'
    std::string destinationRoot; // ends in '/'
    bool includeSubdirectories = true;
    const settings::CompareOptions* options = nullptr;
    const std::vector<std::string>* ignoredTypes = nullptr;
    RunFlag* runFlag = nullptr;
    ResultStore* store = nullptr;
    ScanObserver* observer = nullptr; // may be null
    // A second filter of path patterns, beside the options' ignored names;
    // may be null. Its counts are those of this scan (RunScan resets them).
    PathPatterns* patterns = nullptr;
    // The connections for roots on an SSH host (`host:path`,
    // `sftp://host/path`), kept for the runs that follow; null: every root
    // is a local folder, whatever its text.
    platform::remote::RemoteSides* remoteSides = nullptr;
    // Entries that the filters left out, and folders not walked for their
    // leading dot, each name once whether on one side or both (RunScan
    // starts it at 0).
    std::uint64_t leftOut = 0;
};

// Walks `folder` (this side's root on the first call) depth-first: each
// folder's entries in the order the file system returns them, then its
// subfolders in the order met. Appends rows to the store. Never throws,
// never shows anything. Only what is not there counts as missing: a folder
// of either side that is there but cannot be read is noted in the store
// (AddUnreadableFolder), and nothing in it gets a row of the missing lists;
// nothing in its counterpart either, unless it can still be searched, when
// each name is looked up in it.
void ScanFolder(ScanContext& context, const std::string& folder, const std::string& otherRoot, ScanPass pass);

// True when an ignored-names entry matches a name: "*.ext" compares the
// ending without regard to case, any other entry the whole name.
bool MatchesIgnoredType(const std::string& name, const std::vector<std::string>& ignoredTypes);

// The signed count of unit boundaries from `source` to `counterpart` (both
// epoch seconds, both shifted by the same offset): unit 0 s, 1 min, 2 h,
// 3 days, 4 months, 5 years.
std::int64_t TimeDifference(std::int64_t source, std::int64_t counterpart, std::int64_t offset, int unit);

// The category of a file pair found on both sides, or 0 when they count as equal.
int ClassifyPair(std::int64_t sourceTime, std::int64_t sourceSize, std::int64_t counterpartTime,
                 std::int64_t counterpartSize, std::int64_t offset, const settings::CompareOptions& options);

// A whole comparison's scan: both roots get a trailing '/', the store is
// reset, then the source pass and, unless cancelled, the destination pass.
// A remote root's tree is read first, with many folders in flight; a root
// that cannot be reached is noted as unreadable with ssh's reason.
void RunScan(ScanContext& context);

} // namespace tandrel::engine
