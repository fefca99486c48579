#include "sync/SyncOperations.h"

#include "engine/FolderExists.h"
#include "platform/FileOps.h"
#include "platform/OwnTemporaries.h"
#include "sync/PathRoutines.h"

#include <algorithm>
#include <cerrno>
#include <functional>

namespace tandrel::sync {

using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using engine::RowIcon;
using platform::FileResult;

namespace {

enum class Order { TopDown, BottomUp };

// The row-by-row frame shared by copy and delete: counting pass, working
// pass in the given order, row marks, failure handling and cancel.
struct RowRun {
    ResultStore& store;
    ResultCategory category;
    const settings::CompareOptions& options;
    engine::RunFlag& runFlag;
    double& progressFraction;
    SyncObserver& observer;

    // The path shown while the row is worked on, and the work itself.
    std::function<std::string(const CompareItem&)> shownPath;
    std::function<FileResult(const CompareItem&)> work;

    SyncOutcome Run(Order order)
    {
        SyncOutcome outcome;
        if (store.Count(category) == 0)
            return outcome;
        runFlag.Set(true);
        progressFraction = 0.0;

        const std::size_t counted = store.Count(category);
        for (std::size_t k = 0; k < counted; ++k) {
            observer.PumpEvents();
            if (k < store.Count(category) && store.Row(category, k).checked)
                ++outcome.total;
        }

        observer.PumpEvents();
        const std::size_t n = store.Count(category);
        for (std::size_t step = 0; step < n; ++step) {
            const std::size_t k = order == Order::TopDown ? step : n - 1 - step;
            observer.PumpEvents();
            if (k < store.Count(category) && store.Row(category, k).checked) {
                if (!WorkOn(k, outcome))
                    return outcome;
            }
            if (!runFlag.IsSet()) {
                outcome.cancelled = true;
                break;
            }
        }
        return outcome;
    }

