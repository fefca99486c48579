#pragma once

#include "engine/ResultCategory.h"
#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "platform/FileOps.h"
#include "settings/CompareOptions.h"
#include "sync/SyncObserver.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tandrel::platform::remote {
class RemoteSides;
}

namespace tandrel::sync {

enum class CopyDirection {
    SourceToDestination, // CmdS2D: lists 1, 2, 3, 5
    DestinationToSource, // CmdD2S: lists 1, 2, 4, 5
};

// Whether a direction's button is offered on a list: not towards the side
// the list's items already exist on only (source to destination on list 4,
// destination to source on list 3).
bool DirectionOffered(engine::ResultCategory category, CopyDirection direction);

// What a run did. The rows themselves carry the details: processed rows the
// tag "d", failed ones the Failed icon and their error text.
struct SyncOutcome {
    std::size_t total = 0;     // checked rows found by the counting pass
    std::size_t started = 0;   // checked rows whose turn came
    std::size_t succeeded = 0;
    std::size_t failed = 0;
    bool cancelled = false;        // the run flag was found cleared, or a file's copy was abandoned
                                   // (FileCopyStep returned false)
    bool stoppedOnFailure = false; // IgnoreError off and a row failed
    bool refused = false;          // the direction is not offered on this list; nothing done
};

// What copy runs wrote and has yet to be flushed to disk: a caller that copies
// several lists in one go hands the same one to each run and flushes it once
// at its end (FlushCopiedRows).
struct PendingFlush {
    struct Written {
        engine::ResultCategory category;
        std::size_t row;
        std::uint64_t fileSystem;
        bool toDestination;
    };
    platform::WrittenFileSystems fileSystems;
    std::vector<Written> rows;
};

// Choices of a copy run that are the user's own, not the settings file's.
struct CopyChoices {
    // A file that a copy replaces goes to the user's trash (the Recycle Bin on
    // Windows) just before the new version takes its place, so that it can be
    // restored; where the trash cannot take it, or the target is on a network
    // or remote file system with no trash this desktop can restore, the row
    // fails and both files stay as they were. The trash takes one row at a time.
    bool keepReplaced = false;
};

// Copies the checked rows of one list, top to bottom, in the given
// direction. The caller has asked the question and locked its commands; this
// raises the run flag, sets the progress fraction to 0, counts the checked
// rows and works through them one at a time, re-reading each row's check
// mark when its turn comes. It ends by returning; removing the processed
// rows (ResultStore::RemoveProcessedRows) is the caller's finishing step.
// A failure is written into the row; with IgnoreError on the run goes on,
// with it off the observer shows it and the run ends. A cleared run flag
// stops the run after the row in hand. Whether a row is a folder comes from
// the row's isFolder, never from its icon.
// When the side written is on a network file system (on Windows a share or a
// mapped network drive), several rows are worked on at once on threads of
// their own; the platform chooses how many (platform::RowsInFlightFor, where
// TANDREL_ROWS_IN_FLIGHT=N replaces its choice for any target, as tests and
// trials do on local disks), except that a run through the trash always
// works on one row at a time. The observer
// calls, the run flag and the store stay on the calling thread, which lets
// events run while it waits; rows are started and reported in list order (a
// row done early waits for those before it); a row inside a folder row of
// the run waits until that folder is made; a cleared run flag or a failure
// with IgnoreError off stops rows from starting and lets those in flight end,
// and an abandoned file abandons every file in flight.
// Every step acts on folders reached from the roots without following links
// below them, so nothing outside the two roots is read or written. Before it
// returns, whatever the run wrote is flushed to disk, once per file system;
// when that flush fails, the rows written to that file system are turned
// into failed rows (counted in `failed`, reported through RowFailed and, with
// IgnoreError off, ShowFailure), since their content may not be on disk, and
// their files are given a time that keeps them from comparing as equal, so
// that the next comparison lists them again. With `flushLater`, the flush is
// left to the caller's FlushCopiedRows.
// When either root is on a remote host, the run goes over that host's
// connection from `remoteSides` (or one made for the run): see CopyRemoteRows.
SyncOutcome CopyCheckedRows(engine::ResultStore& store, engine::ResultCategory category, CopyDirection direction,
                            const settings::CompareOptions& options, engine::RunFlag& runFlag,
                            double& progressFraction, SyncObserver& observer, PendingFlush* flushLater = nullptr,
                            const CopyChoices& choices = {}, platform::remote::RemoteSides* remoteSides = nullptr);

// The flush of CopyCheckedRows for the runs that left it to `pending`; the
// rows it fails are counted in the outcome of their list in `outcomes`.
// The processed rows must still be in the store.
void FlushCopiedRows(PendingFlush& pending, engine::ResultStore& store, const settings::CompareOptions& options,
                     SyncObserver& observer, std::vector<std::pair<engine::ResultCategory, SyncOutcome>>& outcomes);

enum class DeleteTarget {
    Remove, // the item is removed for good
    Trash,  // the item moves to the user's trash, from where it can be restored
};

// Deletes, on disk, the item of column 0 (the row's Path) of every checked
// row of one list, bottom to top, so that a folder's content goes before the
// folder (with rows in flight, a folder waits for every row inside it).
// Otherwise as CopyCheckedRows (without the flush: a deletion loses
// nothing when a crash undoes it). With DeleteTarget::Trash each item moves to
// the trash instead (a folder only when it is empty); the same refusals hold,
// rights are left as they are, and an item that cannot go to the trash fails
// its row and stays where it is: it is never removed instead; the trash takes
// one row at a time. A remote walked side goes over its host's connection
// (see DeleteRemoteRows); it has no trash.
SyncOutcome DeleteCheckedRows(engine::ResultStore& store, engine::ResultCategory category,
                              const settings::CompareOptions& options, engine::RunFlag& runFlag,
                              double& progressFraction, SyncObserver& observer,
                              DeleteTarget target = DeleteTarget::Remove,
                              platform::remote::RemoteSides* remoteSides = nullptr);

} // namespace tandrel::sync
