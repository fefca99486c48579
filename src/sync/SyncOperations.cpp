#include "sync/SyncOperations.h"

#include "platform/FileOps.h"
#include "platform/OwnTemporaries.h"
#include "platform/RowsInFlight.h"
#include "sync/CopyFlush.h"
#include "sync/FoldersMade.h"
#include "sync/RemoteItems.h"
#include "sync/RemoteRows.h"
#include "sync/RowActions.h"
#include "sync/RowRun.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tandrel::sync {

using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using platform::FileResult;

namespace {

// The rows a run works on at once: the platform's choice for the side it
// writes, but one where the trash takes the items (it takes one at a time).
std::size_t RowsInFlight(const std::string& targetRoot, bool throughTrash)
{
    return throughTrash ? 1 : platform::RowsInFlightFor(targetRoot);
}

} // namespace

void FlushCopiedRows(PendingFlush& pending, ResultStore& store, const settings::CompareOptions& options,
                     SyncObserver& observer, std::vector<std::pair<ResultCategory, SyncOutcome>>& outcomes)
{
    FlushWrittenRows(pending, store, options, observer, outcomes);
}

bool DirectionOffered(ResultCategory category, CopyDirection direction)
{
    if (direction == CopyDirection::SourceToDestination)
        return category != ResultCategory::NotInSource;
    return category != ResultCategory::NotInDestination;
}

SyncOutcome CopyCheckedRows(ResultStore& store, ResultCategory category, CopyDirection direction,
                            const settings::CompareOptions& options, engine::RunFlag& runFlag,
                            double& progressFraction, SyncObserver& observer, PendingFlush* flushLater,
                            const CopyChoices& choices, platform::remote::RemoteSides* remoteSides)
{
    if (!DirectionOffered(category, direction)) {
        SyncOutcome refused;
        refused.refused = true;
        return refused;
    }
    // Every row's relative path stands below both roots; the direction says
    // which is read and which written.
    const bool toDestination = direction == CopyDirection::SourceToDestination;
    const std::string& fromRoot = toDestination ? store.SourceRoot() : store.DestinationRoot();
    const std::string& toRoot = toDestination ? store.DestinationRoot() : store.SourceRoot();
    auto toOf = [&toRoot](const CompareItem& row) { return toRoot + row.relativePath; };
    const bool targetSeen =
        category != (toDestination ? ResultCategory::NotInDestination : ResultCategory::NotInSource);

    PendingFlush flushHere;
    PendingFlush& pending = flushLater ? *flushLater : flushHere;
    const auto flushed = [&](const SyncOutcome& outcome) {
        if (flushLater)
            return outcome;
        std::vector<std::pair<ResultCategory, SyncOutcome>> outcomes{{category, outcome}};
        FlushCopiedRows(pending, store, options, observer, outcomes);
        return outcomes.front().second;
    };
    if (IsRemoteRoot(fromRoot) || IsRemoteRoot(toRoot))
        return flushed(CopyRemoteRows(store, category, direction, options, runFlag, progressFraction, observer,
                                      pending, choices, remoteSides));
    platform::TemporarySweep sweep;
    FoldersMade made;
    RowRun run{store, category, options, runFlag, progressFraction, observer, toOf,
               [&](RowTask& task) {
                   const RowItem& row = task.item;
                   if (!row.caseClash.empty())
                       return FileResult::Failure(row.caseClash);
                   // A file's missing folders are made on the way, unless the
                   // comparison saw its target (then a level gone is a
                   // change); a folder row makes its one level only.
                   platform::ItemAt to;
                   if (FileResult reached = platform::ReachItem(
                           toRoot, row.relativePath, !row.isFolder && !targetSeen,
                           row.isFolder ? "Cannot create folder" : "Cannot copy to", to);
                       !reached.ok())
                       return targetSeen && IsAbsence(reached.errorNumber) ? ChangedSinceComparison(row.shownPath)
                                                                          : reached;
                   FileResult result;
                   if (row.isFolder) {
                       result = platform::CreateFolderCopyAt(fromRoot, row.relativePath, to);
                       if (result.ok()) {
                           sweep.MadeByThisRun(to.path);
                           made.Add(row.relativePath);
                       }
                   } else {
                       const Listed listed =
                           targetSeen ? Listed{Listed::State::Entry, toDestination ? row.counterpartSize : row.size,
                                               toDestination ? row.counterpartModified : row.modified}
                                      : Listed{};
                       std::optional<platform::EntryInfo> now;
                       if (!made.HoldsParentOf(row.relativePath))
                           now = platform::LookUpAt(to);
                       platform::ItemAt from;
                       result = platform::ReachItem(fromRoot, row.relativePath, false, "Cannot read", from);
                       if (result.ok()) {
                           sweep.BeforeWritingInto(to.folder.Fd(), engine::PathRules::Native().ParentFolder(to.path));
                           result = CopyOneFile(from, to, listed, now, row.shownPath, options,
                                                choices.keepReplaced, task.progress, pending.fileSystems);
                       }
                   }
                   if (result.ok())
                       task.fileSystem = pending.fileSystems.Note(to);
                   return result;
               },
               [&](const RowTask& task) {
                   pending.rows.push_back({category, task.row, task.fileSystem, toDestination});
               },
               RowsInFlight(toRoot, choices.keepReplaced)};
    return flushed(run.Run(Order::TopDown));
}

SyncOutcome DeleteCheckedRows(ResultStore& store, ResultCategory category, const settings::CompareOptions& options,
                              engine::RunFlag& runFlag, double& progressFraction, SyncObserver& observer,
                              DeleteTarget target, platform::remote::RemoteSides* remoteSides)
{
    auto pathOf = [&store, category](const CompareItem& row) { return store.Path(category, row); };
    const std::string& walkedRoot = store.WalkedRoot(category);
    if (IsRemoteRoot(walkedRoot))
        return DeleteRemoteRows(store, category, options, runFlag, progressFraction, observer, target, remoteSides);
    platform::TemporarySweep sweep;
    RowRun run{store, category, options, runFlag, progressFraction, observer, pathOf,
               [&](RowTask& task) {
                   const RowItem& row = task.item;
                   const char* what = row.isFolder ? "Cannot remove folder" : "Cannot delete";
                   platform::ItemAt item;
                   if (FileResult reached = platform::ReachItem(walkedRoot, row.relativePath, false, what, item);
                       !reached.ok())
                       return IsAbsence(reached.errorNumber) ? ChangedSinceComparison(row.shownPath) : reached;
                   const platform::EntryInfo now = platform::LookUpAt(item);
                   const Listed listed{row.isFolder ? Listed::State::Folder : Listed::State::Entry, row.size,
                                       row.modified};
                   if (FileResult same = StillAsListed(listed, now, what, item, row.shownPath); !same.ok())
                       return same;
                   return DeleteOneItem(row, item, now, options, target, sweep);
               },
               {},
               RowsInFlight(walkedRoot, target == DeleteTarget::Trash)};
    return run.Run(Order::BottomUp);
}

} // namespace tandrel::sync