    // False when the run must end here (a failure with IgnoreError off).
    bool WorkOn(std::size_t k, SyncOutcome& outcome)
    {
        ++outcome.started;
        // Rows checked after the counting pass are worked on too, but the
        // total is not counted again: the caption may then read "6 of 5" and
        // the fraction pass 1 (the status window draws at most a full bar).
        progressFraction = outcome.total > 0
                               ? static_cast<double>(outcome.started) / static_cast<double>(outcome.total)
                               : 1.0;
        observer.RowStarted(outcome.started, outcome.total, shownPath(store.Row(category, k)));

        store.Row(category, k).icon = RowIcon::Started;
        observer.RowChanged(category, k);

        const FileResult result = work(store.Row(category, k));
        CompareItem& row = store.Row(category, k);
        if (result.ok()) {
            row.SetTag(engine::kProcessedTag);
            ++outcome.succeeded;
            observer.RowChanged(category, k);
            return true;
        }

        row.SetStatusText(result.error);
        row.SetTag("");
        row.icon = RowIcon::Failed;
        ++outcome.failed;
        observer.RowChanged(category, k);
        observer.RowFailed(category, k, result.error);
        if (!options.IgnoreError) {
            observer.ShowFailure(result.error);
            outcome.stoppedOnFailure = true;
            return false;
        }
        return true;
    }
};

// What keeps an existing file from being replaced or deleted while
// Overwriting is off: it is read-only, system (a FIFO, socket or device) or
// hidden (its name begins with a dot). Null when none of these holds.
const char* ProtectedKind(const std::string& path, const platform::EntryInfo& info)
{
    if (info.kind == platform::EntryKind::Missing || info.kind == platform::EntryKind::Folder)
        return nullptr;
    if (info.ReadOnly())
        return "read-only";
    if (info.kind == platform::EntryKind::Special)
        return "system";
    const auto slash = path.rfind('/');
    if (path.compare(slash == std::string::npos ? 0 : slash + 1, 1, ".") == 0)
        return "hidden";
    return nullptr;
}

FileResult CopyOneFile(const std::string& from, const std::string& to, const settings::CompareOptions& options)
{
    const std::string parent = ParentFolder(to);
    if (!engine::FolderExists(parent))
        MakeFolderPath(parent);

    const platform::EntryInfo target = platform::LookUp(to);
    const bool fileThere = target.kind != platform::EntryKind::Missing && target.kind != platform::EntryKind::Folder;
    if (options.Overwriting) {
        if (fileThere) {
            FileResult cleared = platform::SetArchiveOnly(to);
            if (!cleared.ok())
                return cleared;
        }
    } else if (const char* kind = ProtectedKind(to, target)) {
        // The rename below would succeed; such a target is still kept unless
        // overwriting is allowed.
        return platform::ErrnoFailure(std::string("Cannot replace ") + kind + " file", to, EACCES);
    }
    return platform::CopyFileSafely(from, to);
}

// Copy and delete act on paths made from a root and a row's relative path; a
// folder on the way that has become a link would take them elsewhere.
FileResult RefuseLinkOnTheWay(const std::string& what, const std::string& root, const std::string& path)
{
    const std::string link = LinkOnTheWay(root, path);
    if (link.empty())
        return FileResult::Success();
    return FileResult::Failure(what + " '" + path + "': '" + link + "' is a symbolic link, which is not followed");
}

FileResult DeleteOneItem(const CompareItem& row, const std::string& path, const settings::CompareOptions& options)
{
    if (row.isFolder)
        return platform::RemoveFolder(path);
    if (options.Overwriting) {
        FileResult cleared = platform::SetArchiveOnly(path);
        if (!cleared.ok())
            return cleared;
    } else if (const char* kind = ProtectedKind(path, platform::LookUp(path))) {
        return platform::ErrnoFailure(std::string("Cannot delete ") + kind + " file", path, EACCES);
    }
    return platform::DeleteFile(path);
}

} // namespace

bool DirectionOffered(ResultCategory category, CopyDirection direction)
{
    if (direction == CopyDirection::SourceToDestination)
        return category != ResultCategory::NotInSource;
    return category != ResultCategory::NotInDestination;
}

SyncOutcome CopyCheckedRows(ResultStore& store, ResultCategory category, CopyDirection direction,
                            const settings::CompareOptions& options, engine::RunFlag& runFlag,
                            double& progressFraction, SyncObserver& observer)
{
    if (!DirectionOffered(category, direction)) {
        SyncOutcome refused;
        refused.refused = true;
        return refused;
    }
    // Column 0 holds the walked side's path, the target column the other
    // side's. Copying from destination to source on a two-sided list reads
    // them the other way round; list 4 was walked on the destination side.
    const bool reversed =
        direction == CopyDirection::DestinationToSource && category != ResultCategory::NotInSource;
    auto fromOf = [&store, category, reversed](const CompareItem& row) {
        return reversed ? store.TargetPath(category, row) : store.Path(category, row);
    };
    auto toOf = [&store, category, reversed](const CompareItem& row) {
        return reversed ? store.Path(category, row) : store.TargetPath(category, row);
    };

    const std::string& targetRoot =
        direction == CopyDirection::SourceToDestination ? store.DestinationRoot() : store.SourceRoot();

    platform::TemporarySweep sweep;
    RowRun run{store, category, options, runFlag, progressFraction, observer, toOf,
               [&](const CompareItem& row) {
                   const std::string to = toOf(row);
                   if (FileResult refused = RefuseLinkOnTheWay(row.isFolder ? "Cannot create folder" : "Cannot copy to",
                                                               targetRoot, to);
                       !refused.ok())
                       return refused;
                   if (row.isFolder)
                       return platform::CreateFolder(to);
                   sweep.BeforeWritingInto(ParentFolder(to));
                   return CopyOneFile(fromOf(row), to, options);
               }};
    return run.Run(Order::TopDown);
}

SyncOutcome DeleteCheckedRows(ResultStore& store, ResultCategory category, const settings::CompareOptions& options,
                              engine::RunFlag& runFlag, double& progressFraction, SyncObserver& observer)
{
    auto pathOf = [&store, category](const CompareItem& row) { return store.Path(category, row); };
    RowRun run{store, category, options, runFlag, progressFraction, observer, pathOf,
               [&](const CompareItem& row) {
                   const std::string path = pathOf(row);
                   if (FileResult refused = RefuseLinkOnTheWay(row.isFolder ? "Cannot remove folder" : "Cannot delete",
                                                               store.WalkedRoot(category), path);
                       !refused.ok())
                       return refused;
                   return DeleteOneItem(row, path, options);
               }};
    return run.Run(Order::BottomUp);
}

} // namespace tandrel::sync
