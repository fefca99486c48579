#pragma once

#include "engine/ResultStore.h"
#include "settings/CompareOptions.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

#include <utility>
#include <vector>

namespace tandrel::sync {

// The flush of FlushCopiedRows: flushes what `pending` noted, on a thread of
// its own while the observer's events run, and fails the rows written to a
// file system whose flush failed.
void FlushWrittenRows(PendingFlush& pending, engine::ResultStore& store, const settings::CompareOptions& options,
                      SyncObserver& observer, std::vector<std::pair<engine::ResultCategory, SyncOutcome>>& outcomes);

} // namespace tandrel::sync
