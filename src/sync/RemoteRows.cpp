#include "sync/RemoteRows.h"

#include "platform/remote/RemoteSides.h"
#include "sync/RemoteDelete.h"
#include "sync/RemoteDownload.h"
#include "sync/RemoteItems.h"
#include "sync/RemoteRowRun.h"
#include "sync/RemoteUpload.h"

#include <algorithm>

namespace tandrel::sync {
namespace {

namespace remote = platform::remote;
using engine::CompareItem;
using engine::ResultCategory;
using engine::ResultStore;
using platform::FileResult;
using remote::RemoteStatus;

using Done = RemoteRowRun::Done;

// The rows of a run work on one connection; without one, each fails with the reason.
struct Connection {
    remote::SideAddress side;
    remote::RemoteSides own;
    remote::RemoteSession* session = nullptr;
    RemoteStatus error;
    std::size_t window = 1;

    Connection(const std::string& root, remote::RemoteSides* sides) : side(remote::SideAddress::Parse(root))
    {
        remote::RemoteSides& use = sides ? *sides : own;
        window = std::max<std::size_t>(1, use.Options().maxRequestsInFlight);
        session = use.For(side, error);
    }
    remote::SftpClient* Client() { return session ? &session->Client() : nullptr; }
};

} // namespace

SyncOutcome CopyRemoteRows(ResultStore& store, ResultCategory category, CopyDirection direction,
                           const settings::CompareOptions& options, engine::RunFlag& runFlag,
                           double& progressFraction, SyncObserver& observer, PendingFlush& pending,
                           const CopyChoices& choices, remote::RemoteSides* sides)
{
    const bool toDestination = direction == CopyDirection::SourceToDestination;
    const std::string& fromRoot = toDestination ? store.SourceRoot() : store.DestinationRoot();
    const std::string& toRoot = toDestination ? store.DestinationRoot() : store.SourceRoot();
    const bool targetSeen =
        category != (toDestination ? ResultCategory::NotInDestination : ResultCategory::NotInSource);
    RowRun frame{store, category, options, runFlag, progressFraction, observer,
                 [&toRoot](const CompareItem& row) { return toRoot + row.relativePath; }, {}};
    const bool fromRemote = IsRemoteRoot(fromRoot);
    if (fromRemote && IsRemoteRoot(toRoot)) {
        // Between two hosts the bytes would pass through this machine; such
        // rows fail plainly rather than half-work.
        RemoteRowRun refuse(frame, nullptr, 1, [](RowTask& task, const Done& done) {
            done(FileResult::Failure("Cannot copy to '" + task.item.shownPath +
                                     "': both folders are on remote hosts; copy through a local folder"));
        });
        return refuse.Run(Order::TopDown);
    }
    Connection connection(fromRemote ? fromRoot : toRoot, sides);
    if (!connection.Client()) {
        RemoteRowRun failing(frame, nullptr, 1, [&connection](RowTask& task, const Done& done) {
            done(FileResult::Failure(connection.error.Describe("Cannot copy to", task.item.shownPath)));
        });
        return failing.Run(Order::TopDown);
    }
    if (fromRemote)
        return DownloadRows(frame, *connection.Client(), connection.side, connection.window, fromRoot, toRoot,
                            targetSeen, toDestination, choices, pending);
    return UploadRows(frame, *connection.Client(), connection.side, connection.window, fromRoot, targetSeen,
                      toDestination, choices);
}

SyncOutcome DeleteRemoteRows(ResultStore& store, ResultCategory category, const settings::CompareOptions& options,
                             engine::RunFlag& runFlag, double& progressFraction, SyncObserver& observer,
                             DeleteTarget target, remote::RemoteSides* sides)
{
    RowRun frame{store, category, options, runFlag, progressFraction, observer,
                 [&store, category](const CompareItem& row) { return store.Path(category, row); }, {}};
    if (target == DeleteTarget::Trash) {
        // Refused before any connection: nothing is looked at or removed.
        RemoteRowRun refuse(frame, nullptr, 1, [](RowTask& task, const Done& done) {
            done(FileResult::Failure("Cannot move '" + task.item.shownPath + "' to the trash: the folder " +
                                     kNoRemoteTrash));
        });
        return refuse.Run(Order::BottomUp);
    }
    Connection connection(store.WalkedRoot(category), sides);
    if (!connection.Client()) {
        RemoteRowRun failing(frame, nullptr, 1, [&connection](RowTask& task, const Done& done) {
            done(FileResult::Failure(connection.error.Describe(task.item.isFolder ? "Cannot remove folder"
                                                                                  : "Cannot delete",
                                                               task.item.shownPath)));
        });
        return failing.Run(Order::BottomUp);
    }
    return RemoveRemoteRows(frame, *connection.Client(), connection.side, connection.window);
}

} // namespace tandrel::sync
