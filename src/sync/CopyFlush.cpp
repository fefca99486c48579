#include "sync/CopyFlush.h"

#include "engine/TimeRules.h"
#include "platform/FileOps.h"
#include "platform/OrderedWorkers.h"
#include "sync/RowRun.h"

#include <algorithm>
#include <chrono>
#include <string>

namespace tandrel::sync {

using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;

namespace {

// How often events run while the flush lasts.
constexpr std::chrono::milliseconds kFlushWaitStep{15};

} // namespace

// Flushes the file systems the copy runs wrote to. The rows written to one
// whose flush failed may not have their content on disk: they fail now, and
// their files, which already carry the source's size and time, are set back
// in time so that the next comparison lists them again (as older than the
// side they were copied from, where copying the same way repairs them).
void FlushWrittenRows(PendingFlush& pending, ResultStore& store, const settings::CompareOptions& options,
                      SyncObserver& observer, std::vector<std::pair<ResultCategory, SyncOutcome>>& outcomes)
{
    if (pending.rows.empty())
        return; // nothing written
    // A flush can take many seconds on a slow disk. It runs on a thread of
    // its own, and while it lasts the front end's events keep running.
    std::vector<platform::WrittenFileSystems::Failure> failures;
    {
        // Without a thread to be had, the flush runs here, without events meanwhile.
        platform::OrderedWorkers flusher(1);
        flusher.Submit([&](platform::OrderedWorkers::Job&) { failures = pending.fileSystems.FlushAll(); });
        for (flusher.Wait(kFlushWaitStep); !flusher.NextInOrder(); flusher.Wait(kFlushWaitStep))
            observer.PumpEvents();
    }

    std::string firstFailure;
    SyncOutcome* firstOutcome = nullptr;
    for (const auto& failure : failures) {
        for (const PendingFlush::Written& written : pending.rows) {
            if (written.fileSystem != failure.fileSystem)
                continue;
            const CompareItem& row = store.Row(written.category, written.row);
            const std::string& root = written.toDestination ? store.DestinationRoot() : store.SourceRoot();
            const std::string text =
                platform::ErrnoFailure("Cannot flush to disk", root + row.relativePath, failure.error).error;
            if (!row.isFolder) {
                platform::ItemAt target;
                if (platform::ReachItem(root, row.relativePath, false, "Cannot set the time of", target).ok())
                    platform::MarkUnsettledAt(target, engine::BeyondTolerance(options));
            }
            auto outcome = std::find_if(outcomes.begin(), outcomes.end(),
                                        [&](const auto& listed) { return listed.first == written.category; });
            if (outcome == outcomes.end())
                continue;
            --outcome->second.succeeded;
            MarkRowFailed(store, written.category, written.row, text, outcome->second, observer);
            if (firstFailure.empty()) {
                firstFailure = text;
                firstOutcome = &outcome->second;
            }
        }
    }
    if (firstOutcome && !options.IgnoreError) {
        observer.ShowFailure(firstFailure);
        firstOutcome->stoppedOnFailure = true;
    }
}

} // namespace tandrel::sync
