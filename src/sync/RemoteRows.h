#pragma once

#include "engine/ResultStore.h"
#include "engine/RunFlag.h"
#include "settings/CompareOptions.h"
#include "sync/SyncObserver.h"
#include "sync/SyncOperations.h"

namespace tandrel::platform::remote {
class RemoteSides;
}

namespace tandrel::sync {

// CopyCheckedRows for a list whose read or written side is on a remote host,
// over the side's SFTP connection (from `sides`, or one made for the run).
// Many rows are worked on at once as chains of requests on that one
// connection, all on the calling thread; the row rules are those of local
// copies. A file goes to the server by the safe write (a temporary name
// beside the target, times and permission bits, a flush where the server
// offers it, a rename over the target); a link is copied as a link; a
// folder made by the run gets its source's time once the run has put its
// content in. A file from the server is written locally as safely as a local
// copy, and noted in `pending` for the end-of-run flush. Copies between two
// remote sides are refused row by row. A remote target has no trash this
// desktop can restore: with `choices.keepReplaced`, a row that would replace
// a file there fails and nothing is replaced.
SyncOutcome CopyRemoteRows(engine::ResultStore& store, engine::ResultCategory category, CopyDirection direction,
                           const settings::CompareOptions& options, engine::RunFlag& runFlag,
                           double& progressFraction, SyncObserver& observer, PendingFlush& pending,
                           const CopyChoices& choices, platform::remote::RemoteSides* sides);

// DeleteCheckedRows for a list whose walked side is on a remote host. Items
// are removed for good; DeleteTarget::Trash fails every row, since a remote
// host has no trash this desktop can restore, and removes nothing.
SyncOutcome DeleteRemoteRows(engine::ResultStore& store, engine::ResultCategory category,
                             const settings::CompareOptions& options, engine::RunFlag& runFlag,
                             double& progressFraction, SyncObserver& observer, DeleteTarget target,
                             platform::remote::RemoteSides* sides);

} // namespace tandrel::sync
