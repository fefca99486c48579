#include "sync/RemoteDelete.h"

#include "sync/RemoteItems.h"
#include "sync/RemoteRowRun.h"
#include "sync/RowActions.h"

#include <ctime>

namespace tandrel::sync {
namespace {

namespace remote = platform::remote;
namespace sftp = platform::remote::sftp;
using platform::EntryInfo;
using platform::EntryKind;
using platform::FileResult;
using remote::RemoteStatus;

using Done = RemoteRowRun::Done;

// A remote item removed for good.
struct RemoteDelete {
    remote::RemoteOperations operations;
    const remote::SideAddress& side;
    const settings::CompareOptions& options;
    RemoteSweep sweep;

    RemoteDelete(remote::SftpClient& client, const remote::SideAddress& s, const settings::CompareOptions& o)
        : operations(client), side(s), options(o), sweep(operations, static_cast<std::int64_t>(std::time(nullptr)))
    {
    }

    void Start(RowTask& task, Done done)
    {
        const RowItem row = task.item;
        const std::string what = row.isFolder ? "Cannot remove folder" : "Cannot delete";
        const std::string path = RemoteItemPath(side, row.relativePath);
        operations.Lstat(path, [this, row, what, path, done = std::move(done)](const RemoteStatus& status,
                                                                               const sftp::FileAttributes& attributes) {
            FileResult failure;
            const auto now = LookedAt(status, attributes, path, what, row.shownPath, failure);
            if (!now)
                return done(failure);
            const Listed listed{row.isFolder ? Listed::State::Folder : Listed::State::Entry, row.size, row.modified};
            if (now->kind == EntryKind::Missing)
                return done(ChangedSinceComparison(row.shownPath));
            if (FileResult same = StillAsListed(listed, *now, what, ShownItem(row.shownPath), row.shownPath); !same.ok())
                return done(same);
            if (row.isFolder)
                return RemoveFolder(row, *now, path, done);
            if (!options.Overwriting)
                if (const char* kind = ProtectedKind(*now))
                    return done(platform::AccessDenied(std::string("Cannot delete ") + kind + " file", row.shownPath));
            operations.RemoveFile(path, [row, done](const RemoteStatus& removed) {
                done(removed.ok() ? FileResult::Success()
                                  : FileResult::Failure(removed.Describe("Cannot delete", row.shownPath)));
            });
        });
    }

    void RemoveFolder(const RowItem& row, const EntryInfo& now, const std::string& path, const Done& done)
    {
        const char* kind = ProtectedKind(now, true);
        if (kind && !options.Overwriting)
            return done(platform::AccessDenied(std::string("Cannot remove ") + kind + " folder", row.shownPath));
        auto remove = [this, row, path, done] {
            // What an interrupted copy left in the folder is not the user's:
            // it does not keep the folder from going.
            operations.RemoveFolder(path, [this, row, path, done](const RemoteStatus& removed) {
                if (removed.ok())
                    return done(FileResult::Success());
                sweep.Clear(path, [this, row, path, done] {
                    operations.RemoveFolder(path, [row, done](const RemoteStatus& again) {
                        done(again.ok() ? FileResult::Success()
                                        : FileResult::Failure(again.Describe("Cannot remove folder", row.shownPath)));
                    });
                });
            });
        };
        if (!kind || (now.mode & 0200) != 0)
            return remove();
        operations.SetPermissions(path, now.mode | 0200, [row, done, remove](const RemoteStatus& set) {
            if (!set.ok())
                return done(FileResult::Failure(set.Describe("Cannot set attributes of", row.shownPath)));
            remove();
        });
    }
};

} // namespace

SyncOutcome RemoveRemoteRows(RowRun& frame, platform::remote::SftpClient& client,
                             const platform::remote::SideAddress& side, std::size_t window)
{
    RemoteDelete remover(client, side, frame.options);
    RemoteRowRun run(frame, &client, window, [&remover](RowTask& task, const Done& done) { remover.Start(task, done); });
    return run.Run(Order::BottomUp);
}

} // namespace tandrel::sync
