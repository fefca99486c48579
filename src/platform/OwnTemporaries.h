#pragma once

#include <condition_variable>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace tandrel::platform {

struct ItemAt;

// True when `name` has exactly the form of CopyFileSafely's temporary files:
// ".tandrel-tmp-<digits>-<digits>-<8 hex digits>.tmp".
bool IsOwnTemporaryName(const char* name);

// Removes the temporary files that an interrupted copy left in `folder`. An
// entry goes only when its name has the temporary form, it is a regular file
// or a symbolic link (link copies use the same names; a link is removed,
// never followed), its status last changed before `runStart`, and the process
// named by its number is this one or none running here. The last two keep
// the files of another copy in flight: one on this machine lives, one on
// another machine sharing the folder keeps touching its file. Returns how
// many it removed; a folder that cannot be opened gives 0.
int RemoveStaleTemporaries(const std::string& folder, const struct timespec& runStart);
// The same for an open folder; takes over `fd` and closes it.
int RemoveStaleTemporariesAt(int fd, const struct timespec& runStart);

// The sweep of one copy run: each folder is swept once, before the first
// file is written into it; and of one delete run, for a folder to be removed.
// Rows worked on several at a time share one sweep: a row that is to write
// into a folder being swept waits until the sweep is over, so that no file of
// the run is there to be swept (a network file system may report no change
// time of its own, and the time a copy takes from its source can be old).
class TemporarySweep {
public:
    TemporarySweep(); // the run starts now
    explicit TemporarySweep(const struct timespec& runStart);
    void BeforeWritingInto(const std::string& folder);
    // The same for a folder already reached and held open (any descriptor,
    // an O_PATH one included); `shownPath` names it.
    void BeforeWritingInto(int folderFd, const std::string& shownPath);
    // For the folder that `item` names, to be removed (or tried again after
    // it would not go): its stale temporaries go, so that a folder holding
    // nothing else (the comparison lists none of them) can be removed. An
    // item that is a link is not followed.
    void BeforeRemoving(const ItemAt& item);
    // `folder` was made by this run: nothing left by an earlier run can be in
    // it, so it is not read for leftovers (on a network file system that
    // reading would hold up every row writing there).
    void MadeByThisRun(const std::string& folder);

private:
    // Runs `sweep` when `folder` is new to this run, else waits until its sweep is over.
    void SweepOnce(const std::string& folder, const std::function<void()>& sweep);
    struct timespec m_runStart;
    std::mutex m_mutex;
    std::condition_variable m_sweepOver;
    std::map<std::string, bool> m_swept; // folder → its sweep is over
};

} // namespace tandrel::platform
